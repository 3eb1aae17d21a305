#include <cstring>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "storage/flash.h"
#include "support/board_fixture.h"
#include "ui/knob.h"

using platform::StopReason;

namespace {

std::vector<uint64_t> g_tickEntries;

// Stands in front of the dispatcher to see when each tick was taken.
void RecordingIrq() {
    if (HwRead32(OSSR) & 1) g_tickEntries.push_back(platform::Board::Current()->Now());
    IrqDispatch();
}

class IrqTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        g_tickEntries.clear();
        InitOsTimer();
        InstallHandlers();
        IrqStateInit();
    }
    void StartTick() {
        mon_assignhandler(kMonIrq, RecordingIrq);
        HwWrite32(OSMR0, ReadOsTimer() + 18432);
        HwWrite32(OIER, HwRead32(OIER) | 1);
        IntEnable(kIntOsTimer0);
        start_ = board().Now();
    }
    uint64_t start_ = 0;
};

TEST_F(IrqTest, TickEveryMillisecondAfterAFirstOneAt5ms) {
    StartTick();
    DelayTicks(kTicksPerSecond / 10);
    ASSERT_GT(g_tickEntries.size(), 90u);
    EXPECT_NEAR(static_cast<double>(g_tickEntries[0] - start_), 18432, 40);
    for (size_t i = 1; i < g_tickEntries.size(); ++i) {
        uint64_t gap = g_tickEntries[i] - g_tickEntries[i - 1];
        EXPECT_GE(gap, kTickTicks) << "tick " << i;
        EXPECT_LE(gap, kTickTicks + 200) << "tick " << i;
    }
}

TEST_F(IrqTest, TicksMissedDuringAHoldAreDroppedAndLateEventsDelivered) {
    StartTick();
    EnableRtcTick();
    DelayTicks(20 * kTicksPerMs);
    AppIntsOffRestore(0);
    size_t before = g_tickEntries.size();
    G_SecondTick = 0;
    DelayTicks(kTicksPerSecond + 10 * kTicksPerMs);   // across a second, ten ticks missed
    EXPECT_EQ(g_tickEntries.size(), before) << "a tick during the hold";
    EXPECT_EQ(G_SecondTick, 0u);

    uint64_t restored = board().Now();
    AppIntsOffRestore(1);
    EXPECT_EQ(G_SecondTick, 1u) << "the second raised during the hold is served at restore";
    DelayTicks(3 * kTicksPerMs);
    ASSERT_GT(g_tickEntries.size(), before);
    EXPECT_GE(g_tickEntries[before] - restored, kTickTicks) << "missed ticks were queued";
    EXPECT_LE(g_tickEntries.size() - before, 3u);
}

// A loop that calls the monitor every few microseconds (the administrator
// screen waiting on its remote files item) still gets its tick, and with it
// the keys and the knob.
TEST_F(IrqTest, FrequentShortHoldsDoNotStarveTheTick) {
    StartTick();
    DelayTicks(10 * kTicksPerMs);
    const size_t before = g_tickEntries.size();
    const uint64_t from = board().Now();
    while (board().Now() - from < 20 * kTicksPerMs) {
        AppIntsOffRestore(0);
        AppIntsOffRestore(1);
        for (int i = 0; i < 8; ++i) (void)ReadOsTimer();
    }
    EXPECT_GE(g_tickEntries.size() - before, 15u) << "about one a millisecond";
}

TEST_F(IrqTest, MonitorCallsHoldInterruptsOff) {
    StartTick();
    DelayTicks(5 * kTicksPerMs);
    size_t before = g_tickEntries.size();
    ASSERT_EQ(FlashErase(10), 0);   // 0.7 s inside the monitor
    EXPECT_LE(g_tickEntries.size(), before + 1);
    EXPECT_EQ(HwRead32(ICMR) & kIntOsTimer0, kIntOsTimer0) << "restored after the call";
}

