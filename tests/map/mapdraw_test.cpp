// The map's drawing: terrain placed from the cache in every quadrant and
// copied by DMA, the line work's styles and thinning, the draw cycle's
// scrolling, rotation, redraw decisions, copies and banners, and the
// aircraft symbol; read back from display memory.
#include <cmath>
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "gui/gui.h"
#include "map/map.h"
#include "map/mapdraw_fixture.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/ownship.h"
#include "map/terrain.h"
#include "map/vectors.h"
#include "nav/navsrc.h"
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "wx/wx.h"

namespace {

constexpr int kOwnX = 319, kOwnY = 229;   // north up, full pane
constexpr double kOne = 262144.0;
constexpr uint8_t kGrey = 19;   // the pages' grey, drawn for colour 20

// Terrain classes by cache row: stripe k (rows 120k..120k+119, one degree)
// holds class 2k, drawn as palette index 128 + k.
void StripeCache() {
    for (uint32_t row = 0; row < kTerrainCacheSide; ++row)
        std::memset(G_TerrainCache + row * kTerrainCacheSide, static_cast<int>(2 * (row / 120)), kTerrainCacheSide);
}

TEST_F(MapDrawTest, TerrainOriginLiesOnTheCentreSquareInEveryQuadrant) {
    struct Case { const char* name; double lat, lon, row, col; };
    const Case cases[] = {
        {"on 35.0 N, west", 35.0, -122.4, 2400.0 - 0.5, 2400.0 - 288.0 + 0.5},
        {"south-east", -37.5, 147.5, 2400.0 - 300.0 - 0.5, 1800.0 + 300.0 + 0.5},
        {"across the equator and the prime meridian", 2.5, -2.5, 2100.0 - 0.5, 2100.0 + 0.5},
        {"just south of the equator", -0.5, 0.5, 2400.0 - 540.0 - 0.5, 1800.0 + 60.0 + 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int32_t col0 = 0, row0 = 0;
        TerrainOrigin(static_cast<int32_t>(c.lat * kOne), static_cast<int32_t>(c.lon * kOne), &col0, &row0);
        EXPECT_NEAR(row0 / kOne, c.row, 0.01);
        EXPECT_NEAR(col0 / kOne, c.col, 0.01);
    }
    int32_t col0 = 0, row0 = 0;
    TerrainOrigin(35 * (1 << 18), static_cast<int32_t>(-122.4 * kOne), &col0, &row0);
    EXPECT_EQ(row0, 2400 * (1 << 18) - (1 << 17)) << "exactly on the five-degree line";
}

TEST_F(MapDrawTest, TerrainNorthUpAtZoomZeroFollowsTheStripes) {
    StripeCache();
    RunApp([this] {
        MapAt(45.0, -122.5);
        MapDrawTerrain();
    });
    // One pixel is 953250 / 2^18 = 3.636 samples: 16 rows south of the
    // reference is sample row 2400 - 0.5 + 58.2, stripe 20; 16 north is
    // 2341.3, stripe 19; 50 south 2581.3, stripe 21.
    EXPECT_EQ(Band(kOwnX, kOwnY + 16), 128 + 20);
    EXPECT_EQ(Band(kOwnX, kOwnY - 16), 128 + 19);
    EXPECT_EQ(Band(kOwnX, kOwnY + 50), 128 + 21);
    EXPECT_EQ(Band(kOwnX + 200, kOwnY + 50), 128 + 21) << "rows run east-west";
    EXPECT_EQ(Log().find("Terrain DMA !done"), std::string::npos);
    EXPECT_EQ(G_TerrainDmaBusy, 0u);
    EXPECT_EQ(board().dma().BytesMoved(0), 458u * 640u) << "one 640-byte row per pane row, word-aligned";
}

TEST_F(MapDrawTest, TerrainPastTheCacheIsPaintedWithTheFixedIndex) {
    StripeCache();
    // At 60 N the pane spans 2 x 320 x 3.64 / cos 60 = 4650 samples east-west:
    // beyond the cache on both sides.
    RunApp([this] {
        MapAt(60.0, -122.5);
        MapDrawTerrain();
    });
    EXPECT_EQ(Band(1, kOwnY + 16), kTerrainOutside);
    EXPECT_EQ(Band(639, kOwnY + 16), kTerrainOutside);
    EXPECT_EQ(Band(kOwnX, kOwnY + 16), 128 + 20);
}

TEST_F(MapDrawTest, TerrainInTheSouthEastLiesAtItsTruePlace) {
    // Cell 3 holds the five-degree square [-40, -35) x [145, 150): -37.5,
    // 147.5 lies at its row 300 up from the south edge, column 300.
    std::memset(G_TerrainCache, 20, sizeof G_TerrainCache);
    for (uint32_t row = 2090; row < 2110; ++row) std::memset(G_TerrainCache + row * kTerrainCacheSide + 2090, 254, 20);
    RunApp([this] {
        MapAt(-37.5, 147.5);
        MapDrawTerrain();
    });
    EXPECT_EQ(Band(kOwnX, kOwnY), 255);
    EXPECT_EQ(Band(kOwnX + 10, kOwnY), 138) << "its surroundings";
}

TEST_F(MapDrawTest, TerrainOnASplitPageLeavesTheInstrumentColumns) {
    StripeCache();
    FillBand(77);
    RunApp([this] {
        G_NetStreamCfg[kStreamAir].INST = 1;
        G_MapAirOn = 1;
        MapAt(45.0, -122.5);
        MapDrawTerrain();
    });
    EXPECT_EQ(Count(77, 1, 1, 90, 458), 90 * 458) << "left 90 columns untouched";
    EXPECT_EQ(Count(77, 550, 1, 639, 458), 90 * 458) << "right 90 columns untouched";
    EXPECT_EQ(Count(77, 91, 1, 549, 458), 0);
}

// A track-up map turned 90 and 45 degrees over a cache whose class tells
// the sample's row stripe and column stripe: palette index 128 + 16 x (row /
// 120 mod 8) + (column / 120 mod 8). The reference on the corner of its
// five-degree square is sample (row 2399.5, column 1800.5); one pixel is
// 3.636 samples, times 1 / cos(latitude) east-west.
TEST_F(MapDrawTest, TerrainTurnedReadsTheCacheUnderEachPixel) {
    for (uint32_t row = 0; row < kTerrainCacheSide; ++row)
        for (uint32_t col = 0; col < kTerrainCacheSide; ++col)
            G_TerrainCache[row * kTerrainCacheSide + col] = static_cast<uint8_t>(2 * (16 * (row / 120 % 8) + col / 120 % 8));
    constexpr int kX = 319, kY = 344;   // track up
    struct Case { const char* name; uint32_t rotation; double lat; int x, y; uint8_t index; };
    const Case cases[] = {
        {"east up: the aircraft's sample", 900, 45.0, kX, kY, 128 + 16 * 3 + 7},
        {"east up: 10 right is 36.4 rows south", 900, 45.0, kX + 10, kY, 128 + 16 * 4 + 7},
        {"east up: 30 up is 154.3 columns east", 900, 45.0, kX, kY - 30, 128 + 16 * 3 + 0},
        {"east up at 60 N: 300 up is 2181.8 columns east", 900, 60.0, kX, kY - 300, 128 + 16 * 3 + 1},
        {"east up at 60 N: the top row is past the cache", 900, 60.0, kX, 1, kTerrainOutside},
        {"45 degrees: top left, row 699.9, column 1929.1", 450, 60.0, 1, 1, 128 + 16 * 5 + 0},
        {"45 degrees: top right of the same row, column 5204.9", 450, 60.0, 638, 1, kTerrainOutside},
        {"45 degrees: bottom right, row 3512.9, column 2854.7", 450, 60.0, 638, 458, 128 + 16 * 5 + 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunApp([this, &c] {
            MapAt(c.lat, -120.0);
            G_MapViewMode = 0;
            G_MapRotation = c.rotation;
            MapDrawTerrain();
        });
        EXPECT_EQ(Band(c.x, c.y), c.index);
    }
}

TEST_F(MapDrawTest, AStalledTerrainCopyTimesOutAndIsLogged) {
    StripeCache();
    board().dma().HoldChannel(0, true);
    RunApp([this] {
        MapAt(45.0, -122.5);
        MapDrawTerrain();
    });
    EXPECT_NE(Log().find("Terrain DMA !done"), std::string::npos);
    EXPECT_EQ(G_TerrainDmaBusy, 0u);
    EXPECT_EQ(board().dma().Dcsr(0) & (1u << 31), 0u) << "the chain given up";
    board().dma().HoldChannel(0, false);
}

// ---- line work ---------------------------------------------------------------------------

TEST_F(MapDrawTest, ChainStylesByBitAndZoom) {
    struct Case { uint16_t flags; uint32_t zoom; bool drawn; uint8_t pen, colour; bool fill; };
    const Case cases[] = {
        {1u << 2, 3, true, 1, 128, true},               {(1u << 2) | (1u << 8), 5, false, 0, 0, false},
        {(1u << 2) | (1u << 8), 6, true, 1, 128, true}, {1u << 12, 0, true, 1, 4, false},
        {1u << 13, 0, true, 1, 4, false},                {1u << 14, 0, true, 3, 4, false},
        {1u << 1, 4, false, 0, 0, false},                {1u << 1, 5, true, 1, 128, false},
        {1u << 1, 7, true, 3, 128, false},               {1u, 0, true, 1, 20, false},
        {1u | (1u << 9), 6, true, 2, 20, false},         {1u | (1u << 9), 5, false, 0, 0, false},
        {1u | (1u << 7), 4, true, 2, 20, false},         {1u << 6, 12, false, 0, 0, false},
        {(1u << 4) | (1u << 10), 2, false, 0, 0, false}, {(1u << 4) | (1u << 10), 3, true, 1, 49, true},
        {0, 5, true, 1, 20, false},                      // no style bit: pen 1, grey
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "flags 0x" << std::hex << c.flags << std::dec << " zoom " << c.zoom);
        ChainStyle s;
        ASSERT_EQ(ChainStyleOf(c.flags, c.zoom, &s), c.drawn);
        if (!c.drawn) continue;
        EXPECT_EQ(s.pen, c.pen);
        EXPECT_EQ(s.colour, c.colour);
        EXPECT_EQ(s.fill, c.fill);
    }
}

class ChainTest : public MapDrawTest {
protected:
    // Appends a chain of points given in degrees from the reference.
    void Add(uint16_t flags, std::initializer_list<std::pair<double, double>> pts, uint16_t nameId = 7) {
        VecSquare& v = G_VecSquares[0];
        VecChain& c = v.chains[v.nChains++];
        c = {{-32000, -32000, 32000, 32000}, static_cast<uint16_t>(pts.size()), flags, nameId};
        for (const auto& [dlat, dlon] : pts)
            v.points[v.nPoints++] = {static_cast<int32_t>((45.0 + dlat) * kOne), static_cast<int32_t>((-122.5 + dlon) * kOne)};
    }
    void Draw(uint32_t zoom) {
        RunApp([this, zoom] {
            MapAt(45.0, -122.5);
            G_MapZoom = zoom;
            MapCalcVisibleBox();
            const OffscreenBand band = BeginOffscreenBand();
            MapDrawChains(G_VecSquares[0]);
            EndOffscreenBand(band);
        });
    }
    void SetUp() override {
        MapDrawTest::SetUp();
        G_VecSquares[0].nPoints = G_VecSquares[0].nChains = 0;
        FillBand(0);
    }
};

TEST_F(ChainTest, ABit12ChainIsThinnedToItsEndsAndTheNextChainIsNot) {
    // Zoom 2: 91.7 pixels a degree. Both chains spike away from their ends
    // at points 1..8; the bit-12 chain's step is 25, so only its ends are
    // drawn; the next chain's own step is 3 (points 0, 3, 6, 9).
    Add(1u << 12, {{0, 0}, {0.5, 0}, {0.5, 0}, {0.5, 0}, {0.5, 0}, {0.5, 0}, {0.5, 0}, {0.5, 0}, {0.5, 0}, {0, 0.3}});
    Add(1u, {{-0.3, 0}, {-0.8, 0}, {-0.8, 0}, {-0.8, 0}, {-0.8, 0}, {-0.8, 0}, {-0.8, 0}, {-0.8, 0}, {-0.8, 0},
             {-0.3, 0.3}});
    Draw(2);
    EXPECT_EQ(Count(4, kOwnX - 3, kOwnY - 50, kOwnX + 3, kOwnY - 40), 0) << "bit-12 spike thinned away";
    EXPECT_GE(Count(4, kOwnX, kOwnY - 2, kOwnX + 30, kOwnY + 2), 15) << "its ends joined";
    EXPECT_GT(Count(kGrey, kOwnX - 3, kOwnY + 68, kOwnX + 3, kOwnY + 78), 3) << "the next chain keeps its spike";
}

TEST_F(ChainTest, AChainTouchingTheViewIsDrawnAndOneBeyondIsNot) {
    Draw(2);   // the view box of this frame
    const int16_t* view = G_MapFrame.box;
    Add(1u, {{0.1, -0.2}, {0.1, 0.2}});
    Add(1u, {{-0.1, -0.2}, {-0.1, 0.2}});
    VecChain* c = G_VecSquares[0].chains;
    c[0].box[0] = view[2];   // its west edge on the view's east edge
    c[0].box[2] = static_cast<int16_t>(view[2] + 10);
    c[1].box[0] = static_cast<int16_t>(view[2] + 1);
    c[1].box[2] = static_cast<int16_t>(view[2] + 10);
    Draw(2);
    EXPECT_GT(Count(kGrey, kOwnX - 15, kOwnY - 11, kOwnX + 15, kOwnY - 7), 20) << "touching";
    EXPECT_EQ(Count(kGrey, kOwnX - 15, kOwnY + 7, kOwnX + 15, kOwnY + 11), 0) << "one unit beyond";
}

TEST_F(ChainTest, AnOverflowingChainIsLoggedOnceAndLaterFramesDrawPastIt) {
    Add(1u, {{0.1, -0.2}, {0.1, 0.2}});
    Add(1u, {{0, 0}}, 4242);
    Add(1u, {{-0.1, -0.2}, {-0.1, 0.2}});
    VecSquare& v = G_VecSquares[0];
    v.chains[1].nPoints = 30000;   // past the buffer's points
    v.points[2] = v.points[3];     // the third chain's points follow the first's
    v.points[3] = v.points[4];
    v.nPoints = 4;
    Draw(2);
    EXPECT_EQ(Count(kGrey, kOwnX - 15, kOwnY + 7, kOwnX + 15, kOwnY + 11), 0) << "the rest of the buffer waits";
    Draw(2);
    const std::string log = Log();
    const size_t at = log.find("MAP: Too many points in chain NameID = 4242");
    EXPECT_NE(at, std::string::npos) << log;
    EXPECT_EQ(log.find("MAP: Too many points in chain", at + 1), std::string::npos) << "logged once";
    EXPECT_GT(Count(kGrey, kOwnX - 15, kOwnY + 7, kOwnX + 15, kOwnY + 11), 20) << "drawn past it";
}

// ---- the draw cycle -------------------------------------------------------------------------

TEST_F(MapDrawTest, AWildJumpIsIgnoredSixCyclesThenFollowed) {
    RunApp([this] {
        MapAt(45.0, -122.5);
        G_NavSrc.rec[0].fLat = 46.5f;   // 1.5 degrees north
        for (int i = 0; i < 6; ++i) {
            MapScroll();
            EXPECT_EQ(G_MapFrame.nRefLat, 45 * (1 << 18)) << "cycle " << i + 1;
        }
        MapScroll();
        EXPECT_EQ(G_MapFrame.nRefLat, static_cast<int32_t>(46.5 * kOne)) << "followed on the seventh";
        G_NavSrc.rec[0].fLat = 47.5f;   // exactly one degree: taken at once
        MapScroll();
        EXPECT_EQ(G_MapFrame.nRefLat, static_cast<int32_t>(47.5 * kOne));
    });
    const std::string log = Log();
    const size_t at = log.find("MAP: wormhole detected");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(log.find("MAP: wormhole detected", at + 1), std::string::npos) << log;
    EXPECT_NE(log.find("MAP: wormhole followed"), std::string::npos);
}

TEST_F(MapDrawTest, TheHeadingTurningTheMapComesFromTheAhrsBelowFiveKnots) {
    struct Case { const char* name; int16_t speed; bool ahrs; int32_t expect; };
    const Case cases[] = {
        {"4.9 kt, AHRS", 49, true, 150},      // 100 - (-50)
        {"5.0 kt, AHRS", 50, true, 900},      // the track
        {"4.9 kt, no AHRS", 49, false, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_NetStreamCfg[kStreamAhrs].INST = c.ahrs ? 1 : 0;
        G_Ahrs.nHeading = 100;
        G_Ahrs.nFresh = 40;
        NavSrcRec r = {};
        r.nGroundSpeed = c.speed;
        r.nMagVar = -50;
        r.nTrackTrue = 900;
        EXPECT_EQ(MapHeadingOf(r), c.expect);
    }
}

TEST_F(MapDrawTest, RedrawDecisions) {
    RunApp([this] {
        MapAt(45.0, -122.5, 900);
        G_MapViewMode = 0;   // track up
        G_MapRotation = 900;
        G_MapFrame.nStage = 5;
        G_MapFrame.nBlit[0] = G_MapFrame.nBlit[1] = 1;
        NavSrcRec& r = G_NavSrc.rec[0];
        G_MapPane.nRedraw = kMapFrameNow;
        EXPECT_EQ(MapNeedsRedraw(r), 1) << "asked for";
        EXPECT_EQ(G_MapFrame.nBlit[0] + G_MapFrame.nBlit[1], 0u);
        G_MapFrame.nBlit[0] = G_MapFrame.nBlit[1] = 1;
        G_MapPane.nRedraw = kMapFrameSkip;
        EXPECT_EQ(MapNeedsRedraw(r), 0) << "skipped";
        G_MapPane.nRedraw = kMapFrameNormal;
        EXPECT_EQ(MapNeedsRedraw(r), 0) << "nothing changed";
        r.fLat += 0.01f;
        EXPECT_EQ(MapNeedsRedraw(r), 1) << "moved";
        r.fLat -= 0.01f;
        r.nTrackTrue = 910;
        EXPECT_EQ(MapNeedsRedraw(r), 1) << "turned";
        G_MapFrame.nPanHold = 1;
        EXPECT_EQ(MapNeedsRedraw(r), 0) << "panned away";
        DelayTicks(2 * kTicksPerSecond + 1000);
        EXPECT_EQ(MapNeedsRedraw(r), 1) << "2 s";
    });
}

TEST_F(MapDrawTest, EachDisplayPageGetsThePictureEvenWhenAFlipIsSkipped) {
    FillBand(9);
    RunApp([this] {
        G_MapFrame.nStage = 5;
        G_MapFrame.nBlit[0] = G_MapFrame.nBlit[1] = 0;
        G_FlipCtl.nDrawPageY = 0;
        EXPECT_EQ(MapBlitToScreen(), 1);
        EXPECT_EQ(MapBlitToScreen(), 0) << "page 0 twice: copied once";
        EXPECT_EQ(Page(300, 200), 9);
        EXPECT_EQ(Page(300, 480 + 200), 0);
        G_FlipCtl.nDrawPageY = 480;
        EXPECT_EQ(MapBlitToScreen(), 1);
        EXPECT_EQ(Page(300, 480 + 200), 9);
    });
}

TEST_F(MapDrawTest, BannersForEachStatusAndNoGps) {
    for (uint32_t status = 0; status <= 5; ++status) {
        SCOPED_TRACE(status);
        std::memset(Frame(), 0, 960 * 640);
        RunApp([status] {
            MapFrameReset();
            G_MapFile[kMapFileMap].nStatus = status;
            G_NavSrc.rec[0].nGpsFlagsA = 0;   // status 0 without a fix: NO GPS
            G_FlipCtl.nDrawPageY = 0;
            MapStatusBanner();
        });
        int red = 0;
        for (int y = 229 + 20 - 8; y <= 229 + 20 + 8; ++y)
            for (int x = 200; x < 440; ++x) red += Page(x, y) == 2;
        EXPECT_GT(red, 100);
    }
    std::memset(Frame(), 0, 960 * 640);
    RunApp([this] {
        MapFrameReset();
        MapAt(45.0, -122.5);
        MapStatusBanner();
    });
    int red = 0;
    for (int x = 200; x < 440; ++x) red += Page(x, 249) == 2;
    EXPECT_EQ(red, 0) << "a loaded map with a fix: no banner";
}

// ---- the aircraft symbol ---------------------------------------------------------------------

TEST_F(MapDrawTest, TheAircraftPointsAlongTheTrackAndIsRedOnAChartPage) {
    auto draw = [this](int16_t track, uint32_t pageFlags) {
        FillBand(5);
        RunApp([this, track, pageFlags] {
            MapAt(45.0, -122.5, track);
            G_WptDb.nPageFlags = pageFlags;
            const OffscreenBand band = BeginOffscreenBand();
            MapDrawOwnShip(1, kOwnX, kOwnY);
            EndOffscreenBand(band);
        });
    };
    EXPECT_NEAR(OwnShipAngle(900), 270.0 * 3.14159265 / 180.0, 1e-5);
    draw(0, 0);
    // Nose up: the grey propellers along the row 10 above the centre.
    EXPECT_GE(Count(kGrey, kOwnX - 7, kOwnY - 10, kOwnX + 7, kOwnY - 10), 10);
    EXPECT_GT(Count(0, kOwnX - 20, kOwnY - 20, kOwnX + 20, kOwnY + 20), 40) << "the black halo";
    draw(900, 0);
    // Track 900: turned to 270 degrees, the propellers along the column 10 to
    // the right, none to the left.
    EXPECT_GE(Count(kGrey, kOwnX + 10, kOwnY - 7, kOwnX + 10, kOwnY + 7), 10);
    EXPECT_EQ(Count(kGrey, kOwnX - 10, kOwnY - 7, kOwnX - 10, kOwnY + 7), 0);
    draw(0, kWptChartView);
    EXPECT_GT(Count(2, kOwnX - 20, kOwnY - 20, kOwnX + 20, kOwnY + 20), 40) << "red";
    EXPECT_EQ(Count(0, kOwnX - 20, kOwnY - 20, kOwnX + 20, kOwnY + 20), 0) << "no halo";
    EXPECT_EQ(Count(31, kOwnX - 20, kOwnY - 20, kOwnX + 20, kOwnY + 20), 0);
}

// ---- the split page, stage 4's boxes, the info boxes and the pan ----------------------------

// Page 8 with air data and AIR ON: the picture is copied and the tapes are
// drawn on the page over its 90-pixel strips; the map's data boxes keep the
// rows above them. AIR OFF leaves the strips to the map.
TEST_F(MapDrawTest, ASplitPageDrawsTheTapesBesideTheNarrowedMap) {
    constexpr uint8_t kDarkGrey = 21;   // the strips' frames
    for (const uint32_t air : {1u, 0u}) {
        SCOPED_TRACE(air ? "AIR ON" : "AIR OFF");
        std::memset(Frame(), 0, 960 * 640);
        RunApp([air] {
            G_NetStreamCfg[kStreamAir].INST = 1;
            G_NetStreamCfg[kStreamAhrs].INST = 1;
            G_MapAirOn = air;
            G_AirData.nIas = 1234;
            G_AirData.nBaroAlt = 12500;
            G_AirData.nFresh = 40;
            MapFrameReset();
            G_MapTerrOn = 0;
            G_FlipCtl.nDrawPageY = 0;
            G_MapPane.nRedraw = kMapFrameNow;
        });
        RunApp([this] {
            MapAt(45.0, -122.5);
            MapPageRun(0);
        });
        int left = 0, right = 0, middle = 0;
        for (int y = 16; y < 460; ++y)
            for (int x = 0; x < 640; ++x) {
                if (Page(x, y) == 0) continue;
                if (x < 90) ++left;
                else if (x >= 550) ++right;
                else ++middle;
            }
        if (air) {
            EXPECT_GT(left, 5000) << "the airspeed strip";
            EXPECT_GT(right, 5000) << "the altitude strip";
            EXPECT_EQ(Page(0, 200), kDarkGrey) << "the left frame's edge";
            EXPECT_EQ(Page(639, 200), kDarkGrey) << "the right frame's edge";
            EXPECT_NE(Page(0, 10), kDarkGrey) << "the data boxes' row stays the map's";
        } else {
            EXPECT_NE(Page(0, 200), kDarkGrey);
            EXPECT_NE(Page(639, 200), kDarkGrey);
        }
        EXPECT_GT(middle, 20) << "the picture reached the page";
    }
}

// Stage 4's navigation source box (lower right) and attitude inset (lower
// left), in the band; neither with the EFIS pane beside the map, nor where it
// would hide the aircraft of a short, narrow split pane in track-up.
TEST_F(MapDrawTest, StageFourDrawsTheSourceBoxAndTheAttitudeInsetWhereTheyFit) {
    constexpr uint8_t kMagenta = 17, kSky = 33;
    struct Case { const char* name; bool efis, narrow; bool shown; };
    const Case cases[] = {
        {"full map pane", false, false, true},
        {"EFIS pane beside", true, false, false},
        {"page 16 split, track up", false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillBand(0);
        RunApp([this, c] {
            SetUpFullMapPane();
            MapAt(45.0, -122.5);
            G_NetStreamCfg[kStreamAhrs].INST = 1;
            G_Ahrs.nFresh = 40;
            NavSrcRec& r = G_NavSrc.rec[0];
            r.nType = 1;
            r.nGpsFlagsA |= kNavGpsWptValid;
            std::memcpy(r.szWaypoint, "KAAA", 4);
            r.nDistance = 123;
            G_NavSrc.hdr.nBrgSlot = 0;
            G_EfisLayout.pRect = c.efis ? &PaneLayouts[2][0] : nullptr;
            if (c.narrow) {
                G_CurPage = 16;
                G_NetStreamCfg[kStreamAir].INST = 1;
                G_MapAirOn = 1;
                G_MapPane.x1 = 383, G_MapPane.y1 = 339, G_MapPane.nFlagA = 1;
                G_MapViewMode = 0;
                MapPlaceOwnShip();
            }
            G_MapFrame.nStage = 1;
            G_MapPane.nRedraw = kMapFrameNow;
            const OffscreenBand band = BeginOffscreenBand();
            MapRender();
            EndOffscreenBand(band);
            G_EfisLayout.pRect = nullptr;
        });
        // Full pane: the box at 525..635 x 367..427, the inset at 4..80 x 379..439.
        const int box = Count(kMagenta, 525, 367, 635, 427), sky = Count(kSky, 4, 379, 80, 439);
        if (c.shown) {
            EXPECT_GT(box, 20) << "the source's identifier";
            EXPECT_GT(sky, 1000) << "the inset's sky";
        } else {
            // Below the data boxes (two rows of them on the narrow pane).
            EXPECT_EQ(Count(kMagenta, 0, 32, 639, 459), 0);
            EXPECT_EQ(Count(kSky, 0, 32, 639, 459), 0);
        }
    }
}

// The boxes are also drawn on every cycle while a NEXRAD picture is shown,
// not only on each fifth.
TEST_F(MapDrawTest, InfoBoxesAreDrawnEachCycleWhileNexradIsShown) {
    auto boxRows = [this] { return Frame() + 1440 * 640; };
    RunApp([] {
        G_Nearest.nMode = 1;
        G_MapPane.nRedraw = kMapFrameNormal;
        MapFrameReset();
    });
    std::memset(boxRows(), 77, 146 * 640);
    RunApp([] { MapInfoPageRun(0); });
    EXPECT_EQ(boxRows()[20 * 640 + 500], 77) << "cycle 1 of 5: not due";
    RunApp([] {
        G_NexradOn = 1;
        G_WxNexradReady = 1;
        MapInfoPageRun(0);
    });
    EXPECT_NE(boxRows()[20 * 640 + 500], 77) << "cycle 2 with NEXRAD: drawn";
}

// Up with the knob on ZOOM moves the map one step (3 x zoom + 10 pixels)
// north; each key restarts the 5 s hold, after which the map is back on the
// aircraft.
TEST_F(MapDrawTest, DirectionKeysOnZoomMoveTheMapUntilFiveSecondsAfterTheLastKey) {
    const int32_t lat = 45 * (1 << 18), lon = static_cast<int32_t>(-122.5 * kOne);
    RunApp([this, lat, lon] {
        MapAt(45.0, -122.5);
        G_MapZoom = 12;   // 63 units of latitude a pixel; a step of 46 pixels
        G_MapEnabled = 1;
        G_Knob0.nFunction = kKnobZoom;
        G_KeyEvent = 8;
        MainKeyHandler();
        EXPECT_NEAR(G_MapFrame.nRefLat, lat + 46 * 63, 2) << "up";
        EXPECT_EQ(G_MapFrame.nPanHold, 1u);
        DelayTicks(3 * kTicksPerSecond);
        G_KeyEvent = 10;
        MainKeyHandler();
        EXPECT_GT(G_MapFrame.nRefLon, lon) << "right";
        // Frames every 50 ms, the display pages alternating as the tick flips them.
        int32_t ms = 0;
        while (G_MapFrame.nRefLon != lon && ms < 8000) {
            DelayTicks(50 * kTicksPerMs);
            ms += 50;
            G_FlipCtl.nDrawPageY = G_FlipCtl.nDrawPageY == 0 ? 480 : 0;
            MapPageRun(0);
            if (ms == 4900) {
                EXPECT_EQ(G_MapFrame.nPanHold, 1u) << "4.9 s after the last key";
            }
        }
        EXPECT_GE(ms, 5000);
        EXPECT_LE(ms, 5300) << "back within a few frames of the hold's end";
        EXPECT_EQ(G_MapFrame.nRefLat, lat);
        EXPECT_EQ(G_MapFrame.nRefLon, lon) << "back on the aircraft";
    });
}

}  // namespace
