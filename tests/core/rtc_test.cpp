// The I2C bus, the clock chip, the time of day and the backlight.
#include "core/rtc.h"

#include <unistd.h>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "platform/hw.h"
#include "platform/rtcchip.h"
#include "storage/flash.h"
#include "support/board_fixture.h"

namespace {

using platform::RtcChip;

class RtcTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        SysLogOpen();
        I2cInit();
    }
    RtcChip& chip() { return board().rtcChip(); }
    uint8_t ChipReg(int r) { return chip().Reg(r, board().Now()); }
    static std::string Log() { return SysLogSectorText(); }
    static void ExpectDate(uint32_t y, uint32_t mo, uint32_t dow, uint32_t d, uint32_t h, uint32_t mi, uint32_t s) {
        EXPECT_EQ(G_DateTime.nYear, y);
        EXPECT_EQ(G_DateTime.nMonth, mo);
        EXPECT_EQ(G_DateTime.nDayOfWeek, dow);
        EXPECT_EQ(G_DateTime.nDay, d);
        EXPECT_EQ(G_DateTime.nHours, h);
        EXPECT_EQ(G_DateTime.nMinutes, mi);
        EXPECT_EQ(G_DateTime.nSeconds, s);
    }
};

TEST_F(RtcTest, GetRtcTimeFillsTheRecords) {
    chip().SetTime(2015, 10, 30, 6, 10, 37, 45, board().Now());
    chip().SetReg(8, 0xF9, board().Now());   // -7
    chip().SetReg(16, 1, board().Now());
    ASSERT_EQ(GetRtcTime(), 0);
    ExpectDate(2015, 10, 6, 30, 10, 37, 45);
    EXPECT_EQ(G_UtcOffset, -7);
    EXPECT_EQ(G_ClockFormat, 1);
    EXPECT_EQ(HwRead32(RCNR), 10u * 3600 + 37 * 60 + 45);

    // A damaged offset is held to the range the knob keeps.
    chip().SetReg(8, 0x80, board().Now());   // -128
    ASSERT_EQ(GetRtcTime(), 0);
    EXPECT_EQ(G_UtcOffset, -14);
    chip().SetReg(8, 40, board().Now());
    ASSERT_EQ(GetRtcTime(), 0);
    EXPECT_EQ(G_UtcOffset, 14);
}

TEST_F(RtcTest, SetRtcTimeRoundTripsAndTheChipRunsOn) {
    G_DateTime = DateTime{2031, 12, 3, 31, 23, 59, 58};
    G_UtcOffset = 5;
    G_ClockFormat = 2;
    chip().KillBattery(RtcChip::Battery::DeadOnes, board().Now());   // halted
    ASSERT_EQ(SetRtcTime(), 0);
    const uint8_t expect[7] = {0x58, 0x59, 0x23, 3, 0x31, 0x12, 0x31};
    for (int r = 0; r < 7; ++r) EXPECT_EQ(ChipReg(r), expect[r]) << "register " << r;   // bit 7 of 0 clear
    EXPECT_EQ(ChipReg(8), 5);
    EXPECT_EQ(ChipReg(16), 2);
    EXPECT_EQ(HwRead32(RCNR), 86398u);
    DelayTicks(3 * kTicksPerSecond);
    G_DateTime = {};
    ASSERT_EQ(GetRtcTime(), 0);
    ExpectDate(2032, 1, 4, 1, 0, 0, 1);
}

TEST_F(RtcTest, ClockMemoryRangeAndPowerCycle) {
    uint8_t out[6] = {1, 2, 3, 4, 5, 6}, in[6] = {};
    EXPECT_EQ(WriteClockMem(out, 50, 6), -1);
    EXPECT_NE(Log().find("WriteClockMem: attempt to read past end\n"), std::string::npos);
    EXPECT_EQ(ReadClockMem(in, 50, 6), -1);
    EXPECT_NE(Log().find("ReadClockMem: attempt to read past end\n"), std::string::npos);
    EXPECT_EQ(ReadClockMem(in, 10, 0), -1);
    ASSERT_EQ(WriteClockMem(out, 49, 6), 0);
    board().PowerOn();   // the chip is battery-backed
    I2cInit();
    ASSERT_EQ(ReadClockMem(in, 49, 6), 0);
    EXPECT_EQ(std::memcmp(in, out, 6), 0);
    ASSERT_EQ(ReadClockMem(in, 50, 1), 0);
    EXPECT_EQ(in[0], 2);
    for (int r = 49; r < 55; ++r) EXPECT_EQ(ChipReg(r), out[r - 49]);
}

