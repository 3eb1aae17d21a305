// The load queue and the terrain cache on generated cards.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "map/map.h"
#include "map/mapqueue.h"
#include "map_fixture.h"
#include "storage/nvram.h"
#include "wx/ppmd.h"
#include "wx/products.h"
#include "wx/wx.h"

namespace {

class MapQueueTest : public MapCardTest {
protected:
    void Load(const std::string& args) {
        MakeCard(args);
        MapInit();
        ASSERT_EQ(MapStatusOf(kMapFileMap), kMapOk);
    }
    static uint32_t Queued() { return (G_MapQueue.nWrite + kMapQueueSlots - G_MapQueue.nRead) % kMapQueueSlots; }
    static const MapQueueOp& At(uint32_t i) { return G_MapQueue.ops[(G_MapQueue.nRead + i) % kMapQueueSlots]; }
    static bool Busy() { return Queued() != 0 || G_TerrainLoad.nReading || G_TerrainLoad.nDecompress; }
    static int Drain() {
        int steps = 0;
        while (Busy() && steps < 100000) {
            MapQueueProcess();
            ++steps;
        }
        return steps;
    }
    void Around(int32_t lon, int32_t lat) { MapLoadAround(lon, lat, G_MapHeader, G_MapSquares, G_VecSquares); }
    static uint8_t Cache(uint32_t row, uint32_t col) { return G_TerrainCache[row * kTerrainCacheSide + col]; }
    static void FillCell(uint32_t c, uint32_t r, uint8_t v) {
        for (uint32_t y = 0; y < kTerrainSide; ++y)
            std::memset(&G_TerrainCache[(r * kTerrainSide + y) * kTerrainCacheSide + c * kTerrainSide], v, kTerrainSide);
    }
    static bool CellIs(uint32_t c, uint32_t r, uint8_t v) {
        for (uint32_t y = 0; y < kTerrainSide; ++y)
            for (uint32_t x = 0; x < kTerrainSide; ++x)
                if (Cache(r * kTerrainSide + y, c * kTerrainSide + x) != v) return false;
        return true;
    }
    // The generator's sample of a key's square (its smooth synthetic classes).
    static uint8_t Sample(long base, uint32_t row, uint32_t col) {
        return static_cast<uint8_t>((base + (row / 40) * 3 + col / 50) & 0xFF);
    }
    // Checks every terrain square of the manifest that lies in the grid.
    void CheckCache(int32_t keyLon, int32_t keyLat) {
        const long n = ManifestInt("len(m['terrain'])");
        int seen = 0;
        for (long i = 0; i < n; ++i) {
            const std::string t = "m['terrain'][" + std::to_string(i) + "]";
            const long klat = ManifestInt(t + "['key'][0]"), klon = ManifestInt(t + "['key'][1]");
            const long c = 3 + (klon - keyLon) / 5, r = 3 - (klat - keyLat) / 5;
            if (c < 0 || c > 6 || r < 0 || r > 6) continue;
            ++seen;
            const long base = ManifestInt(t + "['base']");
            for (uint32_t y : {0u, 123u, 599u})
                for (uint32_t x : {0u, 77u, 599u})
                    ASSERT_EQ(Cache(static_cast<uint32_t>(r) * 600 + y, static_cast<uint32_t>(c) * 600 + x),
                              Sample(base, y, x))
                        << "key " << klat << "," << klon << " sample " << y << "," << x;
        }
        EXPECT_GT(seen, 0);
    }
};

TEST_F(MapQueueTest, AJumpQueuesTheWholeGridCentreFirstThenTheWeatherOperations) {
    Load("--region nw");
    Around(-123, 45);
    ASSERT_EQ(Queued(), 52u) << "49 loads, op 8 and op 7, then op 8 of the new square blocks";
    const uint8_t first[4][2] = {{3, 3}, {2, 3}, {2, 2}, {3, 2}};
    for (uint32_t i = 0; i < 4; ++i) {
        EXPECT_EQ(At(i).nOp, kOpLoadTerrain);
        EXPECT_EQ(At(i).nArg, first[i][0]);
        EXPECT_EQ(At(i).nRow, first[i][1]);
    }
    EXPECT_EQ(At(0).nKeyLat, 45);
    EXPECT_EQ(At(0).nKeyLon, -125) << "floor keys: -123 lies in [-125, -120)";
    EXPECT_EQ(At(48).nArg, 0u);
    EXPECT_EQ(At(48).nRow, 6u);
    EXPECT_EQ(At(48).nKeyLat, 30);
    EXPECT_EQ(At(48).nKeyLon, -140);
    EXPECT_EQ(At(49).nOp, kOpMetarMarks);
    EXPECT_EQ(At(50).nOp, kOpTfrLoad);
    EXPECT_EQ(At(51).nOp, kOpMetarMarks);
}

TEST_F(MapQueueTest, OneSquareEastShiftsTheRowsAndLoadsTheNewColumnNearestFirst) {
    Load("--region nw");
    Around(-123, 45);
    Drain();
    Around(-118, 45);   // key -125 -> -120
    const uint32_t order[7] = {3, 2, 4, 1, 5, 0, 6};
    // One step ran at once: the first shift (row 3) is done.
    ASSERT_EQ(Queued(), 6u + 7u + 1u);
    for (uint32_t i = 0; i < 6; ++i) {
        EXPECT_EQ(At(i).nOp, kOpShiftLeft);
        EXPECT_EQ(At(i).nArg, order[i + 1]);
    }
    for (uint32_t i = 0; i < 7; ++i) {
        const MapQueueOp& op = At(6 + i);
        EXPECT_EQ(op.nOp, kOpLoadTerrain);
        EXPECT_EQ(op.nArg, 6u);
        EXPECT_EQ(op.nRow, order[i]);
        EXPECT_EQ(op.nKeyLon, -120 + 15);
        EXPECT_EQ(op.nKeyLat, 45 + (3 - static_cast<int32_t>(order[i])) * 5);
    }
    EXPECT_EQ(At(13).nOp, kOpMetarMarks);
    Drain();
    CheckCache(-120, 45);
}

TEST_F(MapQueueTest, TheCacheHoldsTheGeneratedTerrainAtTheFloorKeyCells) {
    for (const char* region : {"nw", "se"}) {
        SCOPED_TRACE(region);
        board().mmc().Remove();
        RunCommand("rm -rf " + dir_ + "/files");
        MakeCard(std::string("--region ") + region);
        // Starts at the region's own start position, saved as the last one.
        NvSetF32(kNvLastLatitude, static_cast<float>(ManifestInt("m['start'][0]")) / 262144.0f);
        NvSetF32(kNvLastLongitude, static_cast<float>(ManifestInt("m['start'][1]")) / 262144.0f);
        MapInit();
        ASSERT_EQ(MapStatusOf(kMapFileMap), kMapOk);
        const int32_t lat = G_MapHeader.nRefLat >> 18, lon = G_MapHeader.nRefLon >> 18;
        Around(lon, lat);
        Drain();
        const int32_t klat = MapKey5(lat), klon = MapKey5(lon);
        CheckCache(klon, klat);
        // The reference position's sample: column 1800 + dlon x 120, row 2400 - dlat x 120.
        const double dlat = G_MapHeader.nRefLat / 262144.0 - klat, dlon = G_MapHeader.nRefLon / 262144.0 - klon;
        const uint32_t col = static_cast<uint32_t>(1800 + dlon * 120), row = static_cast<uint32_t>(2400 - dlat * 120);
        const long base = ManifestInt("[t['base'] for t in m['terrain'] if t['key'] == [" + std::to_string(klat) + ", " +
                                      std::to_string(klon) + "]][0]");
        EXPECT_EQ(Cache(row, col), Sample(base, row - 1800, col - 1800));
    }
    EXPECT_EQ(MapKey5(-38), -40);
    EXPECT_EQ(MapKey5(-35), -35);
    EXPECT_EQ(MapKey5(-119), -120);
    EXPECT_EQ(MapKey5(4), 0);
}

TEST_F(MapQueueTest, TerrainBlocksAreReadInStepsAndBadOnesLeaveAZeroCell) {
    struct Case {
        const char* fault;
        uint32_t readSteps;   // steps with the reading flag set after the load op
    };
    const Case cases[] = {{"terrain-5121", 2}, {"terrain-corrupt", 0}, {"terrain-360005", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fault);
        board().mmc().Remove();
        RunCommand("rm -rf " + dir_ + "/files");
        Load(std::string("--region nw --fault ") + c.fault);
        FillCell(3, 4, 0xAA);
        MapStackClear();
        MapPushLoadSquare(3, 4, -125, 40);
        MapQueueProcess();
        if (std::string(c.fault) == "terrain-5121") {
            EXPECT_EQ(+G_TerrainLoad.nReading, 1u);
            EXPECT_EQ(+G_TerrainLoad.nLength, 5121u);
            MapQueueProcess();
            EXPECT_EQ(+G_TerrainLoad.nRead, 5120u);
            EXPECT_EQ(+G_TerrainLoad.nReading, 1u);
            MapQueueProcess();
            EXPECT_EQ(+G_TerrainLoad.nReading, 0u);
            EXPECT_EQ(+G_TerrainLoad.nDecompress, 1u);
        }
        Drain();
        EXPECT_TRUE(CellIs(3, 4, 0)) << "no stale or partial samples";
    }
    EXPECT_NE(Log().find("Map Queue: bad terrain square"), std::string::npos) << Log();
}

TEST_F(MapQueueTest, ACardChangeAtTheSamePositionReloadsEverything) {
    Load("--region nw");
    Around(-123, 45);
    for (int i = 0; i < 40; ++i) MapQueueProcess();   // removed in the middle of the loads
    Remove();
    EXPECT_EQ(MapStatusOf(kMapFileMap), kMapNoCard);
    std::memset(G_TerrainCache, 0, sizeof G_TerrainCache);
    std::memset(G_MapSquares, 0, sizeof G_MapSquares);
    Insert();
    MapInit();
    EXPECT_EQ(+G_TerrainLoad.nReading, 0u) << "a read in progress is abandoned";
    Around(-123, 45);
    EXPECT_EQ(Queued(), 52u);
    Drain();
    CheckCache(-125, 45);
    EXPECT_EQ(+G_MapSquares[12].nLon, -123);
    EXPECT_EQ(+G_MapSquares[12].nLat, 45);
    EXPECT_EQ(+G_MapSquares[12].nAirports, 2u) << "the centre slot holds its own square";
    EXPECT_EQ(+G_MapSquares[5 * 3 + 2].nLon, -122) << "slots run east by five";
    // A start in key square (0, 0) loads too.
    Around(0, 0);
    EXPECT_EQ(Queued(), 52u);
}

TEST_F(MapQueueTest, TfrLoadWaitsWhileAWeatherProductDecodes) {
    MakeCard("--region nw");
    const std::string xml = dir_ + "/TFR.XML";
    RunCommand("printf '<TFR>one</TFR>' > " + xml + " && MTOOLS_SKIP_CHECK=1 mcopy -o -i " + dir_ + "/card.img " + xml +
               " ::/TFR.XML");
    Remove();
    Insert();
    MapInit();
    // A METAR set decoding into the shared buffer, several slices long.
    std::string set;
    while (set.size() < 40000) set += "METAR KXYZ 121853Z 27012KT 10SM FEW250 15/03 A3001" + std::string(1, '\0');
    std::vector<uint8_t> product(14 + set.size(), 0);
    uint32_t cap = static_cast<uint32_t>(set.size());
    ASSERT_EQ(PpmdCompress(&product[14], &cap, reinterpret_cast<const uint8_t*>(set.data()),
                           static_cast<uint32_t>(set.size()), 6, 1, 0), kPpmdOk);
    product[0] = 5;
    std::memcpy(&product[2], &cap, 4);
    const uint32_t len = static_cast<uint32_t>(set.size());
    std::memcpy(&product[6], &len, 4);
    WxProductDispatch(product.data(), 14 + cap);
    ASSERT_EQ(G_Wx.nDecodeState, 2u);
    MapStackClear();
    MapPushTfrLoad();
    for (int i = 0; i < 3; ++i) MapQueueProcess();
    EXPECT_EQ(Queued(), 1u) << "waits at the head of the ring";
    EXPECT_EQ(std::string(G_WxText, 10), "METAR KXYZ");
    for (int i = 0; i < 1000 && Queued(); ++i) MapQueueProcess();
    EXPECT_EQ(Queued(), 0u) << "the decode went on meanwhile, and then the file was read";
    EXPECT_EQ(std::string(G_WxText, 14), "<TFR>one</TFR>");
}

TEST_F(MapQueueTest, EmptyRingStepsGoToTheWeatherAndUnknownOperationsAreLogged) {
    Load("--region nw");
    const uint32_t before = G_Wx.nDecodePasses;
    MapQueueProcess();
    EXPECT_EQ(G_Wx.nDecodePasses, before + 1);
    MapStackPush()->nOp = 5;
    MapQueueProcess();
    EXPECT_NE(Log().find("Map Queue: Unknown Map Operation - 5"), std::string::npos);
    for (uint32_t i = 0; i < 100; ++i) MapPushMetarIndex();
    EXPECT_EQ(Queued(), 99u);
    EXPECT_NE(Log().find("Map Stack: Stack FULL!"), std::string::npos);
}

TEST_F(MapQueueTest, LineWorkOfBothLayersAsTheManifestSaysAndBadSquaresEmptied) {
    Load("--region nw");
    Around(-123, 45);
    // Layer 2: the centre slot's own square.
    const std::string v = "[x for x in m['vectors'] if x['square'] == [-123, 45]][0]";
    EXPECT_EQ(+G_MapSquares[12].vec.nChains, static_cast<uint32_t>(ManifestInt(v + "['l2_chains']")));
    EXPECT_EQ(+G_MapSquares[12].vec.nPoints, static_cast<uint32_t>(ManifestInt(v + "['l2_points']")));
    // Layer 1: the key square (-125, 45) in the middle slot.
    const std::string k = "[x for x in m['vectors'] if x['square'] == [-125, 45]][0]";
    EXPECT_EQ(+G_VecSquares[12].nChains, static_cast<uint32_t>(ManifestInt(k + "['l1_chains']")));
    EXPECT_EQ(+G_VecSquares[12].nPoints, static_cast<uint32_t>(ManifestInt(k + "['l1_points']")));
    EXPECT_EQ(G_VecSquares[12].points[0].nLat >> 18, 45);
    static VecSquare sq;
    sq.nChains = 1;
    sq.nPoints = 1;
    sq.chains[0] = {{0, 0, 0, 0}, 1, 1, 6878};
    ValidateVectorSquare(&sq);
    EXPECT_EQ(sq.nChains, 0u);
    std::memset(&sq, 0, sizeof sq);
    sq.nChains = 1;
    sq.nPoints = 1;
    sq.chains[0] = {{0, 0, 0, 0}, 1, 1, 0};
    sq.points[0] = {91 * 262144, 0};
    ValidateVectorSquare(&sq);
    EXPECT_EQ(sq.nPoints, 0u);
    EXPECT_NE(Log().find("MAP IO: chain? (0,1,6878)"), std::string::npos);
    EXPECT_NE(Log().find("MAP IO: point? (91,0)"), std::string::npos);
}

}  // namespace
