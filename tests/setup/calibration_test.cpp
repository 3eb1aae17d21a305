// Calibration mode on the emulated board: the readout lines, the raw read in
// analog read mode, the instrument list through the buttons, and the gauge,
// engine-type and inputs screens with their files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>
#include <string>

#include "core/adc.h"
#include "core/boot.h"
#include "core/discrete.h"
#include "core/rtc.h"
#include "core/spi.h"
#include "efis/airdata.h"
#include "engine/engine.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/nvram.h"
#include "storage/upgrade.h"
#include "ui/pages.h"
#include "ui/ui_fixture.h"

namespace {

class CalTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        RunApp([] {
            InitSsp();
            InitAdcTable();
            InitPalette();
            ReadNVRam();
        });
        G_NetStreamCfg[kStreamEngine].INST = 1;
        G_NetStreamCfg[kStreamAir].INST = 1;
        G_NetStreamCfg[kStreamAoa].INST = 1;
        Restart();
    }
    // Runs a screen handler over key codes, one event each, outside its loop.
    static void Keys(int32_t (*input)(int32_t, int32_t), std::initializer_list<int32_t> keys) {
        for (int32_t k : keys) input(k, 0);
    }
    static bool Lit(int x0, int y0, int x1, int y1) {
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (GUI_GetPixelIndex(x, y) != 0) return true;
        return false;
    }
    void SetEngineAdc(int input, uint16_t counts) {
        for (int code = 0; code < 8; ++code) board().engineAdc().SetInput(input, code, counts);
    }
};

// ---- readouts ------------------------------------------------------------------------------

