// AHRS status, cross-check and log limits; the aiding message on the serial
// line; the demo AHRS; the magnetometer alignment's steps.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/efis.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "platform/hw.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "ui/keys.h"
#include "ui/pages.h"

namespace {

constexpr uint32_t kPort = 0;
constexpr uint32_t GPLR2 = 0x40E00008;
constexpr uint32_t GPSR2 = 0x40E00020;
constexpr uint32_t GPDR2 = 0x40E00014;

class AhrsStatusTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        SysLogOpen();
        InitRamLog(0);
    }
    static int Count(const std::string& what) {
        const std::string text = SysLogSectorText();
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
    static void Steps(int n) {
        for (int i = 0; i < n; ++i) CheckAhrsStatus();
    }
    void Wait(double seconds) { DelayTicks(static_cast<uint32_t>(seconds * kTicksPerSecond)); }
};

TEST_F(AhrsStatusTest, StaleAfterFortyStepsYellowOrRedByTheRules) {
    struct Case { const char* name; uint32_t type; uint32_t colour; };
    const Case cases[] = {{"Dynon rules", 1, kAhrsYellow}, {"binary-frame rules", 0, kAhrsRed}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Ahrs = {};
        G_Ahrs.nType = c.type;
        G_Ahrs.nFresh = kAhrsFreshLoad;
        Steps(40);   // 1.6 s without a message: the count has just run out
        EXPECT_EQ(G_AhrsState.nAttState, kAttNormal);
        EXPECT_EQ(G_AhrsState.nAttColour, kAhrsWhite);
        Steps(1);
        EXPECT_EQ(G_AhrsState.nAttState, kAttStale);
        EXPECT_EQ(G_AhrsState.nAttColour, c.colour);
        EXPECT_EQ(G_AhrsState.nMagColour, kAhrsRed);
        EXPECT_FALSE(AhrsHeadingUsable());
    }
}

TEST_F(AhrsStatusTest, FaultBitsGiveStatesAndColours) {
    struct Case {
        const char* name;
        uint32_t type, status;
        AhrsAttState state;
        uint32_t colour;
        AhrsMagFlag mag;
        uint32_t magColour;
    };
    const Case cases[] = {
        {"Dynon bit 3", 1, 1u << 3, kAttFault, kAhrsRed, kMagNone, kAhrsWhite},
        {"Dynon bit 10", 1, 1u << 10, kAttFault, kAhrsRed, kMagNone, kAhrsWhite},
        {"Dynon bit 9: magnetometer", 1, 1u << 9, kAttNormal, kAhrsWhite, kMagNone, kAhrsRed},
        {"hard failure", 0, 1u << 0, kAttHardFailure, kAhrsRed, kMagNone, kAhrsWhite},
        {"algorithm status", 0, 1u << 10, kAttFault, kAhrsRed, kMagNone, kAhrsWhite},
        {"bit 3 is no fault here", 0, 1u << 3, kAttNormal, kAhrsWhite, kMagNone, kAhrsWhite},
        {"remote mag error", 0, 1u << 15, kAttNormal, kAhrsWhite, kMagError, kAhrsRed},
        {"iron cal invalid", 0, 1u << 13, kAttNormal, kAhrsWhite, kMagAlignRequired, kAhrsWhite},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Ahrs = {};
        G_Ahrs.nType = c.type;
        G_Ahrs.nStatus = c.status;
        G_Ahrs.nFresh = kAhrsFreshLoad;
        Steps(1);
        EXPECT_EQ(G_AhrsState.nAttState, c.state);
        EXPECT_EQ(G_AhrsState.nAttColour, c.colour);
        EXPECT_EQ(G_AhrsState.nMagFlag, c.mag);
        EXPECT_EQ(G_AhrsState.nMagColour, c.magColour);
        EXPECT_EQ(AhrsHeadingUsable(), c.magColour != kAhrsRed);
    }
}

