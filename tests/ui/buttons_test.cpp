#include <string>

#include "core/battery.h"
#include "core/syslog.h"
#include "engine/instad.h"
#include "engine/instrument.h"
#include "storage/screendump.h"
#include "ui/keys.h"
#include "ui/statusbar.h"
#include "ui_fixture.h"

namespace {

using Keys = std::vector<int32_t>;

class ButtonsTest : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        Restart();
    }
    static std::string RamLog() {
        std::string all;
        for (uint32_t i = 0; i < G_RamLog.nCount; ++i) all += G_RamLog.szLine[i];
        return all;
    }
};

TEST_F(ButtonsTest, PressLengthsGiveShortAndLongCodes) {
    struct Case { const char* name; int button; double ms; Keys codes; };
    const Case cases[] = {
        {"9 ms is a bounce", 2, 9, {}},
        {"12 ms gives the short code on release", 2, 12, {2}},
        {"knob push", 6, 100, {6}},
        {"held 1.5 s: the long code while held, nothing at release", 3, 1500, {19}},
        {"knob push held", 6, 1200, {22}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Restart();
        Press(c.button, 5, c.ms);
        Run(c.ms + 50);
        EXPECT_EQ(keys_, c.codes);
    }
}

TEST_F(ButtonsTest, LongCodeComesAboutOneSecondIntoThePress) {
    Press(1, 10, 1500);
    Run(1005);
    EXPECT_TRUE(keys_.empty()) << "not yet after 995 ms";
    Run(1040);
    EXPECT_EQ(keys_, Keys{17});
}

TEST_F(ButtonsTest, CombinationGivesTheLowestButtonAndNoLongCode) {
    Press(1, 10, 400);
    Press(3, 10, 400);
    Run(500);
    EXPECT_EQ(keys_, Keys{1});
    Restart();
    Press(2, 10, 1500);
    Press(4, 10, 1500);
    Run(1600);
    EXPECT_EQ(keys_, Keys{18}) << "no code while held; the release after 1 s gives the long code";
}

TEST_F(ButtonsTest, SoftKeyFiveHeldRequestsAScreenDump) {
    Press(5, 10, 1200);
    Run(1300);
    EXPECT_TRUE(keys_.empty());
    EXPECT_EQ(G_ScreenDumpReq, 1u);
    EXPECT_EQ(G_RedrawReq, 1u);
    Restart();
    Press(5, 10, 1200);
    Run(1300);
    EXPECT_EQ(keys_, Keys{21}) << "a second long press while the dump waits";
}

TEST_F(ButtonsTest, StuckButtonIsLoggedThenDisabled) {
    Press(4, 10, 31000);
    Run(15100);
    EXPECT_NE(RamLog().find("ERROR: Stuck Button 0x0010"), std::string::npos);
    EXPECT_EQ(RamLog().find("Disabling"), std::string::npos);
    Run(31500);
    EXPECT_NE(RamLog().find("Disabling Stuck Buttons 0x0010"), std::string::npos);
    EXPECT_EQ(SysLog().find("Stuck"), std::string::npos) << "nothing written to flash from the tick";
    EXPECT_EQ(G_KeyEnableMask & 0x10, 0);
    EXPECT_EQ(keys_, Keys{20}) << "only the long code of the first second";
    // The tick only wrote the RAM log; the main loop writes the system log.
    RunApp([] { LogStuckButtons(); });
    EXPECT_NE(SysLog().find("ERROR: Stuck Button 0x0010"), std::string::npos);
    EXPECT_NE(SysLog().find("Disabling Stuck Buttons 0x0010"), std::string::npos);

    Restart();
    Press(4, 10, 100);
    Run(200);
    EXPECT_TRUE(keys_.empty()) << "disabled until the program restarts";
}

TEST_F(ButtonsTest, BatteryGestures) {
    G_BatState = 1;
    Press(2, 10, 100);
    Run(200);
    EXPECT_TRUE(keys_.empty()) << "the key confirms operation on battery";
    EXPECT_EQ(G_BatState, 3u);

    G_BatState = 0;
    G_InstAd[kInstMainVolts].nAdValue = 1400;
    G_InstAd[kInstAuxVolts].nAdValue = 1499;
    Restart();
    Press(3, 10, 5200);
    Run(5300);
    EXPECT_EQ(G_BatState, 2u) << "held 5 s with both volts low: switch off";
}

TEST_F(ButtonsTest, AlarmAckHoldEndsAfterHalfASecond) {
    G_AlarmAckHold = 1;
    RunApp([] { G_AlarmAckTime = ReadOsTimer(); });
    Run(400);
    EXPECT_EQ(G_AlarmAckHold, 1u);
    Run(600);
    EXPECT_EQ(G_AlarmAckHold, 0u);
}

}  // namespace
