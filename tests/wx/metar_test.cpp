// METAR reports: decoding tables from hand-written reports, and a set indexed
// and marked on the airports of a generated map card.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/syslog.h"
#include "map/map.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "map/map_fixture.h"
#include "wx/metar.h"
#include "wx/wx.h"

namespace {

WxMetarReport Decode(const std::string& text) {
    WxMetarReport r{};
    WxMetarDecode(text.c_str(), &r);
    return r;
}

TEST(MetarDecode, VisibilityWords) {
    const struct {
        const char* visi;
        uint32_t bvis;
    } cases[] = {
        {"10SM", 1000}, {"1/2SM", 50}, {"M1/4SM", 25}, {"P6SM", 99999}, {"CAVOK", 100000},
        {"1 1/2SM", 150}, {"2 3/4SM", 275}, {"3SM", 300}, {"9999", 999900},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.visi);
        const WxMetarReport r = Decode(std::string("METAR KPDX 121853Z 27012KT ") + c.visi + " BKN040 15/03 A3001");
        EXPECT_STREQ(r.visi, c.visi);
        EXPECT_EQ(r.bvis, c.bvis);
        EXPECT_STREQ(r.clds, "BKN040");
        EXPECT_STREQ(r.temp, "15/03");
    }
}

TEST(MetarDecode, CeilingsAndCategories) {
    const struct {
        const char* groups;
        uint32_t clng;
        uint32_t flags;
    } cases[] = {
        {"10SM BKN008 OVC015", 800, kMetarIfr | kMetarVfr | kMetarBoth},
        {"10SM FEW250", 100000, kMetarVfr | kMetarBoth},
        {"10SM", 99999, kMetarVfr},                                  // no clouds: never both
        {"10SM BKN005", 500, kMetarLifr | kMetarVfr | kMetarBoth},
        {"10SM OVC010", 1000, kMetarIfr | kMetarVfr | kMetarBoth},
        {"10SM BKN011", 1100, kMetarMvfr | kMetarVfr | kMetarBoth},
        {"10SM BKN030", 3000, kMetarMvfr | kMetarVfr | kMetarBoth},
        {"10SM BKN031", 3100, kMetarVfr | kMetarBoth},
        {"10SM CLR", 100000, kMetarVfr | kMetarBoth},
        {"1SM OVC100", 10000, kMetarLifr | kMetarVfr | kMetarBoth},   // exactly 1 SM
        {"3SM OVC100", 10000, kMetarIfr | kMetarVfr | kMetarBoth},    // 300
        {"3 1/100SM OVC100", 10000, kMetarMvfr | kMetarVfr | kMetarBoth},   // 301
        {"5SM OVC100", 10000, kMetarMvfr | kMetarVfr | kMetarBoth},   // 500
        {"1 1/2SM BR BKN008", 800, kMetarIfr | kMetarBoth},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.groups);
        const WxMetarReport r = Decode(std::string("METAR KSEA 121853Z 18005KT ") + c.groups + " 10/08 A2992");
        EXPECT_EQ(r.clng, c.clng);
        EXPECT_EQ(r.flags, c.flags);
    }
}

TEST(MetarDecode, EveryGroupInItsField) {
    const WxMetarReport r = Decode(
        "SPECI KBFI 121853Z AUTO 27012G20KT 240V300 3/4SM R13R/4000FT -RA BR SCT004 OVC009 M05/M07 Q1013 "
        "RMK AO2 SLP132 T10501067");
    EXPECT_STREQ(r.type, "SP");
    EXPECT_STREQ(r.icao, "KBFI");
    EXPECT_STREQ(r.time, "121853Z");
    EXPECT_STREQ(r.wind, "27012G20KT 240V300");
    EXPECT_STREQ(r.visi, "3/4SM");
    EXPECT_EQ(r.bvis, 75u);
    EXPECT_STREQ(r.rvr, "R13R/4000FT");
    EXPECT_STREQ(r.wthr, "-RA BR");
    EXPECT_STREQ(r.clds, "SCT004 OVC009");
    EXPECT_EQ(r.clng, 900u);
    EXPECT_STREQ(r.temp, "M05/M07");
    EXPECT_STREQ(r.baro, "Q1013");
    EXPECT_STREQ(r.rmrk, "RMK AO2 SLP132 T10501067");
    EXPECT_EQ(r.flags, kMetarLifr | kMetarIfr | kMetarBoth);

    const WxMetarReport v = Decode("METAR KPDX 121853Z 00000KT VV001 M01/M01 A2992 /////");
    EXPECT_STREQ(v.vvis, "VV001");
    EXPECT_STREQ(v.baro, "A2992");
    EXPECT_STREQ(v.rmrk, "") << "a missing group is skipped";
    EXPECT_EQ(v.clng, 99999u) << "vertical visibility is not a ceiling";
}

