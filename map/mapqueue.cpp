// The map load queue, the terrain cache and the line work around the centre.
#include "map/mapqueue.h"

#include <cstring>
#include <liblzf/lzf.h>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "map/map.h"
#include "ui/popup.h"
#include "wx/wx.h"

MapQueue G_MapQueue = {};
uint8_t G_TerrainCache[kTerrainCacheSide * kTerrainCacheSide];
TerrainLoad G_TerrainLoad = {};
VecSquare G_VecSquares[kVecSlots];

// No load yet: a sentinel no real centre matches (also not key square 0, 0).
constexpr int32_t kNoCentre = INT32_MIN;
MapLoadCentres G_MapCentres = {kNoCentre, kNoCentre, kNoCentre, kNoCentre};

static uint8_t s_packed[kTerrainMaxPacked];
static uint8_t s_square[kTerrainSquareBytes];

int32_t MapKey5(int32_t degrees) {
    const int32_t q = degrees / 5;
    return 5 * (degrees % 5 < 0 ? q - 1 : q);
}

// ---- the ring ----------------------------------------------------------------------------------

int32_t MapStackFull() {
    if ((G_MapQueue.nWrite + 1) % kMapQueueSlots != G_MapQueue.nRead) return 0;
    DebugPrintf("Map Stack: Stack FULL!\n");
    return 1;
}

MapQueueOp* MapStackPush() {
    if (MapStackFull()) return nullptr;
    MapQueueOp* op = &G_MapQueue.ops[G_MapQueue.nWrite % kMapQueueSlots];
    std::memset(op, 0, sizeof *op);
    G_MapQueue.nWrite = (G_MapQueue.nWrite + 1) % kMapQueueSlots;
    return op;
}

void MapStackClear() { std::memset(&G_MapQueue, 0, sizeof G_MapQueue); }

void MapPushShift(uint32_t op, uint32_t index) {
    if (MapQueueOp* r = MapStackPush()) {
        r->nOp = op;
        r->nArg = index;
    }
}

void MapPushLoadSquare(uint32_t column, uint32_t row, int32_t keyLon, int32_t keyLat) {
    if (MapQueueOp* r = MapStackPush()) {
        r->nOp = kOpLoadTerrain;
        r->nArg = column;
        r->nRow = row;
        r->nKeyLat = keyLat;
        r->nKeyLon = keyLon;
    }
}

void MapPushTfrLoad() {
    if (MapQueueOp* r = MapStackPush()) r->nOp = kOpTfrLoad;
}

void MapPushMetarIndex() {
    if (MapQueueOp* r = MapStackPush()) r->nOp = kOpMetarMarks;
}

void MapQueueReset() {
    MapStackClear();
    std::memset(&G_TerrainLoad, 0, sizeof G_TerrainLoad);
    G_MapCentres = {kNoCentre, kNoCentre, kNoCentre, kNoCentre};
}

// ---- terrain cache -----------------------------------------------------------------------------

static uint8_t* CacheRow(uint32_t row) { return &G_TerrainCache[static_cast<size_t>(row) * kTerrainCacheSide]; }

static void ZeroCell(uint32_t column, uint32_t row) {
    if (column >= kTerrainCells || row >= kTerrainCells) return;
    for (uint32_t y = 0; y < kTerrainSide; ++y) std::memset(CacheRow(row * kTerrainSide + y) + column * kTerrainSide, 0, kTerrainSide);
}

static void ShiftColumn(uint32_t column, bool up) {
    if (column >= kTerrainCells) return;
    const uint32_t x = column * kTerrainSide;
    if (up) {
        for (uint32_t y = kTerrainSide; y < kTerrainCacheSide; ++y)
            std::memcpy(CacheRow(y - kTerrainSide) + x, CacheRow(y) + x, kTerrainSide);
    } else {
        for (int32_t y = kTerrainCacheSide - kTerrainSide - 1; y >= 0; --y)
            std::memcpy(CacheRow(static_cast<uint32_t>(y) + kTerrainSide) + x, CacheRow(static_cast<uint32_t>(y)) + x,
                        kTerrainSide);
    }
}

