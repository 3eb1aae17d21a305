#include <string>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "platform/hw.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"

using platform::StopReason;

namespace {

class OsTimerTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
    }
    double BoardSeconds() const { return static_cast<double>(board_->Now()) / kTicksPerSecond; }
};

TEST_F(OsTimerTest, DelayAcrossTheWrapWaitsTheFullTime) {
    board().SetOscr(0xFFFFFFFFu - 1000);
    uint64_t start = board().Now();
    DelayTicks(73720);   // 20 ms
    EXPECT_GE(board().Now() - start, 73720u);
    EXPECT_LT(board().Now() - start, 73720u + 100);
}

TEST_F(OsTimerTest, MillisecondsAndMicroseconds) {
    board().SetOscr(3686400);
    EXPECT_EQ(GetMsTime(), 1000u);
    EXPECT_EQ(GetUsTime(), 1000000u);
    G_ElapsedRef = 0xFFFFFFFFu - 3686399;   // one second before the wrap
    board().SetOscr(0);
    EXPECT_EQ(ElapsedMs(), 1000u);
}

TEST_F(OsTimerTest, KickOfZeroOrLessResetsTheBoard) {
    for (int32_t s : {0, -5}) {
        SCOPED_TRACE(s);
        InitWatchdog();
        uint64_t start = board().Now();
        EXPECT_EQ(RunApp([s] { KickWatchdog(s); }), StopReason::WatchdogReset);
        EXPECT_LT(board().Now() - start, 100u) << "within microseconds";
        board().Reset();
        InitOsTimer();
    }
}

TEST_F(OsTimerTest, KickSetsTheDeadline) {
    InitWatchdog();
    KickWatchdog(1);
    EXPECT_NEAR(HwRead32(OSMR3) - HwRead32(OSCR), kTicksPerSecond, 10);
    KickWatchdog(5000);   // clamped: a longer one would wrap and fire early
    uint32_t left = HwRead32(OSMR3) - HwRead32(OSCR);
    EXPECT_GT(left, 1164u * kTicksPerSecond);
}

TEST_F(OsTimerTest, NearMissIsLogged) {
    NvSetU32(kNvSerialDebugOn, 1);
    InitWatchdog();
    HwWrite32(OSMR3, HwRead32(OSCR) + 900 * kTicksPerMs + 20);   // a few ticks pass in the reads
    KickWatchdog(10);
    DelayTicks(20 * 320);   // the console drains at 115,200 bps
    EXPECT_NE(SerialOut().find("WD Reset @900ms\n\r"), std::string::npos) << SerialOut();
}

TEST_F(OsTimerTest, FirmwareThatStopsKickingIsResetAfter25s) {
    InitWatchdog();
    EXPECT_EQ(RunApp([] { DelayTicks(40 * kTicksPerSecond); }), StopReason::WatchdogReset);
    EXPECT_NEAR(BoardSeconds(), 25.0, 0.001);
}

}  // namespace
