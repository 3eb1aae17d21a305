// Square records, waypoint lookup, string tables and texts, read back from
// generated cards and compared with the generator's manifest.
#include <gtest/gtest.h>

#include <cstring>

#include "map/map.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "map_fixture.h"

namespace {

class RecordsTest : public MapCardTest {
protected:
    void Load(const std::string& args) {
        MakeCard(args);
        MapInit();
        ASSERT_EQ(MapStatusOf(kMapFileMap), kMapOk);
    }
    MapSquare& LoadSquare(int32_t lon, int32_t lat) {
        static MapSquare slot;
        SquareIndexRecord rec{};
        MapReadSquareIndex(lon, lat, G_MapHeader, &rec);
        std::memset(&slot, 0, sizeof slot - sizeof slot.vec);
        MapLoadSquareBlock(lon, lat, G_MapHeader, &slot, rec);
        return slot;
    }
    static std::string Id(const uint8_t* rec, uint32_t offset) {
        const char* p = reinterpret_cast<const char*>(rec + offset);
        return std::string(p, strnlen(p, 8));
    }
};

TEST_F(RecordsTest, SquareBlocksHoldWhatTheGeneratorPlaced) {
    Load("--region nw");
    const long n = ManifestInt("len(m['airports'])");
    ASSERT_GT(n, 0);
    for (long i = 0; i < n; ++i) {
        const std::string a = "m['airports'][" + std::to_string(i) + "]";
        const int32_t lon = static_cast<int32_t>(ManifestInt(a + "['square'][0]"));
        const int32_t lat = static_cast<int32_t>(ManifestInt(a + "['square'][1]"));
        MapSquare& s = LoadSquare(lon, lat);
        bool found = false;
        for (uint32_t k = 0; k < s.nAirports; ++k) {
            if (Id(s.airports[k], apt::kId) != Manifest(a + "['id']")) continue;
            found = true;
            EXPECT_EQ(RecS32(s.airports[k], apt::kLat), ManifestInt(a + "['lat']"));
            EXPECT_EQ(RecS32(s.airports[k], apt::kLon), ManifestInt(a + "['lon']"));
            EXPECT_EQ(s.airports[k][apt::kRunways], ManifestInt(a + "['runways']"));
        }
        EXPECT_TRUE(found) << Manifest(a + "['id']");
        EXPECT_EQ(s.nNavaids, 1u);
        EXPECT_EQ(s.nFixes, 2u);
        EXPECT_EQ(s.nObstacles, 3u);
        EXPECT_EQ(s.nAirspaces, 2u);
        EXPECT_EQ(s.nSegments, 4u);
        EXPECT_EQ(s.nRec9, 0u) << "detail records are read on demand";
    }
    EXPECT_EQ(Log().find("MAP IO"), std::string::npos) << Log();
}

TEST_F(RecordsTest, AirportCountsAtTheLimitLoadNone) {
    Load("--region nw --fault apt300");
    EXPECT_EQ(LoadSquare(-123, 47).nAirports, 0u);
    board().mmc().Remove();
    RunCommand("rm -rf " + dir_ + "/files");
    Load("--region nw --fault apt299");
    EXPECT_EQ(LoadSquare(-123, 47).nAirports, 299u);
}

TEST_F(RecordsTest, RecordInternalIndicesOutsideTheSlotAreRefusedAtLoad) {
    Load("--region nw --fault bad-indices");
    const int32_t lon = static_cast<int32_t>(ManifestInt("m['faults']['bad-indices'][0]"));
    const int32_t lat = static_cast<int32_t>(ManifestInt("m['faults']['bad-indices'][1]"));
    MapSquare& s = LoadSquare(lon, lat);
    ASSERT_EQ(s.nAirports, 3u);
    EXPECT_EQ(s.airports[0][apt::kRunways], 0) << "first runway past the runways";
    EXPECT_EQ(RecU16(s.airports[1], apt::kAirspaces), 0) << "first airspace past the airspaces";
    EXPECT_EQ(RecU16(s.airports[1], apt::kBarRunway), 0) << "bar runway past its runways";
    EXPECT_EQ(s.airports[1][apt::kRunways], 1) << "the airport's own runway stays";
    EXPECT_EQ(s.airports[2][apt::kRunways], 0) << "25 runways";
    EXPECT_EQ(RecU16(s.airspaces[1], asp::kSegments), 0) << "first segment past the segments";
    EXPECT_EQ(RecU16(s.airspaces[0], asp::kSegments), 4);
    // Every kept index lies inside its array.
    for (uint32_t a = 0; a < s.nAirports; ++a)
        EXPECT_LE(RecU16(s.airports[a], apt::kFirstRunway) * (s.airports[a][apt::kRunways] != 0) +
                      s.airports[a][apt::kRunways],
                  s.nRunways);
    const std::string log = Log();
    EXPECT_NE(log.find("MAP IO: aroob"), std::string::npos) << log;
    EXPECT_NE(log.find("MAP IO: arfoob"), std::string::npos) << log;
    EXPECT_NE(log.find("MAP IO: aafoob"), std::string::npos) << log;
    EXPECT_NE(log.find("MAP IO: abroob"), std::string::npos) << log;
    EXPECT_NE(log.find("MAP IO: asfoob(60)"), std::string::npos) << log;
}

TEST_F(RecordsTest, FindWaypointId) {
    Load("--region nw");
    // "K" finds the first K identifier; a full identifier finds itself before longer ones.
    const int32_t k = FindWaypointId("K");
    ASSERT_GE(k, 0);
    EXPECT_EQ(+G_WptIndex[k].id[0], 'K');
    if (k > 0) {
        EXPECT_LT(static_cast<uint8_t>(G_WptIndex[k - 1].id[0]), 'K');
    }
    const int32_t k00 = FindWaypointId("K00");
    ASSERT_GE(k00, 0);
    EXPECT_EQ(std::string(G_WptIndex[k00].id, 3), "K00");
    EXPECT_EQ(+G_WptIndex[k00].id[3], '\0');
    EXPECT_EQ(std::string(G_WptIndex[k00 + 1].id, 4), "K00A");
    EXPECT_EQ(FindWaypointId("K00A"), k00 + 1);
    EXPECT_EQ(FindWaypointId("ZZZZ"), -1);
    EXPECT_EQ(FindWaypointId(""), -1);
    EXPECT_EQ(FindWaypointId("-K"), -1);
    EXPECT_EQ(FindWaypointId(nullptr), -1);
    // Only the 8 identifier bytes are compared: a longer text still finds its entry.
    EXPECT_EQ(FindWaypointId("K00A\0\0\0\0XY"), k00 + 1);
    EXPECT_EQ(MapSelectWaypoint("K00A"), 1);
    EXPECT_EQ(Id(G_WptDb.abAirport, apt::kId), "K00A");
    const std::string nav = Manifest("m['navaids'][0]['id']");
    EXPECT_EQ(MapSelectWaypoint(nav.c_str()), 2);
    EXPECT_EQ(Id(G_WptDb.abNavaid, nvd::kId), nav);
    const std::string fixId = Manifest("m['fixes'][1]['id']");
    EXPECT_EQ(MapSelectWaypoint(fixId.c_str()), 3);
    EXPECT_EQ(Id(G_WptDb.abFix, fix::kId), fixId);
    // An empty index finds nothing.
    G_MapHeader.nWptCount = 0;
    EXPECT_EQ(FindWaypointId("K"), -1);
}

TEST_F(RecordsTest, StringTablesAreTerminatedAndCached) {
    Load("--region nw");
    EXPECT_STREQ(MapCityName(0), " ") << "an entry starting with NUL is one blank";
    EXPECT_STREQ(MapCityName(1), "PORTLAND");
    EXPECT_STREQ(MapCityName(2), "ABCDEFGHIJKLMNOPQ") << "a full-width entry ends at its width";
    EXPECT_STREQ(MapStateCode(1), "OR");
    EXPECT_STREQ(MapText10(2), "13/31");
    EXPECT_STREQ(MapText50(3), "ATIS");
    EXPECT_STREQ(MapText40(1), "PORTLAND TOWER");
    EXPECT_STREQ(MapCityName(32000), "") << "beyond the cache";
    Remove();   // cached entries need no card
    EXPECT_STREQ(MapCityName(1), "PORTLAND");
}

TEST_F(RecordsTest, DetailRecordsAndRemarkTexts) {
    Load("--region nw");
    ASSERT_EQ(MapSelectWaypoint("K00"), 1);
    uint8_t* airport = G_WptDb.abAirport;
    uint8_t runways[19 * kRunwayBytes] = {};
    uint8_t freqs[99 * kRec9Bytes] = {};
    uint8_t refs[69 * kRemarkRefBytes] = {};
    MapReadRunways(airport, runways, G_MapHeader);
    MapReadAirportRecs9(airport, freqs, G_MapHeader);
    MapReadRemarkRefs(airport, refs, G_MapHeader);
    EXPECT_EQ(airport[apt::kRunways], 2);
    EXPECT_EQ(runways[rwy::kName], 1);
    EXPECT_EQ(runways[kRunwayBytes + rwy::kName], 2);
    EXPECT_EQ(RecS32(runways, 0), RecS32(airport, apt::kLat));
    EXPECT_EQ(airport[apt::kRec9Count], 4);
    EXPECT_EQ(RecS32(freqs, 0), 11830);
    EXPECT_EQ(RecS32(freqs + 3 * kRec9Bytes, 0), 329);
    ASSERT_EQ(airport[apt::kRemarks], 2);
    static char texts[kRemarkTexts][kRemarkTextBytes];
    MapReadTextBlocks(refs, 2, texts);
    EXPECT_STREQ(texts[0], Manifest("m['texts'][0]").c_str());
    EXPECT_STREQ(texts[1], Manifest("m['texts'][1]").c_str());
    // A text of 310 bytes ends the list (the generator's fourth text).
    uint8_t list[3 * kRemarkRefBytes] = {0, 2, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0};
    std::strcpy(texts[1], "stale");
    MapReadTextBlocks(list, 3, texts);
    EXPECT_STREQ(texts[0], Manifest("m['texts'][2]").c_str());
    EXPECT_STREQ(texts[1], "");
    EXPECT_STREQ(texts[2], "") << "the list ended";
    MapReadTextBlocks(list, 71, texts);
    EXPECT_NE(Log().find("MAP IO: norfab --> 71"), std::string::npos);
}

TEST_F(RecordsTest, SortingPutsTheNearestFirstAndALaterEqualOneBeforeAnEarlier) {
    Load("--region nw");
    static MapSquare slot;
    slot.nAirports = 3;
    const int32_t ref[2] = {G_MapHeader.nRefLat, G_MapHeader.nRefLon};
    const int32_t lat[3] = {ref[0] + 262144 / 2, ref[0] + 262144 / 10, ref[0] + 262144 / 10};
    for (uint32_t i = 0; i < 3; ++i) {
        std::memset(slot.airports[i], 0, kAirportBytes);
        for (int b = 0; b < 4; ++b) {
            slot.airports[i][apt::kLat + b] = static_cast<uint8_t>(lat[i] >> (8 * b));
            slot.airports[i][apt::kLon + b] = static_cast<uint8_t>(ref[1] >> (8 * b));
        }
        slot.anAirportOrder[i] = i;
    }
    MapSortAirports(&slot);
    EXPECT_EQ(slot.anAirportOrder[0], 2u);
    EXPECT_EQ(slot.anAirportOrder[1], 1u);
    EXPECT_EQ(slot.anAirportOrder[2], 0u);
    EXPECT_EQ(slot.anAirportDist[0], 60u) << "0.1 degree north: 6.0 NM";
    EXPECT_EQ(slot.anAirportDist[2], 300u);
}

}  // namespace
