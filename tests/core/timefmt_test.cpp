// Time texts and the pilot's timer.
#include "core/timefmt.h"

#include <cstring>
#include <string>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "platform/hw.h"
#include "storage/clockmem.h"
#include "storage/flash.h"
#include "support/board_fixture.h"

namespace {

class TimeFmtTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        SysLogOpen();
        I2cInit();
    }
    static void At(uint32_t h, uint32_t m, uint32_t s) { HwWrite32(RCNR, h * 3600 + m * 60 + s); }
    static std::string Log() { return SysLogSectorText(); }
};

TEST_F(TimeFmtTest, EveryKind) {
    G_DateTime = DateTime{2015, 10, 5, 30, 0, 0, 0};
    G_UptimeSec = 4321;
    struct Case { uint32_t h, m, s; int kind; int8_t offset; const char* text; };
    const Case cases[] = {
        {0, 5, 9, 0, -7, "12:05:09 AM"},
        {13, 0, 0, 0, -7, " 1:00:00 PM"},
        {12, 30, 0, 3, -7, "12:30:00 PM"},
        {11, 59, 59, 9, -7, "11:59:59 AM"},
        {9, 7, 5, 1, -7, "09:07:05 L "},
        {20, 0, 0, 2, -7, "03:00:00 Z "},
        {2, 0, 0, 2, 5, "21:00:00 Z "},
        {23, 0, 0, 2, -14, "13:00:00 Z "},
        {10, 37, 45, 5, -7, "10/30/2015 @ 10:37:45"},
        {23, 59, 1, 6, -7, "23:59:01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        At(c.h, c.m, c.s);
        G_UtcOffset = c.offset;
        EXPECT_STREQ(FormatTime(c.kind), c.text);
    }
    // Past midnight the counter still gives the hour of the day.
    At(24, 0, 3);
    EXPECT_STREQ(FormatTime(6), "00:00:03");
}

TEST_F(TimeFmtTest, MillisecondsFromTheSecondsStamp) {
    At(8, 0, 1);
    G_UptimeSec = 12;
    G_SecondStamp = ReadOsTimer();
    DelayTicks(250 * kTicksPerMs);
    std::string stamp = FormatTime(4);
    ASSERT_EQ(stamp.size(), 12u);
    EXPECT_EQ(stamp.substr(0, 9), "08:00:01.");
    int ms = std::stoi(stamp.substr(9));
    EXPECT_GE(ms, 250);
    EXPECT_LE(ms, 252);
    std::string up = FormatTime(7);
    EXPECT_EQ(up.substr(0, 3), "12.");
    // Kinds 4..7 share a buffer: the second call overwrote the first.
    const char* a = FormatTime(4);
    FormatTime(6);
    EXPECT_EQ(std::string(a).size(), 8u);
}

TEST_F(TimeFmtTest, TimerCountsDownThroughZeroOnce) {
    TimerInit();
    TimerSet(3);
    TimerToggleDir();
    TimerStart();
    for (int i = 0; i < 5; ++i) TimerTick();
    EXPECT_EQ(G_TimerSec, -2);
    std::string log = Log();
    size_t first = log.find("Timer\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(log.find("Timer\n", first + 1), std::string::npos);
    TimerStop();
    TimerTick();
    EXPECT_EQ(G_TimerSec, -2);
    // Reset counting down goes back to the preset; counting up to 0.
    TimerReset();
    EXPECT_EQ(G_TimerSec, 3);
    TimerToggleDir();
    TimerReset();
    EXPECT_EQ(G_TimerSec, 0);
    TimerStart();
    TimerTick();
    TimerTick();
    EXPECT_EQ(G_TimerSec, 2);
    EXPECT_EQ(Log().find("Timer\n", first + 1), std::string::npos);   // counting up never sounds
}

TEST_F(TimeFmtTest, AdjustClampsAndStoresThePreset) {
    struct Case { int32_t start, delta, result; };
    const Case cases[] = {{5900, 100, 5940}, {10, -30, 0}, {60, 30, 90}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        G_TimerSec = c.start;
        TimerAdjust(c.delta);
        EXPECT_EQ(G_TimerSec, c.result);
        uint8_t preset[2] = {};
        ASSERT_EQ(ReadClockMem(preset, kRegTimerPreset, 2), 0);
        EXPECT_EQ(preset[0] | preset[1] << 8, c.result);
    }
    TimerSet(9999);
    EXPECT_EQ(G_TimerSec, 5940);
    TimerSet(-5);
    EXPECT_EQ(G_TimerSec, 0);
}

}  // namespace
