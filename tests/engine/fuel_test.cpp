// Fuel computer, fuel data message, the colour rule and the tank levels.
#include <cmath>

#include "core/boot.h"
#include "core/irq.h"
#include "efis/airdata.h"
#include "engine/bargauge.h"
#include "engine/fuelcomp.h"
#include "engine/layout.h"
#include "engine/pulse.h"
#include "engine/tanks.h"
#include "engine_fixture.h"
#include "nav/navsrc.h"
#include "page_fixture.h"
#include "storage/config.h"
#include "storage/nvram.h"

namespace {

class FuelTest : public EngineTest {};

std::string Msg() { return std::string(reinterpret_cast<const char*>(FuelDataMsg), kFuelDataMsgBytes); }

TEST_F(FuelTest, EnduranceAndItsText) {
    NvSetF64(kNvGalsRem, 300.0);
    G_InstReading[kInstFuelFlow].nValue = 100;
    CalcFuelComputer();
    EXPECT_EQ(NvGetU32(164), 10800u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&G_NVRam[172]), "03:00");
    G_InstReading[kInstFuelFlow].nValue = 0;
    CalcFuelComputer();
    EXPECT_STREQ(reinterpret_cast<const char*>(&G_NVRam[172]), "00:00");
    EXPECT_EQ(FuelEndurance(1e12, 1), 359999) << "absurd totals stay in range";
    // The quotient is single precision but the product by 3600 is not: just
    // under a half second must not round up.
    EXPECT_EQ(FuelEndurance(5, 96), 187);
    EXPECT_EQ(FuelEndurance(7, 160), 157);
}

TEST_F(FuelTest, LayoutRefreshesTheReadingsRoundedFromTheTotals) {
    struct Case { double used, rem; int32_t value, value2; };
    const Case cases[] = {
        {12.6, -3.5, 13, -4},                        // halves away from zero, not truncated
        {std::nan(""), 1e12, 0, INT32_MAX},          // a corrupt image gives no undefined conversion
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.used);
        NvSetF64(kNvGalsUsed, c.used);
        NvSetF64(kNvGalsRem, c.rem);
        LayoutFuelComputer();
        EXPECT_EQ(int32_t{G_InstReading[kInstFuelComp].nValue}, c.value);
        EXPECT_EQ(int32_t{G_InstReading[kInstFuelComp].nValue2}, c.value2);
    }
}

TEST_F(FuelTest, FuelDataMessageBytes) {
    struct Case { int32_t rem, flow, units; const char* body; };
    const Case cases[] = {
        {123, 95, 0, "G32106" "59004"},
        {-40, 95, 0, "G00000" "59004"},
        {123456, 99999, 0, "G99996" "99996"},   // larger than a field holds: clamped
        {300, 95, 1, "L41106" "63009"},         // 113.5 l and 36 l/h, whole litres
    };
    for (const Case& c : cases) {
        G_InstCfg[kInstFuelFlow].nUnits = c.units;
        G_InstReading[kInstFuelComp].nValue2 = c.rem;
        G_InstReading[kInstFuelFlow].nValue = c.flow;
        BuildFuelDataMsg();
        EXPECT_EQ(Msg(), std::string("\x02") + c.body + "\x03") << c.rem;
        EXPECT_EQ(FuelDataMsg[13], 0);
    }
}

