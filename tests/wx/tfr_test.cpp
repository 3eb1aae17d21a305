// TFR areas from hand-written XML: the scanner, dates, altitudes, shapes and
// the limits of the record and point tables; the current-area marking.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/syslog.h"
#include "map/mapmath.h"
#include "support/board_fixture.h"
#include "wx/tfr.h"
#include "wx/wx.h"

namespace {

class Tfr : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        SysLogOpen();
        G_Wx = {};
    }
    static void Parse(const std::string& xml) { WxTfrParseXml(xml.data(), static_cast<uint32_t>(xml.size())); }
    static std::string Record(const std::string& body) { return "<TFRSET><TFR1>" + body + "</TFR1></TFRSET>"; }
    static bool Logged(const std::string& text) { return SysLogSectorText().find(text) != std::string::npos; }
};

uint32_t Key(uint32_t y, uint32_t mo, uint32_t d, uint32_t h, uint32_t mi) {
    return y * 552960 + mo * 46080 + d * 1440 + h * 60 + mi;
}

TEST(TfrScanner, EntitiesDecodeOneLevelDeep) {
    const struct {
        const char* in;
        const char* out;
    } cases[] = {
        {"&amp;lt;", "&lt;"}, {"a&gt;b&LT;c", "a>b<c"}, {"&apos;&quot;&Amp;", "'\"&"},
        {"fish & chips", "fish & chips"}, {"tail &am", "tail &am"}, {"stop<here", "stop"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.in);
        char out[kWxXmlTextBytes];
        const char* end = WxXmlCopyText(c.in, out, static_cast<uint32_t>(std::strlen(c.in)));
        EXPECT_STREQ(out, c.out);
        EXPECT_NE(end, nullptr);
    }
}

TEST(TfrScanner, SearchAndClosingTags) {
    const char text[] = "abcabd</NAME></NAMES>";
    EXPECT_EQ(WxMemSearch(text, 21, "abd", 3), text + 3);
    EXPECT_EQ(WxMemSearch(text, 21, "abe", 3), nullptr);
    EXPECT_EQ(WxMemSearch(text, 2, "abc", 3), nullptr);
    EXPECT_EQ(WxMemSearch(text, 21, "", 0), nullptr);
    EXPECT_EQ(WxXmlCloseTagOffset(text, "NAMES", 21), 13);
    EXPECT_EQ(WxXmlCloseTagOffset(text, "NAME", 21), 6);
    EXPECT_EQ(WxXmlCloseTagOffset(text, "EMPTY/", 21), 0);
    EXPECT_EQ(WxXmlCloseTagOffset(text, "ABCDEFGHIJKLMNOPQ", 21), -1) << "names over 16 characters";
    char name[kWxXmlNameBytes];
    EXPECT_STREQ(WxXmlNextTag("TFR1>x", name, 6), "x");
    EXPECT_STREQ(name, "TFR1");
    EXPECT_EQ(WxXmlNextTag("TFR1<x>", name, 7), nullptr);
    const char tags[] = "</a><b>";
    EXPECT_EQ(WxXmlFindOpenTag(tags, 7), tags + 5) << "the position after the first opening '<'";
}

