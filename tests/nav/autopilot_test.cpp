// Autopilot steering: mode machines, controllers and settings.
#include "nav/autopilot.h"

#include <cstring>
#include <string>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "gui/gui.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "platform/hw.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/statusbar.h"

namespace {

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class AutopilotTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        SysLogOpen();
        InitRamLog(0);
        InitNavSrc();
        // Fresh as after the start routine, also when the cases share a process.
        std::memset(&G_Autopilot, 0, sizeof G_Autopilot);
        std::memset(&G_Ahrs, 0, sizeof G_Ahrs);
        std::memset(&G_AirData, 0, sizeof G_AirData);
        std::memset(G_NVRam, 0, sizeof G_NVRam);
        std::memset(&G_Popup, 0, sizeof G_Popup);
        DefaultApSettings();
        LoadApSettings();
        G_NavSrc.hdr.nFlags0 = kNavHdrHdgSteer | kNavHdrAltSteer;
        G_NavSrc.hdr.nCrsSlot = 0;
        G_AirData.nTas = 1000;   // 100 kt
        PassStart();
    }
    // The 2 s after LoadApSettings in which stored modes are left alone.
    static void PassStart() { DelayTicks(kApStartTicks + 1000); }
    static void Wait(double seconds) { DelayTicks(static_cast<uint32_t>(seconds * kTicksPerSecond)); }
    // Slot 0 a GPS with a fix, its desired track valid, on the given track.
    static NavSrcRec& Gps(int slot = 0) {
        NavSrcRec& r = G_NavSrc.rec[slot];
        r.nType = 1;
        r.bInUse = 1;
        r.nGpsFlagsA = kNavGpsValid | kNavGpsDtkValid;
        r.nGpsFlagsB = kNavGpsFix;
        r.nCdiFullScale = 100;
        return r;
    }
    static void Ticks() {
        DelayTicks(kApTickTicks + 10);
        ApLateralTick();
        ApVerticalTick();
    }
};

TEST_F(AutopilotTest, HeadingDiffAndBankLimits) {
    struct Case { int32_t a, b, diff; };
    for (const Case& c : {Case{10, 3590, 20}, Case{3590, 10, -20}, Case{1800, 0, 1800}, Case{0, 1800, -1800 + 3600},
                          Case{0, 1801, 1799}, Case{900, 900, 0}}) {
        SCOPED_TRACE(std::to_string(c.a) + " - " + std::to_string(c.b));
        EXPECT_EQ(HeadingDiff(c.a, c.b), c.diff);
    }
    // round(10 x atan(V x 3 deg/s / g)) by hand: 80 kt 12.44, 150 kt 22.44, 250 kt 34.51 degrees.
    EXPECT_EQ(ApBankLimitTable[80], 124);
    EXPECT_EQ(ApBankLimitTable[100], 154);
    EXPECT_EQ(ApBankLimitTable[150], 224);
    EXPECT_EQ(ApBankLimitTable[200], 288);
    EXPECT_EQ(ApBankLimitTable[250], 345);
    struct Bank { int32_t tasTenths, limit; };
    for (const Bank& b : {Bank{600, 1240}, Bank{3000, 3450}, Bank{1500, 2240}, Bank{0, 1240}}) {
        SCOPED_TRACE(b.tasTenths);
        EXPECT_EQ(ApBankLimit(b.tasTenths), b.limit);
    }
}