TEST_F(AhrsStatusTest, CrossCheckLimitsAndOneLinePerEpisode) {
    G_AhrsState.nXcEnable = 1;
    struct Case { const char* name; int32_t pitch, roll, heading; uint32_t result; };
    const Case cases[] = {
        {"same", 0, 0, 900, 0},
        {"heading 15.0 apart", 0, 0, 1050, 0},
        {"heading 15.1 apart", 0, 0, 1051, 1},
        {"pitch 5.00 apart", 500, 0, 900, 0},
        {"pitch 5.01 apart", 501, 0, 900, 1},
        {"roll 5.0 apart", 0, -50, 900, 0},
        {"roll 5.1 apart", 0, 51, 900, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Ahrs = {};
        G_Ahrs.nHeading = 900;
        G_RemoteAhrs = {};
        G_RemoteAhrs.nPitch = c.pitch;
        G_RemoteAhrs.nRoll = c.roll;
        G_RemoteAhrs.nHeading = c.heading;
        G_RemoteAhrs.nFresh = 5;
        EXPECT_EQ(AHRS_XC(), c.result);
        EXPECT_EQ(G_RemoteAhrs.nFresh, 4);
    }
    // 3590 against 10 is 2.0 degrees apart, across north.
    G_Ahrs.nPitch = G_Ahrs.nRoll = 0;
    G_Ahrs.nHeading = 3590;
    G_RemoteAhrs = {};
    G_RemoteAhrs.nHeading = 10;
    G_RemoteAhrs.nFresh = 40;
    EXPECT_EQ(AHRS_XC(), 0u);
    // A long miscompare logs once; agreement and a new miscompare log again.
    G_RemoteAhrs.nHeading = 200;
    for (int i = 0; i < 30; ++i) AHRS_XC();
    G_RemoteAhrs.nHeading = 3595;
    AHRS_XC();
    G_RemoteAhrs.nHeading = 200;
    AHRS_XC();
    EXPECT_EQ(Count("AHRS_XC: P(0,0), R(0,0), H(3590,200)@"), 2) << SysLogSectorText();
    // A stale remote record is offline, logged once, and shown as a miscompare.
    G_RemoteAhrs.nFresh = 0;
    G_Ahrs.nFresh = kAhrsFreshLoad;
    Steps(10);
    EXPECT_EQ(G_AhrsState.nAttState, kAttMiscompare);
    EXPECT_EQ(G_AhrsState.nAttColour, kAhrsYellow);
    EXPECT_EQ(Count("AHRS_XC: Remote Offline @"), 1);
}

TEST_F(AhrsStatusTest, FaultLinesAreRateLimited) {
    // From the first fault on, the hard failure at most once per 30 s, even
    // when it comes just after the start.
    G_Ahrs.nStatus = 1u << 0 | 1u << 7 | 1u << 12;
    for (int i = 0; i < 8; ++i) {
        G_Ahrs.nFresh = kAhrsFreshLoad;
        Steps(1);
        Wait(10.5);
    }
    // 84 s: lines at 0, 31.5 and 63 s.
    EXPECT_EQ(Count("ERROR: AHRS Stat:0x1081, Hard Failure Reported\n"), 3);
    EXPECT_EQ(Count("ERROR: AHRS Stat:0x1081, Aiding Disabled Reported @"), 3);
    EXPECT_EQ(Count("ERROR: AHRS Stat:0x1081, External Mag Align Required\n"), 1);
    // Aiding disabled: at most five lines in one episode, then a new episode
    // logs at once; the alignment line never again in this run.
    for (int i = 0; i < 10; ++i) {
        Steps(1);
        Wait(31);
    }
    EXPECT_EQ(Count("Aiding Disabled Reported"), 5);
    G_Ahrs.nStatus = 0;
    Steps(1);
    G_Ahrs.nStatus = 1u << 7 | 1u << 13;
    Steps(1);
    EXPECT_EQ(Count("Aiding Disabled Reported"), 6);
    EXPECT_EQ(Count("External Mag Align Required"), 1);
}

// ---- aiding ------------------------------------------------------------------------------

class AidingTest : public AhrsStatusTest {
protected:
    void SetUp() override {
        AhrsStatusTest::SetUp();
        InstallHandlers();
        IrqStateInit();
        HwWrite32(OSMR0, ReadOsTimer() + kTickTicks);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
        Defaults();
    }
    static void Defaults() {
        G_AhrsState.nAiding = 0;
        G_DemoFlags = 0;
        G_Serial[kPort].nFunction = 1;
        SetSerialBaud(kPort, 5);
        G_AhrsAidPort = kPort;
        G_NetStreamCfg[kStreamAhrs].DSRC = 0;
        G_NetStreamCfg[kStreamAir].DSRC = 0;
        G_AirData.nTas = 1000;
        G_AirData.nPressAlt = -120;
        G_AirData.nFresh = kAirFreshLoad;
        G_InstReading[kInstAirspeed].bValid = 1;
        G_InstReading[kInstAltitude].bValid = 1;
    }
    // Sends once and drains the port at 9,600 bit/s.
    std::string SendOnce() {
        const size_t before = SerialOut(kPort).size();
        SendAhrsAiding();
        const uint64_t end = board().Now() + 40 * SerialTicksPerChar(5);
        while (board().Now() < end) {
            if (G_Serial[kPort].bTxReady) {
                G_Serial[kPort].bTxReady = 0;
                SerialTxService(kPort);
            }
            HwIdle();
        }
        return SerialOut(kPort).substr(before);
    }
    static std::string Message(const char* b20to25, const char* sum) {
        std::string m = "\xAA\x55" + std::string(18, '\xFF') + std::string(b20to25, 6) + std::string(4, '\xFF');
        return m + std::string(sum, 2);
    }
};

TEST_F(AidingTest, MessageCarriesTasAndPressureAltitude) {
    // 100.0 kt = 1600 sixteenths = 06 40; -120 ft = -12 tens = FF FF FF F4;
    // the sum of bytes 2..29 is 0x1A21.
    EXPECT_EQ(SendOnce(), Message("\x06\x40\xFF\xFF\xFF\xF4", "\x1A\x21"));
    // Demo air data: 18 x 255 + 100 + 4 x 255 = 5710 = 0x164E.
    G_DemoFlags = kDemoAir;
    EXPECT_EQ(SendOnce(), Message("\x00\x00\x00\x00\x00\x64", "\x16\x4E"));
}

TEST_F(AidingTest, NothingIsSentWhenAidingDoesNotApply) {
    struct Case { const char* name; void (*spoil)(); };
    const Case cases[] = {
        {"AHRS_AIDING 1", [] { G_AhrsState.nAiding = 1; }},
        {"port on another function", [] { G_Serial[kPort].nFunction = 2; }},
        {"the ASCII AHRS", [] { G_NetStreamCfg[kStreamAhrs].DSRC = 1; }},
        {"demo AHRS", [] { G_NetStreamCfg[kStreamAhrs].DSRC = 3; }},
        {"stale air data", [] { G_AirData.nFresh = 0; }},
        {"airspeed invalid", [] { G_InstReading[kInstAirspeed].bValid = 0; }},
        {"altitude invalid", [] { G_InstReading[kInstAltitude].bValid = 0; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Defaults();
        c.spoil();
        EXPECT_EQ(SendOnce(), "");
    }
}

// ---- the demo AHRS -------------------------------------------------------------------------

TEST_F(AhrsStatusTest, DemoFliesCoordinatedTurnsThatRepeat) {
    // 120 s a lap at 40 ms: level at 90, then 20 degrees right from 25 s to
    // 55 s, where the heading moves g tan(20) / 61.73 m/s = 0.05782 rad/s =
    // 3.313 deg/s.
    int32_t headingAt30 = 0, headingAt50 = 0, maxRoll = 0, minLoad = 1000, maxLoad = 0;
    for (int step = 0; step < 3000; ++step) {
        DemoAhrsStep();
        EXPECT_EQ(G_Ahrs.nFresh, 40);
        if (step == 750) headingAt30 = G_Ahrs.nHeading;
        if (step == 1250) headingAt50 = G_Ahrs.nHeading;
        if (G_Ahrs.nRoll > maxRoll) maxRoll = G_Ahrs.nRoll;
        if (step == 1000) {   // 40 s: steady in the right turn
            EXPECT_EQ(G_Ahrs.nRoll, 200);
            EXPECT_EQ(G_Ahrs.nLoadFactor, 106) << "1 / cos 20 = 1.064 g";
            EXPECT_EQ(G_Ahrs.nLatAccel, 0) << "coordinated";
            EXPECT_EQ(G_Ahrs.nYawRate, 33);
        }
        minLoad = std::min(minLoad, G_Ahrs.nLoadFactor);
        maxLoad = std::max(maxLoad, G_Ahrs.nLoadFactor);
        EXPECT_LE(std::abs(G_Ahrs.nPitch - 200), 150);
    }
    EXPECT_NEAR(headingAt50 - headingAt30, 663, 2) << "20 s at 3.313 deg/s";
    EXPECT_EQ(maxRoll, 200);
    EXPECT_EQ(minLoad, 100);
    EXPECT_EQ(maxLoad, 106);
    EXPECT_NEAR(G_Ahrs.nHeading, 900, 2) << "the left turn undoes the right one";
    // The next lap is the same flight.
    DemoAhrsStep();
    EXPECT_EQ(G_Ahrs.nHeading, 900);
}

// ---- the magnetometer alignment -------------------------------------------------------------

TEST_F(AhrsStatusTest, AlignmentStepsOnWhenTheAhrsReportsEachPhaseDone) {
    GUI_Init();
    HwWrite32(GPDR2, HwRead32(GPDR2) | 1u << 2);
    auto gpio66 = [] { return (HwRead32(GPLR2) >> 2) & 1u; };
    auto frame = [](uint32_t status, int32_t heading) {
        G_Ahrs.nStatus = status;
        G_Ahrs.nHeading = heading;
        G_Ahrs.nFresh = kAhrsFreshLoad;
        MagAlignProcedure();
    };
    auto keyPhase = [](uint32_t step) {   // the key handler's part
        G_MagAlignStep = step;
        HwWrite32(GPSR2, 1u << 2);
    };
    G_MagAlignStep = 1;
    frame(0, 0);
    keyPhase(2);
    frame(0, 0);
    EXPECT_EQ(G_MagAlignStep, 2u) << "not done before the AHRS took it up";
    frame(0x1000, 0);
    EXPECT_EQ(G_MagAlignStep, 2u);
    frame(0, 0);
    EXPECT_EQ(G_MagAlignStep, 3u) << "levelling bit raised and cleared";
    EXPECT_EQ(gpio66(), 0u);
    keyPhase(4);
    // Four quarter turns to the left, in steps of 30 degrees, across north.
    for (int i = 1; i <= 12; ++i) frame(0x2000, (3600 - 300 * i) % 3600);
    EXPECT_EQ(G_MagAlignStep, 8u);
    EXPECT_EQ(gpio66(), 1u);
    frame(0, 0);
    EXPECT_EQ(G_MagAlignStep, 9u) << "iron calibration done";
    EXPECT_EQ(gpio66(), 0u);
    keyPhase(10);
    frame(0x4000, 0);
    frame(0, 0);
    frame(0, 0);
    EXPECT_EQ(G_MagAlignStep, 12u) << "offset measured, then all three bits clear";
    EXPECT_EQ(gpio66(), 0u);
}

}  // namespace
