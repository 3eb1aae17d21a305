// The script's time lines: a run turns to the host clock's pace and back to
// the board's own, going on from the count it has reached.
#include <string>
#include <time.h>

#include "platform/ostimer.h"
#include "sim/script.h"
#include "support/board_fixture.h"

namespace {

using platform::TimeMode;

constexpr uint64_t kTicksPerMs = platform::kOsTimerHz / 1000;

int64_t HostMs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

void SleepMs(long ms) {
    timespec ts{0, ms * 1000000};
    nanosleep(&ts, nullptr);
}

TEST_F(BoardTest, TimeLinesTurnTheRunToTheHostClockAndBack) {
    std::string error;
    ASSERT_TRUE(LoadScriptText(board(), "1 time real\n2 time virtual\n", "t", error)) << error;
    board().hostEvents().Advance(1 * platform::kOsTimerHz);
    ASSERT_EQ(board().Mode(), TimeMode::Real);
    // Board time may not run ahead of the host clock: 30 ms of it take at
    // least the host's 30 ms.
    const int64_t before = HostMs();
    board().Spend(30 * kTicksPerMs);
    EXPECT_GE(HostMs() - before, 29) << "board time ran ahead of the host clock";
    const uint64_t real = board().Now();

    board().hostEvents().Advance(2 * platform::kOsTimerHz);
    ASSERT_EQ(board().Mode(), TimeMode::Virtual);
    const uint64_t virt = board().Now();
    SleepMs(30);
    board().Spend(0);
    EXPECT_EQ(board().Now(), virt) << "idle host time is no board time";
    EXPECT_GE(virt, real) << "the count never goes back";

    EXPECT_FALSE(LoadScriptText(board(), "1 time fast\n", "t", error));
    EXPECT_EQ(error, "t:1: time takes virtual or real");
}

}  // namespace