TEST_F(AutopilotTest, SettingsDefaultsBoundsAndLog) {
    EXPECT_EQ(G_NVRam[kNvNavMode], kApHarm);
    EXPECT_EQ(G_NVRam[kNvApVertMode], kApVarm);
    EXPECT_EQ(G_NVRam[kNvApMinSpd], 80);
    EXPECT_EQ(G_NVRam[kNvApMaxSpd], 250);
    EXPECT_EQ(NvGetU16(kNvApGains + 2), 100);
    EXPECT_EQ(NvGetU16(kNvApGains + 6), 500);
    EXPECT_EQ(NvGetU16(kNvApGains + 10), 5000);
    EXPECT_EQ(NvGetU16(kNvApGains + 38), 500) << "slew step";
    const std::string log = SysLogSectorText();
    EXPECT_EQ(Count(log, "INFO: AP Settings SPEED: Max:250, Min:80\n"), 1);
    EXPECT_EQ(Count(log, "INFO: AP Settings LATERAL: Roll:1.00, Loc:0.50\n"), 1);
    EXPECT_EQ(Count(log, "INFO: AP Settings VERTICAL: Alt:5.00, Rate:500\n"), 1);

    struct Case { uint32_t at; uint16_t stored, bound; };
    const Case bounds[] = {
        {kNvApGains + 2, 65535, 2000}, {kNvApGains + 4, 1001, 1000}, {kNvApGains + 6, 4000, 1000},
        {kNvApGains + 10, 12001, 12000}, {kNvApGains + 12, 5000, 1000}, {kNvApGains - 2, 9999, 1500},
        {kNvApGains + 2, 1999, 1999},
    };
    for (const Case& c : bounds) {
        SCOPED_TRACE(c.at);
        NvSetU16(c.at, c.stored);
        LoadApSettings();
        EXPECT_EQ(NvGetU16(c.at), c.bound);
    }
    std::memset(G_NVRam + kNvApVertMode, 0, 48);
    LoadApSettings();
    EXPECT_EQ(G_NVRam[kNvApMaxSpd], 250) << "a block never written takes the defaults";
    EXPECT_EQ(NvGetU16(kNvApGains + 2), 100);
    G_NVRam[kNvNavMode] = 9;
    G_NVRam[kNvApVertMode] = 2;
    LoadApSettings();
    EXPECT_EQ(G_NVRam[kNvNavMode], kApOffline) << "no such lateral mode";
    EXPECT_EQ(G_NVRam[kNvApVertMode], kApOffline) << "no such vertical mode";
}

TEST_F(AutopilotTest, HeadingBugSteersWithinTheBankLimit) {
    G_NVRam[kNvNavMode] = kApHdgBug;
    G_NavSrc.hdr.nCrsSlot = 4;
    struct Case { int16_t bug; int32_t tas, roll; };
    // Kp 1.00: one degree of bank per degree of heading error, to the limit of the TAS.
    for (const Case& c : {Case{10, 1000, 1000}, Case{350, 1000, -1000}, Case{40, 1000, 1540}, Case{60, 600, 1240},
                          Case{90, 3000, 3000}}) {
        SCOPED_TRACE(c.bug);
        std::memset(&G_ApLateral.bugErr, 0, sizeof G_ApLateral.bugErr);
        G_NavSrc.hdr.nHdgBug = c.bug;
        G_AirData.nTas = c.tas;
        G_Ahrs.nHeading = 0;
        ApUpdateNav();
        for (int i = 0; i < kApAvgWindow; ++i) ApUpdateAhrs();
        Ticks();
        EXPECT_EQ(G_ApLateral.nMode, kApHdgBug);
        EXPECT_EQ(G_ApLateral.nRollCmd, c.roll);
    }
    G_NavSrc.hdr.nFlags0 = 0;   // HDG OFF
    ApUpdateAhrs();
    Ticks();
    EXPECT_EQ(G_ApLateral.nMode, kApOffline);
    EXPECT_EQ(G_ApLateral.nRollCmd, 0);
}

TEST_F(AutopilotTest, ArmedCaptureLimits) {
    struct Case { const char* name; int16_t xtk; int16_t dtk; uint8_t mode; uint8_t stored; };
    const Case cases[] = {
        {"79 % and 44.9 degrees capture", 79, 449, kApHnav, kApHnav},
        {"80 % stays armed", 80, 0, kApHdgBug, kApHarm},
        {"45.0 degrees stays armed", 0, 450, kApHdgBug, kApHarm},
        {"-79 % and -44.9 degrees capture", -79, 3600 - 449, kApHnav, kApHnav},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_NVRam[kNvNavMode] = kApHarm;
        ApSetLateralMode(kApOffline);
        G_NVRam[kNvNavMode] = kApHarm;
        NavSrcRec& r = Gps();
        r.nCrossTrack = c.xtk;
        r.nDesiredTrack = c.dtk;
        r.nTrackMag = 0;
        ApUpdateNav();
        EXPECT_EQ(G_ApLateral.nMode, c.mode);
        EXPECT_EQ(G_NVRam[kNvNavMode], c.stored);
        EXPECT_EQ(G_ApLateral.bEngaged, 1);
        EXPECT_EQ(ApLatAnnunColor(), c.mode == kApHnav ? kApColourEngaged : kApColourArmed);
    }
}

