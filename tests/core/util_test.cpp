#include "core/util.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

namespace {

RunningAvg g_avg;   // 2 KB: kept out of the test's stack like the firmware's records

// The mean AvgAdd reports once the window's sum is `sum`: the window is
// primed so that one added sample brings the sum to that value.
int32_t MeanForSum(int64_t sum, int32_t n) {
    const int64_t primed = sum / n;
    AvgInit(&g_avg, static_cast<int32_t>(primed), n);
    return AvgAdd(&g_avg, static_cast<int32_t>(sum - (n - 1) * primed));
}

TEST(RunningAvg, WindowOfFourDrainsToZero) {
    AvgInit(&g_avg, 100, 4);
    EXPECT_EQ(g_avg.nMean, 100);
    EXPECT_EQ(g_avg.nSum, 400);
    const int32_t want[] = {75, 50, 25, 0, 0};
    for (int32_t w : want) EXPECT_EQ(AvgAdd(&g_avg, 0), w);
    EXPECT_EQ(g_avg.nMean, 0);
}

// Expected means from an independent single-precision model (float32 quotient,
// exact half-away rounding, saturation).
TEST(RunningAvg, MeanIsSinglePrecisionRoundedHalfAway) {
    struct Case { const char* name; int64_t sum; int32_t n; int32_t mean; };
    const Case cases[] = {
        {"half rounds up",                         2,      4,  1},
        {"negative half rounds down",             -2,      4, -1},
        {"two thirds",                             5,      3,  2},
        {"negative two thirds",                   -5,      3, -2},
        {"small over a full window",               7,    500,  0},
        {"sum beyond float's integers",     16777217,      1, 16777216},
        {"odd above 2^23 stays itself",      8388609,      1, 8388609},
        {"negative odd above 2^23",         -8388609,      1, -8388609},
        {"float quotient lands on a half",  10503707,      5, 2100742},
        {"largest sum saturates",            INT32_MAX,    1, INT32_MAX},
        {"smallest sum",                     INT32_MIN,    1, INT32_MIN},
        {"random 1",                       527858757,    380, 1389102},
        {"random 2",                       129020197,    431, 299351},
        {"random 3",                      1904202612,    333, 5718326},
        {"random 4",                     -1473812339,    191, -7716295},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(MeanForSum(c.sum, c.n), c.mean);
        EXPECT_EQ(g_avg.nSum, c.sum);
    }
}

TEST(RunningAvg, LengthOutsideRangeIsClamped) {
    AvgInit(&g_avg, 7, -3);
    EXPECT_EQ(g_avg.nLen, 0);
    EXPECT_EQ(g_avg.nSum, 0);
    EXPECT_EQ(g_avg.nMean, 7);
    EXPECT_EQ(AvgAdd(&g_avg, 42), 42);
    EXPECT_EQ(AvgAdd(&g_avg, -9), -9);

    AvgInit(&g_avg, 7, 900);
    EXPECT_EQ(g_avg.nLen, 500);
    EXPECT_EQ(g_avg.nSum, 3500);
    EXPECT_EQ(g_avg.nSlot[499], 7);
}

// With 500 samples head and tail share a slot: the old sample must still
// leave the sum.
TEST(RunningAvg, FullWindowFollowsNewSamples) {
    AvgInit(&g_avg, 0, 500);
    for (int32_t k = 1; k <= 500; ++k) {
        const int32_t mean = AvgAdd(&g_avg, 1000);
        if (k % 50 == 0) {
            EXPECT_EQ(mean, 2 * k) << "after " << k;
        }
    }
    EXPECT_EQ(AvgAdd(&g_avg, 0), 998);
}

TEST(RunningAvg, IndicesWrapAtFiveHundred) {
    AvgInit(&g_avg, 0, 3);
    for (int32_t i = 1; i <= 1200; ++i) {
        const int32_t mean = AvgAdd(&g_avg, i);
        if (i >= 3) {
            ASSERT_EQ(mean, i - 1) << "sample " << i;
        }
        ASSERT_GE(g_avg.nHead, 0);
        ASSERT_LT(g_avg.nHead, 500);
        ASSERT_LT(g_avg.nTail, 500);
    }
}

TEST(RunningAvg, SumWrapsAsThirtyTwoBits) {
    AvgInit(&g_avg, INT32_MAX, 2);
    EXPECT_EQ(g_avg.nSum, -2);
    EXPECT_EQ(g_avg.nMean, INT32_MAX);
    EXPECT_EQ(AvgAdd(&g_avg, INT32_MAX), -1);
}

TEST(TrendDetector, Output) {
    struct Case {
        const char* name; int32_t len; int32_t threshold;
        std::vector<int32_t> samples; std::vector<int32_t> outputs;
    };
    const Case cases[] = {
        {"rising past threshold", 3, 5, {10, 10, 10, 13, 16, 19}, {1, 1, 0, 0, 1, 1}},
        {"rise within threshold", 3, 5, {0, 0, 2, 4, 5},          {0, 0, 0, 0, 0}},
        {"falling past threshold",3, 5, {9, 9, 9, 3, 3, 3},       {1, 1, 0, -1, -1, 0}},
        {"fall within threshold", 3, 5, {9, 9, 9, 6, 4},          {1, 1, 0, 0, 0}},
        {"short history grows",   0, 0, {0, 1, 1, -1},            {0, 1, 0, -1}},
        {"rise equal to threshold",2, 5, {0, 5, 11},              {0, 0, 1}},
        {"extreme samples",       2, 0, {INT32_MAX, INT32_MIN},   {1, -1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TrendDetector t{};
        t.nHistLen = c.len;
        t.nThreshold = c.threshold;
        std::vector<int32_t> got;
        for (int32_t s : c.samples) got.push_back(TrendStep(&t, s));
        EXPECT_EQ(got, c.outputs);
        EXPECT_EQ(t.nOutput, got.back());
        EXPECT_GE(t.nHistLen, 2);
    }
}

TEST(TrendDetector, HistoryNeverExceedsItsSlots) {
    TrendDetector t{};
    t.nHistLen = 1000;
    t.nThreshold = 10;
    TrendStep(&t, 100);
    for (int32_t i = 0; i < 119; ++i) TrendStep(&t, 0);
    EXPECT_EQ(t.nOutput, -1);          // the 100 is the first of 120 samples
    EXPECT_EQ(TrendStep(&t, 0), 0);    // and now out of the window
    EXPECT_EQ(t.nHistLen, 120);
    EXPECT_EQ(t.nThreshold, 10);
}

TEST(StepsBetween, RingDistance) {
    struct Case { uint32_t from, to, n, steps; };
    const Case cases[] = {
        {250,   3, 256,   9},   // across the wrap
        {  3,   3, 256,   0},
        {  3, 250, 256, 247},
        {255,   0, 256,   1},
        {  0, 255, 256, 255},
        {  5, 300, 256, 256},   // unreachable: stops at n
        {300,   5, 256, 256},
        {  1,   2,   0,   0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(StepsBetween(c.from, c.to, c.n), c.steps)
            << c.from << " -> " << c.to << " of " << c.n;
    }
}

std::vector<uint8_t> LcgBytes(uint32_t n, uint32_t seed) {
    std::vector<uint8_t> out(n);
    uint32_t x = seed;
    for (auto& b : out) {
        x = x * 1103515245u + 12345u;
        b = static_cast<uint8_t>(x >> 16);
    }
    return out;
}

TEST(Crc32, CheckValues) {
    EXPECT_EQ(Crc32("abc", 3), 0x352441C2u);
    EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(Crc32("abc", 0), 0u);
}

// Expected values from an independent CRC-32 (Python's binascii.crc32) over
// the same pseudo-random bytes.
TEST(Crc32, MatchesReferenceOnPseudoRandomBuffers) {
    struct Case { uint32_t len; uint32_t crc; };
    const Case cases[] = {
        {1, 0xA0058808u}, {3, 0x5FD8C0F7u}, {64, 0x7892D81Du},
        {255, 0x4D44F39Cu}, {984, 0xC5BAD456u}, {4096, 0xA56501DBu},
    };
    for (const auto& c : cases) {
        const auto bytes = LcgBytes(c.len, c.len);
        EXPECT_EQ(Crc32(bytes.data(), c.len), c.crc) << "length " << c.len;
    }
}

TEST(StrTrim, Left) {
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"  text", "text"},
        {"\t\r\n\v\f x y ", "x y "},
        {"   ", ""},
        {"", ""},
        {"abc", "abc"},
        {"\xA0" "a", "\xA0" "a"},   // not a space in the C locale
        {" a much longer text than the blank in front of it", "a much longer text than the blank in front of it"},
    };
    for (const auto& c : cases) {
        char buf[64];
        std::memset(buf, '#', sizeof(buf));
        std::strcpy(buf, c.in);
        StrTrimLeft(buf);
        EXPECT_STREQ(buf, c.out) << "from \"" << c.in << "\"";
    }
}

TEST(StrTrim, Right) {
    struct Case { const char* in; const char* out; };
    const Case cases[] = {
        {"text \r\n", "text"},
        {"a b\t", "a b"},
        {"   ", ""},
        {"", ""},
        {"  lead", "  lead"},
        {"caf\xE9", "caf\xE9"},
    };
    for (const auto& c : cases) {
        char buf[32];
        std::strcpy(buf, c.in);
        StrTrimRight(buf);
        EXPECT_STREQ(buf, c.out) << "from \"" << c.in << "\"";
        // Every removed character becomes a terminator.
        for (size_t i = std::strlen(c.out); i < std::strlen(c.in); ++i) EXPECT_EQ(buf[i], '\0');
    }
}

}  // namespace

TEST(Util, WrapIndexSteps) {
    struct Case { int32_t index, count, delta, expected; };
    const Case cases[] = {
        {0, 0, 1, 0},   {3, 0, -1, 0},  {2, -1, 1, 0},             // no entries: always 0
        {0, 8, 1, 1},   {7, 8, 1, 0},   {0, 8, -1, 7},  {5, 8, -1, 4},
        {0, 8, 9, 1},   {7, 8, -9, 6},  {0, 3, 19, 1},  {0, 20, -19, 1},
        {0, 8, -19, 3},                                            // kept: not the modulus 5
        {0, 20, -1, 19}, {19, 20, 1, 0}, {2, 9, 19, 3},
        {INT32_MAX, 8, 1, 0},                                      // no overflow of index + delta
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.index << " " << c.count << " " << c.delta);
        EXPECT_EQ(WrapIndex(c.index, c.count, c.delta), c.expected);
    }
}

TEST(Util, FormatScaledSplitsTheRoundedValue) {
    struct Case { int32_t value, decimals, width; const char* text; };
    const Case cases[] = {
        {180, 1, 3, " 18.0"},   // 17.96 rounded to tenths first
        {-5, 1, 3, " -0.5"},    // the sign survives a zero whole part
        {854, 1, 1, "85.4"},    {-25, 1, 1, "-2.5"},  {600, 2, 1, "6.00"},
        {100, 2, 1, "1.00"},    {159, 2, 1, "1.59"},  {-1, 2, 1, "-0.01"},
        {7, 0, 4, "   7"},      {-7, 0, 1, "-7"},
        {INT32_MAX, 1, 3, "214748364.7"}, {INT32_MIN, 1, 3, "-214748364.8"},
        {INT32_MIN, 2, 1, "-21474836.48"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        char buf[32];
        const int32_t n = FormatScaled(buf, sizeof buf, c.value, c.decimals, c.width);
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(n, static_cast<int32_t>(strlen(c.text)));
    }
    char small[4];
    EXPECT_EQ(FormatScaled(small, sizeof small, 12345, 1, 1), 3);   // cut, always terminated
    EXPECT_STREQ(small, "123");
}
