// Soft-key actions and labels of the navigation, map, autopilot, AHRS, AOA and
// auxiliary menus, pressed on the front panel: the buttons' GPIO lines give
// the key codes, and the key handler takes them from the mailbox as the main
// loop does.
#include "core/alarm.h"
#include "core/discrete.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "map/map.h"
#include "nav/navsrc.h"
#include "setup/auxpages.h"
#include "net/net.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui_fixture.h"

namespace {

class MenuKeysTest : public MainPagesTest {
protected:
    // Runs the board, handing every key and knob turn to the key handler.
    void Drive(double ms) {
        const uint64_t end = At(ms);
        board().Reschedule();
        RunApp([&] {
            while (board().Now() < end) {
                if (G_KeyEvent != 0 || G_Knob0.nDelta != 0 || G_Knob1.nDelta != 0) MainKeyHandler();
                HwIdle();
            }
        });
    }
    // Soft key 1..5 (or the left knob push, 6) pressed briefly.
    void Push(int button) {
        Restart();
        Press(button, 10, 80);
        Drive(200);
    }
    void Keys(std::initializer_list<int> buttons) {
        for (int b : buttons) Push(b);
    }
    void InState(uint32_t state) {
        RunApp([state] {
            G_MenuState = state;
            UpdateSoftKeys();
        });
    }
    static void Source(int slot, uint8_t kind, uint8_t inUse, uint8_t port) {
        NavSrcRec& r = G_NavSrc.rec[slot];
        r.nKind = kind;
        r.bInUse = inUse;
        r.nPort = port;
        r.nType = 1;
    }
    uint8_t ChipReg(int r) { return board().rtcChip().Reg(r, board().Now()); }
};

TEST_F(MenuKeysTest, AlarmKeyNamesTheInstrumentOrThePilotsInputLabel) {
    struct Case { int32_t slot; uint32_t state; const char* label; };
    const Case cases[] = {{5, 0, "VOLTS"}, {16, 42, "OIL_PSI"}, {49, 0, "CANOPY"}, {50, 4, "INPUT 3"},
                          {51, 0, "FUEL CHECK"}};
    RunApp([] { SetDiscreteLabel(1, "CANOPY"); });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.slot);
        RunApp([&c] {
            G_AlarmCur = c.slot;
            G_MenuState = c.state;
            UpdateSoftKeys();
        });
        EXPECT_STREQ(G_SoftKeyLabel[1], c.label);
    }
    // On the auxiliary pages too.
    RunApp([] {
        G_CurPage = 10;
        UpdateSoftKeys();
    });
    EXPECT_STREQ(G_SoftKeyLabel[1], "FUEL CHECK");
}

TEST_F(MenuKeysTest, CourseAndBearingSourcesStepToTheNextUsableSlot) {
    Source(0, 1, 1, 1);    // GNAV-type GPS, valid
    Source(1, 13, 1, 2);   // not selectable
    Source(2, 4, 1, 3);    // valid
    G_NavSrc.hdr.nCrsSlot = kNavNoneSlot;
    G_NavSrc.hdr.nBrgSlot = kNavNoneSlot;
    Keys({4, 3});
    ASSERT_EQ(G_MenuState, 43u);
    EXPECT_STREQ(G_SoftKeyLabel[2], "CRS/NONE");
    for (uint8_t want : {0, 2, 4, 0}) {
        Push(2);
        EXPECT_EQ(G_NavSrc.hdr.nCrsSlot, want);
        EXPECT_EQ(G_RemoteUserDat.nCode, 17u);
        EXPECT_EQ(G_RemoteUserDat.nArg[0], want);
    }
    EXPECT_STRNE(G_SoftKeyLabel[2], "CRS/NONE");
    for (uint8_t want : {0, 2, 4, 0}) {
        Push(3);
        EXPECT_EQ(G_NavSrc.hdr.nBrgSlot, want);
        EXPECT_EQ(G_RemoteUserDat.nArg[1], want);
    }
    EXPECT_STRNE(G_SoftKeyLabel[3], "BRG/NONE");
}

