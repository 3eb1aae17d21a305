// What the map draws of navigation, read back from the off-screen band: the
// track dots, the preview line and when it shows, bearing labels, the route
// legs from the active one on, the range arc's colour and pages, the scale
// texts and the data boxes' values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/goto.h"
#include "map/map.h"
#include "map/map_fixture.h"
#include "map/mapdraw_fixture.h"
#include "map/mapfile.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "map/tracklog.h"
#include "nav/navsrc.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/style.h"

namespace {
constexpr double kOne = 262144.0;
constexpr uint32_t kMs = 3686;
constexpr uint8_t kBlack = 0, kRed = 2, kYellow = 14, kMagenta = 17, kWhite = 31;
}  // namespace

namespace {

class OverlayTest : public MapDrawTest {
protected:
    void SetUp() override {
        MapDrawTest::SetUp();
        G_MapEnabled = 1;
        G_MapZoom = 12;   // 63 units of latitude a pixel
        MapAt(45.0, -122.5);
        G_NavSrc.hdr.nMapSrcSlot = 0;
        G_NavSrc.hdr.nMapCrsSlot = 0;
        G_FlipCtl.nDrawPageY = 960;   // drawing into the band
    }
    static MapPoint At(double lat, double lon) {
        return {static_cast<int32_t>(lat * kOne), static_cast<int32_t>(lon * kOne)};
    }
    static void SelectAirport(double lat, double lon) {
        const int32_t a = static_cast<int32_t>(lat * kOne), o = static_cast<int32_t>(lon * kOne);
        std::memcpy(G_WptDb.abAirport + apt::kLat, &a, 4);
        std::memcpy(G_WptDb.abAirport + apt::kLon, &o, 4);
        std::memcpy(G_WptDb.abAirport + apt::kId, "KAAA", 4);
        G_WptDb.nSelKind = kWptAirport;
    }
    static NavRoutePoint Entry(uint8_t flags, double lat, double lon) {
        NavRoutePoint e = {};
        e.nFlags = flags;
        e.fLat = static_cast<float>(lat);
        e.fLon = static_cast<float>(lon);
        return e;
    }
    int Row(uint8_t colour, int y) { return Count(colour, 0, y - 3, 639, y + 3); }
};

TEST_F(OverlayTest, TrackDotsAreTheStoredPointsInBlack) {
    // 1,199 points (the ring keeps one slot free) on a grid 10 pixels apart.
    TrackLog& t = G_TrackLog;
    t.nRead = 5;
    for (uint32_t i = 0; i < kTrackPoints - 1; ++i) {
        const int col = static_cast<int>(i % 40) - 20, row = static_cast<int>(i / 40) - 15;
        t.points[(t.nRead + i) % kTrackPoints] = {G_MapFrame.nRefLat + row * 630,
                                                  G_MapFrame.nRefLon + static_cast<int32_t>(col * 891)};
    }
    t.nWrite = (t.nRead + kTrackPoints - 1) % kTrackPoints;
    FillBand(kWhite);
    MapDrawTrackDots();
    EXPECT_EQ(Count(kBlack, 0, 0, 639, 459), 1199);
    t.nWrite = t.nRead;
    FillBand(kWhite);
    MapDrawTrackDots();
    EXPECT_EQ(Count(kBlack, 0, 0, 639, 459), 0) << "an empty log";
}

TEST_F(OverlayTest, PreviewAtOnceForTheNearestListAfterTwoSecondsOfKnobRestForFind) {
    SelectAirport(45.0, -122.45);   // 2.1 NM east: inside the pane
    FillBand(kBlack);
    MapDrawRouteOverlay();
    EXPECT_EQ(Count(kYellow, 0, 0, 639, 459), 0) << "no list, no box";

    G_Nearest.nMode = 1;
    MapDrawRouteOverlay();
    EXPECT_GT(Count(kYellow, 0, 0, 639, 459), 100) << "the nearest list: at once";

    G_Nearest.nMode = 0;
    G_WptDb.nPageFlags = 2;   // FIND
    G_Knob0.nLastStepTime = ReadOsTimer();
    FillBand(kBlack);
    DelayTicks(1800 * kMs);
    MapDrawRouteOverlay();
    EXPECT_EQ(Count(kYellow, 0, 0, 639, 459), 0) << "the knob turned 1.8 s ago";
    DelayTicks(300 * kMs);
    MapDrawRouteOverlay();
    EXPECT_GT(Count(kYellow, 0, 0, 639, 459), 100) << "2.1 s of rest";

    SelectAirport(45.0, -52.5);   // 70 degrees of longitude away
    FillBand(kBlack);
    MapDrawRouteOverlay();
    EXPECT_EQ(Count(kYellow, 0, 0, 639, 459), 0);
}

TEST_F(OverlayTest, BearingLinesRunFromThePointAndNorthIsLabelled360) {
    struct Case { int bearing; const char* label; int dx, dy; };
    const Case cases[] = {{0, "360", 0, -1}, {90, "090", 1, 0}, {180, "180", 0, 1}, {5, "005", 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        FillBand(kBlack);
        MapDrawBearingLine(At(45.0, -122.5), c.bearing, kMagenta);
        EXPECT_STREQ(G_DrawTextBuf, c.label);
        EXPECT_EQ(Band(319 + 100 * c.dx, 229 + 100 * c.dy), kMagenta);
    }
}

TEST_F(OverlayTest, RouteLegsBehindTheActiveOneAreNotDrawn) {
    // Four points along rows 100 pixels apart; the leg to point 2 is active.
    NavSrcRec& r = G_NavSrc.rec[0];
    const double row = 100 * 63 / kOne;
    r.nRouteCount = 4;
    r.route[0] = Entry(kNavRoutePosValid, 45.0 + 2 * row, -122.52);
    r.route[1] = Entry(kNavRoutePosValid, 45.0 + 2 * row, -122.48);
    r.route[2] = Entry(kNavRoutePosValid | kNavRouteActive, 45.0 + row, -122.48);
    std::memcpy(r.route[2].szIdent, "KDST", 4);
    r.route[3] = Entry(kNavRoutePosValid, 45.0 + row, -122.52);
    FillBand(kBlack);
    MapDrawRouteOverlay();
    EXPECT_EQ(Row(kWhite, 229 - 200), 0) << "the leg before the active one";
    EXPECT_GT(Row(kMagenta, 229 - 150), 0) << "the active leg, magenta";
    EXPECT_GT(Row(kWhite, 229 - 100), 100) << "the leg after it, white";
    EXPECT_STREQ(G_DrawTextBuf, "KDST") << "the active leg's destination";

    r.nGpsFlagsA = 0;
    FillBand(kBlack);
    MapDrawRouteOverlay();
    EXPECT_EQ(Count(kMagenta, 0, 0, 639, 459) + Count(kWhite, 0, 0, 639, 459), 0) << "nothing without a fix";
}

TEST_F(OverlayTest, AGreatCircleToAPointBeyondThePaneRunsToItsEdge) {
    // 20 NM north at 63 units a pixel is 1,330 pixels above the aircraft.
    SetDrawColor(kMagenta);
    GUI_SetPenSize(3);
    FillBand(kBlack);
    MapDrawGreatCircle(At(45.0, -122.5), At(45.0 + 20.0 / 60.0, -122.5));
    EXPECT_EQ(Band(319, 200), kMagenta);
    EXPECT_EQ(Band(319, 5), kMagenta) << "up to the pane's top edge";
    EXPECT_EQ(Count(kMagenta, 0, 236, 639, 459), 0) << "nothing south of the aircraft";
}

TEST_F(OverlayTest, RangeArcRedWithoutAFixAndNoneOnPageNine) {
    G_MapViewMode = 0;   // track up
    G_CurPage = 5;
    G_MapOwnPos[0] = {319, 440};
    FillBand(kBlack);
    MapDrawRangeArc();
    const int white = Count(kWhite, 0, 16, 639, 459);
    EXPECT_GT(white, 50);
    EXPECT_EQ(Count(kRed, 0, 16, 639, 459), 0);
    G_NavSrc.rec[0].nGpsFlagsA = 0;
    FillBand(kBlack);
    MapDrawRangeArc();
    EXPECT_GT(Count(kRed, 0, 16, 639, 459), 50) << "the arc, red";

    G_CurPage = 9;
    FillBand(kBlack);
    MapDrawRangeArc();
    EXPECT_EQ(Count(kBlack, 0, 0, 639, 459), 640 * 460) << "no arc";
    SetDrawColor(kWhite);
    GUI_DrawPixel(0, 960);
    EXPECT_EQ(Band(0, 0), kWhite) << "the clip was removed";
}

// Track up the aircraft sits at 3/4 of the pane, where the table's radii
// put the arc above it: the arc comes in to stay under the data boxes and
// inside the map beside the instrument strips.
TEST_F(OverlayTest, TheRangeArcIsBroughtInsideThePane) {
    G_MapViewMode = 0;
    struct Case { const char* name; int32_t page, x1, ownX, tickX0, tickY0, tickX1, tickY1, top, right; };
    const Case cases[] = {
        // Page 8, own (319, 344): R 373 reaches row -12. At 337 degrees (cos
        // 0.9205) row 18 allows an outer radius of 326 / 0.9205 = 354, R 340;
        // its characters 2.2 degrees apart (20 x 373 / 340) put the arc's end
        // at 337.2 degrees, outer radius 353, R 339: the tick from (450.4,
        // 31.5) to (455.8, 18.6).
        {"page 8", 8, 639, 319, 450, 18, 459, 31, 18, 637},
        // Page 15 beside the strips, own (191, 344): the map ends at column
        // 291. At 341 degrees (sin -0.3256) the outer radius is 100 / 0.3256
        // = 307, R 293; wider steps (17, 18, 19 tenths) move the label's start
        // to 339.5, 339.0, 338.5 degrees and the radius to 271, 265, 258: the
        // tick from (285.6, 104.0) to (290.7, 90.9); the arc stays under the
        // pane's two rows of data boxes.
        {"page 15, split", 15, 383, 191, 284, 90, 291, 105, 34, 291},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_CurPage = c.page;
        const bool split = c.page == 15;
        G_NetStreamCfg[kStreamAir].INST = split ? 1 : 0;
        G_MapAirOn = split ? 1 : 0;
        G_MapPane.x1 = static_cast<int16_t>(c.x1);
        G_MapPane.nFlagA = split ? 1 : 0;
        G_MapOwnPos[0] = {static_cast<int16_t>(c.ownX), 344};
        FillBand(kBlack);
        MapDrawRangeArc();
        EXPECT_GE(Count(kWhite, c.tickX0, c.tickY0, c.tickX1, c.tickY1), 8) << "the tick at the label's start";
        EXPECT_EQ(Count(kWhite, 0, 0, 639, c.top - 1), 0) << "nothing over the data boxes";
        EXPECT_EQ(Count(kWhite, c.right + 1, 0, 639, 459), 0) << "nothing right of the map";
        EXPECT_GT(Count(kWhite, 0, 0, 639, 459), 80) << "arc and label";
    }
}

TEST_F(OverlayTest, ScaleTextsInEveryUnit) {
    // 75 pixels x degrees a pixel (2^18 fixed) x 600, in tenths of a nautical mile.
    struct Case { uint32_t zoom, units; const char* bar; const char* arc; };
    const Case cases[] = {
        {7, 0, " 8.1 NM ", "38NM"},    // 35700 x 600 / 2^18 = 81.7; the arc's 355 pixels 386.8
        {7, 1, " 9.3 SM ", "44SM"},    // below 10 NM: one decimal in any unit; 81 x 1.15078 = 93.2
        {6, 1, " 12 SM ", "59SM"},     // 109 tenths, 125.4; the arc 515 tenths, 592.6
        {6, 2, " 20 KM ", "95KM"},     // 109 x 1.852 = 201.9; 515 x 1.852 = 953.8
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bar);
        G_MapZoom = c.zoom;
        G_DistUnits = c.units;
        char text[24];
        FormatRange(75, true, text, sizeof text);
        EXPECT_STREQ(text, c.bar);
        FormatRange(355, false, text, sizeof text);
        EXPECT_STREQ(text, c.arc);
    }
}

TEST_F(OverlayTest, DataBoxValues) {
    char main[16], sec[8];
    FormatEte(3599, main, sec);
    EXPECT_STREQ(main, "59:");
    EXPECT_STREQ(sec, "59 ");
    FormatEte(3600, main, sec);
    EXPECT_STREQ(main, "01:00 ");
    EXPECT_STREQ(sec, "");
    EXPECT_EQ(ToDistUnitTenths(100, 2), 185) << "18.5 KM";
    EXPECT_EQ(ToDistUnitTenths(100, 1), 115);
    EXPECT_EQ(ToDistUnitTenths(100, 0), 100);

    NavSrcRec& r = G_NavSrc.rec[0];
    std::memcpy(r.szWaypoint, "KPDX", 4);
    r.nDistance = 100;
    r.nTimeToWpt = 3599;
    G_DistUnits = 2;
    FillBand(kBlack);
    MapNavDataBoxes();
    EXPECT_GT(Count(kMagenta, 0, 0, 639, 14), 50) << "the labels";
    EXPECT_GT(Count(kWhite, 0, 0, 639, 14), 50) << "the values";
    EXPECT_GT(Count(19, 0, 15, 639, 15), 400) << "the grey rules";
    G_DistUnits = 0;
}

}  // namespace