TEST_F(AutopilotTest, NavHoldsFiveSecondsAfterALostSource) {
    G_NVRam[kNvNavMode] = kApHnav;
    NavSrcRec& r = Gps();
    r.nDesiredTrack = 100;
    r.nTrackMag = 0;
    ApUpdateNav();
    ASSERT_EQ(G_ApLateral.nMode, kApHnav);
    Ticks();
    EXPECT_EQ(G_ApLateral.nRollCmd, 1000) << "10 degrees off the desired track";
    r.nGpsFlagsA = 0;   // the fix is gone
    ApUpdateNav();
    EXPECT_EQ(G_ApLateral.bEngaged, 1) << "held";
    Wait(4.5);
    ApUpdateNav();
    EXPECT_EQ(G_ApLateral.bEngaged, 1) << "still within 5 s";
    Wait(1.0);
    ApUpdateNav();
    EXPECT_EQ(G_ApLateral.bEngaged, 0);
    Ticks();
    EXPECT_EQ(G_ApLateral.nRollCmd, 0);
}

TEST_F(AutopilotTest, RollSteeringIsPassedThrough) {
    G_NVRam[kNvNavMode] = kApHnav;
    NavSrcRec& r = Gps();
    NavSetRollSteer(r, true, -1500, 0xEE3E0651u);
    ApUpdateNav();
    Ticks();
    EXPECT_EQ(G_ApLateral.bRollSteer, 1);
    EXPECT_EQ(G_ApLateral.nRollCmd, -1500);
    EXPECT_EQ(G_ApLateral.nRollSteerWord, 0xEE3E0651u);
}

TEST_F(AutopilotTest, CourseSlotThreeIsTheMapsAndFourIsNone) {
    G_NVRam[kNvNavMode] = kApHnav;
    Gps(0).nDesiredTrack = 100;   // slot 0 would steer 10 degrees right
    NavSrcRec& map = Gps(3);
    map.nDesiredTrack = 3500;     // the map's course, 10 degrees left
    G_NavSrc.hdr.nCrsSlot = 3;
    ApUpdateNav();
    Ticks();
    EXPECT_EQ(G_ApLateral.nSlot, 3);
    EXPECT_EQ(G_ApLateral.nRollCmd, -1000);
    G_NavSrc.hdr.nCrsSlot = 4;
    ApUpdateNav();
    Ticks();
    EXPECT_EQ(G_ApLateral.bEngaged, 0) << "no slot: lateral steering off";
    EXPECT_EQ(G_ApLateral.nRollCmd, 0);
}

TEST_F(AutopilotTest, AltitudeBugCommands) {
    G_NVRam[kNvApVertMode] = kApAltBug;
    NvSetU16(kNvApGains - 2, 500);
    struct Case { int16_t bug; int32_t alt; int32_t cmd; };
    // Kp 5.0 ft/min per foot; the +-100 floor beyond the dead band; the climb rate caps.
    const Case cases[] = {{1004, 1000, 20}, {1006, 1000, 100}, {1000, 1004, -20}, {1000, 1006, -100},
                          {2000, 1000, 500}, {0, 1000, -500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bug);
        G_NavSrc.hdr.nAltBug = c.bug;
        G_AirData.nBaroAlt = c.alt;
        G_ApVertical.nRateInUse = 500;
        G_ApVertical.nRateStepStamp = ReadOsTimer();
        ApUpdateAhrs();
        Ticks();
        EXPECT_EQ(G_ApVertical.nMode, kApAltBug);
        EXPECT_EQ(G_ApVertical.nVertCmd, c.cmd);
    }
}

TEST_F(AutopilotTest, ClimbRateStepsOncePerSecond) {
    G_NVRam[kNvApVertMode] = kApAltBug;
    NvSetU16(kNvApGains - 2, 250);
    G_NavSrc.hdr.nAltBug = 5000;
    G_AirData.nBaroAlt = 1000;
    const int32_t expected[] = {100, 200, 210, 220, 230, 240, 250, 250};
    for (int32_t e : expected) {
        Wait(1.01);
        ApUpdateAhrs();
        EXPECT_EQ(G_ApVertical.nRateInUse, e);
        Ticks();
    }
    EXPECT_EQ(G_ApVertical.nVertCmd, 250) << "the command is held to the rate";
    // 70 kt, below the minimum speed while climbing: capped at the command, then down a step.
    G_AirData.nTas = 700;
    Wait(1.01);
    ApUpdateAhrs();
    EXPECT_EQ(G_ApVertical.nRateInUse, 150);
}