TEST_F(FuelTest, AnHourOfPulsesIntegratesFuelUsed) {
    InstallHandlers();
    IrqStateInit();
    IntEnable(kIntGpio);
    G_InstCfg[kInstFuelFlow] = {};
    G_InstCfg[kInstFuelFlow].nShiftAdj = 680;
    G_InstCfg[kInstFuelFlow].nMax = 300;
    NvSetF64(kNvGalsUsed, 0.0);
    NvSetF64(kNvGalsRem, 400.0);
    InitFuelFlow();
    const double hz = 10 * 68000.0 / 3600.0;   // 10 gal/h
    const uint64_t period = static_cast<uint64_t>(3686400 / hz + 0.5);
    board().gpio().SetPulseTrain(71, board().Now() + 10, period, period / 2);
    for (int i = 0; i < 3600 * 5; ++i) {   // the scan's flow calculation every 200 ms
        DelayTicks(737280);
        CalcFuelFlow();
        CalcFuelComputer();
    }
    const double integral = 100.0 * (3686400.0 / period) / hz;   // tenths burnt in the hour
    EXPECT_NEAR(NvGetF64(kNvGalsUsed), integral, 1.0);
    EXPECT_NEAR(NvGetF64(kNvGalsRem), 400.0 - integral, 1.0);
    EXPECT_NEAR(int32_t{G_InstReading[kInstFuelFlow].nValue}, 100, 2);
    EXPECT_NEAR(NvGetU32(164), 3.0 * 3600, 200);
}

// ---- the box with GPS figures ------------------------------------------------------

class FuelBoxTest : public EnginePageTest {
protected:
    void SetUp() override {
        EnginePageTest::SetUp();
        // Map source slot 0: 120 kt towards a waypoint 60 NM ahead.
        G_NavSrc.hdr.nCrsSlot = kNavNoneSlot;
        G_NavSrc.hdr.nMapSrcSlot = 0;
        NavSrcRec& r = G_NavSrc.rec[0];
        r.bInUse = 1;
        r.nGpsFlagsA = kNavGpsValid | kNavGpsWptValid;
        r.nGpsFlagsB = kNavGpsFix | kNavGpsOwnPos;
        r.nGroundSpeed = 1200;
        r.nDistance = 600;
        r.nTrackMag = 900;
        r.nBearing = 900;
        std::memcpy(r.szWaypoint, "KSEA", 5);
        for (int t = kInstTank1; t <= kInstTank4; ++t) G_InstCfg[t].nEnable = 0;
        G_InstReading[kInstFuelFlow].nValue = 100;
        G_InstReading[kInstFuelComp].nValue = 100;
        G_InstReading[kInstFuelComp].nValue2 = 300;
    }
    static FuelBox Box(uint32_t mode) {
        NvSetU32(kNvFuelCompMode, mode);
        FuelBox box;
        EXPECT_TRUE(FuelComputerBox(&box));
        return box;
    }
};

TEST_F(FuelBoxTest, GpsModes) {
    struct Case { uint32_t mode; bool litres; int16_t distance; const char* label; const char* wpt; const char* value; };
    const Case cases[] = {
        {3, false, 600, "NM/GAL", "", "12.0"},
        {4, false, 600, "SM/GAL", "", "13.8"},          // 120 x 1.1507795 / 10
        {5, false, 600, "GREM AT", "KSEA", "25.0"},     // R - 5.0
        {6, false, 600, "GREQ TO", "KSEA", "5.0"},
        {6, false, 610, "GREQ TO", "KSEA", "5.1"},      // 5.083 rounds to 5.1
        {3, true, 600, "NM/LTR", "", "12.0"},
        {4, true, 600, "KM/LTR", "", "22.2"},           // 120 x 1.852 / 10
        {6, true, 610, "LREQ TO", "KSEA", "5.0"},       // to the nearest half litre
        {5, true, 610, "LREM AT", "KSEA", "25.0"},      // 24.917 likewise
        {5, false, 610, "GREM AT", "KSEA", "24.9"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label + std::string(" ") + std::to_string(c.distance));
        G_InstCfg[kInstFuelComp].nUnits = c.litres ? 1 : 0;
        G_NavSrc.rec[0].nDistance = c.distance;
        SnapshotFuelState();
        const FuelBox b = Box(c.mode);
        EXPECT_STREQ(b.pLabel, c.label);
        EXPECT_STREQ(b.szWaypoint, c.wpt);
        EXPECT_STREQ(b.szValue, c.value);
        EXPECT_EQ(b.nValueColour, kColourWhite);
    }
}