TEST_F(MenuKeysTest, CdiModeStepsForAGpsCourse) {
    Source(0, 1, 1, 1);
    G_NavSrc.hdr.nCrsSlot = 0;
    Keys({4, 3});
    const char* labels[] = {"CDI GPS", "CDI NAV", "CDI AUTO"};
    for (uint32_t mode : {1u, 2u, 0u}) {
        Push(4);
        EXPECT_EQ((G_NavSrc.hdr.nFlags0 >> 2) & 3u, mode);
        EXPECT_EQ((ChipReg(12) >> 2) & 3u, mode);
        EXPECT_EQ(G_RemoteUserDat.nCode, 19u);
        EXPECT_STREQ(G_SoftKeyLabel[4], labels[mode == 0 ? 2 : mode - 1]);
    }
}

TEST_F(MenuKeysTest, MapSourceStepsThroughTheGpsSlotsAndTheMapsOwn) {
    Source(0, 1, 1, 1);
    Source(2, 4, 1, 3);
    Source(3, kNavKindMap, 1, 5);
    G_NavSrc.hdr.nMapSrcSlot = 0;
    G_NavSrc.hdr.nMapCrsSlot = 0;
    InState(64);
    struct Step { uint8_t src, crs, port; };
    for (const Step& s : {Step{2, 2, 3}, Step{3, 0, 1}, Step{2, 2, 3}}) {
        Push(5);
        EXPECT_EQ(G_NavSrc.hdr.nMapSrcSlot, s.src);
        EXPECT_EQ(G_NavSrc.hdr.nMapCrsSlot, s.crs);
        EXPECT_EQ(G_NavSrc.hdr.MAP_LATLON_PORT, s.port);
        EXPECT_EQ(G_NavSrc.rec[kNavMapSlot].nPort, s.port);
        EXPECT_EQ(ChipReg(47), s.src);
        EXPECT_EQ(ChipReg(48), s.crs);
        EXPECT_EQ(G_RemoteUserDat.nCode, 18u);
    }
    EXPECT_NE(SysLog().find("NAV: mapSrc:0, mapCrs:3"), std::string::npos);
    // Terrain is on at start; TERR only changes its value and label.
    EXPECT_STREQ(G_SoftKeyLabel[3], "TERR ON");
    G_MapPane.nRedraw = 0;
    Push(3);
    EXPECT_EQ(G_MapTerrOn, 0u);
    EXPECT_STREQ(G_SoftKeyLabel[3], "TERR OFF");
    EXPECT_EQ(G_MapPane.nRedraw, 0u);
    Push(3);
    EXPECT_STREQ(G_SoftKeyLabel[3], "TERR ON");
}

TEST_F(MenuKeysTest, AutopilotModesCycleAndAreStored) {
    Keys({4, 5});
    ASSERT_EQ(G_MenuState, 45u);
    for (const char* label : {"LAT HDG", "LAT ARM", "LAT NAV", "LAT OFF"}) {
        Push(3);
        EXPECT_STREQ(G_SoftKeyLabel[3], label);
    }
    for (const char* label : {"VER ALT", "VER ARM", "VER OFF"}) {
        Push(4);
        EXPECT_STREQ(G_SoftKeyLabel[4], label);
    }
    const uint32_t writes = NvGetU32(kNvWriteCount);
    Push(3);
    Push(4);
    EXPECT_EQ(G_NVRam[kNvNavMode], 1);
    EXPECT_EQ(G_NVRam[kNvApVertMode], 4);
    EXPECT_EQ(NvGetU32(kNvWriteCount), writes + 2) << "each mode change is written to flash";
}