TEST_F(AutopilotTest, VnavHoldsThenArms) {
    G_NVRam[kNvNavMode] = kApHnav;
    G_NVRam[kNvApVertMode] = kApVnav;
    NavSrcRec& r = Gps();
    r.nGpsFlagsA |= kNavGpsVertical;
    ApUpdateNav();
    ASSERT_EQ(G_ApVertical.nMode, kApVnav);
    EXPECT_EQ(G_ApVertical.bGpsGlide, 1);
    r.nGpsFlagsA &= static_cast<uint8_t>(~kNavGpsVertical);
    ApUpdateNav();
    EXPECT_EQ(G_ApVertical.nMode, kApVnav) << "held";
    Wait(4.5);
    ApUpdateNav();
    EXPECT_EQ(G_ApVertical.nMode, kApVnav);
    G_RedrawReq = 0;
    Wait(1.0);
    ApUpdateNav();
    EXPECT_EQ(G_ApVertical.nMode, kApAltBug) << "armed: the altitude bug is flown";
    EXPECT_EQ(G_NVRam[kNvApVertMode], kApVarm);
    EXPECT_EQ(G_RedrawReq, 1u);
    EXPECT_EQ(ApVertAnnunColor(), kApColourArmed);
    EXPECT_EQ(Count(SysLogSectorText(), "INFO: AP Vertical Mode switch from VNAV to VARM @"), 1);
}

TEST_F(AutopilotTest, MinimumsOncePerApproach) {
    GUI_Init();
    G_CurPage = 2;
    G_NVRam[kNvNavMode] = kApHnav;
    G_NVRam[kNvApVertMode] = kApVnav;
    Gps().nGpsFlagsA |= kNavGpsVertical;
    G_NavSrc.hdr.nMinAltBug = 1000;
    G_NavSrc.rec[kNavMapSlot].nGroundSpeed = 1200;   // 120 kt over the ground
    int popups = 0;
    uint32_t shown = G_Popup.nShown;
    for (int32_t alt = 1400; alt >= 1000; alt -= 50) {
        G_AirData.nBaroAlt = alt;
        ApUpdateNav();
        ApUpdateAhrs();
        Ticks();
        if (G_Popup.bActive && G_Popup.nShown != shown) {
            ++popups;
            shown = G_Popup.nShown;
            EXPECT_NE(std::string(G_Popup.szText).find(" MINIMUMS "), std::string::npos);
        }
        if (alt > 1200) {
            EXPECT_EQ(G_ApVertical.nVertCmd, -637) << "round(120 x -5.31) on the path";
        }
    }
    EXPECT_EQ(popups, 1);
    EXPECT_EQ(G_ApVertical.bMinimums, 1);
    EXPECT_EQ(Count(SysLogSectorText(), "PlaySound MINIMUMS,"), 1) << "sound 15 once";
}

TEST_F(AutopilotTest, StartWindowSurvivesTheTimerWrap) {
    // Start 1 s before the count wraps; stored modes are written back once 2 s
    // have passed, also when a later stamp difference looks small again.
    HwWrite32(OSCR, 0xFFFFFFFFu - kTicksPerSecond);
    LoadApSettings();
    G_NVRam[kNvNavMode] = kApHarm;
    Gps().nTrackMag = 0;
    ApUpdateNav();
    EXPECT_EQ(G_NVRam[kNvNavMode], kApHarm) << "inside the start window";
    Wait(2.5);
    ApUpdateNav();
    EXPECT_EQ(G_NVRam[kNvNavMode], kApHnav) << "captured and stored after 2 s";
    G_NVRam[kNvNavMode] = kApHarm;
    ApSetLateralMode(kApOffline);
    G_NVRam[kNvNavMode] = kApHarm;
    HwWrite32(OSCR, G_ApLateral.nStartStamp + 1000);   // a wrap later: the stamp looks recent
    ApUpdateNav();
    EXPECT_EQ(G_NVRam[kNvNavMode], kApHnav) << "the passed window stays passed";
}

}  // namespace