TEST(MetarDecode, LongFieldsStayInTheirBoxes) {
    std::string text = "METAR KPDX 121853Z 27012KT 10SM";
    for (int i = 0; i < 12; ++i) text += " FEW0" + std::to_string(10 + i);
    text += " RMK";
    for (int i = 0; i < 60; ++i) text += " REMARK" + std::to_string(i);
    const WxMetarReport r = Decode(text);
    EXPECT_LE(std::strlen(r.clds), 38u);
    EXPECT_LE(std::strlen(r.rmrk), 148u);
    EXPECT_EQ(r.flags & kMetarBits, kMetarVfr | kMetarBoth);
}

// ---- a set on a map card ------------------------------------------------------------------------

class MetarSet : public MapCardTest {
protected:
    void SetUp() override {
        MapCardTest::SetUp();
        SysLogOpen();
        MakeCard("--region nw");
        MapInit();
        const int lon = static_cast<int>(ManifestInt("m['airports'][0]['square'][0]"));
        const int lat = static_cast<int>(ManifestInt("m['airports'][0]['square'][1]"));
        MapLoadAround(lon, lat, G_MapHeader, G_MapSquares, G_VecSquares);
    }
    static uint32_t Flags(const char* id) {
        for (const MapSquare& sq : G_MapSquares) {
            for (uint32_t a = 0; a < sq.nAirports && a < kMaxAirports; ++a) {
                if (std::strncmp(reinterpret_cast<const char*>(sq.airports[a]) + apt::kId, id, 8) == 0) {
                    uint32_t f;
                    std::memcpy(&f, sq.airports[a] + apt::kFlags1, 4);
                    return f;
                }
            }
        }
        ADD_FAILURE() << id << " not loaded";
        return 0;
    }
    static void Index(const std::string& set) { WxMetarIndex(set.data(), static_cast<uint32_t>(set.size())); }
};

TEST_F(MetarSet, TheFirstReportIsFoundAndANewSetReplacesTheMarks) {
    const std::string vfr = std::string("METAR K00 121853Z 27012KT 10SM FEW250 15/03 A3001") + '\0' +
                            "METAR KZZQQ 121853Z 27012KT 10SM SKC 15/03 A3001" + '\0';
    Index(vfr);
    EXPECT_NE(Log().find("WX: METARS (2/1)"), std::string::npos) << Log();
    const int32_t k00 = FindWaypointExact("K00");
    ASSERT_GE(k00, 0);
    EXPECT_EQ(G_WxMetarIndex[k00], 1u) << "offset 0 kept as 1";
    EXPECT_EQ(G_WxMetarIndex[FindWaypointExact("K00A")], 0u) << "K00's report is not K00A's";
    const uint32_t keep = Flags("K00") & ~kMetarBits;
    WxMetarMarkAirports();
    EXPECT_EQ(Flags("K00"), keep | kMetarVfr | kMetarBoth);
    EXPECT_EQ(Flags("K00A") & kMetarBits, 0u);

    Index(std::string("METAR K00 121953Z 27012KT 2SM BR OVC007 15/14 A2990") + '\0');
    WxMetarMarkAirports();
    EXPECT_EQ(Flags("K00"), keep | kMetarIfr | kMetarBoth) << "VFR turned IFR";
}

TEST_F(MetarSet, AStationIsTakenOnlyUnderItsExactIdentifier) {
    Index(std::string("METAR K00A 121853Z 27012KT 1/2SM FG OVC002 15/15 A3001") + '\0');
    EXPECT_EQ(G_WxMetarIndex[FindWaypointExact("K00")], 0u);
    EXPECT_EQ(G_WxMetarIndex[FindWaypointExact("K00A")], 1u);
    WxMetarMarkAirports();
    EXPECT_EQ(Flags("K00A") & kMetarBits, kMetarLifr | kMetarBoth);
    EXPECT_EQ(Flags("K00") & kMetarBits, 0u);
}

TEST_F(MetarSet, ASetTooLongIsNotIndexed) {
    std::string big(kWxMetarMaxText + 1, 'X');
    Index(big);
    EXPECT_EQ(G_Wx.nMetarCount, 0u);
    WxMetarMarkAirports();   // nothing to mark
    EXPECT_EQ(Log().find("WX: METARS"), std::string::npos);
}

}  // namespace
