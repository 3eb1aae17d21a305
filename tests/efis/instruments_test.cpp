// The instruments where a fault would show: the horizon for pitch and roll
// (inverted, pitch at its ends), the tapes' rows and bands, the CDI at half
// and full scale and pegged, the vertical speed at its limits, the slip
// ball, the G-meter's text, wind for known triangles, the display heading,
// and stale data drawn as stale.
#include <climits>

#include "efis/attitude.h"
#include "efis/boxes.h"
#include "efis/hsi.h"
#include "efis/tapes.h"
#include "efis_fixture.h"

namespace {

TEST(EfisInstruments, HorizonForPitchAndRoll) {
    // The full pane: aircraft at (319, 229), 5 pixels a degree of pitch.
    const EfisView v = EfisViewForPane(0, 0, 639, 459);
    ASSERT_EQ(v.cx, 319);
    ASSERT_EQ(v.cy, 229);
    ASSERT_EQ(v.ppd, 5);
    struct Case { const char* name; int32_t roll, pitch; int32_t x, y, angle; };
    const Case cases[] = {
        {"level", 0, 0, 319, 229, 0},
        {"nose up 10", 0, 1000, 319, 279, 0},
        {"nose down 10", 0, -1000, 319, 179, 0},
        {"right 90, nose up 10", 900, 1000, 369, 229, 900},
        {"left 30", -300, 0, 319, 229, 3300},
        {"inverted, nose up 10", 1800, 1000, 319, 179, 1800},
        {"inverted through -180", -1800, 0, 319, 229, 1800},
        {"one turn and 30 more", 3900, 0, 319, 229, 300},
        {"pitch 90", 0, 9000, 319, 679, 0},
        {"pitch -90", 0, -9000, 319, -221, 0},
        {"pitch beyond 90 held", 0, 12000, 319, 679, 0},
        {"pitch beyond -90 held", 0, INT_MIN, 319, -221, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const AdiHorizon h = AttitudeHorizon(v, c.roll, c.pitch);
        EXPECT_EQ(h.nX, c.x);
        EXPECT_EQ(h.nY, c.y);
        EXPECT_EQ(h.nAngle, c.angle);
    }
}

TEST(EfisInstruments, SlipBallVsiAndCdi) {
    struct Ball { int32_t accel, offset; };
    for (Ball b : {Ball{0, 0}, Ball{10, -7}, Ball{20, -14}, Ball{100, -14}, Ball{-100, 14}, Ball{INT_MIN, 14}})
        EXPECT_EQ(SlipBallOffset(b.accel), b.offset) << b.accel;
    struct Vsi { int32_t vs, offset; };
    for (Vsi c : {Vsi{0, 0}, Vsi{1000, 70}, Vsi{2000, 140}, Vsi{3850, 140}, Vsi{-3850, -140}, Vsi{INT_MIN, -140}})
        EXPECT_EQ(VsiOffset(c.vs, 140), c.offset) << c.vs;
    // 40 pixels at full scale, pegged at 44.
    struct Cdi { int32_t dev, full, px; };
    for (Cdi c : {Cdi{0, 100, 0}, Cdi{50, 100, 20}, Cdi{-50, 100, -20}, Cdi{100, 100, 40}, Cdi{300, 100, 44},
                  Cdi{-9999, 30, -44}, Cdi{50, 0, 0}, Cdi{INT_MAX, 1, 44}})
        EXPECT_EQ(CdiDeflection(c.dev, c.full, 40), c.px) << c.dev << "/" << c.full;
}

TEST(EfisInstruments, TapeRowsAndBands) {
    // 30 pixels for 10 knots: 110.0 kt stands 30 rows above 100.0 kt.
    EXPECT_EQ(TapeRow(1000, 1000, 30, 229), 229);
    EXPECT_EQ(TapeRow(1100, 1000, 30, 229), 199);
    EXPECT_EQ(TapeRow(900, 1000, 30, 229), 259);
    EXPECT_EQ(TapeRow(INT_MAX, INT_MIN, 30, 229), 229 - 2000);
    EXPECT_EQ(TapeRow(INT_MIN, INT_MAX, 30, 229), 229 + 2000);
    G_AirspeedCfg = {45, 50, 85, 120, 160};
    for (InstCfg& c : G_InstCfg) c = {};
    InitAirspeedBands();
    ASSERT_EQ(G_SpeedBands.nCount, 3);
    struct Band { int32_t lo, hi; uint32_t colour; };
    const Band knots[] = {{500, 1200, kEfGreen}, {1200, 1600, kEfYellow}, {450, 850, kEfWhite}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(G_SpeedBands.band[i].nLow, knots[i].lo) << i;
        EXPECT_EQ(G_SpeedBands.band[i].nHigh, knots[i].hi) << i;
        EXPECT_EQ(G_SpeedBands.band[i].nColour, knots[i].colour) << i;
    }
    EXPECT_EQ(G_SpeedBands.nRedLine, 1600);
    // In miles per hour: 120 kt is 138.1 mph.
    G_InstCfg[kInstAirspeed].nUnits = 1;
    InitAirspeedBands();
    EXPECT_EQ(G_SpeedBands.band[0].nHigh, 1381);
    EXPECT_EQ(G_SpeedBands.nRedLine, 1841);
}

TEST(EfisInstruments, LoadFactorText) {
    struct Case { int32_t g; const char* text; };
    for (Case c : {Case{100, "1.0"}, Case{-250, "-2.5"}, Case{0, "0.0"}, Case{-5, "-0.1"}, Case{-4, "0.0"},
                   Case{999, "10.0"}, Case{-999, "-10.0"}, Case{INT_MAX, "10.0"}, Case{INT_MIN, "-10.0"}}) {
        char out[12];
        FormatLoadFactor(out, sizeof out, c.g);
        EXPECT_STREQ(out, c.text) << c.g;
    }
}

TEST(EfisInstruments, WindTriangles) {
    // TAS along heading, ground speed along track; worked by hand.
    struct Case { const char* name; int32_t tas, hdg, gs, trk, from, speed; };
    const Case cases[] = {
        {"headwind", 1000, 0, 800, 0, 0, 200},
        {"tailwind from the west", 1000, 900, 1200, 900, 2700, 200},
        {"calm", 1000, 900, 1000, 900, 0, 0},
        // 20 kt from 270 on a heading of 360: ground track 11.3 degrees, 102 kt.
        {"crosswind", 1000, 0, 1020, 113, 2699, 200},
        // 30 kt from 130: pushed to 310, so 121.5 kt over the ground on 349.1.
        {"from the south-east", 1000, 0, 1215, 3491, 1300, 300},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const WindRecord w = WindTriangle(c.tas, c.hdg, c.gs, c.trk);
        EXPECT_EQ(w.bValid, 1);
        EXPECT_NEAR(w.nFrom, c.from, 3);
        EXPECT_NEAR(w.nSpeed, c.speed, 2);
    }
}

class EfisStaleTest : public EfisPageTest {
protected:
    int Count(int x0, int y0, int x1, int y1, uint8_t index) {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += Px(x, y) == index;
        return n;
    }
};

TEST_F(EfisStaleTest, DisplayHeadingFallsBackToTheGpsTrack) {
    int32_t flag = -1;
    G_Ahrs.nHeading = -10;
    EXPECT_EQ(GetDisplayHeading(&flag), 3590);
    EXPECT_EQ(flag, 1);
    G_Ahrs.nFresh = 0;
    EXPECT_EQ(GetDisplayHeading(&flag), 0);
    EXPECT_EQ(flag, 0);
    GpsCourse(2700, 0);
    EXPECT_EQ(GetDisplayHeading(&flag), 2700);
    EXPECT_EQ(flag, 2);
}

TEST_F(EfisStaleTest, StaleDataIsCrossedOutNotShownAsANumber) {
    Page(2);
    const EfisView& v = G_EfisView;
    struct Case { const char* name; bool air, ahrs; };
    for (const Case& c : {Case{"fresh", true, true}, Case{"air data stale", false, true}, Case{"ahrs stale", true, false}}) {
        SCOPED_TRACE(c.name);
        G_AirData.nFresh = c.air ? 40 : 0;
        G_Ahrs.nFresh = c.ahrs ? 40 : 0;
        Draw();
        const int tapeRed = Count(v.asiX0, v.tapeY0, v.asiX1, v.tapeY0 + 100, kEfRed) +
                            Count(v.altX0, v.tapeY0, v.altX1, v.tapeY0 + 100, kEfRed);
        EXPECT_EQ(tapeRed > 100, !c.air);
        // The readouts: white digits only while fresh, yellow dashes otherwise.
        const int digits = Count(v.asiX0, v.cy - 14, v.asiX1 - 14, v.cy + 14, kEfWhite) +
                           Count(v.asiX0, v.cy - 14, v.asiX1 - 14, v.cy + 14, kEfYellow);
        EXPECT_GT(digits, 20);
        EXPECT_EQ(Count(v.altX0 + 10, v.cy - 14, v.altX1, v.cy + 14, kEfWhite) > 60, c.air);
        // Attitude: a red cross over the pane's centre when stale.
        EXPECT_EQ(Count(v.cx - 60, v.cy - 60, v.cx + 60, v.cy + 60, kEfRed) > 200, !c.ahrs);
        // The heading box shows dashes, not a heading.
        EXPECT_EQ(Count(v.hsiCx - 22, v.hsiCy - v.hsiR - 20, v.hsiCx + 22, v.hsiCy - v.hsiR - 4, kEfYellow) > 4,
                  !c.ahrs);
    }
}

TEST_F(EfisStaleTest, InvertedAndVerticalAttitudePixels) {
    Page(2);
    const EfisView& v = G_EfisView;
    struct Case { const char* name; int32_t roll, pitch; uint8_t above, below; };
    for (const Case& c : {Case{"level", 0, 0, kEfSky, kEfGround}, Case{"inverted", 1800, 0, kEfGround, kEfSky},
                          Case{"straight up", 0, 9000, kEfSky, kEfSky}, Case{"straight down", 0, -9000, kEfGround, kEfGround},
                          Case{"knife edge right", 900, 0, kEfSky, kEfSky}}) {
        SCOPED_TRACE(c.name);
        Attitude(c.roll, c.pitch, 0);
        Draw();
        // Beside the wings, clear of the ladder and the symbol.
        EXPECT_EQ(Px(v.cx - 150, v.cy - 40), c.above);
        EXPECT_EQ(Px(v.cx - 150, v.cy + 40), c.below);
    }
}

}  // namespace