static void ShiftRow(uint32_t row, bool left) {
    if (row >= kTerrainCells) return;
    for (uint32_t y = row * kTerrainSide; y < (row + 1) * kTerrainSide; ++y) {
        uint8_t* r = CacheRow(y);
        if (left) std::memmove(r, r + kTerrainSide, kTerrainCacheSide - kTerrainSide);
        else std::memmove(r + kTerrainSide, r, kTerrainCacheSide - kTerrainSide);
    }
}

static bool TerrainUsable() { return MapLoaded() && MapStatusOf(kMapFileTerrain) == kMapOk; }

static uint32_t s_terrainMsgs = 0;

// A square must unpack to exactly 600 x 600 samples; anything else leaves
// the cell empty rather than stale or half-written.
static void DecompressIntoCell() {
    TerrainLoad& t = G_TerrainLoad;
    const unsigned got = lzf_decompress(s_packed, t.nLength, s_square, kTerrainSquareBytes);
    if (got != kTerrainSquareBytes) {
        if (s_terrainMsgs < 5) {
            ++s_terrainMsgs;
            DebugPrintf("Map Queue: bad terrain square (%u bytes)\n", got);
        }
        ZeroCell(t.nColumn, t.nRow);
    } else if (t.nColumn < kTerrainCells && t.nRow < kTerrainCells) {
        for (uint32_t y = 0; y < kTerrainSide; ++y)
            std::memcpy(CacheRow(t.nRow * kTerrainSide + y) + t.nColumn * kTerrainSide, &s_square[y * kTerrainSide],
                        kTerrainSide);
    }
    t.nDecompress = 0;
    t.nColumn = t.nRow = t.nLength = 0;
}

static void TerrainReadStep() {
    TerrainLoad& t = G_TerrainLoad;
    if (t.nRead > t.nLength) {
        DebugPrintf("Map Queue: Terrain read past end of square\n");
        t.nReading = 0;
        t.nDecompress = 1;
        return;
    }
    const uint32_t rest = t.nLength - t.nRead;
    if (rest > kTerrainReadStep) {
        MapFileRead(kMapFileTerrain, kTerrainReadStep, &s_packed[t.nRead]);
        t.nRead += kTerrainReadStep;
        return;
    }
    MapFileRead(kMapFileTerrain, rest, &s_packed[t.nRead]);
    t.nDecompress = 1;
    t.nReading = 0;
    t.nRead = 0;
}

static void StartTerrainLoad(const MapQueueOp& op) {
    if (!TerrainUsable()) return;
    const int32_t offset = MapSquareOffset(op.nKeyLon, op.nKeyLat, G_MapHeader);
    if (offset < 0) {
        DebugPrintf("Map Queue: Load -- Bad Offset (%d,%d)\n", static_cast<int>(op.nKeyLon),
                    static_cast<int>(op.nKeyLat));
        return;
    }
    SquareIndexRecord rec{};
    if (!MapFileSeekRead(kMapFileMap, G_MapHeader.nSquareIndex + static_cast<uint32_t>(offset), sizeof rec, &rec))
        return;
    if (rec.nTerrainLen == 0 || rec.nTerrainLen >= kTerrainMaxPacked) {
        ZeroCell(op.nArg, op.nRow);
        return;
    }
    if (!MapFileSeek(kMapFileTerrain, rec.nTerrain)) return;
    G_TerrainLoad = {0, 1, 0, op.nArg, op.nRow, rec.nTerrainLen};
}

// The TFR file shares the weather text buffer: never while a product decodes into it.
static bool TfrLoad() {
    if (G_Wx.nDecodeState != 0) return false;
    if (G_Wx.nTfrCount != 0) return true;
    if (!MapFileOpen("TFR.XML", kMapFileTfr)) return true;
    const uint32_t size = MapFileSize(kMapFileTfr);
    if (size < kWxTextBytes && MapFileRead(kMapFileTfr, size, G_WxText)) WxTfrParseXml(G_WxText, size);
    return true;
}

