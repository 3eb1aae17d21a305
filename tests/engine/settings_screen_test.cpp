// The settings screens of fuel flow, fuel computer, tanks and flap: rows,
// cursor, knob edits and their bounds, save and reload, leaving.
#include <cmath>

#include "core/boot.h"
#include "engine/calscreens.h"
#include "engine/enginecfg.h"
#include "engine/layout.h"
#include "engine/pulse.h"
#include "engine/tanks.h"
#include "engine_fixture.h"
#include "ui/ui_fixture.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"

namespace {

class ScreenTest : public EngineTest {
protected:
    void SetUp() override {
        EngineTest::SetUp();
        GUI_Init();
        G_NetStreamCfg[kStreamEngine].INST = 1;
        G_NetStreamCfg[kStreamEngine].NET = 0;
        InstCfg& ff = G_InstCfg[kInstFuelFlow];
        ff = {};
        ff.nMax = 300;
        ff.nShiftAdj = 680;
        ff.nScaleFctr = 1000;
        ff.nEnable = 1;
    }
    // Keys as the tick delivers them, one pass each.
    template <typename F>
    static void Keys(F input, std::initializer_list<int32_t> keys) {
        for (int32_t k : keys) EXPECT_EQ(input(k, 0), 0) << "key " << k;
    }
};

// ---- fuel flow -----------------------------------------------------------------------------

TEST_F(ScreenTest, FuelFlowRowsDependOnTheSensorType) {
    FuelFlowScreenOpen();
    EXPECT_EQ(G_CurPage, kPageSettingsEdit);
    EXPECT_EQ(G_SettingsScreen.nRow, 1);
    EXPECT_EQ(FuelFlowScreenRows(), 11);
    EXPECT_STREQ(FuelFlowScreenValue(11), "68.0");
    EXPECT_STREQ(FuelFlowScreenValue(12), "");

    // Down to the sensor type row and turn: injector timing adds row 12.
    Keys(FuelFlowScreenInput, {2, 2, 2, 2, 2, 2, 2, 2, 2});
    EXPECT_EQ(G_SettingsScreen.nRow, 10);
    FuelFlowScreenInput(0, 1);
    EXPECT_STREQ(FuelFlowScreenValue(10), "INJECTOR TIME");
    EXPECT_EQ(FuelFlowScreenRows(), 12);
    Keys(FuelFlowScreenInput, {18, 18, 18});
    EXPECT_EQ(G_SettingsScreen.nRow, 12) << "the cursor stops at the last row shown";
    EXPECT_STREQ(FuelFlowScreenValue(12), "100");

    // Back to the flow sensor: the cursor follows the row that went away.
    Keys(FuelFlowScreenInput, {3, 3});
    FuelFlowScreenInput(0, -1);
    EXPECT_EQ(FuelFlowScreenRows(), 11);
    Keys(FuelFlowScreenInput, {2, 2, 2});
    EXPECT_EQ(G_SettingsScreen.nRow, 11);
    Keys(FuelFlowScreenInput, {19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19, 19});
    EXPECT_EQ(G_SettingsScreen.nRow, 1);

    G_InstCfg[kInstFuelFlow].nGaugeType = 7;
    EXPECT_STREQ(FuelFlowScreenValue(10), "FLOW SENSOR");
    EXPECT_EQ(G_InstCfg[kInstFuelFlow].nGaugeType, 0) << "an unknown type is stored as the flow sensor";
}

TEST_F(ScreenTest, FuelFlowKnobEdits) {
    struct Case {
        const char* what;
        int32_t row, type, before, delta, after;
        int32_t InstCfg::*field;
    };
    const Case cases[] = {
        {"max", 1, 0, 300, 5, 305, &InstCfg::nMax},
        {"red low", 5, 0, 20, -25, -5, &InstCfg::nRedLow},
        {"audio wraps down", 7, 0, 0, -1, 2, &InstCfg::nAudio},
        {"audio wraps up", 7, 0, 2, 3, 0, &InstCfg::nAudio},
        {"audio even delta", 7, 0, 1, 2, 1, &InstCfg::nAudio},
        {"enable", 8, 0, 1, 1, 0, &InstCfg::nEnable},
        {"enable negative", 8, 0, 0, -3, 1, &InstCfg::nEnable},
        {"units", 9, 0, 0, -4, 1, &InstCfg::nUnits},
        {"k factor", 11, 0, 680, -9, 671, &InstCfg::nShiftAdj},
        {"k factor never 0", 11, 0, 5, -19, 1, &InstCfg::nShiftAdj},
        {"k factor injector", 11, 1, 300, 19, 319, &InstCfg::nShiftAdj},
        {"k factor injector never 0", 11, 1, 3, -9, 1, &InstCfg::nShiftAdj},
        {"delay", 12, 1, 1000, 9, 1010, &InstCfg::nScaleFctr},
        {"delay down", 12, 1, 1000, -19, 990, &InstCfg::nScaleFctr},
        {"delay top", 12, 1, 1995, 1, 2000, &InstCfg::nScaleFctr},
        {"delay bottom", 12, 1, 15, -1, 11, &InstCfg::nScaleFctr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        InstCfg& cfg = G_InstCfg[kInstFuelFlow];
        cfg.nGaugeType = c.type;
        cfg.nUnits = 0;
        cfg.*c.field = c.before;
        FuelFlowScreenOpen();
        G_SettingsScreen.nRow = c.row;
        EXPECT_EQ(FuelFlowScreenInput(0, c.delta), 0);
        EXPECT_EQ(cfg.*c.field, c.after);
    }
    // The injector delay takes effect before it is saved.
    EXPECT_EQ(G_FuelFlowPulse.nDelay, static_cast<uint32_t>(11 * 3.6864f));
}

TEST_F(ScreenTest, FuelFlowSavesAndReloadsItsFiles) {
    FuelFlowScreenOpen();
    FuelFlowScreenInput(0, 7);   // MAX 307
    EXPECT_EQ(FuelFlowScreenInput(5, 0), 0) << "saving does not leave";
    EXPECT_NE(Contents("ENGINE.KVD").find("FUEL_FLOW.MAX, 307\n"), std::string::npos);
    EXPECT_NE(Contents("ENGINE.KVC"), "<missing>");
    EXPECT_EQ(G_InstCfg[kInstFuelFlow].nMax, 307) << "reloaded from the file";
    G_InstCfg[kInstFuelFlow].nMax = 1;
    LoadEngineSettings();
    EXPECT_EQ(G_InstCfg[kInstFuelFlow].nMax, 307);
}

TEST_F(ScreenTest, ViewOnlyScreensTakeOnlyTheLeaveKey) {
    G_NetStreamCfg[kStreamEngine].NET = 2;
    FuelFlowScreenOpen();
    EXPECT_EQ(G_CurPage, kPageSettingsView);
    EXPECT_EQ(G_SettingsScreen.nRow, 0);
    Keys(FuelFlowScreenInput, {2, 5});
    EXPECT_EQ(FuelFlowScreenInput(0, 5), 0);
    EXPECT_EQ(G_InstCfg[kInstFuelFlow].nMax, 300);
    EXPECT_EQ(Contents("ENGINE.KVD"), "<missing>");
    EXPECT_EQ(FuelFlowScreenInput(17, 0), 1);

    G_NetStreamCfg[kStreamEngine] = {};
    FlapScreenOpen();
    EXPECT_EQ(G_CurPage, kPageSettingsView);
    EXPECT_EQ(FlapScreenInput(0, 3), 0);
    EXPECT_EQ(G_InstCal[kInstFlapAng].point[0].nAd, 0);
}

// ---- fuel computer -------------------------------------------------------------------------

TEST_F(ScreenTest, FuelComputerRowsAndUnits) {
    InstCfg& comp = G_InstCfg[kInstFuelComp];
    comp = {};
    comp.nYellowLow = 100;
    comp.nRedLow = 50;
    comp.nShiftAdj = 30;
    FuelCompScreenOpen();
    FuelCompScreenInput(0, -10);
    EXPECT_EQ(comp.nYellowLow, 90);
    Keys(FuelCompScreenInput, {2, 2});
    FuelCompScreenInput(0, 5);
    EXPECT_EQ(comp.nShiftAdj, 35) << "cross-check limit";
    Keys(FuelCompScreenInput, {2, 2, 2, 2, 2});
    EXPECT_EQ(G_SettingsScreen.nRow, 6);
    FuelCompScreenInput(0, -1);
    EXPECT_EQ(G_InstCfg[kInstFuelFlow].nUnits, 1) << "the units row toggles the flow units";
    EXPECT_EQ(comp.nUnits, 1);
    EXPECT_STREQ(FuelCompScreenValue(6), " LITERS");
    Keys(FuelCompScreenInput, {3, 3});
    FuelCompScreenInput(0, 3);
    EXPECT_EQ(comp.nAudio, 1);
    EXPECT_STREQ(FuelCompScreenValue(4), " ON");

    EXPECT_EQ(FuelCompScreenInput(21, 0), 0);
    const std::string kvd = Contents("ENGINE.KVD");
    EXPECT_NE(kvd.find("FUEL_COMP.GREEN_LOW, 90\n"), std::string::npos);
    EXPECT_NE(kvd.find("FUEL_COMP.CROSSCHECK_LIMIT, 35\n"), std::string::npos);
    EXPECT_EQ(FuelCompScreenInput(1, 0), 1);
}

// ---- tanks ---------------------------------------------------------------------------------

class TankScreenTest : public ScreenTest {
protected:
    void SetUp() override {
        ScreenTest::SetUp();
        Put("TANKS.KVC",
            "TANK_1.NUM_CAL_PTS, 3\n"
            "TANK_1.DISPLAY_VALUE_0, 0\nTANK_1.AD_VALUE_GND_0, 400\nTANK_1.AD_VALUE_FLT_0, 400\n"
            "TANK_1.DISPLAY_VALUE_1, 100\nTANK_1.AD_VALUE_GND_1, 1200\nTANK_1.AD_VALUE_FLT_1, 1200\n"
            "TANK_1.DISPLAY_VALUE_2, 200\nTANK_1.AD_VALUE_GND_2, 2000\nTANK_1.AD_VALUE_FLT_2, 2000\n");
        LoadTanksCal();
        G_InstCfg[kInstTank1].nMax = 200;
    }
    int32_t Level(int32_t ad) {
        TankLevelFromAd(kInstTank1, ad);
        const GaugeLayout& g = G_GaugeLayout[kInstTank1];
        return static_cast<int32_t>(std::lround(static_cast<float>(ad) * g.fActiveSlope + g.fActiveIntercept));
    }
    static void ToRow(int32_t row) {
        for (int32_t i = G_SettingsScreen.nRow; i < row; ++i) TankScreenInput(2, 0);
    }
};

TEST_F(TankScreenTest, RowsFollowThePointCountWithinTheRecord) {
    TankScreenOpen(kInstTank1);
    EXPECT_EQ(TankScreenRows(), 10);
    ToRow(20);
    EXPECT_EQ(G_SettingsScreen.nRow, 10) << "the cursor stops at the last point";
    Keys(TankScreenInput, {3, 3, 3});
    EXPECT_EQ(G_SettingsScreen.nRow, 7);
    struct Step { int32_t delta, count; };
    for (const Step s : {Step{5, 8}, Step{19, 15}, Step{-3, 12}, Step{-19, 1}, Step{1, 2}}) {
        TankScreenInput(0, s.delta);
        EXPECT_EQ(G_TankTable[0].nCount, s.count) << s.delta;
        EXPECT_EQ(TankScreenRows(), 7 + s.count);
    }
    // A count beyond the record from elsewhere is bounded before it is used.
    G_TankTable[1].nCount = 40;
    TankScreenOpen(kInstTank1 + 1);
    EXPECT_EQ(G_TankTable[1].nCount, 15);
    EXPECT_EQ(TankScreenRows(), 22);
    ToRow(30);
    EXPECT_EQ(G_SettingsScreen.nRow, 22);
}

TEST_F(TankScreenTest, ColumnsAreEditedAndTheLiveValueCaptured) {
    TankScreenOpen(kInstTank1);
    ToRow(9);   // point 1
    EXPECT_STREQ(TankScreenValue(9), "100");
    TankScreenInput(0, 10);
    EXPECT_EQ(G_TankTable[0].point[1].nDisplay, 110);
    TankScreenInput(6, 0);
    EXPECT_EQ(G_SettingsScreen.nColumn, 1);
    EXPECT_STREQ(TankScreenValue(9), "1200");
    TankScreenInput(0, -19);
    EXPECT_EQ(G_TankTable[0].point[1].nAdGround, 1181);
    G_SettingsScreen.nLiveAd = 1000;
    TankScreenInput(4, 0);
    EXPECT_EQ(G_TankTable[0].point[1].nAdGround, 1000);
    EXPECT_EQ(G_TankTable[0].point[1].nAdFlight, 1200) << "only the selected column";
    EXPECT_EQ(Level(1000), 110) << "the segments are rebuilt at once";
    Keys(TankScreenInput, {6, 6});
    EXPECT_EQ(G_SettingsScreen.nColumn, 0);
    TankScreenInput(4, 0);
    EXPECT_EQ(G_TankTable[0].point[1].nDisplay, 110) << "the display column takes no A/D value";

    // Key 5 writes both files and reloads them.
    EXPECT_EQ(TankScreenInput(5, 0), 0);
    EXPECT_NE(Contents("TANKS.KVC").find("TANK_1.AD_VALUE_GND_1, 1000\n"), std::string::npos);
    EXPECT_NE(Contents("ENGINE.KVD").find("TANK_1.MAX, 200\n"), std::string::npos);
    G_TankTable[0].point[1].nAdGround = 5;
    LoadTanksCal();
    EXPECT_EQ(G_TankTable[0].point[1].nAdGround, 1000);
    EXPECT_EQ(TankScreenInput(1, 0), 1);
}

TEST_F(TankScreenTest, SettingsRows) {
    TankScreenOpen(kInstTank1);
    TankScreenInput(0, -20);
    EXPECT_EQ(G_InstCfg[kInstTank1].nMax, 180);
    ToRow(5);
    G_InstCfg[kInstTank1].nEnable = 0;
    TankScreenInput(0, -1);
    EXPECT_EQ(G_InstCfg[kInstTank1].nEnable, 1);
    ToRow(6);
    TankScreenInput(0, 1);
    for (int32_t i : {kInstFuelFlow, kInstFuelComp, kInstTank1, kInstTank4}) EXPECT_EQ(G_InstCfg[i].nUnits, 1) << i;
}

// ---- flap ----------------------------------------------------------------------------------

TEST_F(ScreenTest, FlapCalibration) {
    G_InstCfg[kInstFlapAng].nEnable = 7;
    G_InstCal[kInstFlapAng].nNumPts = 0;   // never calibrated: the captured points must still be written
    G_InstCal[kInstFlapAng].point[0].nAd = 300;
    G_InstCal[kInstFlapAng].point[1].nAd = 3000;
    FlapScreenOpen();
    EXPECT_STREQ(FlapScreenValue(3), " ALWAYS ON");
    EXPECT_EQ(G_InstCfg[kInstFlapAng].nEnable, 2);
    FlapScreenInput(0, 9);
    EXPECT_EQ(G_InstCal[kInstFlapAng].point[0].nAd, 309);
    FlapScreenInput(0, -400);
    EXPECT_EQ(G_InstCal[kInstFlapAng].point[0].nAd, 0) << "no negative A/D value";
    Keys(FlapScreenInput, {2});
    G_SettingsScreen.nLiveAd = 3210;
    FlapScreenInput(4, 0);
    EXPECT_EQ(G_InstCal[kInstFlapAng].point[1].nAd, 3210);
    Keys(FlapScreenInput, {2, 2, 2});
    EXPECT_EQ(G_SettingsScreen.nRow, 3);
    FlapScreenInput(4, 0);
    // One step per turn, whichever way.
    for (int32_t expected : {0, 1, 2, 0}) {
        FlapScreenInput(0, -1);
        EXPECT_EQ(G_InstCfg[kInstFlapAng].nEnable, expected);
    }
    EXPECT_STREQ(FlapScreenValue(3), " OFF");
    EXPECT_EQ(Contents("ENGINE.KVC"), "<missing>") << "nothing written before key 5";
    EXPECT_EQ(FlapScreenInput(20 + 1, 0), 1) << "saving leaves";
    const std::string kvc = Contents("ENGINE.KVC");
    EXPECT_NE(kvc.find("FLAP_ANG.AD_VALUE_2, 3210\n"), std::string::npos) << kvc.substr(0, 400);
    EXPECT_NE(Contents("ENGINE.KVD"), "<missing>");
    EXPECT_EQ(G_InstCal[kInstFlapAng].point[1].nAd, 3210) << "reloaded";
}

TEST_F(ScreenTest, FlapCalibratedOnItsScreenReadsTravelInPercent) {
    // A unit whose ENGINE.KVC never had flap display values.
    G_InstCal[kInstFlapAng] = {};
    FlapScreenOpen();
    G_SettingsScreen.nLiveAd = 500;
    FlapScreenInput(4, 0);               // flaps up captured
    Keys(FlapScreenInput, {2});
    G_SettingsScreen.nLiveAd = 3500;
    FlapScreenInput(4, 0);               // flaps down captured
    EXPECT_EQ(FlapScreenInput(5, 0), 1);
    // By hand: A/D 2000 is half of 500..3500, so 50.0 %; the ends 0 and 100.0 %.
    const int32_t cases[][2] = {{2000, 500}, {500, 0}, {3500, 1000}, {1250, 250}};
    for (const auto& c : cases) {
        int32_t value = -1;
        ASSERT_TRUE(ConvertInstAd(kInstFlapAng, c[0], false, &value));
        EXPECT_EQ(value, c[1]) << "A/D " << c[0];
    }
}

// ---- the loops ----------------------------------------------------------------------------

class MenuLoopTest : public UiTest {};

TEST_F(MenuLoopTest, EachMenuRunsUntilTheLeaveKey) {
    RunApp([] {
        InitSsp();
        InitAdcTable();
        G_NetStreamCfg[kStreamEngine].INST = 1;
    });
    struct Case { const char* what; void (*menu)(); };
    const Case cases[] = {
        {"fuel flow", FuelFlowCalMenu},
        {"fuel computer", FuelCompMenu},
        {"tank", [] { TanksCalMenu(kInstTank1 + 2); }},
        {"flap", FlapCalMenu},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Restart();
        // A turn edits the first row; key 2 then moves the cursor; key 1 leaves.
        Turn(1, 20, 40);
        Press(2, 150, 80);
        Press(1, 400, 80);
        G_CurPage = 1;
        board().SetRunEnd(At(2000));   // a loop that never leaves stops here
        EXPECT_EQ(RunApp([&] { c.menu(); }), platform::StopReason::None);
        EXPECT_EQ(G_CurPage, kPageCalibration);
        EXPECT_EQ(G_SettingsScreen.nRow, 2);
        EXPECT_GT(board().Now(), At(400));
        EXPECT_LT(board().Now(), At(600));
    }
}

}  // namespace