// 12 AM is the first hour of the day and 12 PM noon.
TEST_F(Tfr, DatesBecomeMinuteKeys) {
    const struct {
        const char* text;
        uint32_t key;
    } cases[] = {
        {"12/31/2015 01:30:00 PM", Key(15, 12, 31, 13, 30)}, {"12/31/2015 12:30:00 PM", Key(15, 12, 31, 12, 30)},
        {"12/31/2015 12:30:00 AM", Key(15, 12, 31, 0, 30)},  {"01/01/2016 06:00:00 AM", Key(16, 1, 1, 6, 0)},
        {"12/31/2015", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Parse(Record(std::string("<ACTIVE><TEXT>") + c.text + "</TEXT></ACTIVE>"));
        EXPECT_EQ(+G_WxTfr[0].nActive, c.key);
        EXPECT_EQ(+G_WxTfr[0].nExpires, c.key ? kWxTfrNoExpiry : 0u) << "an open end";
    }
    EXPECT_TRUE(Logged("WX: tfrdi (3)"));
}

TEST_F(Tfr, AFullRecord) {
    Parse("<TFRSET><TFRCOUNT>1</TFRCOUNT>\n <TFR1><NAME>GAME &amp; FAIR</NAME><TYPE>SECURITY AND MORE TEXT</TYPE>"
          "<ACTIVE><TEXT>12/31/2015 01:30:00 PM</TEXT></ACTIVE><EXPIRES><TEXT>01/01/2016 06:00:00 AM</TEXT></EXPIRES>"
          "<MINALT>0A</MINALT><MAXALT>18000M</MAXALT>"
          "<BOUND>BLN45.5W122.6LN45.6W122.6LN45.6W122.4</BOUND></TFR1>\n</TFRSET>");
    ASSERT_EQ(G_Wx.nTfrCount, 1u);
    const WxTfrRecord& r = G_WxTfr[0];
    EXPECT_EQ(+r.cClass, 'T');
    EXPECT_STREQ(r.szType, "SECURITY AND MORE T") << "19 characters";
    EXPECT_EQ(+r.nLower, kTfrSurface);
    EXPECT_EQ(+r.nUpper, 18000);
    EXPECT_EQ(+r.nFlags, kTfrLowerAgl | kTfrUpperMsl);
    EXPECT_EQ(+r.nExpires, Key(16, 1, 1, 6, 0));
    ASSERT_EQ(+r.nPoints, 3u);
    // The outline closes: each line point ends at the next, the last at the first.
    const WxTfrPoint* p = G_WxTfrPoints;
    EXPECT_EQ(+p[0].nKind, kTfrLine);
    EXPECT_EQ(+p[0].nLat, static_cast<int32_t>(45.5f * 262144));
    EXPECT_EQ(+p[0].nLon, -static_cast<int32_t>(122.6f * 262144));
    EXPECT_EQ(+p[0].nA, +p[1].nLat);
    EXPECT_EQ(+p[1].nB, +p[2].nLon);
    EXPECT_EQ(+p[2].nA, +p[0].nLat);
    EXPECT_EQ(+p[2].nB, +p[0].nLon);
    // Box in 1/180 degree: 45.5..45.6 N, 122.6..122.4 W.
    EXPECT_EQ(+r.nMinLat, 8190);
    EXPECT_EQ(+r.nMaxLat, 8208);
    EXPECT_EQ(+r.nMinLon, -22068);
    EXPECT_EQ(+r.nMaxLon, -22032);
    EXPECT_TRUE(Logged("WX: TFRS (1)(3)"));
}

// Radii above 100 (NM for a circle, degrees for an arc) are taken as 5 NM.
TEST_F(Tfr, CirclesAndArcs) {
    const struct {
        const char* bound;
        uint8_t kind;
        int32_t radius;
    } cases[] = {
        {"BCN45.5W122.6R3.0", kTfrCircle, 13107},     // 3 / 60 degree
        {"BCN45.5W122.6R150", kTfrCircle, 21845},     // 5 NM
        {"A+N0.0E0.0N0.0E150.0LN1.0E150.0", kTfrArc, 21845},
        {"A-N45.0W122.0N45.0W121.0LN46.0W122.0", kTfrArcCcw, static_cast<int32_t>(MapFlatDistDeg({45 << 18, -122 << 18}, {45 << 18, -121 << 18}) * 262144)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bound);
        Parse(Record(std::string("<BOUND>") + c.bound + "</BOUND>"));
        ASSERT_GE(G_Wx.nTfrPoints, 1u);
        EXPECT_EQ(+G_WxTfrPoints[0].nKind, c.kind);
        EXPECT_EQ(+G_WxTfrPoints[0].nRadius, c.radius);
    }
    // The arc's centre moves to the front; the angles run from the start (east of the centre)
    // to the next point (north of it).
    const WxTfrPoint& arc = G_WxTfrPoints[0];
    EXPECT_EQ(+arc.nLat, 45 << 18);
    EXPECT_EQ(+arc.nLon, -122 << 18);
    EXPECT_NEAR(arc.nA / 262144.0, 3.14159 / 2, 0.001) << "start, east";
    EXPECT_NEAR(arc.nB / 262144.0, 3.14159, 0.001) << "end, north (minus cosine for north)";
    EXPECT_TRUE(Logged("WX: tfrirc (21845)"));
    EXPECT_TRUE(Logged("WX: tfrira (21845)"));
}

TEST_F(Tfr, TwoOutlinesInOneBoundAreTwoAreas) {
    Parse(Record("<TYPE>FIRE</TYPE><MAXALT>8000M</MAXALT>"
                 "<BOUND>BLN45.5W122.6LN45.6W122.6LN45.6W122.4BLN46.0W121.0LN46.1W121.0</BOUND>"));
    ASSERT_EQ(G_Wx.nTfrCount, 2u);
    EXPECT_EQ(+G_WxTfr[0].nPoints, 3u);
    EXPECT_EQ(+G_WxTfr[1].nPoints, 2u);
    EXPECT_EQ(+G_WxTfr[1].cClass, 'T');
    EXPECT_STREQ(G_WxTfr[1].szType, "") << "the second has only its class and points";
    EXPECT_EQ(+G_WxTfr[1].nUpper, 0);
    EXPECT_EQ(+G_WxTfrPoints[4].nA, +G_WxTfrPoints[3].nLat) << "its outline closes on its own first point";
}

TEST_F(Tfr, EmptyElementsStoreNothing) {
    Parse(Record("<TYPE/><MINALT/><ACTIVE/><BOUND/><NAME>X</NAME>"));
    ASSERT_EQ(G_Wx.nTfrCount, 1u);
    EXPECT_STREQ(G_WxTfr[0].szType, "");
    EXPECT_EQ(+G_WxTfr[0].nLower, 0);
    EXPECT_EQ(+G_WxTfr[0].nFlags, 0);
    EXPECT_EQ(+G_WxTfr[0].nActive, 0u);
    EXPECT_EQ(G_Wx.nTfrPoints, 0u);
}

TEST_F(Tfr, RecordAndPointLimits) {
    std::string many = "<TFRSET>";
    for (int i = 0; i < 160; ++i) many += "<TFR" + std::to_string(i) + "><BOUND>BCN45W122R1</BOUND></TFR" + std::to_string(i) + ">";
    Parse(many + "</TFRSET>");
    EXPECT_EQ(G_Wx.nTfrCount, 150u);
    EXPECT_EQ(G_Wx.nTfrPoints, 150u);

    std::string bound;
    for (int i = 0; i < 260; ++i) bound += "LN45." + std::to_string(i) + "W122.0";
    Parse(Record("<BOUND>" + bound + "</BOUND>"));
    EXPECT_EQ(G_Wx.nTfrPoints, 0u) << "a BOUND text of 2,048 characters or more is looked into, not read";
    bound.resize(2000);
    Parse(Record("<BOUND>" + bound + "</BOUND>"));
    EXPECT_GT(G_Wx.nTfrPoints, 150u);
    std::string twice = "<TFRSET><TFR1><BOUND>" + bound + "</BOUND></TFR1><TFR2><BOUND>" + bound + "</BOUND></TFR2></TFRSET>";
    Parse(twice);
    EXPECT_EQ(G_Wx.nTfrPoints, kWxTfrMaxPoints);
    EXPECT_EQ(+G_WxTfr[0].nPoints + +G_WxTfr[1].nPoints, kWxTfrMaxPoints);
}

// Current from five minutes before ACTIVE to five minutes after EXPIRES.
TEST(TfrCurrent, AroundItsTimes) {
    WxTfrRecord r{};
    r.nActive = 1000;
    r.nExpires = 2000;
    const struct {
        uint32_t now;
        int32_t current;
    } cases[] = {{994, 0}, {995, 1}, {1500, 1}, {2005, 1}, {2006, 0}};
    for (const auto& c : cases) EXPECT_EQ(WxTfrIsCurrent(r, c.now), c.current) << c.now;
    r.nExpires = 0;
    EXPECT_EQ(WxTfrIsCurrent(r, 900000), 1) << "no end";
}

}  // namespace
