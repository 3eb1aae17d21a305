// The map files at start-up, read from generated cards in the emulated slot.
#include <gtest/gtest.h>

#include <cstring>

#include "core/boot.h"
#include "map/map.h"
#include "map/mapfile.h"
#include "map/mapqueue.h"
#include "map_fixture.h"
#include "nav/navsrc.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "ui/pages.h"

namespace {

using MapFileTest = MapCardTest;

TEST_F(MapFileTest, FindsTheRegionFilesAndReadsTheHeaderAsTheManifestSays) {
    MakeCard("--region nw");
    MapInit();
    EXPECT_EQ(MapStatusOf(kMapFileMap), kMapOk);
    EXPECT_EQ(MapStatusOf(kMapFileVector), kMapOk);
    EXPECT_EQ(MapStatusOf(kMapFileTerrain), kMapOk);
    EXPECT_EQ(G_MapRegion, 0);
    EXPECT_EQ(G_MapEnabled, 1u);
    EXPECT_STREQ(G_MapHeader.szDescription, Manifest("m['description']").c_str());
    EXPECT_STREQ(G_MapHeader.szEffective, Manifest("m['effective']").c_str());
    EXPECT_STREQ(G_MapHeader.szExpires, Manifest("m['expires']").c_str());
    EXPECT_EQ(+G_MapHeader.nSouth, ManifestInt("m['bounds']['south']"));
    EXPECT_EQ(+G_MapHeader.nEast, ManifestInt("m['bounds']['east']"));
    EXPECT_EQ(+G_MapHeader.nWptCount, static_cast<uint32_t>(ManifestInt("len(m['waypoints'])")));
    for (uint32_t i = 0; i < G_MapHeader.nWptCount; ++i) {
        const std::string e = "m['waypoints'][" + std::to_string(i) + "]";
        EXPECT_EQ(std::string(G_WptIndex[i].id, strnlen(G_WptIndex[i].id, 8)), Manifest(e + "['id']")) << i;
        EXPECT_EQ(+G_WptIndex[i].nKind, ManifestInt(e + "['kind']")) << i;
        EXPECT_EQ(+G_WptIndex[i].nOffset, static_cast<uint32_t>(ManifestInt(e + "['offset']"))) << i;
    }
    // The home airport "K00" is selected at start.
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(G_WptDb.abAirport) + 16, 3), "K00");
    const std::string log = Log();
    EXPECT_NE(log.find("Map Loaded --> KV SYNTHETIC NORTH-WEST"), std::string::npos) << log;
    EXPECT_NE(log.find("Map Starting Pos Lat:45.26, Lon:-123.32"), std::string::npos) << log;
    EXPECT_EQ(log.find("aspeof"), std::string::npos) << "priming seeks stay inside the file";
}

TEST_F(MapFileTest, ACardWithOnlyTheEuropeanMapLoadsEuropeWithItsTerrainAndTheWorldVectors) {
    MakeCardWith("--region nw --code EU", "NRVMAPEU.KVM NRVTEREU.KVM NRVVECWW.KVM");
    MapInit();
    EXPECT_EQ(G_MapRegion, 3);
    EXPECT_EQ(MapStatusOf(kMapFileMap), kMapOk);
    EXPECT_STREQ(G_MapFile[kMapFileVector].szName, "NRVVECWW.KVM");
    EXPECT_EQ(MapStatusOf(kMapFileVector), kMapOk);
    EXPECT_STREQ(G_MapFile[kMapFileTerrain].szName, "NRVTEREU.KVM");
    EXPECT_EQ(MapStatusOf(kMapFileTerrain), kMapOk);
}

TEST_F(MapFileTest, VersionStatuses) {
    struct Case {
        const char* args;
        uint32_t map, vector;
    };
    const Case cases[] = {
        {"--map-version 14", kMapTooOld, kMapNoMap},
        {"--map-version 16", kMapTooNew, kMapNoMap},
        {"--vec-version 2", kMapOk, kMapTooOld},
        {"--vec-version 4", kMapOk, kMapTooNew},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        board().mmc().Remove();
        RunCommand("rm -rf " + dir_ + "/files");
        MakeCard(std::string("--region nw ") + c.args);
        MapInit();
        EXPECT_EQ(MapStatusOf(kMapFileMap), c.map);
        EXPECT_EQ(MapStatusOf(kMapFileVector), c.vector);
        // A map of the wrong version is read no further than its header.
        EXPECT_EQ(G_MapRegion >= 0, c.map == kMapOk);
    }
    EXPECT_NE(Log().find("Map File Mismatch -- file = 14, system = 15"), std::string::npos);
    EXPECT_NE(Log().find("MAPInit: Vector File Version Mismatch 3/4"), std::string::npos);
}