TEST_F(MenuKeysTest, AhrsDebugMenuTogglesTheDiagnosticPageAndAiding) {
    NvSetU32(kNvAdminUser, 1);
    G_AhrsState.nAiding = 0;
    InState(42225);
    EXPECT_STREQ(G_SoftKeyLabel[5], "AIDING ON");
    Push(2);
    EXPECT_EQ(NvGetU32(kNvAhrsDebug), 1u);
    EXPECT_EQ(ChipReg(10) & 4, 4);
    EXPECT_STREQ(G_SoftKeyLabel[2], "DEBUG ON");
    Push(5);
    EXPECT_EQ(G_AhrsState.nAiding, 1u);
    EXPECT_STREQ(G_SoftKeyLabel[5], "AIDING OFF");
    Push(2);
    EXPECT_EQ(NvGetU32(kNvAhrsDebug), 0u);
    EXPECT_EQ(ChipReg(10) & 4, 0);
}

TEST_F(MenuKeysTest, AoaCalibrationOpensUnlessAirDataComesFromTheNetwork) {
    G_NetStreamCfg[kStreamAoa].INST = 1;
    NvSetU32(kNvAoaGaugeOn, 1);
    NvSetU32(kNvAoaDeclutterOn, 0);
    Keys({4, 2, 5});
    ASSERT_EQ(G_MenuState, 425u);
    EXPECT_STREQ(G_SoftKeyLabel[2], "AOA ON");
    Push(3);
    EXPECT_EQ(G_MenuState, 4253u);
    EXPECT_EQ(G_Aoa.nInflightCal, 1);
    Push(1);
    EXPECT_EQ(G_MenuState, 425u);
    G_NetStreamCfg[kStreamAir].INST = 2;
    Push(3);
    EXPECT_EQ(G_MenuState, 425u);
}

TEST_F(MenuKeysTest, AuxiliaryPagesTakeTheirKeysAndTheLeftKnob) {
    NvSetU32(kNvDimPercent, 50);
    Push(5);
    ASSERT_EQ(G_CurPage, 10);
    EXPECT_EQ(G_AuxPageIdx, 0u) << "the engine stopped: the first checklist";
    Restart();
    Turn(1, 10, 200);
    Drive(300);
    EXPECT_EQ(NvGetU32(kNvDimPercent), 60u) << "the knob keeps its function (DIM) on the checklists";
    Push(3);
    EXPECT_EQ(G_CurPage, 12);
    EXPECT_EQ(G_AuxPageIdx, kAuxBalance);
    EXPECT_EQ(G_MenuState, kMenuBalance);
    Push(1);
    EXPECT_EQ(G_CurPage, 3);
}

// The knob steps altitude, speed and baro in the units the pilot has chosen:
// one slow detent is 100 m on the altitude bug, 10 m on the minimum-altitude
// bug, 0.030 inHg with millibars, and 0.5 litre on the fuel adjustment.
TEST_F(MenuKeysTest, KnobStepsFollowThePilotsUnits) {
    G_InstCfg[kInstAltitude].nUnits = 3;   // metres and millibars
    G_InstCfg[kInstFuelFlow].nUnits = 1;   // litres
    struct Case { int32_t function; int32_t start; int32_t end; };
    const Case cases[] = {
        {kKnobAlt, 1000, 1300},      // + 328 ft, rounded to the hundred
        {kKnobMinAlt, 1000, 1033},   // + 32.8 ft
        {kKnobBaro, 29920, 29950},
        {kKnobFuel, 0, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.function);
        RunApp([&c] {
            G_NavSrc.hdr.nAltBug = static_cast<int16_t>(c.start);
            G_NavSrc.hdr.nMinAltBug = static_cast<int16_t>(c.start);
            G_AirData.nBaroSetting = c.start;
            NvSetU32(kNvFuelAdjust, static_cast<uint32_t>(c.start));
            G_Knob0.nFunction = c.function;
        });
        Restart();
        Turn(2, 2500, 300);   // after a rest the first detent only re-arms the interval
        Drive(3000);
        const int32_t got = c.function == kKnobAlt      ? G_NavSrc.hdr.nAltBug
                            : c.function == kKnobMinAlt ? G_NavSrc.hdr.nMinAltBug
                            : c.function == kKnobBaro   ? G_AirData.nBaroSetting
                                                        : static_cast<int32_t>(NvGetU32(kNvFuelAdjust));
        EXPECT_EQ(got, c.end);
    }
}

}  // namespace
