// The board's own rules: interrupt delivery, timer matches, flash, the
// monitor's variables and unclaimed addresses.
#include <cstring>

#include "platform/board.h"
#include "platform/cpu.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "support/board_fixture.h"

using platform::StopReason;

namespace {

constexpr uint32_t ICMR = 0x40D00004, ICPR = 0x40D00010;
constexpr uint32_t OSMR0 = 0x40A00000, OSCR = 0x40A00010, OSSR = 0x40A00014, OIER = 0x40A0001C;
constexpr uint32_t kTickBit = 1u << 26;

int g_taken = 0;
bool g_nestedSeen = false;
bool g_inHandler = false;

void CountingHandler() {
    if (g_inHandler) g_nestedSeen = true;
    g_inHandler = true;
    ++g_taken;
    // Touch registers inside the handler: each access is an interrupt point.
    for (int i = 0; i < 5000; ++i) (void)HwRead32(OSCR);
    HwWrite32(OSSR, 1);   // acknowledge
    HwWrite32(OSMR0, HwRead32(OSCR) + 100);
    g_inHandler = false;
}

class BoardIrq : public BoardTest {
protected:
    void ArmMatch0(uint32_t in) {
        mon_assignhandler(kMonIrq, CountingHandler);
        HwWrite32(OSMR0, HwRead32(OSCR) + in);
        HwWrite32(OIER, 1);
    }
    void Spin(int n) { for (int i = 0; i < n; ++i) HwIdle(); }
};

TEST_F(BoardIrq, NoDeliveryWhileMaskedOrIrqBitSet) {
    ArmMatch0(50);
    CpuWriteCpsr(0);
    Spin(20);   // match pending, but masked
    EXPECT_EQ(g_taken, 0);
    EXPECT_TRUE(HwRead32(ICPR) & kTickBit) << "a masked source stays pending";

    CpuWriteCpsr(kCpsrIrqDisable);
    HwWrite32(ICMR, kTickBit);
    Spin(20);
    EXPECT_EQ(g_taken, 0) << "taken while the processor's IRQ bit was set";

    CpuWriteCpsr(0);   // the pending interrupt is taken at once
    EXPECT_EQ(g_taken, 1);
}

TEST_F(BoardIrq, HandlersAreNeverNested) {
    ArmMatch0(50);
    CpuWriteCpsr(0);
    HwWrite32(ICMR, kTickBit);
    Spin(5000);   // the handler re-arms 100 ticks ahead but runs for 5000
    EXPECT_GT(g_taken, 3);
    EXPECT_FALSE(g_nestedSeen);
}

uint32_t g_entryCount = 0;
void OneShotHandler() {
    g_entryCount = HwRead32(OSCR);
    ++g_taken;
    HwWrite32(OIER, 0);
    HwWrite32(OSSR, 1);
}

TEST_F(BoardIrq, MatchAcrossTheCountWrapFires) {
    board().SetOscr(0xFFFFFF00u);
    mon_assignhandler(kMonIrq, OneShotHandler);
    HwWrite32(OSMR0, 0x100);   // lands after the wrap
    HwWrite32(OIER, 1);
    HwWrite32(ICMR, kTickBit);
    CpuWriteCpsr(0);
    Spin(100);
    EXPECT_EQ(g_taken, 1);
    EXPECT_GE(g_entryCount, 0x100u);
    EXPECT_LT(g_entryCount, 0x100u + 40);
}

TEST_F(BoardTest, WatchdogFiresWhileFirmwareSpins) {
    HwWrite32(0x40A0000C, HwRead32(OSCR) + 1000);   // OSMR3
    HwWrite32(0x40A00018, 1);                        // OWER
    EXPECT_EQ(RunApp([] { for (;;) HwIdle(); }), StopReason::WatchdogReset);
}

TEST_F(BoardTest, FlashProgramsOnlyClearBitsAndEraseTakesTime) {
    const uint8_t a[4] = {0x0F, 0xF0, 0x00, 0xFF};
    ASSERT_EQ(mon_flashwrite(0x100, a, 4), 0);
    const uint8_t back[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(mon_flashwrite(0x100, back, 4), -1) << "a 0 cannot be programmed back to 1";
    EXPECT_EQ(std::memcmp(HwMemory(0x100, 4), a, 4), 0);
    EXPECT_EQ(mon_flashwrite(platform::kFlashBytes - 2, a, 4), -1) << "past the end";

    uint64_t before = board().Now();
    ASSERT_EQ(mon_flasherase(0), 0);
    EXPECT_GE(board().Now() - before, platform::Flash::kEraseTicks);
    EXPECT_EQ(HwMemory(0x100, 1)[0], 0xFF);
    EXPECT_EQ(mon_flasherase(64), -1);
}

TEST_F(BoardTest, MonitorVariablesLiveInRamAndFactoryOnesPersist) {
    EXPECT_STREQ(mon_getenv("SERIALNUM"), "51000001");
    EXPECT_EQ(mon_getenv("REBOOT"), nullptr);
    ASSERT_EQ(mon_setenv("REBOOT", "2"), 0);
    EXPECT_STREQ(mon_getenv("REBOOT"), "2");

    EXPECT_EQ(RunApp([] { mon_docommand("call $ENTRYPOINT", 1); }), StopReason::AppRestart);
    EXPECT_STREQ(mon_getenv("REBOOT"), "2") << "an application restart keeps the monitor's RAM";

    board().Reset();
    EXPECT_EQ(mon_getenv("REBOOT"), nullptr) << "a board reset loses it";
    EXPECT_STREQ(mon_getenv("SERIALNUM"), "51000001");
}

TEST_F(BoardTest, PowerOffLineStopsTheBoard) {
    constexpr uint32_t GPDR0 = 0x40E0000C, GPSR0 = 0x40E00018;
    HwWrite32(GPDR0, 1u << 19);
    EXPECT_EQ(RunApp([] { HwWrite32(GPSR0, 1u << 19); }), StopReason::PowerOff);
}

TEST_F(BoardTest, HostInputsOutliveABoardResetButNotHolds) {
    auto& gpio = board().gpio();
    gpio.HoldAtPowerOn(61);
    board().PowerOn();
    EXPECT_FALSE(gpio.Level(61)) << "held at power-on";
    gpio.SetInput(75, false);
    gpio.ScheduleInput(board().Now() + 10000, 74, false);
    board().Reset();
    EXPECT_TRUE(gpio.Level(61)) << "let go by the time of a reset";
    EXPECT_FALSE(gpio.Level(75));
    for (int i = 0; i < 1000; ++i) HwIdle();
    EXPECT_FALSE(gpio.Level(74)) << "a scheduled change was lost in the reset";
}

TEST_F(BoardTest, UnclaimedAddressReadsZero) {
    EXPECT_EQ(HwRead32(0x50000000), 0u);
    HwWrite32(0x50000000, 5);
    EXPECT_EQ(HwRead32(0x50000000), 0u);
}

TEST_F(BoardTest, GpioEdgesAreLatchedAndCleared) {
    constexpr uint32_t GRER2 = 0x40E00038, GEDR2 = 0x40E00050;
    HwWrite32(GRER2, 1u << 8);   // GPIO72 rising
    board().gpio().SetInput(72, false);
    board().gpio().ScheduleInput(board().Now() + 500, 72, true);
    for (int i = 0; i < 100; ++i) HwIdle();
    EXPECT_TRUE(HwRead32(GEDR2) & (1u << 8));
    EXPECT_TRUE(HwRead32(ICPR) & (1u << 10));
    HwWrite32(GEDR2, 1u << 8);
    EXPECT_FALSE(HwRead32(GEDR2) & (1u << 8));
}

}  // namespace
