// The battery monitor, one call per 50 ms frame in board time: the grace
// period, the count-downs, confirmation, low battery, line power returning
// and the ordered switch-off through the power-off line.
#include <cstring>
#include <string>

#include "core/alarm.h"
#include "core/battery.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "platform/hw.h"
#include "storage/flash.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "ui/statusbar.h"

namespace {

using platform::StopReason;
constexpr uint32_t GPDR0 = 0x40E0000C;
constexpr uint32_t kFrameTicks = kTicksPerSecond / 20;

class BatteryTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        RunApp([] {
            InitOsTimer();
            SysLogOpen();
            I2cInit();
            HwWrite32(GPDR0, HwRead32(GPDR0) | 1u << 5);
        });
        NvSetU32(kNvDimPercent, 80);
        G_InstReading[kInstBattVolts].nValue = 125;
        G_InstCfg[kInstBattVolts].nYellowLow = 115;
        G_InstCfg[kInstBattVolts].nRedLow = 105;
        Supplies(true);
    }
    static void Supplies(bool on) {
        G_InstAd[kInstMainVolts].nAdValue = on ? 14000 : 200;
        G_InstAd[kInstAuxVolts].nAdValue = on ? 12200 : 200;
    }
    static void Flying(bool flying) {
        G_AirData.nFresh = flying ? 40 : 0;
        G_AirData.nIas = flying ? 1000 : 0;
        G_InstReading[kInstAirspeed].nValue = flying ? 1000 : 0;
    }
    // `n` frames; how the board stopped (None when they all ran).
    StopReason Frames(int n) {
        return RunApp([n] {
            for (int i = 0; i < n; ++i) {
                DelayTicks(kFrameTicks);
                G_AirData.nFresh = G_AirData.nFresh > 0 ? 40 : 0;   // fresh data keep arriving
                CheckBattery();
            }
        });
    }
    static std::string Log() { return SysLogSectorText(); }
    static bool Logged(const char* text) { return Log().find(text) != std::string::npos; }
    void SetFieldAltitude(int16_t alt) {
        const uint8_t b[2] = {static_cast<uint8_t>(alt), static_cast<uint8_t>(alt >> 8)};
        RunApp([&] { WriteClockMem(b, kRegFieldAlt, 2); });
    }
    int16_t FieldAltitude() {
        uint8_t b[2] = {};
        RunApp([&] { ReadClockMem(b, kRegFieldAlt, 2); });
        return static_cast<int16_t>(b[0] | b[1] << 8);
    }
    void RunGroundSwitchOff(int16_t stored, int16_t kept, const char* line) {
        SetFieldAltitude(stored);
        G_AirData.nBaroAlt = 1234;
        G_AirData.nBaroSetting = 29921;
        Supplies(false);
        ASSERT_EQ(Frames(41), StopReason::None);
        EXPECT_EQ(G_BatState, 0u) << "2 s of grace";
        EXPECT_EQ(NvGetU32(kNvDimPercent), 50u) << "backlight limited";
        ASSERT_EQ(Frames(1), StopReason::None);
        EXPECT_EQ(G_BatState, 1u);
        EXPECT_TRUE(Logged("ON BAT PWR 12.5V @"));
        ASSERT_EQ(Frames(1), StopReason::None);
        EXPECT_STREQ(G_BatWarnText, "WARNING POWERING DOWN IN 30 SEC, PRESS ANY KEY TO CONTINUE  ");
        EXPECT_EQ(G_StatusMsg.bShown, 1u);
        ASSERT_EQ(Frames(598), StopReason::None);
        EXPECT_STREQ(G_BatWarnText, "WARNING POWERING DOWN IN 0 SEC, PRESS ANY KEY TO CONTINUE  ");
        EXPECT_EQ(G_BatState, 1u);
        const uint64_t before = board().Now();
        EXPECT_EQ(Frames(2), StopReason::PowerOff);
        EXPECT_TRUE(board().gpio().Level(19));
        const double took = static_cast<double>(board().Now() - before) / kTicksPerSecond;
        EXPECT_GT(took, 0.2) << "the shutdown lines are spaced by 75 ms";
        EXPECT_LT(took, 0.5);
        EXPECT_TRUE(Logged("BAT NO AUTH SHUTDOWN 12.5V @"));
        EXPECT_TRUE(Logged(line));
        EXPECT_TRUE(Logged("*** SYSTEM SHUTDOWN "));
        EXPECT_TRUE(Logged("======================================================\n\n"));
        EXPECT_EQ(FieldAltitude(), kept);
    }
};

// Supplies cut on the ground: 2 s of grace, a 30 s count-down, then the
// switch-off with the field altitude saved when none is stored.
TEST_F(BatteryTest, GroundSwitchOffSavesAnUnsetFieldAltitude) {
    RunGroundSwitchOff(0x7FFF, 1234, "BARO: Saving Field: Alt=1234, Baro=29921");
}

TEST_F(BatteryTest, GroundSwitchOffKeepsAStoredFieldAltitude) {
    RunGroundSwitchOff(500, 500, "BARO: Retaining Field: Alt=500");
}