// ---- on a generated card: the GOTO destination and the radial stations looked up --------

namespace {

class OverlayCardTest : public MapCardTest {
protected:
    void SetUp() override {
        MapCardTest::SetUp();
        MakeCard("--region nw");
        MapInit();
        ASSERT_EQ(MapStatusOf(kMapFileMap), kMapOk);
        SetUpFullMapPane();
        G_MapEnabled = 1;
        G_MapZoom = 12;
        G_FlipCtl.nDrawPageY = 960;
        NavSrcRec& r = G_NavSrc.rec[0];
        r.nGpsFlagsA = kNavGpsValid;
        r.nGpsFlagsB = kNavGpsOwnPos;
        G_NavSrc.hdr.nMapSrcSlot = G_NavSrc.hdr.nMapCrsSlot = 0;
        G_NavSrc.hdr.nCrsSlot = 0;
        G_NavSrc.hdr.nBrgSlot = kNavNoneSlot;
    }
    // The map centred on a point of the manifest's square, offset in degrees.
    void CentreOn(const std::string& list, double dlat, double dlon) {
        const double lat = ManifestInt("m['" + list + "'][1]['square'][1]") + 0.5 + dlat;
        const double lon = ManifestInt("m['" + list + "'][1]['square'][0]") + 0.5 + dlon;
        G_MapFrame.nRefLat = G_MapHeader.nRefLat = static_cast<int32_t>(lat * kOne);
        G_MapFrame.nRefLon = G_MapHeader.nRefLon = static_cast<int32_t>(lon * kOne);
        MapSetLonScale(G_MapFrame.nRefLat);
    }
    uint8_t Band(int x, int y) { return board().display().Memory()[(960 + y) * 640 + x]; }
    int Count(uint8_t colour) {
        int n = 0;
        for (int y = 0; y < 460; ++y)
            for (int x = 0; x < 640; ++x) n += Band(x, y) == colour;
        return n;
    }
};

TEST_F(OverlayCardTest, TheGotoDestinationIsReadAndLoggedOnlyWhenItChanges) {
    // The generator's second fix of a square lies 0.3 degree south of its middle, 0.1 east.
    CentreOn("fixes", -0.3, 0.1);
    const std::string fixId = Manifest("m['fixes'][1]['id']"), navId = Manifest("m['navaids'][1]['id']");
    NavSrcRec& r = G_NavSrc.rec[0];
    std::memcpy(r.szWaypoint, fixId.c_str(), 5);
    r.nDesiredTrack = 900;
    for (int i = 0; i < 3; ++i) MapDrawRouteOverlay();
    EXPECT_EQ(CountOf(Log(), fixId.substr(0, 5) + ".\n"), 1u) << Log();
    EXPECT_EQ(Band(319, 229 + 12), kMagenta) << "the destination circle on the fix";
    EXPECT_EQ(Band(319 - 60, 229), kMagenta) << "the course line in from the west";
    EXPECT_EQ(Band(319 + 60, 229), kWhite) << "and on beyond it";
    std::memset(r.szWaypoint, 0, sizeof r.szWaypoint);
    std::memcpy(r.szWaypoint, navId.c_str(), navId.size());
    MapDrawRouteOverlay();
    MapDrawRouteOverlay();
    EXPECT_EQ(CountOf(Log(), navId + ".\n"), 1u) << Log();
}

TEST_F(OverlayCardTest, AVorTunedOnTheHsiRadioShowsItsRadialsBothWays) {
    CentreOn("navaids", 0.0, 0.2);   // the navaid of a square: its middle, 0.2 degree east
    NavSrcRec& r = G_NavSrc.rec[0];
    r.nRadioFlagsA = kNavRadioValid;
    r.nRadioFlagsB = kNavRadioArinc | kNavRadioStationValid;
    r.nObs = 0;   // the bearing to the station: north
    const std::string id = Manifest("m['navaids'][1]['id']");
    std::memcpy(r.szStation, id.c_str(), id.size());
    std::memset(board().display().Memory() + 960 * 640, 0, 480 * 640);
    MapDrawRouteOverlay();
    EXPECT_EQ(Band(319, 229 + 100), 4) << "the radial from the station, south";
    EXPECT_EQ(Band(319, 229 - 100), 6) << "and its reciprocal, north";
    EXPECT_GT(Count(5), 40) << "the station's circle";
    EXPECT_STREQ(G_DrawTextBuf, "360") << "bearing 0 is labelled 360";

    r.nRadioFlagsB = kNavRadioArinc;
    std::memset(board().display().Memory() + 960 * 640, 0, 480 * 640);
    MapDrawRouteOverlay();
    EXPECT_EQ(Count(5) + Count(4) + Count(6), 0) << "no station without its valid bit";
}

}  // namespace
