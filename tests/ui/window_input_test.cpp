// The kv5100 window's keys and wheel as front-panel input: what each means,
// and that it reaches the key scan and the knob through the host-event queue.
#include "sim/screenshot.h"
#include "sim/script.h"
#include "ui_fixture.h"

namespace {

using Codes = std::vector<int32_t>;
constexpr ControlInput kNone{};
constexpr ControlInput Press(int key) { return {ControlInput::Press, key}; }
constexpr ControlInput Release(int key) { return {ControlInput::Release, key}; }
constexpr ControlInput Knob(int n) { return {ControlInput::Knob, n}; }

TEST(WindowInput, KeysAndWheelMapToThePanel) {
    struct Case { const char* name; WindowKey key; bool down, repeat; ControlInput input; };
    const Case cases[] = {
        {"F1 down", WindowKey::F1, true, false, Press(1)},
        {"F5 up", WindowKey::F5, false, false, Release(5)},
        {"F3 repeat: still held", WindowKey::F3, true, true, kNone},
        {"F6 is the knob push", WindowKey::F6, true, false, Press(6)},
        {"Enter is the knob push too", WindowKey::Enter, false, false, Release(6)},
        {"+ turns one detent", WindowKey::Plus, true, false, Knob(1)},
        {"+ repeat turns on", WindowKey::Plus, true, true, Knob(1)},
        {"- turns back", WindowKey::Minus, true, false, Knob(-1)},
        {"- up does nothing", WindowKey::Minus, false, false, kNone},
        {"other keys", WindowKey::Other, true, false, kNone},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(WindowKeyInput(c.key, c.down, c.repeat), c.input);
    }
    EXPECT_EQ(WindowWheelInput(2), Knob(2));
    EXPECT_EQ(WindowWheelInput(-1), Knob(-1));
    EXPECT_EQ(WindowWheelInput(0), kNone);
}

class WindowQueueTest : public UiTest {
protected:
    void Queue(const ControlInput& in) { ASSERT_TRUE(QueueControl(board(), in)); }
    void Step(double ms) {
        Restart();
        Run(ms);
    }
};

// A tap within one frame is still a press; a held knob push gives its long
// code; the wheel's detents count one way and the other.
TEST_F(WindowQueueTest, LiveInputReachesTheKeysAndTheKnob) {
    Queue(WindowKeyInput(WindowKey::F2, true, false));
    Queue(WindowKeyInput(WindowKey::F2, false, false));
    Step(200);
    EXPECT_EQ(keys_, Codes{2});

    Queue(WindowKeyInput(WindowKey::Enter, true, false));
    Step(1500);
    Queue(WindowKeyInput(WindowKey::Enter, false, false));
    Run(1700);
    EXPECT_EQ(keys_, Codes{22});

    Queue(WindowWheelInput(1));
    Step(300);
    Queue(WindowWheelInput(1));
    Run(600);
    Queue(WindowKeyInput(WindowKey::Minus, true, false));
    Run(900);
    EXPECT_EQ(deltas_, (Codes{1, 1, -1}));
}

}  // namespace