TEST_F(RtcTest, SilentChipTimesOutEachStep) {
    chip().SetSilent(true);
    uint64_t start = board().Now();
    EXPECT_EQ(GetRtcTime(), -1);
    uint64_t spent = board().Now() - start;
    EXPECT_GT(spent, 368600u);
    EXPECT_LT(spent, 2 * 368600u);   // one step timed out, nothing after it
    ExpectDate(0, 0, 0, 0, 0, 0, 0);
    EXPECT_NE(Log().find("Timed out waiting for i2c interrupt.\n"), std::string::npos);
    // Refused before any bus traffic: no time-out.
    uint8_t b[6];
    start = board().Now();
    EXPECT_EQ(ReadClockMem(b, 50, 6), -1);
    EXPECT_LT(board().Now() - start, 368600u);
    EXPECT_EQ(ReadClockMem(b, 49, 6), -1);
    EXPECT_EQ(WriteClockMem(b, 49, 6), -1);
    // The chip answers again: the driver recovers.
    chip().SetSilent(false);
    EXPECT_EQ(ReadClockMem(b, 49, 6), 0);
}

TEST_F(RtcTest, NakAndBusyAreFailures) {
    uint8_t r[7] = {};
    EXPECT_EQ(ReadRtcTime(0x50, r), -1);   // nobody at that address
    EXPECT_EQ(WriteRtcTime(0x50, r), -1);
    board().i2c().SetBusHeld(true);
    EXPECT_EQ(ReadRtcTime(kRtcAddress, r), -11);
    EXPECT_EQ(WriteClockMem(r, 10, 1), -11);
    EXPECT_NE(Log().find("bus is busy\n"), std::string::npos);
    board().i2c().SetBusHeld(false);
    EXPECT_EQ(ReadRtcTime(kRtcAddress, r), 0);
}

TEST_F(RtcTest, DateAdvancesAtMidnight) {
    chip().SetTime(2015, 12, 31, 7, 23, 59, 58, board().Now());
    ASSERT_EQ(GetRtcTime(), 0);
    DelayTicks(3 * kTicksPerSecond);
    UpdateDateTime();
    ExpectDate(2016, 1, 1, 1, 0, 0, 1);
    EXPECT_LT(HwRead32(RCNR), 86400u);

    // With the chip gone the date is carried, leap day included.
    chip().SetTime(2016, 2, 28, 1, 23, 59, 59, board().Now());
    ASSERT_EQ(GetRtcTime(), 0);
    chip().SetSilent(true);
    DelayTicks(2 * kTicksPerSecond);
    UpdateDateTime();
    ExpectDate(2016, 2, 2, 29, 0, 0, 1);
    EXPECT_EQ(HwRead32(RCNR), 1u);
}

TEST_F(RtcTest, BacklightSteps) {
    InitPwm();
    EXPECT_EQ(board().misc().Get(PWM_PERVAL0), 368u);
    EXPECT_EQ(board().misc().Get(PWM_PWDUTY0), 184u);
    EXPECT_TRUE(board().gpio().IsOutput(77));
    EXPECT_EQ(board().gpio().AltFunction(16), 2u);
    struct Case { int percent; uint32_t duty; bool on; };
    const Case cases[] = {{100, 369, true}, {10, 55, true}, {95, 203, true}, {7, 37, true}, {3, 0, false},
                          {50, 129, true}, {110, 369, true}, {255, 369, true}, {-20, 0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.percent);
        SetBacklight(c.percent);
        EXPECT_EQ(board().misc().Get(PWM_PWDUTY0), c.duty);
        EXPECT_EQ(board().gpio().Level(77), c.on);
    }
}

// The chip's memory and time kept in a file across runs of the host.
TEST(RtcChipFile, MemoryAndTimeOutliveTheHost) {
    char path[] = "/tmp/kvrtcXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    unlink(path);
    {
        RtcChip chip;
        ASSERT_TRUE(chip.OpenMemoryFile(path, 0));   // new: set from the host clock
        EXPECT_EQ(chip.Reg(20, 0), 0);
        EXPECT_EQ(chip.Reg(0, 0) & 0x80, 0);
        chip.SetReg(20, 0x5A, 0);
        chip.SetTime(2020, 6, 2, 15, 12, 0, 0, 0);
        chip.CloseMemoryFile(0);
    }
    RtcChip again;
    ASSERT_TRUE(again.OpenMemoryFile(path, 0));
    EXPECT_EQ(again.Reg(20, 0), 0x5A);
    EXPECT_EQ(again.Reg(6, 0), 0x20);
    EXPECT_EQ(again.Reg(5, 0), 0x06);
    EXPECT_EQ(again.Reg(2, 0), 0x12);   // seconds later at most
    again.CloseMemoryFile(0);
    unlink(path);
}

}  // namespace
