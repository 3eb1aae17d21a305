// The main loop's schedule over 80 board seconds, across an OS-timer wrap.
#include <algorithm>
#include <cmath>

#include "core/adc.h"
#include "core/boot.h"
#include "core/irq.h"
#include "core/mainloop.h"
#include "core/ostimer.h"
#include "wx/traffic.h"
#include "wx/wx.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/discrete.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "platform/hw.h"
#include "setup/auxpages.h"
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "storage/nvram.h"
#include "efis/airdata.h"
#include "efis/efisview.h"
#include "support/board_fixture.h"

using platform::StopReason;

namespace {

class MainLoopTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InstallHandlers();
        IrqStateInit();
        ClearGlobals();
        GUI_Init();   // the frame block draws the status bar
        InitSsp();
        InitAdcTable();
        // The wrap of the 32-bit count falls 20 s into the run.
        board().SetOscr(0u - 20u * kTicksPerSecond);
        HwWrite32(OSMR0, ReadOsTimer() + 18432);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
        EnableRtcTick();
    }
    // Runs the loop for `seconds` of board time; returns the time it ran.
    double Run(double seconds) {
        const uint64_t start = board().Now();
        board().SetRunEnd(start + static_cast<uint64_t>(seconds * kTicksPerSecond));
        EXPECT_EQ(RunApp([] { MainLoop(); }), StopReason::RunEnd);
        board().SetRunEnd(0);
        return static_cast<double>(board().Now() - start) / kTicksPerSecond;
    }
};

TEST_F(MainLoopTest, EachSlotRunsAtItsPeriod) {
    // What each slot needs before it does anything.
    G_NetSerialShare = 1;
    board().cs8900().AttachWire(true);   // the records are counted by their send sequences
    G_NetEnable = 1;
    NET_InitPacketTable();
    for (int s = kStreamNav1; s <= kStreamNav1 + 2; ++s) G_NetStreamCfg[s].DSRC = 1;   // serial sources
    G_NetStreamCfg[kStreamTraffic].NET = 1;
    G_Serial[2].nFunction = 6;
    G_EngFramePort = 2;
    for (uint8_t& port : G_NavSrc.hdr.nPort) port = 2;
    G_NavSrc.hdr.MAP_LATLON_PORT = 5;
    G_Serial[4].nFunction = 5;
    G_DemoFlags = kDemoTraffic;
    PrimeVoltChannels();   // on line power: the battery monitor never switches off
    G_Ahrs.nFresh = 1000000;   // each AHRS status step counts it down by one

    const uint32_t startOscr = ReadOsTimer();
    const double t = Run(80.5);
    const uint32_t seconds = G_UptimeSec;
    ASSERT_GE(seconds, 80u);

    struct Sent { const char* name; int32_t type; double period; };
    const Sent records[] = {
        {"record 14, one phase of three at 67 ms", 14, 0.067 * 3},
        {"record 19 with 14", 19, 0.067 * 3},
        {"record 15", 15, 0.067 * 3},
        {"record 16", 16, 0.067 * 3},
    };
    EXPECT_EQ(G_UdpPktDesc[kUdpDiscrete].nSendSeq, 1u) << "the discrete inputs go out once";
    for (const Sent& r : records) {
        SCOPED_TRACE(r.name);
        const double expected = t / r.period;
        EXPECT_LE(G_UdpPktDesc[r.type].nSendSeq, std::ceil(expected) + 1) << "faster than its period";
        EXPECT_GE(G_UdpPktDesc[r.type].nSendSeq, 0.97 * expected - 1) << "slower than its period";
    }
    EXPECT_LE(TrafficDemoSteps(), std::ceil(t) + 1) << "traffic demo faster than 1 s";
    EXPECT_GE(TrafficDemoSteps(), 0.97 * t - 1) << "traffic demo slower than 1 s";
    const double ahrsSteps = 1000000 - G_Ahrs.nFresh;
    EXPECT_LE(ahrsSteps, std::ceil(t / 0.040) + 1) << "AHRS status faster than 40 ms";
    EXPECT_GE(ahrsSteps, 0.97 * t / 0.040 - 1) << "AHRS status slower than 40 ms";
    const double frameBlocks = t / 0.050;
    EXPECT_LE(G_Wx.nLinkPasses, std::ceil(frameBlocks) + 1) << "frame block faster than 50 ms";
    EXPECT_GE(G_Wx.nLinkPasses, 0.97 * frameBlocks - 1) << "frame block slower than 50 ms";
    // Air data every 25 ms: the airspeed is read on every second step, 50
    // conversions a read, after the 40 reads of the priming passes.
    const double airspeedReads = board().airAdc().Conversions(5) / 50.0 - 40;
    EXPECT_LE(airspeedReads, std::ceil(t / 0.050) + 1) << "air data faster than 25 ms";
    EXPECT_GE(airspeedReads, 0.97 * t / 0.050 - 1) << "air data slower than 25 ms";
    const double navExpected = t / 0.100;   // the navigation round robin, one source each 100 ms
    EXPECT_LE(G_NavMergePasses, std::ceil(navExpected) + 1) << "navigation round robin faster than 100 ms";
    EXPECT_GE(G_NavMergePasses, 0.97 * navExpected - 1) << "navigation round robin slower than 100 ms";
    // The image differs from the erased flash at the start and stays the same
    // afterwards: one copy, at the 37th second, into the other sector.
    EXPECT_EQ(NvGetU32(kNvWriteCount), 1u) << "an unchanged image is not written again";
    EXPECT_EQ(G_NVRamSector, static_cast<uint32_t>(kNvSectorB));
    const double written = static_cast<double>(NvGetU32(kNvWriteStamp) - startOscr) / kTicksPerSecond;
    EXPECT_GE(written, 36.0);
    EXPECT_LE(written, 38.0);

    // Each frame asks for a flip, and no frame is drawn while one is pending.
    const uint32_t frames = G_Wx.nLinkPasses;
    EXPECT_LE(board().display().Flips(), frames);
    EXPECT_GE(board().display().Flips() + 1, frames);
}

