// Board time: waits that know their end move straight to it or to the first
// device event before it, a long poll of the clock moves on a bounded step,
// and the display engine's work lands where a pixel-by-pixel engine puts it.
#include <algorithm>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "core/ostimer.h"
#include "platform/board.h"
#include "platform/hw.h"
#include "support/board_fixture.h"

using platform::Board;

namespace {

constexpr uint32_t OSMR1 = 0x40A00004, OSCR = 0x40A00010, GPLR0 = 0x40E00000, GPDR0 = 0x40E0000C;
constexpr uint32_t kStUartThr = 0x40700000;
constexpr uint32_t kLcd = 0x0C000000, kDataPort = 0x0C100000;

void Engine(uint16_t op, uint32_t dst, uint32_t w, uint32_t h, uint16_t fg, uint16_t bg) {
    HwWrite16(kLcd + 0x108, static_cast<uint16_t>(dst & 0xFFFF));
    HwWrite16(kLcd + 0x10A, static_cast<uint16_t>(dst >> 16));
    HwWrite16(kLcd + 0x10C, 320);
    HwWrite16(kLcd + 0x110, static_cast<uint16_t>(w - 1));
    HwWrite16(kLcd + 0x112, static_cast<uint16_t>(h - 1));
    HwWrite16(kLcd + 0x118, fg);
    HwWrite16(kLcd + 0x114, bg);
    HwWrite16(kLcd + 0x102, op);
    HwWrite16(kLcd + 0x100, 0);
    HwWrite16(kLcd + 0x100, 0x80);
}

TEST_F(BoardTest, AWaitEndsAtItsCountOrAtTheFirstDeviceEventBefore) {
    struct Case {
        const char* name;
        std::function<uint32_t(uint32_t now)> arm;   // returns the count the wait should stop at
    };
    const Case cases[] = {
        {"nothing due: the count asked for", [](uint32_t now) { return now + 5000; }},
        {"a match first", [](uint32_t now) { HwWrite32(OSMR1, now + 2000); return now + 2000; }},
        {"a byte sent on a UART: its character time",
         [&](uint32_t now) { HwWrite32(kStUartThr, 'x'); return now + 1 + board().uart(1).TicksPerChar(); }},
        {"the display engine's fill ends (8 + 640 x 10 / 64)",
         [](uint32_t now) { Engine(platform::kOpFill, 0, 640, 10, 3, 0); return now + 10 + 8 + 100; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t start = board().Oscr();
        const uint32_t expected = c.arm(start);
        HwIdleUntil(start + 5000);
        EXPECT_EQ(board().Oscr(), expected);
        // The next wait for the same count gets there.
        while (board().Oscr() - start < 5000) HwIdleUntil(start + 5000);
        EXPECT_EQ(board().Oscr(), start + 5000);
    }
    // A count already passed ends the wait at once, one tick on.
    const uint32_t now = board().Oscr();
    HwIdleUntil(now - 10);
    EXPECT_EQ(board().Oscr(), now + 1);
}

TEST_F(BoardTest, DelayTicksTakesItsTimeWithoutIdleRounds) {
    for (uint32_t n : {1u, 18u, 3686u, 18432000u}) {
        SCOPED_TRACE(n);
        const uint64_t before = board().Now();
        DelayTicks(n);
        EXPECT_GE(board().Now() - before, n);
        EXPECT_LE(board().Now() - before, n + 3) << "two clock reads and the step to the end";
    }
}

// The shape of the main loop with nothing to do: it reads the clock and an
// input, over and over. Returns the clock values it read over `ticks`.
std::vector<uint32_t> Poll(uint32_t ticks) {
    std::vector<uint32_t> seen;
    const uint32_t start = HwRead32(OSCR);
    for (uint32_t t = start; t - start < ticks; t = HwRead32(OSCR)) {
        (void)HwRead32(GPLR0);
        seen.push_back(t);
    }
    return seen;
}

uint32_t LargestStep(const std::vector<uint32_t>& seen) {
    uint32_t largest = 0;
    for (size_t i = 1; i < seen.size(); ++i) largest = std::max(largest, seen[i] - seen[i - 1]);
    return largest;
}

TEST_F(BoardTest, ALongPollMovesTimeOnInBoundedSteps) {
    const uint32_t start = board().Oscr();
    HwWrite32(OSMR1, start + 20000);   // a device event in the middle
    const std::vector<uint32_t> seen = Poll(36864);   // 10 ms
    EXPECT_LT(seen.size(), 36864u / 40) << "the poll ran tick by tick";
    EXPECT_LE(LargestStep(seen), platform::kPollStepTicks + 2) << "a deadline kept by the firmware would be missed";
    EXPECT_NE(std::find(seen.begin(), seen.end(), start + 20000), seen.end()) << "the step passed over the match";
}

TEST_F(BoardTest, WorkBetweenClockReadsKeepsTheClockExact) {
    // Only the clock read: a computation that checks its time, not a poll.
    const uint32_t start = HwRead32(OSCR);
    uint32_t t = start;
    for (int i = 0; i < 1000; ++i) t = HwRead32(OSCR);
    EXPECT_EQ(t - start, 1000u);

    // A write ends a poll: the next reads cost one tick each again.
    (void)Poll(3686);
    HwWrite32(GPDR0, 0);
    const std::vector<uint32_t> seen = Poll(40);
    EXPECT_EQ(LargestStep(seen), 2u);
}

// Real time against a simulated host: each clock read costs the host 100 ns,
// a sleep passes exactly its time, and a stall is added by hand.
int64_t g_hostNs = 0;
int64_t g_sleptNs = 0;
int64_t SimulatedNow() { return g_hostNs += 100; }
void SimulatedSleep(int64_t ns) {
    g_hostNs += ns;
    g_sleptNs += ns;
}

class RealTimeTest : public BoardTest {
protected:
    void SetUp() override {
        mode_ = platform::TimeMode::Real;
        BoardTest::SetUp();
        g_hostNs = g_sleptNs = 0;
        board().SetHostClock({SimulatedNow, SimulatedSleep});
        start_ = board().Now();
        board().hostEvents().SetHandler([](Board& b, const platform::HostEvent& e) { b.gpio().SetInput(e.arg[0], e.arg[1] != 0); });
    }
    uint64_t HostTicks() const { return start_ + static_cast<uint64_t>(g_hostNs) * 36864 / 10000000; }
    uint64_t start_ = 0;
};

constexpr uint64_t kMs = 3686;   // OS-timer ticks, rounded down

TEST_F(RealTimeTest, AHostStallLeavesBoardTimeBehindAndScriptedEventsApart) {
    constexpr int kPin = 2;
    board().gpio().SetInput(kPin, true);
    const uint64_t t0 = board().Now();
    // A press and its release 100 ms apart, as a script gives them.
    ASSERT_TRUE(board().hostEvents().Add({t0 + 100 * kMs, 0, {kPin, 0, 0}}));
    ASSERT_TRUE(board().hostEvents().Add({t0 + 200 * kMs, 0, {kPin, 1, 0}}));
    g_hostNs += 1000000000;   // the host process stalls for a second

    // A main loop that looks at the pin once a millisecond.
    struct Change { uint64_t at; bool level; };
    std::vector<Change> changes;
    bool level = true;
    auto loop = [&](uint64_t until) {
        while (board().Now() < until) {
            const bool now = (HwRead32(GPLR0) >> kPin) & 1;
            if (now != level) changes.push_back({board().Now() - t0, level = now});
            HwIdleUntil(HwRead32(OSCR) + static_cast<uint32_t>(kMs));
            ASSERT_LE(board().Now(), HostTicks()) << "board time ran ahead of the host clock";
        }
    };
    loop(t0 + 300 * kMs);
    ASSERT_EQ(changes.size(), 2u) << "the press was lost in the catch-up";
    EXPECT_FALSE(changes[0].level);
    EXPECT_GE(changes[0].at, 100 * kMs);
    EXPECT_LE(changes[0].at, 102 * kMs);
    EXPECT_TRUE(changes[1].level);
    EXPECT_GE(changes[1].at, 200 * kMs);
    EXPECT_LE(changes[1].at, 202 * kMs);
    EXPECT_EQ(g_sleptNs, 0) << "slept while board time lagged";

    // Caught up, waits sleep for what lies ahead of the host clock, so board
    // time keeps to it from below.
    loop(t0 + 2000 * kMs);
    EXPECT_GT(g_sleptNs, 900000000);
    EXPECT_LE(HostTicks() - board().Now(), kMs / 10);
}

TEST_F(RealTimeTest, BusyFirmwareWaitsForTheHostClock) {
    // The simulated host never moves on its own: 100 ns per clock read.
    const uint64_t before = board().Now();
    for (int i = 0; i < 20000; ++i) (void)HwRead32(GPLR0);
    EXPECT_EQ(board().Now() - before, 20000u) << "an access costs its tick in real time too";
    EXPECT_LE(board().Now(), HostTicks());
    EXPECT_EQ(g_sleptNs, 0) << "a hold shorter than a host sleep spins";
}

// A colour expansion as a pixel-by-pixel engine does it: bit k of a row's
// data is pixel k - skip when it lies in the row.
void ReferenceExpansion(std::vector<uint8_t>& frame, uint32_t dst, uint32_t skip, uint32_t w,
                        const std::vector<std::vector<uint8_t>>& rows, bool transparent, uint8_t fg, uint8_t bg) {
    for (size_t r = 0; r < rows.size(); ++r)
        for (uint32_t k = 0; k < 8 * rows[r].size(); ++k) {
            if (k < skip || k >= skip + w) continue;
            const bool set = (rows[r][k / 8] >> (7 - k % 8)) & 1;
            const uint64_t a = dst + r * 640 + (k - skip);
            if (a < frame.size() && (set || !transparent)) frame[a] = set ? fg : bg;
        }
}

TEST_F(BoardTest, ColourExpansionMatchesThePixelByPixelEngine) {
    std::mt19937 rng(5);
    uint8_t* memory = board().display().Memory();
    std::vector<uint8_t> expected(memory, memory + platform::kFrameBytes);
    const uint32_t errorsBefore = board().display().Errors();
    uint32_t pixelsPastTheEnd = 0;
    for (int n = 0; n < 300; ++n) {
        const uint32_t skip = rng() % 8, w = 1 + rng() % 40, h = 1 + rng() % 3;
        const bool transparent = rng() % 2;
        const bool atTheEnd = n % 25 == 0;   // the last line: pixels past frame memory are dropped
        const uint32_t dst = atTheEnd ? platform::kFrameBytes - 640 + 600 + rng() % 40 : (rng() % 1500) * 640 + rng() % 580;
        const uint8_t fg = static_cast<uint8_t>(rng()), bg = static_cast<uint8_t>(rng());
        const uint32_t words = (skip + w + 15) / 16;
        std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>(2 * words));
        for (auto& row : rows)
            for (uint8_t& b : row) b = static_cast<uint8_t>(rng());
        Engine(static_cast<uint16_t>((transparent ? platform::kOpExpandTrans : platform::kOpExpand) + 7 - skip), dst, w, h,
               fg, bg);
        for (const auto& row : rows)
            for (uint32_t k = 0; k < words; ++k) HwWrite16(kDataPort, static_cast<uint16_t>(row[2 * k] | row[2 * k + 1] << 8));
        ReferenceExpansion(expected, dst, skip, w, rows, transparent, fg, bg);
        for (uint32_t r = 0; r < h; ++r)
            for (uint32_t k = skip; k < skip + w; ++k) {
                const bool set = (rows[r][k / 8] >> (7 - k % 8)) & 1;
                if (dst + r * 640 + (k - skip) >= platform::kFrameBytes && (set || !transparent)) ++pixelsPastTheEnd;
            }
        ASSERT_EQ(std::memcmp(memory, expected.data(), expected.size()), 0)
            << "case " << n << ": skip " << skip << " width " << w << " rows " << h << (transparent ? " transparent" : "");
    }
    EXPECT_GT(pixelsPastTheEnd, 0u);
    EXPECT_EQ(board().display().Errors() - errorsBefore, pixelsPastTheEnd) << "one error a pixel past the end";
}

}  // namespace
