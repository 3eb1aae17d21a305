// Discrete inputs through their pins, sampled by the running 1 ms tick.
#include <cstring>
#include <string>
#include <vector>

#include "core/discrete.h"
#include "core/util.h"
#include "gui/gui.h"
#include "ui/pages.h"
#include "../ui/ui_fixture.h"

namespace {

constexpr int kPin1 = 74;

class DiscreteTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        for (int pin = kPin1; pin < kPin1 + 3; ++pin) board().gpio().SetInput(pin, true);
        Restart();
    }

    // Input n (1..3) pulled low (active) over [fromMs, fromMs + lengthMs).
    void Close(int n, double fromMs, double lengthMs) {
        board().gpio().ScheduleInput(At(fromMs), kPin1 + n - 1, false);
        board().gpio().ScheduleInput(At(fromMs + lengthMs), kPin1 + n - 1, true);
    }

    // Runs for `ms`, noting every state seen; key events are left in the
    // mailbox unless `takeKeys`.
    void Watch(double ms, bool takeKeys = true) {
        const uint64_t end = At(ms);
        board().Reschedule();
        RunApp([&] {
            while (board().Now() < end) {
                if (states_.empty() || states_.back() != G_DiscreteIn.nState) states_.push_back(G_DiscreteIn.nState);
                if (takeKeys && G_KeyEvent != 0) {
                    keys_.push_back(G_KeyEvent);
                    G_KeyEvent = 0;
                }
                HwIdle();
            }
        });
    }

    bool EverActive(uint32_t bit) const {
        for (uint32_t s : states_)
            if (s & bit) return true;
        return false;
    }

    std::vector<uint32_t> states_;
};