TEST_F(MainLoopTest, SupplyVoltagesAreSampledEveryEighthAdcStep) {
    InitSsp();
    board().airAdc().SetInput(6, 1000);   // main volts
    const double t = Run(2.0);
    // One reading of 15 conversions per 200 ms; the filter has nearly settled.
    const double readings = board().airAdc().Conversions(6) / 15.0;
    EXPECT_GE(readings, t / 0.2 - 1);
    EXPECT_LE(readings, t / 0.2 + 1);
    // Copied out: the packed record's fields may be unaligned.
    const int32_t volts = G_InstReading[kInstMainVolts].nValue;
    const uint8_t valid = G_InstReading[kInstMainVolts].bValid;
    EXPECT_GT(volts, 900);
    EXPECT_LE(volts, 1000);
    EXPECT_EQ(valid, 1);
}

TEST_F(MainLoopTest, NoSerialNavigationRecordsWithoutSharing) {
    for (int s = kStreamNav1; s <= kStreamNav1 + 2; ++s) G_NetStreamCfg[s].NET = 1;
    G_NetStreamCfg[kStreamTraffic].NET = 1;
    G_NetSerialShare = 0;
    board().cs8900().AttachWire(true);
    NET_InitPacketTable();
    Run(2);
    for (int32_t type : {14, 15, 16, 19}) EXPECT_EQ(G_UdpPktDesc[type].nSendSeq, 0u);
}

TEST_F(MainLoopTest, NoFrameWhileAFlipIsPending) {
    // The flip hold keeps the tick from flipping: the request stays set.
    Run(0.2);
    const uint32_t frames = G_Wx.nLinkPasses;
    ASSERT_GT(frames, 0u);
    G_FlipCtl.nFlipReq = 1;
    G_FlipCtl.nFlipHold = 1;
    Run(1);
    EXPECT_EQ(G_Wx.nLinkPasses, frames);
    EXPECT_GT(G_Wx.nDecodePasses, 0u) << "frameless passes run the map queue, whose empty ring goes to the weather";
}

