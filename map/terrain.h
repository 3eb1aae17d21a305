// The terrain layer: every pixel of the pane takes the terrain class under
// it from the cache, built row by row in a line buffer in DMA-visible RAM,
// and copied to the off-screen band by DMA channel 0 in one descriptor chain.
#pragma once
#include <cstdint>

// DMA channel 0 (the controller's own registers).
constexpr uint32_t DCSR0  = 0x40000000;
constexpr uint32_t DDADR0 = 0x40000200;
constexpr uint32_t kDcsrRun       = 1u << 31;
constexpr uint32_t kDcsrStopState = 1u << 3;
constexpr uint32_t kDdadrStop     = 1u << 0;
constexpr uint32_t kDcmdIncSrc    = 1u << 31;
constexpr uint32_t kDcmdIncTrg    = 1u << 30;

// DMA-visible RAM above the sound records: the line buffer, then the chain.
constexpr uint32_t kTerrainLineBus = 0xA1200000;
constexpr uint32_t kTerrainDescBus = kTerrainLineBus + 480 * 640;
constexpr uint32_t kTerrainDmaTimeout = 1105799;   // 0.3 s

constexpr int kTerrainZooms = 13;
extern const int32_t TerrainStepTab[kTerrainZooms];
extern volatile uint32_t G_TerrainDmaBusy;   // the tick holds a screen dump while set

// Index painted where the pane reaches past the cached squares.
constexpr uint8_t kTerrainOutside = 128;

// The cache position of the reference, in samples x 2^18.
void TerrainOrigin(int32_t lat, int32_t lon, int32_t* col0, int32_t* row0);
void MapDrawTerrain();
