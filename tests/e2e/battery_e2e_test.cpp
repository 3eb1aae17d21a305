// kv5100 on battery: the script cuts both supplies after the liability page
// is accepted; the unit counts down and switches itself off, or keeps
// running once a key confirms battery operation.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/shell.h"

namespace {

class BatteryE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100batXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    CommandResult Run(const std::string& script, int seconds) {
        std::ofstream(dir_ + "/s.txt") << script;
        return RunKv5100("--headless --time virtual --flash " + dir_ + "/f.bin --script " + dir_ +
                         "/s.txt --run-for " + std::to_string(seconds));
    }
    std::string SysLog() { return RunKv5100("--flash " + dir_ + "/f.bin --print-syslog").out; }
    std::string dir_;
};

TEST_F(BatteryE2e, SuppliesCutOnTheGroundSwitchOffAfterTheCountDown) {
    const CommandResult r = Run("7 press 3\n10 supply off\n", 80);
    EXPECT_EQ(r.status, 0) << r.out;
    // About 1.6 s for the filtered supplies to fall, 2 s of grace, 30 s of count-down.
    const size_t at = r.out.find("power off at ");
    ASSERT_NE(at, std::string::npos) << r.out;
    const double t = std::atof(r.out.c_str() + at + 13);
    EXPECT_GT(t, 10 + 32.0);
    EXPECT_LT(t, 10 + 36.0);
    const std::string log = SysLog();
    const size_t onBat = log.find("ON BAT PWR ");
    const size_t noAuth = log.find("BAT NO AUTH SHUTDOWN ");
    const size_t shutdown = log.find("*** SYSTEM SHUTDOWN ");
    ASSERT_NE(onBat, std::string::npos) << log;
    EXPECT_LT(onBat, noAuth);
    EXPECT_LT(noAuth, shutdown);
    EXPECT_NE(shutdown, std::string::npos) << log;
}

TEST_F(BatteryE2e, KeyConfirmsBatteryOperationAndLinePowerReturns) {
    const CommandResult r = Run("7 press 3\n10 supply off\n20 press 2\n40 supply on\n", 70);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("power off"), std::string::npos) << r.out;
    const std::string log = SysLog();
    EXPECT_NE(log.find("BAT OP USER AUTH "), std::string::npos) << log;
    EXPECT_NE(log.find("Resuming line power at "), std::string::npos) << log;
    EXPECT_EQ(log.find("SYSTEM SHUTDOWN"), std::string::npos) << log;
}

TEST_F(BatteryE2e, LowBatteryCannotBeConfirmedAway) {
    // Confirmed on battery, then the battery input falls under 6.8 V.
    const CommandResult r = Run("7 press 3\n10 supply off\n20 press 2\n25 supply battery 60\n30 press 2\n", 90);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("power off at "), std::string::npos) << r.out;
    const std::string log = SysLog();
    EXPECT_NE(log.find("BAT LOW BAT SHUTDOWN 6.0V"), std::string::npos) << log;
}

TEST_F(BatteryE2e, ScriptRejectsABadSupplyLine) {
    const CommandResult r = Run("5 supply sideways\n", 1);
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.out.find("supply takes off, on or battery COUNTS"), std::string::npos) << r.out;
}

}  // namespace
