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

// The column term times the longitude scale, per column, once a frame:
// ((a - q) * inv) >> 18 is (a * inv - q * inv) >> 18 exactly, so the row
// loop needs no multiply. Below 2^63: |a|, |q| < 2^30 and inv < 2^32.
struct TerrainColumns {
    int64_t b[kLineBytes];       // row term of each column
    int64_t aScaled[kLineBytes]; // column term times G_MapLonScaleInv
};

// Samples of one pane row at columns cx1 down to cx0. Both terms are floors
// of linear functions of c, so column and row each move one way along the
// row: the pixels inside the cache are one run, found from its two ends.
static void BuildRow(uint8_t* line, int32_t r, int32_t cx0, int32_t cx1, const TerrainColumns& t, int64_t col0,
                     int64_t row0) {
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    const int64_t cosv = CosTab10[G_MapRotation % kTrigSteps], sinv = SinTab10[G_MapRotation % kTrigSteps];
    const int64_t step = TerrainStepTab[G_MapZoom < kTerrainZooms ? G_MapZoom : 0];
    const int64_t e = ((static_cast<int64_t>(own.y - r) << 18) * step) >> 18;
    const int64_t p = (e * cosv) >> 18, q = (e * sinv) >> 18;
    const int64_t qScaled = q * static_cast<int64_t>(G_MapLonScaleInv);
    const auto column = [&](int32_t c) { return (col0 - ((t.aScaled[c] - qScaled) >> 18)) >> 18; };
    const auto row = [&](int32_t c) { return (row0 - (p + t.b[c])) >> 18; };
    const auto inside = [&](int32_t c) {
        const int64_t x = column(c), y = row(c);
        return x >= 0 && x < kCacheSide && y >= 0 && y < kCacheSide;
    };
    // Past the cached squares: a fixed index, never a read outside the cache.
    int32_t hi = cx1, lo = cx0;
    for (; hi >= cx0 && !inside(hi); --hi) line[hi] = kTerrainOutside;
    for (; lo <= hi && !inside(lo); ++lo) line[lo] = kTerrainOutside;
    for (int32_t c = hi; c >= lo; --c)
        line[c] = static_cast<uint8_t>(128 + (G_TerrainCache[row(c) * kCacheSide + column(c)] >> 1));
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
    // Only the channel's progress or time ends the wait: each round idles
    // until the channel's next event (or the time-out).
    while (!(HwRead32(DCSR0) & kDcsrStopState)) {
        if (TicksElapsed(ReadOsTimer(), started, kTerrainDmaTimeout)) break;
        HwIdleUntil(started + kTerrainDmaTimeout + 1);
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
    static TerrainColumns t;
    for (int32_t c = cx0; c <= cx1; ++c) {
        const int64_t d = ((static_cast<int64_t>(own.x - c) << 18) * step) >> 18;
        t.aScaled[c] = ((d * cosv) >> 18) * static_cast<int64_t>(G_MapLonScaleInv);
        t.b[c] = (d * sinv) >> 18;
    }
    for (int32_t r = y0; r <= y1; ++r) BuildRow(lines + r * kLineBytes, r, cx0, cx1, t, col0, row0);
    CopyRows(y0, y1, cx0, cx1);
}