TEST_F(DiscreteTest, ContactCountsOnlyAfterNineConsecutiveSamples) {
    struct Case { const char* name; std::vector<std::pair<double, double>> closed; bool active; };
    const Case cases[] = {
        {"5 ms blip", {{10, 5}}, false},
        {"7 ms blip", {{10, 7}}, false},
        {"bouncing 6 ms on, 1 ms off", {{10, 6}, {17, 6}, {24, 6}, {31, 6}}, false},
        {"held 12 ms", {{10, 12}}, true},
        {"held 200 ms", {{10, 200}}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        states_.clear();
        for (auto [from, len] : c.closed) Close(1, from, len);
        Watch(300);
        EXPECT_EQ(EverActive(1), c.active);
        EXPECT_EQ(G_DiscreteIn.nState, 0u) << "every contact is open again";
    }
}

TEST_F(DiscreteTest, InvertedInputIsActiveWhilePinIsHigh) {
    G_DiscreteIn.input[1].nInvert = 1;
    Watch(20);
    EXPECT_EQ(G_DiscreteIn.nState, 2u);
    Close(2, 25, 100);
    Watch(60);
    EXPECT_EQ(G_DiscreteIn.nState, 0u);
    Watch(200);
    EXPECT_EQ(G_DiscreteIn.nState, 2u);
}

// An inverted input held inactive (pin low) does not fire on a 1 ms glitch
// of its pin: the window is applied after the inversion.
TEST_F(DiscreteTest, InvertedInputIgnoresAOneMillisecondGlitch) {
    G_DiscreteIn.input[1].nInvert = 1;
    Close(2, 0, 1000);
    board().gpio().ScheduleInput(At(200), kPin1 + 1, true);
    board().gpio().ScheduleInput(At(201), kPin1 + 1, false);
    Watch(100);
    ASSERT_EQ(G_DiscreteIn.nState, 0u);
    states_.clear();
    Watch(400);
    EXPECT_FALSE(EverActive(2));
}

TEST_F(DiscreteTest, SoftKeyInputsPostTheirKeyOncePerRelease) {
    G_DiscreteIn.input[0].nMode = kDiModeSoftKey1;
    G_DiscreteIn.input[2].nMode = kDiModeSoftKey5;
    G_DiscreteIn.input[1].nMode = kDiModeAlarm;
    Close(1, 10, 100);
    Close(3, 200, 300);
    Close(2, 600, 100);
    Watch(900);
    EXPECT_EQ(keys_, (std::vector<int32_t>{1, 5}));
}

TEST_F(DiscreteTest, SoftKeyWaitsForNoOtherKeyPending) {
    G_DiscreteIn.input[0].nMode = kDiModeSoftKey5;
    G_KeyEvent = 3;                 // a button press the main loop has not taken yet
    Close(1, 10, 50);
    Watch(200, false);
    EXPECT_EQ(G_KeyEvent, 3);
    G_KeyEvent = 0;
    Watch(300, false);
    EXPECT_EQ(G_KeyEvent, 0) << "a release is not remembered";
}

TEST_F(DiscreteTest, LabelsAreCutAndTerminated) {
    SetDiscreteLabel(0, "OIL DOOR OPEN NOW");
    EXPECT_STREQ(G_DiscreteIn.input[0].szLabel, "OIL DOOR OP");
    SetDiscreteLabel(3, "nowhere");   // no fourth input: nothing written
    SetDiscreteLabel(1, nullptr);
    EXPECT_STREQ(G_DiscreteIn.input[1].szLabel, "");
}

class DiscreteDrawTest : public DiscreteTest {
protected:
    // Pixels of `colour` in the rectangle of the page being drawn.
    int Count(uint32_t colour, int x0, int y0, int x1, int y1) {
        int n = 0;
        RunApp([&] {
            for (int y = y0; y <= y1; ++y)
                for (int x = x0; x <= x1; ++x) n += GUI_GetPixelIndex(x, y) == colour;
        });
        return n;
    }
    void Draw() { RunApp([] { DrawDiscreteInputs(); }); }
    // The inputs of `bits` held closed long enough to count.
    void Hold(uint32_t bits) {
        for (int k = 0; k < 3; ++k) board().gpio().SetInput(kPin1 + k, !(bits & (1u << k)));
        Restart();
        Watch(20);
        ASSERT_EQ(G_DiscreteIn.nState, bits);
    }
};

TEST_F(DiscreteDrawTest, TimerLineTurnsRedAtItsLimit) {
    G_CurPage = 3;
    G_EfisLayout.x1 = 400;
    G_EfisLayout.y0 = 20;
    DiscreteInput& in = G_DiscreteIn.input[0];
    in.nMode = kDiModeTimer;
    in.nLimit = 65;
    std::memcpy(in.szLabel, "FLAPS LONGER", 12);   // twelve characters, no terminator
    Hold(1);
    in.nCount = 64;
    Draw();
    EXPECT_STREQ(G_DrawTextBuf, "FLAPS LONGE 1:04");
    EXPECT_GT(Count(31, 300, 20, 639, 40), 0);
    EXPECT_EQ(Count(2, 300, 20, 639, 40), 0);
    in.nCount = 65;
    Draw();
    EXPECT_STREQ(G_DrawTextBuf, "FLAPS LONGE 1:05");
    EXPECT_GT(Count(2, 300, 20, 639, 40), 0);
}

TEST_F(DiscreteDrawTest, LinesByModeAndPage) {
    G_EfisLayout.x1 = 400;
    G_EfisLayout.y0 = 20;
    G_DiscreteIn.input[0].nMode = kDiModeSoftKey1;
    G_DiscreteIn.input[1].nMode = kDiModeAlarm;
    SetDiscreteLabel(1, "CANOPY");
    G_DiscreteIn.input[2].nMode = kDiModeTimer;   // input 3 has no timer: its label only
    SetDiscreteLabel(2, "GEAR");
    Hold(7);
    struct Case { int32_t page; bool drawn; };
    for (const Case c : {Case{3, true}, Case{5, true}, Case{7, false}, Case{40, false}}) {
        SCOPED_TRACE(c.page);
        RunApp([] { GUI_Clear(); });
        G_DrawTextBuf[0] = 0;
        G_CurPage = c.page;
        Draw();
        EXPECT_EQ(std::string(G_DrawTextBuf), c.drawn ? "GEAR" : "");
        EXPECT_EQ(Count(31, 300, 20, 639, 70) > 0, c.drawn);
    }
}

}  // namespace