TEST_F(MainLoopTest, NetworkNavigationSourcesTimeOutAndSerialDataTakesOver) {
    G_NavSrc.hdr.nPort[0] = 5;                 // no serial port: the network side only
    G_NavSrc.hdr.nPort[1] = 3;
    G_Serial[3].nFunction = 2;
    G_Serial[3].nRxCount = 1;                  // NMEA data arrived on port 3
    NavSrcRec& rec = G_NavSrc.rec[0];
    rec.nGpsFlagsA = kNavGpsValid;
    rec.nGroundSpeed = 0x55;
    rec.nRouteCount = 1;
    rec.route[0].szIdent[0] = 'K';
    rec.nRadioFlagsA = kNavRadioValid;
    rec.nObs = 0x55;
    const uint32_t now = ReadOsTimer();
    rec.nGpsStamp = now;
    rec.nRouteStamp = now;
    rec.nRadioStamp = now;

    Run(12);
    EXPECT_EQ(rec.nGpsFlagsA, 0) << "GPS part cleared after 10 s";
    EXPECT_EQ(int{rec.nGroundSpeed}, 0);
    EXPECT_EQ(rec.nRadioFlagsA, 0) << "radio part cleared after 10 s";
    EXPECT_EQ(int{rec.nObs}, 0);
    EXPECT_EQ(rec.nRouteCount, 1) << "the route lasts 20 s";
    EXPECT_EQ(G_NetStreamCfg[kStreamNav1 + 1].DSRC, 1u) << "port 3's data switched stream 5 to serial";
    EXPECT_EQ(G_Serial[3].nRxCount, 0u);
    Run(10);
    EXPECT_EQ(rec.nRouteCount, 0);
    EXPECT_EQ(rec.route[0].szIdent[0], 0);
    EXPECT_EQ(G_NetStreamCfg[kStreamNav1].DSRC, 2u);
}

// A key whose work holds the loop up for 2 s (the log copy finding no card):
// the seconds that passed meanwhile still count on the pilot's timer and on
// an input's seconds counter.
TEST_F(MainLoopTest, SecondsPassedWhileHeldUpAreCounted) {
    G_CurPage = 11;
    G_AuxPageIdx = kAuxMaint;
    G_MenuState = kMenuDataLog;
    TimerSet(60);
    G_TimerDir = -1;
    TimerStart();
    G_DiscreteIn.input[0].nMode = 2;
    G_DiscreteIn.input[0].nInvert = 1;   // active at the open pin's level
    G_DiscreteIn.nState = 1;
    G_KeyEvent = 4;   // START
    const uint32_t uptime = G_UptimeSec;
    Run(6.5);
    const uint32_t passed = G_UptimeSec - uptime;
    ASSERT_GE(passed, 6u);
    EXPECT_EQ(G_TimerSec, 60 - static_cast<int32_t>(passed));
    EXPECT_EQ(G_DiscreteIn.input[0].nCount, passed);
    EXPECT_EQ(G_MenuState, kMenuMaintLogs) << "the copy ran";
}

// The EFIS pages leave the frame block room to flip every 50 ms: over a
// minute of board time the display flips 20 times a second on each.
TEST_F(MainLoopTest, EfisPagesFlipTwentyTimesASecond) {
    InitPalette();
    for (int s : {kStreamAir, kStreamAhrs}) G_NetStreamCfg[s].INST = 1;
    G_Ahrs.nFresh = 40;   // not run down here: the attitude stays drawn
    G_AirData.nFresh = 40;
    G_Ahrs.nRoll = 200;
    for (int32_t page : {2, 3}) {
        SCOPED_TRACE(page);
        G_CurPage = page;
        InitScreenConfig();
        const uint32_t flips = board().display().Flips();
        const double t = Run(60);
        EXPECT_GE(board().display().Flips() - flips, 0.97 * 20 * t);
        const uint8_t* m = board().display().Memory();
        EXPECT_EQ(m[(G_FlipCtl.nDrawPageY + 30) * 640 + 320], kEfSky) << "the attitude's sky was drawn";
    }
}

// Leaving for calibration, a weather master announces status 0 five times:
// the five user events 32 reach the wire before the loop returns.
TEST_F(MainLoopTest, AMasterLeavingForCalibrationSendsStatusZeroFiveTimes) {
    board().cs8900().AttachWire(true);
    G_NetIpLocal = 175;
    NET_Init();
    G_NetEnable = 1;
    G_NetStreamCfg[kStreamWx].INST = kWxMaster;
    G_Wx.nProducts = 1;
    G_CalRestart = 1;
    EXPECT_EQ(RunApp([] { MainLoop(); }), StopReason::None);
    // Code 32, status 0 and the master's address, as the event's words.
    const uint8_t words[] = {32, 0, 0, 0, 0, 0, 0, 0, 192, 168, 0, 175};
    int announced = 0;
    uint8_t buf[2000];
    for (int n = board().cs8900().TakeSent(buf, sizeof buf); n > 0; n = board().cs8900().TakeSent(buf, sizeof buf)) {
        const bool toEvents = n > 42 && buf[23] == 17 && (buf[36] << 8 | buf[37]) == 50009;
        if (toEvents && std::search(buf + 42, buf + n, words, words + sizeof words) != buf + n) ++announced;
    }
    EXPECT_EQ(announced, 5);
    EXPECT_EQ(G_NetRing.nTxRd, G_NetRing.nTxWr);
}

}  // namespace