TEST_F(MapFileTest, AHeaderThatCannotBeReadMeansNoMapOnTheCard) {
    MakeCardWith("--region nw", "");
    // A map file shorter than its header.
    RunCommand("head -c 100 " + dir_ + "/files/NRVMAPUS.KVM > " + dir_ + "/short && MTOOLS_SKIP_CHECK=1 mcopy -o -i " +
               dir_ + "/card.img " + dir_ + "/short ::/NRVMAPUS.KVM");
    MapInit();
    EXPECT_EQ(MapStatusOf(kMapFileMap), kMapNoMap);
    EXPECT_EQ(G_MapEnabled, 0u);
    EXPECT_NE(Log().find("MAP FILE: arpeof (NRVMAPUS.KVM)"), std::string::npos);
}

TEST_F(MapFileTest, StartPosition) {
    MakeCard("--region nw");
    struct Case {
        const char* what;
        bool demo;
        float savedLat, savedLon;
        int32_t lat, lon;
    };
    const Case cases[] = {
        {"demonstration source", true, 44.5f, -121.0f, static_cast<int32_t>(46.25f * 262144), static_cast<int32_t>(-120.5f * 262144)},
        {"saved near zero", false, 0.0004f, 0.0004f, 11865401, -32159002},
        {"saved latitude 95", false, 95.0f, 10.0f, 11865401, -32159002},
        {"good saved", false, 44.5f, -123.25f, 11665408, -32309248},
        {"nothing saved", false, 0.0f, 0.0f, 11865401, -32159002},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G_DemoFlags = c.demo ? 0x20 : 0;
        G_NavSrc.hdr.nMapSrcSlot = 3;
        NavSrcRec& rec = G_NavSrc.rec[3];
        rec.nGpsFlagsA = kNavGpsValid;
        rec.nGpsFlagsB = kNavGpsOwnPos;
        rec.fLat = 46.25f;
        rec.fLon = -120.5f;
        NvSetF32(kNvLastLatitude, c.savedLat);
        NvSetF32(kNvLastLongitude, c.savedLon);
        MapInit();
        EXPECT_EQ(+G_MapHeader.nRefLat, c.lat);
        EXPECT_EQ(+G_MapHeader.nRefLon, c.lon);
    }
    // The demonstration source without a usable fix falls back on the saved position.
    G_DemoFlags = 0x20;
    G_NavSrc.rec[3].nGpsFlagsB = 0;
    NvSetF32(kNvLastLatitude, 44.5f);
    NvSetF32(kNvLastLongitude, -123.25f);
    MapInit();
    EXPECT_EQ(+G_MapHeader.nRefLat, 11665408);
}

TEST_F(MapFileTest, LongitudeScaleHoldsNearThePoles) {
    MakeCard("--region nw");
    MapInit();
    // cos(45.2629 degrees) x 2^18, truncated.
    EXPECT_NEAR(static_cast<double>(G_MapLonScale), 184511.0, 2.0);
    EXPECT_NEAR(static_cast<double>(G_MapLonScaleInv), 372440.0, 4.0);
    NvSetF32(kNvLastLatitude, 89.999f);
    NvSetF32(kNvLastLongitude, 10.0f);
    MapInit();
    EXPECT_LE(G_MapLonScaleInv, 0x7FFFFFFFu);
    EXPECT_GT(G_MapLonScaleInv, 0x40000u);
}

TEST_F(MapFileTest, WithoutACardEveryReadFailsCleanly) {
    MakeCard("--region nw");
    MapInit();
    Remove();
    EXPECT_EQ(MapStatusOf(kMapFileMap), kMapNoCard);
    uint8_t buf[16];
    EXPECT_EQ(MapFileSeekRead(kMapFileMap, 0, sizeof buf, buf), 0);
    EXPECT_EQ(MapSquareOffset(-123, 45, G_MapHeader), -1);
    MapInit();
    EXPECT_EQ(MapStatusOf(kMapFileMap), kMapNoCard);
    EXPECT_NE(Log().find("MAP IO: open file attempted without card (NRVMAPUS.KVM)"), std::string::npos);
}

TEST_F(MapFileTest, SquareOffsetsFollowTheStoredRowStride) {
    MakeCard("--region nw");
    MapInit();
    // Bounds 40..49 N, 125..115 W: a stride of ten records per row.
    EXPECT_EQ(MapSquareOffset(-125, 40, G_MapHeader), 0);
    EXPECT_EQ(MapSquareOffset(-123, 45, G_MapHeader), (2 + 5 * 10) * 44);
    EXPECT_EQ(VecSquareOffset(-123, 45, G_MapHeader), (2 + 5 * 10) * 20);
    EXPECT_EQ(MapSquareOffset(-114, 45, G_MapHeader), -1) << "one degree east of the bounds";
    EXPECT_EQ(MapSquareOffset(-123, 50, G_MapHeader), -1);
}

}  // namespace