TEST_F(BatteryTest, KeyConfirmsThenGroundTimeOutCountsDownAgainFromThirty) {
    G_EngFresh = 40;   // engine data fresh, engine stopped
    Supplies(false);
    ASSERT_EQ(Frames(42 + 100), StopReason::None);
    ASSERT_EQ(G_BatState, 1u);
    G_BatState = 3;   // what the key scanner does on any key
    ASSERT_EQ(Frames(1), StopReason::None);
    EXPECT_TRUE(Logged("BAT OP USER AUTH 12.5V @"));
    EXPECT_EQ(G_BatWarnShown, 0u);
    EXPECT_EQ(G_StatusMsg.bShown, 0u);
    // About 300 s on the ground: back to the count-down, which starts at 30 s.
    const auto keepFresh = [] { G_EngFresh = 40; };
    RunApp(keepFresh);
    ASSERT_EQ(Frames(20 * 295), StopReason::None);
    EXPECT_EQ(G_BatState, 3u);
    ASSERT_EQ(Frames(20 * 6), StopReason::None);
    EXPECT_EQ(G_BatState, 1u);
    EXPECT_STREQ(G_BatWarnText, "WARNING POWERING DOWN IN 29 SEC, PRESS ANY KEY TO CONTINUE  ");
}

TEST_F(BatteryTest, ConfirmedWithoutFreshDataCountsDownAfterFiveSeconds) {
    Supplies(false);
    ASSERT_EQ(Frames(43), StopReason::None);
    G_BatState = 3;
    ASSERT_EQ(Frames(20 * 5), StopReason::None);
    EXPECT_EQ(G_BatState, 3u);
    ASSERT_EQ(Frames(2), StopReason::None);
    EXPECT_EQ(G_BatState, 1u);
}

TEST_F(BatteryTest, InFlightKeepsRunningUntilTheBatteryIsLow) {
    Flying(true);
    Supplies(false);
    ASSERT_EQ(Frames(42), StopReason::None);
    EXPECT_EQ(G_BatState, 3u) << "flying: no count-down";
    G_InstReading[kInstBattVolts].nValue = 0;   // no reading is not a low battery
    ASSERT_EQ(Frames(20 * 10), StopReason::None);
    EXPECT_EQ(G_BatState, 3u);
    G_InstReading[kInstBattVolts].nValue = 67;
    ASSERT_EQ(Frames(2), StopReason::None);
    EXPECT_EQ(G_BatState, 4u);
    EXPECT_STREQ(G_BatWarnText, "WARNING!  LOW BATTERY, POWERING DOWN IN 30 SECONDS.");
    G_BatState = 3 + 1;   // a key does not cancel it: the scanner moves only state 1
    EXPECT_EQ(Frames(601), StopReason::PowerOff);
    EXPECT_TRUE(Logged("BAT LOW BAT SHUTDOWN 6.7V @"));
}

TEST_F(BatteryTest, LinePowerReturningRestoresTheBacklightAndClearsTheWarning) {
    Supplies(false);
    ASSERT_EQ(Frames(60), StopReason::None);
    ASSERT_EQ(G_BatState, 1u);
    EXPECT_NE(G_BatLevel, 0u);
    Supplies(true);
    ASSERT_EQ(Frames(1), StopReason::None);
    EXPECT_EQ(G_BatState, 0u);
    EXPECT_EQ(G_BatLevel, 0u);
    EXPECT_EQ(NvGetU32(kNvDimPercent), 80u);
    EXPECT_EQ(G_BatWarnShown, 0u);
    EXPECT_EQ(G_StatusMsg.bShown, 0u);
    EXPECT_TRUE(Logged("Resuming line power at "));
    // Lost again: a fresh grace period.
    Supplies(false);
    ASSERT_EQ(Frames(41), StopReason::None);
    EXPECT_EQ(G_BatState, 0u);
}

TEST_F(BatteryTest, IconLevelFromBatteryVolts) {
    Supplies(false);
    struct Case { int32_t volts; uint32_t level; };
    const Case cases[] = {{126, 4}, {125, 3}, {116, 3}, {115, 2}, {106, 2}, {105, 1}, {0, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.volts);
        G_InstReading[kInstBattVolts].nValue = c.volts;
        ASSERT_EQ(Frames(1), StopReason::None);
        EXPECT_EQ(G_BatLevel, c.level);
    }
}

TEST_F(BatteryTest, ConfirmationAcknowledgesTheMainVoltsAlarm) {
    G_InstCfg[kInstMainVolts] = InstCfg{};
    G_InstCfg[kInstMainVolts].nEnable = 1;
    G_InstCfg[kInstMainVolts].nAudio = 1;
    RunApp([] { AlarmInit(); });
    Supplies(false);
    ASSERT_EQ(Frames(43), StopReason::None);
    G_AlarmTable[kInstMainVolts].nActive = 1;
    RunApp([] { AlarmRaise(kInstMainVolts); });
    ASSERT_TRUE(board().gpio().Level(5));
    G_BatState = 3;   // a key
    ASSERT_EQ(Frames(1), StopReason::None);
    EXPECT_EQ(G_AlarmCur, -1);
    EXPECT_FALSE(board().gpio().Level(5));
    EXPECT_EQ(G_AlarmTable[kInstMainVolts].nRaiseStamp, 0u);
}

}  // namespace