static void RunOp(MapQueueOp& op) {
    switch (op.nOp) {
    case kOpShiftUp: ShiftColumn(op.nArg, true); break;
    case kOpShiftDown: ShiftColumn(op.nArg, false); break;
    case kOpShiftLeft: ShiftRow(op.nArg, true); break;
    case kOpShiftRight: ShiftRow(op.nArg, false); break;
    case kOpLoadTerrain: StartTerrainLoad(op); break;
    case kOpMetarMarks: WxMetarMarkAirports(); break;
    default: DebugPrintf("Map Queue: Unknown Map Operation - %d\n", static_cast<int>(op.nOp)); break;
    }
}

void MapQueueProcess() {
    TerrainLoad& t = G_TerrainLoad;
    if (t.nReading) {
        if (TerrainUsable()) {
            TerrainReadStep();
            return;
        }
    } else if (t.nDecompress) {
        DecompressIntoCell();
        return;
    }
    if (G_MapQueue.nRead == G_MapQueue.nWrite) {
        WxDecodeStep();
        return;
    }
    MapQueueOp& op = G_MapQueue.ops[G_MapQueue.nRead % kMapQueueSlots];
    // The file waits at the head until the decode ends; the decode goes on meanwhile.
    if (op.nOp == kOpTfrLoad && !TfrLoad()) {
        WxDecodeStep();
        return;
    }
    if (op.nOp != kOpTfrLoad) RunOp(op);
    std::memset(&op, 0, sizeof op);
    G_MapQueue.nRead = (G_MapQueue.nRead + 1) % kMapQueueSlots;
}

// ---- line work ---------------------------------------------------------------------------------

static uint32_t s_vecMsgs = 0;
static bool VecMsg() { return s_vecMsgs < 5 && ++s_vecMsgs; }

void MapReadVectorSquare(int32_t lon, int32_t lat, const MapFileHeader& header, VecSquare* sq, int layer) {
    sq->nPoints = sq->nChains = 0;
    const int32_t offset = VecSquareOffset(lon, lat, header);
    if (offset < 0) {
        if (VecMsg()) DebugPrintf("MAP IO: vsoob (%d,%d)\n", static_cast<int>(lon), static_cast<int>(lat));
        return;
    }
    VecIndexRecord r{};
    if (!MapFileSeekRead(kMapFileVector, G_VecHeader.nIndex + static_cast<uint32_t>(offset), sizeof r, &r)) {
        DebugPrintf("MAP IO: bvsl (%d,%d)\n", static_cast<int>(lon), static_cast<int>(lat));
        return;
    }
    if (r.nData == 0) return;
    uint32_t chains, points, chainStart, pointStart;
    bool ok;
    if (layer == 1) {
        chains = r.nL1Chains, points = r.nL1Points, chainStart = r.nL2Chains, pointStart = r.nL2Points;
        ok = points <= kVecMaxPoints && chains < 700;
    } else {
        chains = r.nL2Chains, points = r.nL2Points, chainStart = 0, pointStart = 0;
        ok = points < kVecMaxPoints && chains < kVecMaxChains;
    }
    if (!ok) {
        if (VecMsg()) DebugPrintf("MAP IO: vle (%d,%d)\n", static_cast<int>(lon), static_cast<int>(lat));
        return;
    }
    const uint32_t chainBytes = chains * sizeof(VecChain), pointBytes = points * sizeof(VecPoint);
    if (chains && !MapFileSeekRead(kMapFileVector, r.nData + chainStart * sizeof(VecChain), chainBytes, sq->chains)) {
        if (VecMsg()) DebugPrintf("MAP IO: bvcr %d/%d\n", static_cast<int>(chainBytes), 0);
        return;
    }
    const uint32_t pointsAt = r.nData + (static_cast<uint32_t>(r.nL2Chains) + r.nL1Chains) * sizeof(VecChain) +
                              pointStart * sizeof(VecPoint);
    if (points && !MapFileSeekRead(kMapFileVector, pointsAt, pointBytes, sq->points)) {
        if (VecMsg()) DebugPrintf("MAP: bvcr %d/%d\n", static_cast<int>(pointBytes), 0);
        return;
    }
    sq->nPoints = points;
    sq->nChains = chains;
}