TEST_F(IrqTest, PageFlipWaitsForHoldAndReadyAndDrawsOnTheHiddenPage) {
    auto waitReady = [](bool ready) {
        while (((HwRead16(0x0C00003A) & 0x80) != 0) != ready) HwIdle();
    };
    G_FlipCtl.nFlipReq = 1;
    G_FlipCtl.nFlipHold = 1;
    waitReady(true);
    PageFlip();
    EXPECT_EQ(G_FlipCtl.nFlipReq, 1u) << "flipped during the hold";

    G_FlipCtl.nFlipHold = 0;
    waitReady(false);
    PageFlip();
    EXPECT_EQ(G_FlipCtl.nFlipReq, 1u) << "flipped while the display was not ready";

    for (int i = 0; i < 4; ++i) {
        waitReady(true);
        G_FlipCtl.nFlipReq = 1;
        PageFlip();
        EXPECT_EQ(G_FlipCtl.nFlipReq, 0u);
        bool shown1 = G_FlipCtl.nPageShown == 1;
        EXPECT_EQ(G_FlipCtl.nDrawPageY, shown1 ? 0u : 480u);
        EXPECT_EQ(board().display().ShownStartBytes(), shown1 ? 480u * 640u : 0u);
    }
}

TEST_F(IrqTest, FaultCountsRebootAndRestartsWithMonitorRamKept) {
    SysLogOpen();
    EnableRtcTick();
    AppIntsOffRestore(0);
    DelayTicks(kTicksPerSecond + kTicksPerMs);   // a second is pending when the fault comes
    G_RebootCount = 0;
    EXPECT_EQ(RunApp([this] { board().RaiseException(kMonDataAbort); }), StopReason::AppRestart);
    EXPECT_STREQ(mon_getenv("REBOOT"), "1");
    EXPECT_EQ(G_SecondTick, 0u) << "an interrupt was taken inside the fault handler";
    EXPECT_EQ(RunApp([this] { board().RaiseException(kMonUndefined); }), StopReason::AppRestart);
    EXPECT_STREQ(mon_getenv("REBOOT"), "2");
    G_RebootCount = 7;
    EXPECT_EQ(RunApp([this] { board().RaiseException(kMonPrefetchAbort); }), StopReason::AppRestart);
    EXPECT_STREQ(mon_getenv("REBOOT"), "3") << "3 stands for three and more";

    const char* log = reinterpret_cast<const char*>(FlashPtr(0x780000, 0x20000));
    std::string all;
    for (int r = 0; r < 16; ++r) all += std::string(log + r * 64, strnlen(log + r * 64, 64));
    EXPECT_NE(all.find("REBOOT:1 Data Abort \n"), std::string::npos);
    EXPECT_NE(all.find("REBOOT:2 Undefined Instruction \n"), std::string::npos);
    EXPECT_NE(all.find("REBOOT:8 Prefetch Abort\n"), std::string::npos);

    // Software interrupt and FIQ only note themselves in the RAM log.
    InitRamLog(0);
    board().RaiseException(kMonSoftware);
    board().RaiseException(kMonFiq);
    EXPECT_STREQ(G_RamLog.szLine[0], "INFO: Software Interrupt\n");
    EXPECT_STREQ(G_RamLog.szLine[1], "INFO: Fast IRQ \n");
}

void LoggingIrq() {
    RamLogPrintf("IRQ at %u\n", static_cast<unsigned>(HwRead32(OSCR)));
    IrqDispatch();
}

TEST_F(IrqTest, RamLogWorksFromAnInterruptHandler) {
    InitRamLog(0);
    StartTick();
    mon_assignhandler(kMonIrq, LoggingIrq);
    DelayTicks(30 * kTicksPerMs);
    ASSERT_GT(G_RamLog.nCount, 20u);
    EXPECT_EQ(std::strncmp(G_RamLog.szLine[0], "IRQ at ", 7), 0);
}

TEST_F(IrqTest, KnobEncoderEdgesCountSteps) {
    constexpr uint32_t GRER2 = 0x40E00038;
    HwWrite32(GRER2, 1u << 1);   // GPIO65 rising
    IntEnable(kIntGpio);
    auto& gpio = board().gpio();
    gpio.SetInput(65, false);
    for (bool phaseB : {false, false, true}) {   // +1, +1, -1
        gpio.SetInput(64, phaseB);
        gpio.SetInput(65, true);
        DelayTicks(1000);
        gpio.SetInput(65, false);
        DelayTicks(1000);
    }
    EXPECT_EQ(G_Knob0.nSteps, 1);
    EXPECT_EQ(G_Knob0.nLastDir, -1);
    EXPECT_NEAR(G_Knob0.nStepInterval, 2000, 50);
}

}  // namespace