TEST_F(CalTest, ReadoutLinePerInstrumentFamily) {
    struct Case { int32_t inst, value; const char* line; };
    const Case cases[] = {
        {kInstOilTemp, 644, "     18.0 degC /  64.4 degF"},     // both parts from the rounded tenths, not 17.0
        {kInstOilTemp, 311, "     -0.5 degC /  31.1 degF"},     // the sign of a value between -1 and 0
        {kInstCoolTemp, -405, "    -40.3 degC / -40.5 degF"},
        {kInstOat, 0, "    -17.8 degC /   0.0 degF"},
        {kInstMainVolts, 138, "     13.8 Volts"},
        {kInstAmpsShunt, -5, "     -0.5 AMPS"},                  // discharging through the shunt
        {kInstAmpsHall, 123, "     12.3 AMPS"},
        {16, 854, "     85.4 PSI"},
        {kInstManifold, 299, "     1013 MBAR /  29.9 INHG"},
        {kInstFuelFlow, 100, "      37.9 LPH /  10.0 GPH"},
        {kInstTank1, 123, "    46.6 LITERS / 12.3 GALLONS"},
        {kInstRpm, 24000, "    2400 RPM"},
        {kInstElevTrim, 455, "    Pos:  45 %"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        G_InstReading[c.inst].nValue = c.value;
        char text[64];
        EXPECT_TRUE(FormatCalReadout(c.inst, text, sizeof text));
        EXPECT_STREQ(text, c.line);
    }
    G_AirData.nBaroAlt = 1000;
    G_AirData.nIas = 1000;
    char text[64];
    FormatCalReadout(kInstAltitude, text, sizeof text);
    EXPECT_STREQ(text, "        PALT: 305 M / 1000 FT");
    FormatCalReadout(kInstAirspeed, text, sizeof text);
    EXPECT_STREQ(text, "   IAS: 115 MPH / 100 KTS");
    G_InstCfg[kInstAirspeed].nUnits = 2;
    FormatCalReadout(kInstAirspeed, text, sizeof text);
    EXPECT_STREQ(text, "   IAS: 185 KPH / 100 KTS");
    for (int32_t inst : {2, 8, 27, 33, 40, 46, 48, -1}) {
        SCOPED_TRACE(inst);
        EXPECT_FALSE(FormatCalReadout(inst, text, sizeof text));
        EXPECT_STREQ(text, "");
    }
}

TEST_F(CalTest, AnalogReadModeSettlesOnceAndTheCycleGoesOnAfterIt) {
    SetEngineAdc(0, 1000);
    G_AnalogReadMode = 1;
    G_EngScanStep = 44;
    uint64_t first = 0, second = 0;
    RunApp([&] {
        uint64_t t0 = board().Now();
        ReadInstrumentRaw(kInstAmpsHall);
        first = board().Now() - t0;
        t0 = board().Now();
        ReadInstrumentRaw(kInstAmpsHall);
        second = board().Now() - t0;
    });
    EXPECT_GE(first, 92160u) << "25 ms for the new group to settle";
    EXPECT_LT(second, 92160u / 4) << "the same group is not applied again";
    EXPECT_EQ(G_EngScanStep, 15u) << "the group applied is kept in the scan word";
    for (int32_t inst : {-1, 48}) EXPECT_EQ(ReadInstrumentRaw(inst), 0);

    // Left on a group the readings cycle has as a step, and on one it does not.
    for (uint32_t left : {15u, 16u}) {
        SCOPED_TRACE(left);
        G_EngScanStep = left;
        G_AnalogReadMode = 0;
        const uint32_t cycle[] = {44, 19, 20, 15, 47, 21, 22, 14};
        RunApp([] { for (int i = 0; i < 3; ++i) ReadInstrumentRaw(kInstAmpsHall); });
        EXPECT_NE(std::find(std::begin(cycle), std::end(cycle), G_EngScanStep), std::end(cycle));
        uint32_t seen = 0;
        RunApp([&] {
            for (int i = 0; i < 16; ++i) {
                ReadInstrumentRaw(kInstAmpsHall);
                for (int k = 0; k < 8; ++k) seen |= (G_EngScanStep == cycle[k]) << k;
            }
        });
        EXPECT_EQ(seen, 0xFFu) << "every step of the cycle runs again";
    }
}

// ---- the list ------------------------------------------------------------------------------

TEST_F(CalTest, ListWrapsAcrossItsPages) {
    RunApp([] { CalListOpen(); });
    struct Case { const char* what; std::initializer_list<int32_t> keys; int32_t row, y; };
    const Case cases[] = {
        {"previous from 1", {3}, 34, 188},
        {"next from 34", {2}, 1, 60},
        {"down page 1", {2, 2, 2}, 4, 108},
        {"next from 25", {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2}, 26, 60},
        {"previous from 26", {19}, 25, 444},
        {"held next", {18}, 26, 60},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RunApp([&] { Keys(CalListInput, c.keys); });
        EXPECT_EQ(CalListRow(), c.row);
        EXPECT_EQ(CalListMarkerY(), c.y);
        EXPECT_EQ(GUI_GetPixelIndex(12, c.y), 5u) << "the green marker";
    }
    EXPECT_EQ(GUI_GetPixelIndex(12, 444), 0u) << "the old marker is erased";
}

TEST_F(CalTest, RowsGreyByModulesAndEngineType) {
    struct Case { const char* what; void (*set)(); std::initializer_list<int32_t> grey; };
    const Case cases[] = {
        {"all installed", [] {}, {32}},
        {"air data from the other display", [] { G_NetStreamCfg[kStreamAir].NET = 2; }, {2, 3, 4, 32}},
        {"no AOA", [] { G_NetStreamCfg[kStreamAoa].INST = 0; }, {4, 32}},
        {"no own OAT sensor", [] { G_NetStreamCfg[kStreamAir].DSRC = 1; G_NetStreamCfg[kStreamEngine].DSRC = 3; }, {8, 32}},
        {"engine from the other display", [] { G_NetStreamCfg[kStreamEngine].NET = 2; },
         {9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32}},
        {"SUBARU_6CYL", [] { G_EngInfo.nEngineType = kEngSubaru6; }, {19, 20, 21, 32}},
        {"M14_9CYL", [] { G_EngInfo.nEngineType = kEngM14; }, {21, 32}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G_NetStreamCfg[kStreamAir] = {1, 0, 0, 0, 0, 0};
        G_NetStreamCfg[kStreamAoa] = {1, 0, 0, 0, 0, 0};
        G_NetStreamCfg[kStreamEngine] = {1, 0, 0, 0, 0, 0};
        G_EngInfo.nEngineType = kEngStd4;
        c.set();
        std::string grey, expected;
        for (int32_t row = 1; row <= kCalRows; ++row) grey += CalRowGrey(row) ? std::to_string(row) + " " : "";
        for (int32_t row : c.grey) expected += std::to_string(row) + " ";
        EXPECT_EQ(grey, expected);
    }
    G_EngInfo.nEngineType = kEngSubaru4;
    EXPECT_STREQ(CalRowText(23), "23. Gear Box Temp");
    G_EngInfo.nEngineType = kEngRotax912;
    EXPECT_STREQ(CalRowText(23), "23. Carb Temp");
}

TEST_F(CalTest, RowsThirtyTwoAndTitOnTheRadialOpenNothing) {
    struct Case { int32_t row, type; bool opens; };
    const Case cases[] = {{32, kEngStd4, false}, {21, kEngM14, false}, {21, kEngStd6, true}, {19, kEngM14, true},
                          {5, kEngStd4, true}, {33, kEngStd4, true}, {0, kEngStd4, false}, {35, kEngStd4, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.row << " type " << c.type);
        G_EngInfo.nEngineType = c.type;
        EXPECT_EQ(CalRowOpens(c.row), c.opens);
    }
    // SELECT on row 32 redraws the second page and keeps the marker.
    RunApp([] {
        CalListOpen();
        Keys(CalListInput, {3, 3, 3});
        GUI_ClearRect(0, 45, 210, 459);
        CalListInput(4, 0);
    });
    EXPECT_EQ(CalListRow(), 32);
    EXPECT_EQ(CalListMarkerY(), 156);
    EXPECT_TRUE(Lit(10, 45, 200, 60)) << "the list is drawn again";
    EXPECT_EQ(G_CurPage, kPageCalibration);
}

// The loop itself, through the button lines: one key 1 stays, the second
// leaves with a warm restart; minutes of board time keep the watchdog fed.
TEST_F(CalTest, ModeLeavesOnTheSecondKeyOneWithAWarmRestart) {
    board().airAdc().SetInput(6, 12000);   // on the main supply: the battery check stays quiet
    board().airAdc().SetInput(3, 900);
    Press(2, 500, 100);
    Press(1, 1000, 100);
    Press(2, 1500, 100);
    Press(1, 180000, 100);
    uint32_t rowAfterFirstKey1 = 0;
    board().SetRunEnd(At(200000));
    const auto stop = RunApp([&] { CalibrationMode(); rowAfterFirstKey1 = CalListRow(); });
    board().SetRunEnd(0);
    EXPECT_EQ(stop, platform::StopReason::None) << "returned, with no watchdog reset in three minutes";
    EXPECT_EQ(rowAfterFirstKey1, 3u) << "the first key 1 was swallowed";
    EXPECT_GE(board().Now(), At(180000));
    EXPECT_EQ(std::string(mon_getenv("REBOOT")), "1");
    EXPECT_EQ(G_RebootCount, 1u);
    EXPECT_EQ(G_CalRestart, 0u);
    const std::string log = SysLog();
    EXPECT_NE(log.find("\nENTERING CALIBRATION\n"), std::string::npos) << log;
    EXPECT_NE(log.find("LEAVING CALIBRATION\nWARMBOOT:1\n"), std::string::npos) << log;
    uint32_t duty = 0;
    RunApp([&] { duty = HwRead32(PWM_PWDUTY0); });
    EXPECT_EQ(duty, 369u) << "100 % with the main supply";
}

TEST_F(CalTest, BacklightFollowsTheSupplies) {
    struct Case { uint16_t main, backup; uint32_t duty; };
    const Case cases[] = {{900, 900, 129}, {1400, 12000, 369}};   // 50 %, then 100 % on the backup supply
    for (const Case& c : cases) {
        SCOPED_TRACE(c.duty);
        board().airAdc().SetInput(6, c.main);
        board().airAdc().SetInput(3, c.backup);
        Restart();
        Press(1, 300, 100);
        Press(1, 600, 100);
        board().SetRunEnd(At(5000));
        EXPECT_EQ(RunApp([] { CalibrationMode(); }), platform::StopReason::None);
        board().SetRunEnd(0);
        uint32_t duty = 0;
        RunApp([&] { duty = HwRead32(PWM_PWDUTY0); });
        EXPECT_EQ(duty, c.duty);
    }
}

// ---- gauge screen --------------------------------------------------------------------------

TEST_F(CalTest, GaugeScreenIsReadOnlyWithTheOtherDisplaysEngineData) {
    G_NetStreamCfg[kStreamEngine].NET = 2;
    G_InstCfg[16].nMax = 1000;
    RunApp([] {
        GaugeCalOpen(16);
        EXPECT_EQ(G_CurPage, kPageSettingsView);
        EXPECT_EQ(GaugeCalInput(2, 0), 0);
        EXPECT_EQ(G_SettingsScreen.nRow, 0) << "no cursor";
        EXPECT_EQ(GaugeCalInput(5, 3), 0) << "SAVE and the knob are ignored";
        EXPECT_EQ(G_InstCfg[16].nMax, 1000);
        EXPECT_EQ(GaugeCalInput(1, 0), 1);
        GaugeCalOpen(kInstMainVolts);
        EXPECT_EQ(G_CurPage, kPageSettingsEdit) << "the unit's own voltages stay editable";
        EXPECT_EQ(G_SettingsScreen.nRow, 1);
    });
}

TEST_F(CalTest, GaugeKnobEditsLimitsInTheDisplayUnit) {
    struct Case { const char* what; int32_t inst, units, max, delta, after; const char* shown; };
    const Case cases[] = {
        {"psi tenths", 16, 0, 1000, 1, 1001, "100.1"},
        {"Celsius tenth is 1.8 F tenths", kInstOilTemp, 1, 2500, 1, 2502, "121.2"},
        {"Fahrenheit", kInstOilTemp, 0, 2500, -2, 2498, "249.8"},
        {"one millibar rounds back", kInstManifold, 1, 300, 1, 300, "1016"},
        {"a faster turn moves it", kInstManifold, 1, 300, 5, 301, "1019"},
        {"inHg tenths", kInstManifold, 0, 300, 1, 301, "30.1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        G_InstCfg[c.inst].nUnits = c.units;
        G_InstCfg[c.inst].nMax = c.max;
        RunApp([&] {
            GaugeCalOpen(c.inst);
            GaugeCalInput(0, c.delta);
        });
        EXPECT_EQ(G_InstCfg[c.inst].nMax, c.after);
        EXPECT_STREQ(GaugeCalValue(1), c.shown);
    }
}

TEST_F(CalTest, GaugePointCountWrapsAndAStoredLargerCountShows) {
    NvSetU32(kNvAdminUser, 1);
    struct Case { int32_t before, delta, after; };
    const Case cases[] = {{0, -1, 19}, {19, 1, 0}, {5, 19, 4}, {24, 0, 24}, {24, 1, 5}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.before);
        RunApp([&] {
            GaugeCalOpen(16);
            // Set after the opening's sampling, which makes a curve of two points of less.
            G_InstCal[16].nNumPts = c.before;
            Keys(GaugeCalInput, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2});
            EXPECT_EQ(G_SettingsScreen.nRow, 11);
            if (c.delta != 0) GaugeCalInput(0, c.delta);
        });
        EXPECT_EQ(G_InstCal[16].nNumPts, c.after);
        EXPECT_EQ(std::string(GaugeCalValue(11)), std::to_string(c.after));
    }
}

// Airspeed points are kept in tenths of a knot and shown and set in the
// pilot's unit: 100.0 kt is 115.1 MPH (x 1.15078) and 185.2 KPH (x 1.852).
TEST_F(CalTest, AirspeedPointsInThePilotsUnit) {
    struct Case {
        int32_t units, point;
        const char* header;
        const char* shown;
        int32_t delta, stored;
        const char* after;
    };
    const Case cases[] = {
        {0, 1000, "KTS", "100.0", 5, 1005, "100.5"},
        {1, 1000, "MPH", "115.1", 10, 1009, "116.1"},   // 116.1 MPH = 100.89 kt
        {2, 1000, "KPH", "185.2", -19, 990, "183.3"},   // 183.3 KPH = 98.97 kt
        // 0.4 MPH rounds back to 0.3 kt: one step still moves the point, to 0.4 kt.
        {1, 3, "MPH", "0.3", 1, 4, "0.5"},
        {1, 4, "MPH", "0.5", -1, 3, "0.3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.header) + " " + c.shown);
        G_InstCfg[kInstAirspeed].nUnits = c.units;
        RunApp([&] {
            GaugeCalOpen(kInstAirspeed);
            G_InstCal[kInstAirspeed].nNumPts = 2;
            G_InstCal[kInstAirspeed].point[0] = {c.point, 500};
            G_InstCal[kInstAirspeed].point[1] = {2000, 1500};
            Keys(GaugeCalInput, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2});   // the first point's value
            ASSERT_EQ(G_SettingsScreen.nRow, 12);
            EXPECT_STREQ(GaugeCalValue(12), c.shown);
            EXPECT_STREQ(GaugeCalValue(9), c.header) << "the unit row";
            GaugeCalInput(0, c.delta);
        });
        EXPECT_EQ(G_InstCal[kInstAirspeed].point[0].nDisplay, c.stored);
        EXPECT_STREQ(GaugeCalValue(12), c.after);
    }
}

TEST_F(CalTest, GaugePointTableNeverReachesTheStatusBar) {
    NvSetU32(kNvAdminUser, 1);
    G_InstCal[16].nNumPts = 19;
    for (int i = 0; i < 19; ++i) G_InstCal[16].point[i] = {i * 50, 100 + i * 200};
    RunApp([] {
        GaugeCalOpen(16);
        for (int i = 0; i < 40; ++i) GaugeCalInput(2, 0);
    });
    EXPECT_EQ(G_SettingsScreen.nRow, 30) << "the last point";
    EXPECT_LE(GaugeCalRowY(30), 446);
    EXPECT_GE(GaugeCalRowY(30), 229);
    EXPECT_TRUE(Lit(403, GaugeCalRowY(30), 470, GaugeCalRowY(30) + 11)) << "the cursor's row is shown";
    EXPECT_FALSE(Lit(200, 459, 560, 459)) << "nothing on the status bar's line";
    RunApp([] { for (int i = 0; i < 40; ++i) GaugeCalInput(3, 0); });
    EXPECT_EQ(G_SettingsScreen.nRow, 1);
    EXPECT_EQ(GaugeCalRowY(12), 229) << "scrolled back to the first point";
}

TEST_F(CalTest, GaugeSelectStoresTheLiveHallValueAndTheReadingFollows) {
    SetEngineAdc(0, 1000);
    G_AnalogReadMode = 1;
    G_InstCal[kInstAmpsHall].nNumPts = 2;
    G_InstCal[kInstAmpsHall].point[0] = {0, 2000};
    G_InstCal[kInstAmpsHall].point[1] = {500, 4000};
    RunApp([] {
        GaugeCalOpen(kInstAmpsHall);
        for (int i = 0; i < 300; ++i) GaugeCalPoll();
    });
    const int32_t live = 4095 - (G_InstAd[kInstAmpsHall].nAdValue - G_InstAd[kInstAmpsHall].nTempCorr);
    EXPECT_NEAR(live, 3095, 2);
    EXPECT_EQ(G_SettingsScreen.nLiveAd, live);
    RunApp([] {
        Keys(GaugeCalInput, {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 2});   // the first point
        EXPECT_EQ(G_SettingsScreen.nRow, 12);
        Keys(GaugeCalInput, {22, 4});                             // the AD column, SELECT
    });
    EXPECT_EQ(G_InstCal[kInstAmpsHall].point[0].nAd, live);
    int32_t value = -1;
    EXPECT_TRUE(ConvertInstAd(kInstAmpsHall, live, false, &value));
    EXPECT_EQ(value, 0) << "the live input now reads the first point's value";
    // The second point's A/D value moves with the first one's knob edits.
    RunApp([] { GaugeCalInput(0, 7); });
    EXPECT_EQ(G_InstCal[kInstAmpsHall].point[0].nAd, live + 7);
    EXPECT_EQ(G_InstCal[kInstAmpsHall].point[1].nAd, 4007);
}

TEST_F(CalTest, GaugeSaveWritesTheEngineFilesAndReturnWritesNothing) {
    G_InstCfg[16].nMax = 1000;
    RunApp([] { SaveEngineSettings(); SaveEngineCal(); });
    const std::string kvd = Contents("ENGINE.KVD"), kvc = Contents("ENGINE.KVC");
    ASSERT_NE(kvd, "<missing>");
    RunApp([] {
        GaugeCalOpen(16);
        GaugeCalInput(0, 3);
        EXPECT_EQ(GaugeCalInput(1, 0), 1);
    });
    EXPECT_EQ(G_InstCfg[16].nMax, 1003) << "kept in memory";
    EXPECT_EQ(Contents("ENGINE.KVD"), kvd) << "RETURN writes nothing";
    EXPECT_EQ(Contents("ENGINE.KVC"), kvc);
    RunApp([] {
        GaugeCalOpen(16);
        GaugeCalInput(0, 2);
        EXPECT_EQ(GaugeCalInput(5, 0), 1);
    });
    EXPECT_NE(Contents("ENGINE.KVD").find("OIL_PSI.MAX, 1005\n"), std::string::npos) << Contents("ENGINE.KVD");
    EXPECT_NE(Contents("ENGINE.KVC"), "<missing>");
    EXPECT_EQ(G_InstCfg[16].nMax, 1005) << "read back";
}

// ---- engine type ---------------------------------------------------------------------------

TEST_F(CalTest, EngineTypeWrapsToTheFarEndAndSetsTheProbes) {
    struct Case { int32_t from, delta, to; uint32_t probes; };   // bits: EGT 1..6, TIT 1..2, CHT 1..6
    const Case cases[] = {
        {kEngStd4, -1, kEngM14, 0x3FFF},   {kEngM14, 1, kEngStd4, 0x0F0F},   {kEngRotax912, 19, kEngStd4, 0x0F0F},
        {kEngStd4, 1, kEngStd6, 0x3F3F},   {kEngStd6, 1, kEngRotax912, 0x0303}, {kEngRotax912, 1, kEngRotax914, 0x0303},
        {kEngRotax914, 1, kEngJabiru4, 0x0F0F}, {kEngJabiru4, 1, kEngJabiru6, 0x3F3F},
        {kEngJabiru6, 1, kEngSubaru4, 0},  {kEngSubaru4, 1, kEngSubaru6, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.from << " + " << c.delta);
        G_EngInfo.nEngineType = c.from;
        RunApp([&] {
            EngineTypeOpen();
            EngineTypeInput(0, c.delta);
        });
        EXPECT_EQ(G_EngInfo.nEngineType, c.to);
        uint32_t probes = 0;
        for (int32_t inst = kInstEgt1; inst <= kInstCht6; ++inst) probes |= static_cast<uint32_t>(G_InstCfg[inst].nEnable) << (inst - kInstEgt1);
        EXPECT_EQ(probes, c.probes);
    }
}

TEST_F(CalTest, EngineTypeSavesAndTheListFollows) {
    G_EngInfo.nEngineType = kEngStd4;
    RunApp([] {
        EngineTypeOpen();
        EngineTypeInput(0, 7);
        EXPECT_EQ(G_EngInfo.nEngineType, kEngSubaru6);
        EXPECT_EQ(EngineTypeInput(21, 0), 1);
    });
    EXPECT_NE(Contents("ENGINE.KVD").find("ENGINE_TYPE, SUBARU_6CYL\n"), std::string::npos);
    G_EngInfo.nEngineType = kEngStd4;
    RunApp([] { LoadEngineSettings(); });
    EXPECT_EQ(G_EngInfo.nEngineType, kEngSubaru6) << "read back from the file";
    EXPECT_TRUE(CalRowGrey(19) && CalRowGrey(20) && CalRowGrey(21));
    EXPECT_STREQ(CalRowText(23), "23. Gear Box Temp");

    G_NetStreamCfg[kStreamEngine].NET = 2;
    RunApp([] {
        EngineTypeOpen();
        EXPECT_EQ(G_CurPage, kPageSettingsView);
        EngineTypeInput(5, 0);
        EXPECT_EQ(G_EngInfo.nEngineType, kEngSubaru6) << "read-only: SAVE and the knob do nothing";
    });
}

// ---- discrete inputs -----------------------------------------------------------------------

TEST_F(CalTest, InputUsageSetsTheDefaultLabel) {
    struct Case { int32_t input, usage; const char* label; };
    const Case cases[] = {
        {0, 1, "INPUT-1   "}, {1, 1, "INPUT-2   "}, {2, 1, "INPUT-3   "},
        {0, 2, "TANK3 XFR "}, {1, 2, "TANK4 XFR "}, {2, 2, "FUEL XFR  "},
        {0, 3, "CANOPY    "}, {1, 4, "FLAPS     "}, {2, 5, "GEAR      "},
        {0, 6, "          "}, {1, 7, "          "}, {2, 0, "          "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        G_DiscreteIn.input[c.input].nMode = static_cast<uint32_t>((c.usage + 7) % 8);
        RunApp([&] {
            InputsConfigOpen();
            for (int32_t i = 0; i < c.input * 5 + 1; ++i) InputsConfigInput(2, 0);   // the usage row
            InputsConfigInput(0, 1);
        });
        EXPECT_EQ(static_cast<int32_t>(G_DiscreteIn.input[c.input].nMode), c.usage);
        EXPECT_STREQ(G_DiscreteIn.input[c.input].szLabel, c.label);
    }
}

TEST_F(CalTest, LabelEditStaysWithItsInputAcrossACursorMove) {
    SetDiscreteLabel(0, "ABC");
    SetDiscreteLabel(1, "XYZ");
    RunApp([] {
        InputsConfigOpen();
        Keys(InputsConfigInput, {22, 6});   // edit position 2 of input 1's label
        InputsConfigInput(0, 1);       // 'C' -> 'D'
        Keys(InputsConfigInput, {2, 2, 2, 2, 2});   // to input 2's label
        InputsConfigInput(0, -1);      // 'Z' -> 'Y' at the same position
        InputsConfigInput(6, 0);
        InputsConfigInput(0, 2);       // position 3: ' ' -> 'B'
        EXPECT_EQ(InputsConfigInput(1, 0), 1);
    });
    EXPECT_STREQ(G_DiscreteIn.input[0].szLabel, "ABD");
    EXPECT_STREQ(G_DiscreteIn.input[1].szLabel, "XYYB") << "trimmed on leaving";
    EXPECT_EQ(NextLabelChar('+', 1), ' ');
    EXPECT_EQ(NextLabelChar(' ', -1), '+');
    EXPECT_EQ(NextLabelChar('*', 1), ' ') << "outside the set";
}

TEST_F(CalTest, InputTimeoutStopsAtZeroAndShowsMinutes) {
    G_DiscreteIn.input[0].nLimit = 3;
    RunApp([] {
        InputsConfigOpen();
        Keys(InputsConfigInput, {2, 2, 2});
        InputsConfigInput(0, -9);
        EXPECT_STREQ(InputsConfigValue(4), "0:00");
        InputsConfigInput(0, 125);
        EXPECT_STREQ(InputsConfigValue(4), "2:05");
    });
    EXPECT_EQ(G_DiscreteIn.input[0].nLimit, 125u);
}

TEST_F(CalTest, InputBoxesShowThePinsWithTheirLogic) {
    board().gpio().SetInput(74, true);
    board().gpio().SetInput(75, false);   // input 2 active (low)
    board().gpio().SetInput(76, true);
    RunApp([] { InputsConfigOpen(); });
    uint32_t bits = 0;
    RunApp([&] { bits = InputsLiveState(); });
    EXPECT_EQ(bits, 2u);
    G_DiscreteIn.input[1].nInvert = 1;
    G_DiscreteIn.input[2].nInvert = 1;
    RunApp([&] { bits = InputsLiveState(); });
    EXPECT_EQ(bits, 4u) << "normally closed: active while the pin is high";
    EXPECT_EQ(GUI_GetPixelIndex(260 + 120 + 15, 280), 5u) << "box 3 green";
    EXPECT_EQ(GUI_GetPixelIndex(260 + 60 + 15, 280), 0u);
}

TEST_F(CalTest, InputSaveWritesSystemKvdAndNvramReturnWritesNothing) {
    RunApp([] { WriteSystemKvd(); });
    const std::string before = Contents("SYSTEM.KVD");
    const std::vector<uint8_t> nvBefore(board().flash().Data() + 62 * 0x20000, board().flash().Data() + 64 * 0x20000);
    RunApp([] {
        InputsConfigOpen();
        Keys(InputsConfigInput, {2});
        InputsConfigInput(0, 2);   // input 1: TANK TRANSFER
        EXPECT_EQ(InputsConfigInput(1, 0), 1);
    });
    EXPECT_EQ(G_DiscreteIn.input[0].nMode, 2u) << "live at once";
    EXPECT_EQ(Contents("SYSTEM.KVD"), before);
    EXPECT_TRUE(std::equal(nvBefore.begin(), nvBefore.end(), board().flash().Data() + 62 * 0x20000));
    RunApp([] {
        InputsConfigOpen();
        EXPECT_EQ(InputsConfigInput(5, 0), 1);
    });
    const std::string kvd = Contents("SYSTEM.KVD");
    EXPECT_NE(kvd.find("INPUT_USAGE_1, 2\n"), std::string::npos) << kvd;
    EXPECT_NE(kvd.find("INPUT_LABEL_1, TANK3 XFR\n"), std::string::npos) << kvd;
    EXPECT_FALSE(std::equal(nvBefore.begin(), nvBefore.end(), board().flash().Data() + 62 * 0x20000))
        << "the NVRAM image is written";
}

}  // namespace
