#include "core/spi.h"

#include <vector>

#include "core/adc.h"
#include "core/ostimer.h"
#include "engine/instrument.h"
#include "platform/hw.h"
#include "support/board_fixture.h"

namespace {

class SpiTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InitSsp();
    }
};

TEST_F(SpiTest, ConvertersAnswerPerInputAndMultiplexerCode) {
    for (int input = 0; input < 8; ++input) board().airAdc().SetInput(input, static_cast<uint16_t>(1000 + input));
    for (int input = 0; input < 8; ++input) {
        uint16_t w = static_cast<uint16_t>(0x87 + 0x10 * input);
        EXPECT_EQ(SpiTransfer(kSpiAir, &w), 1);
        EXPECT_EQ(w, 1000 + input) << input;
    }
    for (int code = 0; code < 8; ++code) board().engineAdc().SetInput(9, code, static_cast<uint16_t>(100 * code + 7));
    board().engineAdc().SetInput(4, -1, 4095);
    const int32_t egt[8] = {26, 27, 28, 29, 30, 31, 32, 33};
    std::vector<int> seen;
    for (int32_t inst : egt) {
        SetAdcChannelMode(inst);
        uint16_t w = static_cast<uint16_t>(G_InstAd[inst].nAdCmd);
        SpiTransfer(kSpiEngine, &w);
        seen.push_back(w);
        uint16_t m = 0x4C00;   // manifold is outside the multiplexer
        SpiTransfer(kSpiEngine, &m);
        EXPECT_EQ(m, 4095);
    }
    // Groups 44, 19, 20, 15, 47, 21, 22, 14 select codes 0, 1, 2, 3, 4, 5, 6, 7.
    EXPECT_EQ(seen, (std::vector<int>{7, 107, 207, 307, 407, 507, 607, 707}));
    uint16_t w = 0x1234;
    EXPECT_EQ(SpiTransfer(1234, &w), 0);
    EXPECT_EQ(board().ssp().Collisions(), 0u);
}

TEST_F(SpiTest, FilterClosesAQuarterOfTheDistancePerReading) {
    board().airAdc().SetInput(6, 1000);   // main volts, shift 2, scale 8
    std::vector<int32_t> got;
    for (int i = 0; i < 4; ++i) got.push_back(ReadAdc(kInstMainVolts));
    EXPECT_EQ(got, (std::vector<int32_t>{250, 437, 578, 683}));

    board().engineAdc().SetInput(6, -1, 3000);   // elevator trim: no filter
    EXPECT_EQ(ReadAdc(23), 3000);
    board().engineAdc().SetInput(6, -1, 100);
    EXPECT_EQ(ReadAdc(23), 100);
}

TEST_F(SpiTest, OatSpikeIsHeldThenPassedAndTheCounterDrains) {
    InstAd& oat = G_InstAd[6];
    oat.nHoldLimit = 3;
    oat.nFiltShift = 0;                     // follow at once, to see the hold alone
    board().airAdc().SetInput(7, 20000);    // >> 1: 10000, in range
    EXPECT_EQ(ReadAdc(6), 10000);
    board().airAdc().SetInput(7, 30000);    // 15000: out of range
    std::vector<int32_t> got;
    for (int i = 0; i < 5; ++i) got.push_back(ReadAdc(6));
    EXPECT_EQ(got, (std::vector<int32_t>{10000, 10000, 10000, 15000, 15000}));
    board().airAdc().SetInput(7, 18000);    // 9000: back in range, held while the counter drains
    got.clear();
    for (int i = 0; i < 4; ++i) got.push_back(ReadAdc(6));
    EXPECT_EQ(got, (std::vector<int32_t>{15000, 15000, 15000, 9000}));
}

TEST_F(SpiTest, ZeroSampleCountIsGuarded) {
    G_InstAd[5].nSamples = 0;
    board().airAdc().SetInput(6, 800);
    EXPECT_EQ(ReadAdc(kInstMainVolts), 200);
}

TEST_F(SpiTest, VoltageRoundRobinReadsEachSupplyEveryEighthStep) {
    for (int i = 0; i < 16; ++i) SampleAdcStep();
    EXPECT_EQ(board().airAdc().Conversions(6), 2u * 15);   // main
    EXPECT_EQ(board().airAdc().Conversions(3), 2u * 15);   // aux
    EXPECT_EQ(board().airAdc().Conversions(2), 2u * 15);   // battery
    EXPECT_EQ(board().airAdc().Conversions(0), 0u);
}

TEST(AvgCirc, SlopeOverTheWindow) {
    static AvgCirc avg;
    struct Case { const char* name; int32_t len; uint32_t t0; uint32_t dtStep; int32_t dvStep; double slope; };
    const Case cases[] = {
        {"equal times give dv / 1", 10, 1000, 0, 3, 30.0},
        {"window 1 on a ramp", 1, 0, 4, 2, 0.5},
        {"window 10 on a ramp", 10, 0, 4, 2, 0.5},
        {"window 499 on a ramp", 499, 0, 4, 2, 0.5},
        {"window 500 on a ramp", 500, 0, 4, 2, 0.5},
        {"length 800 is 500", 800, 0, 4, 2, 0.5},
        {"length 0 is 1", 0, 0, 4, 2, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AvgCircInit(&avg, c.len, 0, c.t0);
        EXPECT_GE(avg.nIdx, 0);
        EXPECT_LT(avg.nIdx, kAvgCircSlots);
        for (int i = 1; i <= 1200; ++i) AvgCircAdd(&avg, i * c.dvStep, c.t0 + static_cast<uint32_t>(i) * c.dtStep);
        EXPECT_DOUBLE_EQ(AvgCircSlope(&avg), c.slope);
    }
    AvgCircInit(&avg, 2, 0, 0xFFFFFFFFu - 255);
    AvgCircAdd(&avg, 512, 256);
    EXPECT_DOUBLE_EQ(AvgCircSlope(&avg), 1.0);   // 512 over 512 ticks across the wrap
}

}  // namespace
