// Fuel computer, fuel data message, the colour rule and the tank levels.
#include <cmath>

#include "core/boot.h"
#include "core/irq.h"
#include "efis/airdata.h"
#include "engine/fuelcomp.h"
#include "engine/layout.h"
#include "engine/pulse.h"
#include "engine/tanks.h"
#include "engine_fixture.h"
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
}

TEST_F(FuelTest, FuelDataMessageBytes) {
    struct Case { int32_t rem, flow; const char* body; };
    const Case cases[] = {
        {123, 95, "G32106" "59004"},
        {-40, 95, "G00000" "59004"},
        {123456, 99999, "G99996" "99996"},   // larger than a field holds: clamped
    };
    for (const Case& c : cases) {
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