void ValidateVectorSquare(VecSquare* sq) {
    auto empty = [sq] { sq->nPoints = sq->nChains = 0; };
    if (sq->nPoints > kVecMaxPoints) {
        DebugPrintf("MAP IO: nopbboa np=%d\n", static_cast<int>(sq->nPoints));
        return empty();
    }
    if (sq->nChains > kVecMaxChains) {
        DebugPrintf("MAP IO: nocbboa nc=%d\n", static_cast<int>(sq->nChains));
        return empty();
    }
    for (uint32_t i = 0; i < sq->nChains; ++i) {
        const VecChain& c = sq->chains[i];
        if (c.nLast > 6877 || c.nPoints > 4000) {
            DebugPrintf("MAP IO: chain? (%d,%d,%d)\n", static_cast<int>(i), static_cast<int>(c.nPoints),
                        static_cast<int>(c.nLast));
            if (c.nPoints > kVecMaxPoints) DebugPrintf("MAP IO: aplta tp=%d\n", static_cast<int>(c.nPoints));
            return empty();
        }
    }
    for (uint32_t i = 0; i < sq->nPoints; ++i) {
        const int32_t lat = sq->points[i].nLat >> 18, lon = sq->points[i].nLon >> 18;
        if (lat < -90 || lat > 90 || lon < -180 || lon > 180) {
            DebugPrintf("MAP IO: point? (%d,%d)\n", static_cast<int>(lat), static_cast<int>(lon));
            return empty();
        }
    }
}

void MapLoadVecLayer1(int32_t keyLon, int32_t keyLat, const MapFileHeader& header, VecSquare* vec) {
    if (MapStatusOf(kMapFileVector) != kMapOk) return;
    int k = 0;
    for (int32_t j = -10; j <= 10; j += 5)
        for (int32_t i = -10; i <= 10; i += 5, ++k) {
            MapReadVectorSquare(keyLon + i, keyLat + j, header, &vec[k], 1);
            ValidateVectorSquare(&vec[k]);
        }
}

void MapLoadVecLayer2(int32_t lon, int32_t lat, const MapFileHeader& header, MapSquare* squares) {
    if (MapStatusOf(kMapFileVector) != kMapOk) return;
    int k = 0;
    for (int32_t j = -2; j <= 2; ++j)
        for (int32_t i = -2; i <= 2; ++i, ++k) {
            MapReadVectorSquare(lon + i, lat + j, header, &squares[k].vec, 2);
            ValidateVectorSquare(&squares[k].vec);
        }
}

// ---- loads around a new centre -----------------------------------------------------------------

