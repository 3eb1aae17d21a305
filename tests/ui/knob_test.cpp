#include "ui_fixture.h"

namespace {

using Deltas = std::vector<int32_t>;

class KnobTest : public UiTest {};

TEST_F(KnobTest, AccelerationByDetentSpacing) {
    struct Case { const char* name; int detents; double spacing; Deltas deltas; };
    const Case cases[] = {
        {"slow single detents", 3, 100, {1, 1}},
        {"two detents 25 ms apart", 2, 25, {9}},
        {"two detents 15 ms apart", -2, 15, {-19}},
        {"slow turn the other way", -3, 200, {-1, -1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Run(3000);   // rest: the first detent only re-arms the interval
        Restart();
        Turn(c.detents, 10, c.spacing);
        Run(10 + 3 * c.spacing * 3 + 50);
        EXPECT_EQ(deltas_, c.deltas);
    }
}

TEST_F(KnobTest, DetentAfterRestIsDropped) {
    Restart();
    Turn(1, 3000, 0);
    Run(3100);
    EXPECT_TRUE(deltas_.empty()) << "interval since boot over 2 s";
    Restart();
    Turn(1, 3000, 0);
    Run(3100);
    EXPECT_TRUE(deltas_.empty()) << "3 s of rest";
    Restart();
    Turn(1, 500, 0);
    Run(600);
    EXPECT_EQ(deltas_, Deltas{1});
}

TEST_F(KnobTest, StepClamp) {
    EXPECT_EQ(KnobStepClamp(3, -5, 10, 0), 0u);
    EXPECT_EQ(KnobStepClamp(3, 20, 10, 0), 10u);
    EXPECT_EQ(KnobStepClamp(1990, 10, 2000, 0), 2000u);
    EXPECT_EQ(KnobStepClamp(0, -10, 2000, 5), 5u);
}

}  // namespace
