// The script's air-data ramp: the converter input moves in steps from its
// present counts to the target over board time, and lines may not cut in.
#include <string>

#include "platform/ostimer.h"
#include "sim/script.h"
#include "support/board_fixture.h"

namespace {

class ScriptRamp : public BoardTest {
protected:
    uint16_t AltitudeAt(double seconds) {
        board().hostEvents().Advance(static_cast<uint64_t>(seconds * platform::kOsTimerHz));
        return board().airAdc().Input(0);
    }
};

TEST_F(ScriptRamp, TheInputMovesLinearlyFromItsPresentCounts) {
    std::string error;
    ASSERT_TRUE(LoadScriptText(board(), "1 adc air 0 1000\n2 adc air 0 3000 4\n+5 adc air 0 2000 1\n", "t", error))
        << error;
    // Hand values: 1000 -> 3000 over 2 s..6 s is 500 counts a second.
    // Steps of 25 ms are 12.5 counts; the ends are exact.
    const struct { double t; int counts, slack; } cases[] = {
        {1.5, 1000, 0}, {2.0, 1000, 0}, {3.0, 1500, 13}, {4.0, 2000, 13}, {5.5, 2750, 13}, {6.001, 3000, 0},
        {6.9, 3000, 0}, {7.5, 2500, 25}, {8.001, 2000, 0}, {60.0, 2000, 0},
    };
    for (const auto& c : cases) EXPECT_NEAR(AltitudeAt(c.t), c.counts, c.slack) << "at " << c.t << " s";
}

TEST_F(ScriptRamp, BadRampsAreRefusedWithTheLine) {
    const struct { const char* text; const char* message; } cases[] = {
        {"1 adc air 0 100 0\n", "t:1: air ramp SECONDS"},
        {"1 adc air 0 100 -2\n", "t:1: air ramp SECONDS"},
        {"1 adc air 0 100 x\n", "t:1: air ramp SECONDS"},
        {"1 adc air 0 100 10\n5 adc air 0 50\n", "t:2: air input 0 is still ramping"},
        {"1 adc air 0 100 10\n5 adc air 0 50 1\n", "t:2: air input 0 is still ramping"},
        {"1 adc air 0 100 10 7\n", "t:1: unexpected 7"},
    };
    for (const auto& c : cases) {
        std::string error;
        EXPECT_FALSE(LoadScriptText(board(), c.text, "t", error)) << c.text;
        EXPECT_EQ(error.rfind(c.message, 0), 0u) << c.text << " gave " << error;
    }
    std::string error;
    EXPECT_TRUE(LoadScriptText(board(), "1 adc air 0 100 10\n5 adc air 5 50 1\n11 adc air 0 7\n", "t", error))
        << error;    // another input, and the same one once the ramp is over
}

}  // namespace