TEST_F(FuelBoxTest, NoGpsAndNoFlow) {
    SnapshotFuelState();
    G_InstReading[kInstFuelFlow].nValue = 0;
    for (uint32_t mode = 3; mode <= 6; ++mode) EXPECT_STREQ(Box(mode).szValue, "---") << mode;
    EXPECT_STREQ(Box(6).szWaypoint, "KSEA");

    G_InstReading[kInstFuelFlow].nValue = 100;
    G_NavSrc.rec[0].nGpsFlagsB = kNavGpsFix;   // a fix, but no own position
    SnapshotFuelState();
    EXPECT_EQ(uint32_t{G_FuelNavSnap.bValid}, 0u);
    EXPECT_STREQ(G_FuelNavSnap.szWaypoint, "");
    for (uint32_t mode = 3; mode <= 6; ++mode) {
        const FuelBox b = Box(mode);
        EXPECT_STREQ(b.szValue, "NOGPS") << mode;
        EXPECT_EQ(b.nValueColour, 14u);
        EXPECT_STREQ(b.szWaypoint, "");
    }

    G_NavSrc.rec[0].nGpsFlagsB = kNavGpsOwnPos;
    G_NavSrc.rec[0].nGpsFlagsA = 0;   // no waypoint
    SnapshotFuelState();
    EXPECT_STREQ(Box(5).szWaypoint, "---");
    DelayTicks(kFuelSnapMaxAge - 400000);
    EXPECT_STREQ(Box(3).szValue, "12.0");
    DelayTicks(800000);
    EXPECT_STREQ(Box(3).szValue, "NOGPS") << "older than 10 s";
    EXPECT_EQ(uint32_t{G_FuelNavSnap.bValid}, 0u);
}

TEST_F(FuelBoxTest, SnapshotSourceAndAlongTrackSpeed) {
    struct Case { int16_t track, bearing; float along; };
    const Case cases[] = {
        {900, 900, 120.0f}, {900, 300, 60.0f}, {100, 3500, 112.763f},   // across north
        {900, 0, 0.0f}, {0, 2700, 0.0f}, {1000, 3000, 0.0f}, {3599, 2699, 0.0f}, {3599, 2700, 0.2094f},
    };
    for (const Case& c : cases) {
        G_NavSrc.rec[0].nTrackMag = c.track;
        G_NavSrc.rec[0].nBearing = c.bearing;
        SnapshotFuelState();
        EXPECT_NEAR(float{G_FuelNavSnap.fAlongTrack}, c.along, 0.01f) << c.track << " " << c.bearing;
    }
    EXPECT_FLOAT_EQ(float{G_FuelNavSnap.fGroundSpeed}, 120.0f);
    EXPECT_FLOAT_EQ(float{G_FuelNavSnap.fDistance}, 60.0f);
    // With the HSI on the map's slot the snapshot follows slot 3.
    G_NavSrc.hdr.nCrsSlot = kNavMapSlot;
    G_NavSrc.rec[3].nGpsFlagsB = kNavGpsOwnPos;
    G_NavSrc.rec[3].nGroundSpeed = 805;
    SnapshotFuelState();
    EXPECT_FLOAT_EQ(float{G_FuelNavSnap.fGroundSpeed}, 80.5f);
    G_NavSrc.hdr.nCrsSlot = 2;
    G_NavSrc.hdr.nMapSrcSlot = 9;   // out of range: no source
    SnapshotFuelState();
    EXPECT_EQ(uint32_t{G_FuelNavSnap.bValid}, 0u);
}