static const uint32_t kNearFirst[7] = {3, 2, 4, 1, 5, 0, 6};
static const uint8_t kSpiral[49][2] = {
    {3, 3}, {2, 3}, {2, 2}, {3, 2}, {4, 2}, {4, 3}, {4, 4}, {3, 4}, {2, 4}, {1, 4}, {1, 3}, {1, 2}, {1, 1},
    {2, 1}, {3, 1}, {4, 1}, {5, 1}, {5, 2}, {5, 3}, {5, 4}, {5, 5}, {4, 5}, {3, 5}, {2, 5}, {1, 5}, {0, 5},
    {0, 4}, {0, 3}, {0, 2}, {0, 1}, {0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {6, 1}, {6, 2},
    {6, 3}, {6, 4}, {6, 5}, {6, 6}, {5, 6}, {4, 6}, {3, 6}, {2, 6}, {1, 6}, {0, 6}};

static int32_t CellKeyLat(int32_t keyLat, uint32_t row) { return keyLat + (3 - static_cast<int32_t>(row)) * 5; }
static int32_t CellKeyLon(int32_t keyLon, uint32_t column) { return keyLon + (static_cast<int32_t>(column) - 3) * 5; }

static void QueueColumn(uint32_t shift, uint32_t column, int32_t keyLon, int32_t keyLat) {
    for (uint32_t r : kNearFirst) MapPushShift(shift, r);
    for (uint32_t r : kNearFirst) MapPushLoadSquare(column, r, CellKeyLon(keyLon, column), CellKeyLat(keyLat, r));
    MapQueueProcess();
}

static void QueueRow(uint32_t shift, uint32_t row, int32_t keyLon, int32_t keyLat) {
    for (uint32_t c : kNearFirst) MapPushShift(shift, c);
    for (uint32_t c : kNearFirst) MapPushLoadSquare(c, row, CellKeyLon(keyLon, c), CellKeyLat(keyLat, row));
    MapQueueProcess();
}

static void QueueTerrain(int32_t keyLon, int32_t keyLat) {
    const MapLoadCentres& old = G_MapCentres;
    const bool near = old.nKeyLon != kNoCentre && old.nKeyLat != kNoCentre &&
                      static_cast<int64_t>(old.nKeyLon) - keyLon < 6 && keyLon - static_cast<int64_t>(old.nKeyLon) < 6 &&
                      static_cast<int64_t>(old.nKeyLat) - keyLat < 6 && keyLat - static_cast<int64_t>(old.nKeyLat) < 6;
    if (near) {
        if (keyLon + 5 == old.nKeyLon) QueueColumn(kOpShiftRight, 0, keyLon, keyLat);
        else if (keyLon - 5 == old.nKeyLon) QueueColumn(kOpShiftLeft, 6, keyLon, keyLat);
        if (keyLat + 5 == old.nKeyLat) QueueRow(kOpShiftUp, 6, keyLon, keyLat);
        else if (keyLat - 5 == old.nKeyLat) QueueRow(kOpShiftDown, 0, keyLon, keyLat);
        return;
    }
    MapStackClear();
    for (const auto& cell : kSpiral)
        MapPushLoadSquare(cell[0], cell[1], CellKeyLon(keyLon, cell[0]), CellKeyLat(keyLat, cell[1]));
    MapPushMetarIndex();
    MapPushTfrLoad();
}

static void LoadSquareBlocks(int32_t lon, int32_t lat, const MapFileHeader& header, MapSquare* squares) {
    SquareIndexRecord recs[kMapSquareSlots];
    for (int32_t j = -2; j <= 2; ++j)
        for (int32_t i = -2; i <= 2; ++i) MapReadSquareIndex(lon + i, lat + j, header, &recs[5 * (j + 2) + (i + 2)]);
    MapLoadVecLayer2(lon, lat, header, squares);
    // Each slot from the record of its own square: the window is centred.
    for (int32_t i = -2; i <= 2; ++i)
        for (int32_t j = -2; j <= 2; ++j)
            MapLoadSquareBlock(lon + i, lat + j, header, &squares[5 * (i + 2) + (j + 2)], recs[5 * (j + 2) + (i + 2)]);
}

void MapLoadAround(int32_t lon, int32_t lat, const MapFileHeader& header, MapSquare* squares, VecSquare* vec) {
    if (!MapLoaded()) return;
    const int32_t keyLon = MapKey5(lon), keyLat = MapKey5(lat);
    if (keyLon != G_MapCentres.nKeyLon || keyLat != G_MapCentres.nKeyLat) {
        MapLoadVecLayer1(keyLon, keyLat, header, vec);
        QueueTerrain(keyLon, keyLat);
    }
    if (lon != G_MapCentres.nLon || lat != G_MapCentres.nLat) {
        ShowPopupMsg(0xFFFFFF, 320, 240, kTicksPerSecond, "LOADING...");
        MapPushMetarIndex();
        LoadSquareBlocks(lon, lat, header, squares);
        if (G_Nearest.nMode == 1) NearestAirportsUpdate();
    }
    G_MapCentres = {keyLon, keyLat, lon, lat};
}
