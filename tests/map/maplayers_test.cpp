// The map's point and area layers on small fixtures: TFR areas, airspace
// outlines and labels, airports by zoom, obstacles, navaids and fixes; read
// back from the off-screen band, with expected places from hand calculation.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/util.h"
#include "map/airports.h"
#include "map/airspace.h"
#include "map/points.h"
#include "map/map.h"
#include "map/mapdraw_fixture.h"
#include "map/layers.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/records.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "wx/tfr.h"
#include "wx/wx.h"

namespace {

constexpr int kOwnX = 319, kOwnY = 229;   // north up, full pane

class TfrDrawTest : public MapDrawTest {
protected:
    void SetUp() override {
        MapDrawTest::SetUp();
        FillBand(0);
    }
    void Draw(const std::string& xml, uint32_t zoom, uint32_t now = 0) {
        RunApp([&] {
            std::memcpy(G_WxText, xml.data(), xml.size());
            WxTfrParseXml(G_WxText, static_cast<uint32_t>(xml.size()));
            G_Wx.nRecvTime = now;
            MapAt(45.0, -122.5);
            G_MapZoom = zoom;
            MapCalcVisibleBox();
            const OffscreenBand band = BeginOffscreenBand();
            WxDrawTfrLabels(G_MapFrame.box, MapPoint{G_MapFrame.nRefLat, G_MapFrame.nRefLon});
            EndOffscreenBand(band);
        });
    }
};

// Zoom 6: 108134400 / 2^18 = 412.5 pixels a degree. A 5 NM circle 0.1 degree
// north of the reference: centre 41 rows up (y 188), radius 0.0833 x 412.5
// = 34: the outline on rows 154 and 156 (r and r - 2), black between.
const char kCircle[] = "<TFRSET><TFR1><NAME>A</NAME><TYPE>SECURITY</TYPE>"
                       "<ACTIVE><TEXT>12/31/2015 12:30:00 PM</TEXT></ACTIVE>"
                       "<EXPIRES><TEXT>12/31/2015 04:30:00 PM</TEXT></EXPIRES>"
                       "<BOUND>BCN45.1000W122.5000R5.0</BOUND></TFR1></TFRSET>";

TEST_F(TfrDrawTest, ActiveAreasRedOthersYellowAndNoneOutsideTheView) {
    const uint32_t at1330 = WxTfrMinuteKey(15, 12, 31, 13, 30);
    struct Case { const char* name; std::string xml; uint32_t now; uint8_t colour; };
    std::string far = kCircle;
    far.replace(far.find("N45.1000"), 8, "N46.5000");   // 1.5 degrees north: beyond the view at zoom 6
    const Case cases[] = {
        {"no receiver time yet: as active", kCircle, 0, 2},
        {"13:30, inside 12:30 PM .. 4:30 PM", kCircle, at1330, 2},
        {"12:25, five minutes before it: still current", kCircle, WxTfrMinuteKey(15, 12, 31, 12, 25), 2},
        {"12:24, six minutes before it", kCircle, WxTfrMinuteKey(15, 12, 31, 12, 24), 14},
        {"the next day", kCircle, WxTfrMinuteKey(16, 1, 1, 13, 30), 14},
        {"outside the view", far, at1330, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillBand(0);
        Draw(c.xml, 6, c.now);
        EXPECT_EQ(Band(kOwnX, 154), c.colour) << "top, radius r";
        EXPECT_EQ(Band(kOwnX, 155), 0) << "black ring r - 1";
        EXPECT_EQ(Band(kOwnX, 156), c.colour) << "radius r - 2";
        EXPECT_EQ(Band(kOwnX, 222), c.colour) << "bottom";
        EXPECT_EQ(Band(kOwnX + 34, 188), c.colour) << "east";
        if (c.colour == 0) {
            EXPECT_EQ(Count(2, 0, 0, 639, 459) + Count(14, 0, 0, 639, 459), 0);
        }
    }
}

// The TYPE label of a one-shape area, above zoom 4, is record text: a type
// holding conversions is drawn as it stands, never read as a format.
TEST_F(TfrDrawTest, TheTypeLabelIsTextAboveZoomFour) {
    std::string xml = kCircle;
    Draw(xml, 4);
    const int none = Count(1, 0, 150, 639, 230);
    EXPECT_EQ(none, 0) << "no label at zoom 4";
    FillBand(0);
    Draw(xml, 6);
    const int plain = Count(1, 0, 150, 639, 230);
    EXPECT_GT(plain, 30) << "SECURITY under the centre";
    xml.replace(xml.find("SECURITY"), 8, "%s%s%n%s");
    FillBand(0);
    Draw(xml, 6);
    EXPECT_GT(Count(1, 0, 150, 639, 230), 20) << "the conversions drawn as characters";
}

TEST(AirspaceLabels, TextsAndZooms) {
    uint8_t rec[19] = {};
    auto set16 = [&rec](uint32_t at, int v) {
        rec[at] = static_cast<uint8_t>(v);
        rec[at + 1] = static_cast<uint8_t>(v >> 8);
    };
    struct Case { const char* name; int ceiling, floor; uint16_t flags; const char* top; const char* bottom; };
    const Case cases[] = {
        {"class D to 2,500", 25, asp::kSurface, 0, "25", "SFC"},
        {"class D to 10,000", 100, asp::kSurface, 0, "100", "SFC"},
        {"unlimited over 1,200 AGL", asp::kUnlimited, 1200, asp::kFloorAgl, "UTD", "1200 AGL"},
        {"ceiling AGL", 3000, 700, asp::kCeilingAgl, "3000 AGL", "700"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        set16(asp::kCeiling, c.ceiling);
        set16(asp::kFloor, c.floor);
        set16(asp::kFlags, c.flags);
        char top[16], bottom[16];
        AirspaceLabelTexts(rec, top, bottom, sizeof top);
        EXPECT_STREQ(top, c.top);
        EXPECT_STREQ(bottom, c.bottom);
    }
    struct Zoom { uint16_t flags; uint32_t first; };   // the first zoom that shows the label
    for (const Zoom& z : {Zoom{asp::kLabelZoom1, 1}, Zoom{asp::kLabelZoom4, 4}, Zoom{0, 7}}) {
        SCOPED_TRACE(z.flags);
        EXPECT_FALSE(AirspaceLabelShown(z.flags, z.first - 1));
        EXPECT_TRUE(AirspaceLabelShown(z.flags, z.first));
    }
    AirspaceStyle st{};
    EXPECT_FALSE(AirspaceStyleOf('A', 0, &st)) << "class A is not drawn";
    EXPECT_FALSE(AirspaceStyleOf('E', 0, &st)) << "nor E";
    ASSERT_TRUE(AirspaceStyleOf('T', 0, &st));
    EXPECT_EQ(st.outline, 2) << "an active TFR: red";
    ASSERT_TRUE(AirspaceStyleOf('T', asp::kTfrYellow, &st));
    EXPECT_EQ(st.outline, 14) << "yellow";
}

TEST(AirportsByZoom, WhichAreShown) {
    constexpr uint32_t all = aptf::kCloseOnly | aptf::kBlue | aptf::kTicks | aptf::kRunwayCoords;
    struct Case { const char* name; uint32_t flags, longest, zoom; bool shown; };
    const Case cases[] = {
        {"zoom 0: a 10,000 ft runway, blue", all, 10000, 0, true},
        {"zoom 0: 9,999 ft", all, 9999, 0, false},
        {"zoom 0: 10,000 ft, not blue", all & ~aptf::kBlue, 10000, 0, false},
        {"zoom 2: 7,499 ft", all, 7499, 2, false},
        {"zoom 2: 7,500 ft", all, 7500, 2, true},
        {"zoom 3: 4,999 ft", all, 4999, 3, false},
        {"zoom 3: 5,000 ft", all, 5000, 3, true},
        {"zoom 4: not blue", all & ~aptf::kBlue, 5000, 4, false},
        {"zoom 5: no ticks", all & ~aptf::kTicks, 5000, 5, false},
        {"zoom 6: no runway coordinates", all & ~aptf::kRunwayCoords, 5000, 6, false},
        {"zoom 7: no runway coordinates", all & ~aptf::kRunwayCoords, 5000, 7, true},
        {"zoom 7: private, 1,500 ft", all | aptf::kPrivate, 1500, 7, false},
        {"zoom 8: private, 1,500 ft", all | aptf::kPrivate, 1500, 8, true},
        {"zoom 9: without bit 0", all & ~aptf::kCloseOnly, 10000, 9, false},
        {"zoom 10: without bit 0", all & ~aptf::kCloseOnly, 10000, 10, true},
        {"heliport, closest zoom", all | aptf::kHeliport, 10000, 12, false},
        {"water, closest zoom", all | aptf::kWater, 10000, 12, false},
    };
    for (const Case& c : cases) EXPECT_EQ(AirportShownAtZoom(c.flags, c.longest, c.zoom), c.shown) << c.name;
}

TEST(Obstacles, ColourByHeightAbove) {
    // A 500 ft tower whose top is at 1,500 ft, and a 1,001 ft one topping 2,000 ft.
    struct Case { const char* name; uint32_t h; int32_t top, alt; uint32_t zoom, colour; };
    const Case cases[] = {
        {"99 ft above: red", 500, 1500, 1599, 5, 2},
        {"99 ft above at zoom 4, short: not drawn", 500, 1500, 1599, 4, 0},
        {"99 ft above at zoom 4, 1,000 ft: red", 1000, 1500, 1599, 4, 2},
        {"100 ft above: yellow", 500, 1500, 1600, 6, 14},
        {"599 ft above at zoom 5: not drawn", 500, 1500, 2099, 5, 0},
        {"600 ft above, short: not drawn", 500, 1500, 2100, 6, 0},
        {"600 ft above, 1,001 ft: grey", 1001, 2000, 2600, 5, 20},
        {"600 ft above, 1,000 ft: not drawn", 1000, 2000, 2600, 5, 0},
        {"5,000 ft above: not drawn", 1001, 2000, 7000, 5, 0},
        {"grey at zoom 4: not drawn", 1001, 2000, 2600, 4, 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ObstacleColour(c.h, c.top, c.alt, c.zoom), c.colour) << c.name;
}

TEST_F(MapDrawTest, NavaidsAndFixesStopAtThePaneEdge) {
    RunApp([] {
        G_MapPane.x0 = 0;
        G_MapPane.y0 = 0;
    });
    struct Case { int x, y; bool in; };
    for (const Case& c : {Case{0, 0, true}, Case{639, 459, true}, Case{-1, 100, false}, Case{640, 100, false},
                          Case{100, -1, false}, Case{100, 460, false}})
        EXPECT_EQ(InMapPane(c.x, c.y), c.in) << c.x << "," << c.y;
}

// One airport with one north-south runway 0.02 degree long through the
// reference; zoom 9 (1375 pixels a degree) draws runways: 27 rows from y 215
// to 243 down x 319, pen 5 in the category colour, then pen 2 in colour 21.
class RunwayTest : public MapDrawTest {
protected:
    static void Put32(uint8_t* p, uint32_t at, int32_t v) {
        for (int i = 0; i < 4; ++i) p[at + static_cast<uint32_t>(i)] = static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i));
    }
    void Draw(uint32_t flags, bool current) {
        RunApp([this, flags, current] {
            MapAt(45.0, -122.5);
            for (MapSquare& sq : G_MapSquares) sq.nAirports = sq.nRunways = sq.nAirspaces = 0;
            MapSquare& sq = G_MapSquares[0];
            uint8_t* apt = sq.airports[0];
            std::memset(apt, 0, kAirportBytes);
            Put32(apt, apt::kLat, 45 * 262144);
            Put32(apt, apt::kLon, static_cast<int32_t>(-122.5 * 262144));
            std::memcpy(apt + apt::kId, "KTST", 4);
            apt[apt::kRunways] = 1;
            const uint32_t f = flags | aptf::kRunwayCoords | aptf::kShown | aptf::kInView;
            apt[apt::kFlags1] = static_cast<uint8_t>(f);
            apt[apt::kFlags2] = static_cast<uint8_t>(f >> 8);
            apt[apt::kFlags3] = static_cast<uint8_t>(f >> 16);
            uint8_t* rw = sq.runways[0];
            std::memset(rw, 0, kRunwayBytes);
            Put32(rw, 0, static_cast<int32_t>(45.01 * 262144));
            Put32(rw, 4, static_cast<int32_t>(-122.5 * 262144));
            Put32(rw, 8, static_cast<int32_t>(44.99 * 262144));
            Put32(rw, 12, static_cast<int32_t>(-122.5 * 262144));
            sq.nAirports = sq.nRunways = 1;
            G_Wx.bMetarRx = current ? 1 : 0;
            G_Wx.nMetarRxTime = 1000;
            G_MapZoom = 9;
            MapCalcVisibleBox();
            const OffscreenBand band = BeginOffscreenBand();
            MapDrawAirports();
            EndOffscreenBand(band);
        });
    }
};

TEST_F(RunwayTest, RunwaysTakeTheMetarCategoryWhileTheReportsAreCurrent) {
    struct Case { const char* name; uint32_t flags; bool current; uint8_t colour; };
    const Case cases[] = {
        {"VFR", aptf::kMetarPresent | aptf::kVfr, true, 11},
        {"MVFR", aptf::kMetarPresent | aptf::kMvfr, true, 5},
        {"IFR", aptf::kMetarPresent | aptf::kIfr, true, 14},
        {"LIFR", aptf::kMetarPresent | aptf::kLifr, true, 2},
        {"IFR, reports aged out: white", aptf::kMetarPresent | aptf::kIfr, false, 31},
        {"a category without a report: white", aptf::kIfr, true, 31},
        {"no report at all", 0, true, 31},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillBand(0);
        Draw(c.flags, c.current);
        EXPECT_GT(Count(c.colour, 316, 216, 322, 242), 40) << "the wide line";
        EXPECT_GT(Count(21, 316, 216, 322, 242), 20) << "the dark centre line over it";
        const uint8_t others[] = {2, 5, 11, 14, 31};
        for (uint8_t o : others)
            if (o != c.colour) {
                EXPECT_EQ(Count(o, 316, 216, 322, 242), 0) << int{o};
            }
    }
}

}  // namespace
