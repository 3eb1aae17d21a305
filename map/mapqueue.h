// The load queue of the map: the terrain cache of 7 x 7 five-degree squares,
// the ring of operations worked off one step per idle pass, the line work of
// both layers, and the loads around a new map centre.
#pragma once
#include <cstdint>

#include "map/records.h"

constexpr uint32_t kMapQueueSlots = 100;
constexpr uint32_t kOpShiftUp = 1, kOpShiftDown = 2, kOpShiftLeft = 3, kOpShiftRight = 4;
constexpr uint32_t kOpLoadTerrain = 6, kOpTfrLoad = 7, kOpMetarMarks = 8;

#pragma pack(push, 1)
struct MapQueueOp {
    uint32_t nOp;
    uint32_t nArg;       // column, or row of a shift
    uint32_t nRow;
    int32_t  nKeyLat;    // whole degrees
    int32_t  nKeyLon;
};
#pragma pack(pop)
static_assert(sizeof(MapQueueOp) == 20);

struct MapQueue {
    uint32_t nRead;
    uint32_t nWrite;
    MapQueueOp ops[kMapQueueSlots];
};
extern MapQueue G_MapQueue;

constexpr uint32_t kTerrainSide = 600;
constexpr uint32_t kTerrainCells = 7;
constexpr uint32_t kTerrainCacheSide = kTerrainSide * kTerrainCells;   // 4200
constexpr uint32_t kTerrainSquareBytes = kTerrainSide * kTerrainSide;  // 360000
constexpr uint32_t kTerrainMaxPacked = 360005;                         // this length or more: none
constexpr uint32_t kTerrainReadStep = 5120;
extern uint8_t G_TerrainCache[kTerrainCacheSide * kTerrainCacheSide];

struct TerrainLoad {
    uint32_t nRead;          // bytes read so far
    uint32_t nReading;
    uint32_t nDecompress;
    uint32_t nColumn;
    uint32_t nRow;
    uint32_t nLength;        // compressed length
};
extern TerrainLoad G_TerrainLoad;

constexpr int kVecSlots = 25;
extern VecSquare G_VecSquares[kVecSlots];

// The centres of the last load: five-degree keys and whole degrees.
struct MapLoadCentres {
    int32_t nKeyLon, nKeyLat;
    int32_t nLon, nLat;
};
extern MapLoadCentres G_MapCentres;

// Five-degree floor key: K covers [K, K + 5).
int32_t MapKey5(int32_t degrees);

int32_t MapStackFull();
MapQueueOp* MapStackPush();
void MapStackClear();
void MapPushShift(uint32_t op, uint32_t index);
void MapPushLoadSquare(uint32_t column, uint32_t row, int32_t keyLon, int32_t keyLat);
void MapPushTfrLoad();
void MapPushMetarIndex();
// Forgets the last centres and any terrain read, so the next load redoes all.
void MapQueueReset();

void MapLoadAround(int32_t lon, int32_t lat, const MapFileHeader& header, MapSquare* squares, VecSquare* vec);
void MapQueueProcess();

// Layer 1 (five-degree keys) or 2 (whole-degree squares) of one square.
void MapReadVectorSquare(int32_t lon, int32_t lat, const MapFileHeader& header, VecSquare* sq, int layer);
void ValidateVectorSquare(VecSquare* sq);
void MapLoadVecLayer1(int32_t keyLon, int32_t keyLat, const MapFileHeader& header, VecSquare* vec);
void MapLoadVecLayer2(int32_t lon, int32_t lat, const MapFileHeader& header, MapSquare* squares);