TEST_F(FuelBoxTest, WaypointLineIsDrawnBetweenLabelAndValue) {
    Engine(kEngStd4);
    Page(3);
    G_FlipCtl.nDrawPageY = 0;
    SnapshotFuelState();
    const int32_t x = GaugeWord(kInstFuelComp, 0), y = GaugeWord(kInstFuelComp, 1);
    auto inked = [&](int row0, int rows) {
        int n = 0;
        for (int yy = row0; yy < row0 + rows; ++yy)
            for (int xx = x - 40; xx < x + 40; ++xx) n += Px(xx, yy) != 0;
        return n;
    };
    NvSetU32(kNvFuelCompMode, 3);
    DrawFuelComputer();
    const int third = inked(y + 30, 12);
    NvSetU32(kNvFuelCompMode, 6);
    DrawFuelComputer();
    EXPECT_EQ(third, 0) << "economy: two lines";
    EXPECT_GT(inked(y + 30, 12), 0) << "waypoint mode: a third line";
}

// ---- colours ----------------------------------------------------------------------

TEST_F(FuelTest, ColourRuleAgainstEveryBand) {
    struct Case { int32_t inst; InstCfg cfg; int32_t v; uint32_t colour; const char* what; };
    //                 MAX  RH   YH   YL   RL   MIN
    const InstCfg oil{1000, 900, 800, 300, 200, 0};
    const InstCfg rpm{30000, 27000, 25000, 20000, 18000, 0};
    const InstCfg tank{500, 0, 0, 100, 50, 0};
    const InstCfg noLowRed{1000, 900, 800, 300, 0, 0};
    const InstCfg crossed{1000, 100, 100, 900, 800, 0};
    const Case cases[] = {
        {16, oil, 950, kColourRed, "above red high"},        {16, oil, 900, kColourRed, "at red high"},
        {16, oil, 800, kColourYellow, "at yellow high"},     {16, oil, 500, kColourGreen, "green"},
        {16, oil, 300, kColourYellow, "at yellow low"},      {16, oil, 201, kColourYellow, "above red low"},
        {16, oil, 200, kColourRed, "at red low"},            {16, noLowRed, 0, kColourGreen, "red low is min"},
        {16, noLowRed, -5, kColourGreen, "below min"},       {16, crossed, 150, kColourRed, "crossed limits"},
        {10, rpm, 0, kColourWhite, "stopped"},               {10, rpm, 27000, kColourRed, "rpm red"},
        {10, rpm, 25000, kColourYellow, "rpm yellow high"},  {10, rpm, 20000, kColourYellow, "mid-band top"},
        {10, rpm, 20010, kColourWhite, "above mid band"},    {10, rpm, 18000, kColourYellow, "mid-band bottom"},
        {10, rpm, 17990, kColourWhite, "below mid band"},    {10, InstCfg{30000, 27000, 25000, 20000, 0, 0}, 0,
                                                               kColourWhite, "zero inside a band"},
        {19, tank, 50, kColourRed, "tank at red low"},       {19, tank, 100, kColourYellow, "tank at yellow low"},
        {19, tank, 101, kColourGreen, "tank above"},         {9, tank, 30, kColourRed, "fuel computer"},
    };
    for (const Case& c : cases) {
        G_InstCfg[c.inst] = c.cfg;
        G_InstReading[c.inst].nValue = c.v;
        G_InstReading[c.inst].nColour = 0x12345678;
        EXPECT_EQ(SetInstColor(c.inst), c.colour) << c.what;
        const uint32_t stored = G_InstReading[c.inst].nColour;
        EXPECT_EQ(stored, c.colour) << c.what;
    }
}

// ---- tanks ------------------------------------------------------------------------

class TankTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        Put("TANKS.KVC",
            "TANK_1.NUM_CAL_PTS, 4\n"
            "TANK_1.DISPLAY_VALUE_0, 0\nTANK_1.AD_VALUE_GND_0, 400\nTANK_1.AD_VALUE_FLT_0, 2400\n"
            "TANK_1.DISPLAY_VALUE_1, 100\nTANK_1.AD_VALUE_GND_1, 1200\nTANK_1.AD_VALUE_FLT_1, 1600\n"
            "TANK_1.DISPLAY_VALUE_2, 200\nTANK_1.AD_VALUE_GND_2, 2000\nTANK_1.AD_VALUE_FLT_2, 800\n"
            "TANK_1.DISPLAY_VALUE_3, 200\nTANK_1.AD_VALUE_GND_3, 2000\nTANK_1.AD_VALUE_FLT_3, 800\n"
            "TANK_2.NUM_CAL_PTS, 99\n");
        LoadTanksCal();
    }
    // Level and held flag as the instrument update computes them.
    std::pair<int32_t, int32_t> Level(int32_t ad) {
        const int32_t held = TankLevelFromAd(kInstTank1, ad);
        const GaugeLayout& g = G_GaugeLayout[kInstTank1];
        const float v = static_cast<float>(ad) * g.fActiveSlope + g.fActiveIntercept;
        return {static_cast<int32_t>(std::lround(v)), held};
    }
};

TEST_F(TankTest, GroundAndFlightColumnsAndTheStopPoint) {
    using P = std::pair<int32_t, int32_t>;
    EXPECT_EQ(G_TankTable[0].nCount, 4);
    EXPECT_EQ(Level(1600), P(150, 0));
    EXPECT_EQ(Level(2500), P(200, 1)) << "beyond the stop: held";
    EXPECT_EQ(Level(300), P(0, 0));
    EXPECT_EQ(Level(-20), P(0, 0));
    // Airborne (no air data: RPM above 1700): the falling flight column.
    G_InstReading[kInstRpm].nValue = 24000;
    EXPECT_EQ(Level(2000), P(50, 0));
    EXPECT_EQ(Level(700), P(200, 1));
    EXPECT_EQ(Level(2600), P(0, 0));
    // With air data the airspeed chooses.
    G_NetStreamCfg[kStreamAir].INST = 1;
    G_AirData.nIas = 250;
    EXPECT_EQ(Level(1600), P(150, 0));
    G_AirData.nIas = 251;
    EXPECT_EQ(Level(2000), P(50, 0));
}

TEST_F(TankTest, CountsStayWithinTheRecord) {
    EXPECT_EQ(G_TankTable[1].nCount, 15) << "99 is limited to 15";
    EXPECT_EQ(G_TankTable[2].nCount, 15) << "no key reads 15 points";
    G_TankTable[3].nCount = -7;
    CalcTankSlopes(kInstTank4);
    EXPECT_EQ(G_TankTable[3].nCount, 1);
    TankLevelFromAd(kInstTank4, 100);
}

TEST_F(TankTest, UnplacedReadingsAreLoggedOncePerChange) {
    G_TankTable[3].nCount = 1;
    G_TankTable[3].point[0] = {0, 100, 100};
    G_TankTable[3].point[1] = {0, 200, 200};
    for (int i = 0; i < 5; ++i) TankLevelFromAd(kInstTank4, 100 + i);
    const std::string log = Log();
    EXPECT_NE(log.find("ERROR: Tank:3 reading:100 not handled"), std::string::npos);
    EXPECT_EQ(log.find("reading:101"), std::string::npos);
}

TEST_F(TankTest, CalibrationRoundTripsThroughTheFile) {
    ASSERT_EQ(SaveTanksCal(), 0);
    const TankRecord before = G_TankTable[0];
    std::memset(G_TankTable, 0, sizeof G_TankTable);
    LoadTanksCal();
    EXPECT_EQ(G_TankTable[0].nCount, before.nCount);
    EXPECT_EQ(std::memcmp(G_TankTable[0].point, before.point, sizeof before.point), 0);
    EXPECT_NE(Contents("TANKS.KVC").find("TANK_1.AD_VALUE_FLT_3"), std::string::npos);
}

}  // namespace
