// The terrain layer.
#include "map/terrain.h"

#include <cstring>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "gui/lcd.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "platform/hw.h"
#include "ui/pages.h"
#include "ui/style.h"

const int32_t TerrainStepTab[kTerrainZooms] = {953250, 476625, 343169, 228780, 152520, 114390, 76260,
                                               57195,  38130,  22878,  15252,  11439,  7626};
volatile uint32_t G_TerrainDmaBusy = 0;

namespace {
constexpr int kLineRows = 480, kLineBytes = 640;
constexpr int32_t kCacheSide = static_cast<int32_t>(kTerrainCacheSide);

#pragma pack(push, 1)
struct TerrainDesc {          // as the DMA controller fetches it
    uint32_t nNext;
    uint32_t nSource;
    uint32_t nTarget;
    uint32_t nCommand;
};
#pragma pack(pop)
static_assert(sizeof(TerrainDesc) == 16);

uint8_t* LineBuf() { return HwMemory(kTerrainLineBus, kLineRows * kLineBytes); }
TerrainDesc* Descs() { return reinterpret_cast<TerrainDesc*>(HwMemory(kTerrainDescBus, kLineRows * sizeof(TerrainDesc))); }
}  // namespace

// The cache holds the 7 x 7 five-degree squares around the centre key, the
// centre square in cell 3 with floor keys ([K, K + 5)): its west edge at
// column 1800 and its south edge at row 2400, in every quadrant.
void TerrainOrigin(int32_t lat, int32_t lon, int32_t* col0, int32_t* row0) {
    const int64_t keyLat = MapKey5(lat >> 18), keyLon = MapKey5(lon >> 18);
    const int64_t dlon = lon - keyLon * kMapUnitsPerDeg, dlat = lat - keyLat * kMapUnitsPerDeg;
    const double col = 1800.0 * 262144.0 + static_cast<double>(((dlon * 52428) >> 18) * 600) + 131072.0;
    const double row = 2400.0 * 262144.0 - static_cast<double>(((dlat * 52428) >> 18) * 600) - 131072.0;
    *col0 = static_cast<int32_t>(col);
    *row0 = static_cast<int32_t>(row);
}

// One pane row into the line buffer, right to left.
static void BuildRow(uint8_t* line, int32_t r, int32_t cx0, int32_t cx1, const int64_t* a, const int64_t* b,
                     int64_t col0, int64_t row0) {
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    const int64_t cosv = CosTab10[G_MapRotation % kTrigSteps], sinv = SinTab10[G_MapRotation % kTrigSteps];
    const int64_t step = TerrainStepTab[G_MapZoom < kTerrainZooms ? G_MapZoom : 0];
    const int64_t e = ((static_cast<int64_t>(own.y - r) << 18) * step) >> 18;
    const int64_t p = (e * cosv) >> 18, q = (e * sinv) >> 18;
    const int64_t inv = G_MapLonScaleInv;
    for (int32_t c = cx1; c >= cx0; --c) {
        const int64_t column = (col0 - (((a[c] - q) * inv) >> 18)) >> 18;
        const int64_t row = (row0 - (p + b[c])) >> 18;
        // Past the cached squares: a fixed index, never a read outside the cache.
        if (column < 0 || column >= kCacheSide || row < 0 || row >= kCacheSide) {
            line[c] = kTerrainOutside;
            continue;
        }
        line[c] = static_cast<uint8_t>(128 + (G_TerrainCache[row * kCacheSide + column] >> 1));
    }
}

// The chain copies whole 4-byte words from word-aligned addresses: the few
// frame pixels the words take in beyond the pane are read into the line
// first, so the copy leaves them as they were.
static void CopyRows(int32_t y0, int32_t y1, int32_t cx0, int32_t cx1) {
    uint8_t* lines = LineBuf();
    TerrainDesc* desc = Descs();
    const uint8_t* frame = HwMemory(LCD_FRAME, 640 * LCD_VYSIZE);
    if (!lines || !desc || !frame || y1 < y0) return;
    const int32_t start = cx0 & ~3, end = std::min<int32_t>((cx1 + 4) & ~3, kLineBytes);
    int n = 0;
    for (int32_t r = y0; r <= y1; ++r, ++n) {
        uint8_t* line = lines + r * kLineBytes;
        const uint8_t* target = frame + (kMapBandY + r) * 640;
        std::memcpy(line + start, target + start, static_cast<size_t>(cx0 - start));
        std::memcpy(line + cx1 + 1, target + cx1 + 1, static_cast<size_t>(end - cx1 - 1));
        TerrainDesc& d = desc[n];
        d.nNext = kTerrainDescBus + static_cast<uint32_t>(n + 1) * sizeof(TerrainDesc);
        d.nSource = kTerrainLineBus + static_cast<uint32_t>(r * kLineBytes + start);
        d.nTarget = LCD_FRAME + static_cast<uint32_t>((kMapBandY + r) * 640 + start);
        d.nCommand = static_cast<uint32_t>(end - start) | kDcmdIncSrc | kDcmdIncTrg;
    }
    desc[n - 1].nNext |= kDdadrStop;
    G_TerrainDmaBusy = 1;
    HwWrite32(DCSR0, 0);
    HwWrite32(DDADR0, kTerrainDescBus);
    const uint32_t started = ReadOsTimer();
    HwWrite32(DCSR0, kDcsrRun);
    while (!(HwRead32(DCSR0) & kDcsrStopState)) {
        if (TicksElapsed(ReadOsTimer(), started, kTerrainDmaTimeout)) break;
    }
    if (!(HwRead32(DCSR0) & kDcsrStopState)) {
        DebugPrintf("Terrain DMA !done\n");
        HwWrite32(DCSR0, 0);   // the chain is given up: the next frame starts a new one
    }
    G_TerrainDmaBusy = 0;
}

void MapDrawTerrain() {
    if (MapStatusOf(kMapFileTerrain) != kMapOk) return;
    const PaneRecord& p = G_MapPane;
    int32_t cx0 = p.x0 + 1, cx1 = p.x1;
    if (IsSplitMapPage()) {
        cx0 = p.x0 + 91;
        cx1 = p.x1 - 90;
    }
    cx1 = std::min<int32_t>(cx1, kLineBytes - 1);
    const int32_t y0 = std::max<int32_t>(p.y0 + 1, 0), y1 = std::min<int32_t>(p.y1 - 1, kLineRows - 1);
    uint8_t* lines = LineBuf();
    if (!lines || cx0 > cx1 || cx0 < 0) return;

    int32_t col0 = 0, row0 = 0;
    TerrainOrigin(G_MapFrame.nRefLat, G_MapFrame.nRefLon, &col0, &row0);
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    const int64_t cosv = CosTab10[G_MapRotation % kTrigSteps], sinv = SinTab10[G_MapRotation % kTrigSteps];
    const int64_t step = TerrainStepTab[G_MapZoom < kTerrainZooms ? G_MapZoom : 0];
    static int64_t a[kLineBytes], b[kLineBytes];
    for (int32_t c = cx0; c <= cx1; ++c) {
        const int64_t d = ((static_cast<int64_t>(own.x - c) << 18) * step) >> 18;
        a[c] = (d * cosv) >> 18;
        b[c] = (d * sinv) >> 18;
    }
    for (int32_t r = y0; r <= y1; ++r) BuildRow(lines + r * kLineBytes, r, cx0, cx1, a, b, col0, row0);
    CopyRows(y0, y1, cx0, cx1);
}
