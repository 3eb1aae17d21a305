// kv5100 started with buttons held at power-on.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/shell.h"

namespace {


bool Has(const std::string& s, const std::string& what) { return s.find(what) != std::string::npos; }

class Kv5100Hold : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100holdXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        flash_ = dir_ + "/unit.flash";
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string dir_, flash_;
};

TEST_F(Kv5100Hold, ExitButtonsLeaveForTheMonitorAndTheWatchdogBootsTheUnitAgain) {
    CommandResult r = RunKv5100("--flash " + flash_ + " --hold 61,63 --run-for 320 --print-syslog");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "application returned 0 to the monitor at 5.0")) << r.out;
    EXPECT_TRUE(Has(r.out, "watchdog reset at 305.0")) << r.out;
    // The exit pass opens no log; the start after the reset logs its boot.
    EXPECT_TRUE(Has(r.out, "**** SYSTEM BOOT ")) << r.out;
    EXPECT_TRUE(Has(r.out, "System Booted in ")) << r.out;
}

TEST_F(Kv5100Hold, CalibrationButtonBootsWithoutTheNormalPass) {
    CommandResult r = RunKv5100("--flash " + flash_ + " --hold 62 --run-for 2 --print-syslog");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "**** SYSTEM BOOT ")) << r.out;
    EXPECT_FALSE(Has(r.out, "System Booted in ")) << r.out;
}

TEST_F(Kv5100Hold, BadPinsAreRefused) {
    for (const char* bad : {"96", "61,", "x", "-1"}) {
        SCOPED_TRACE(bad);
        CommandResult r = RunKv5100("--flash " + flash_ + " --hold " + bad);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Has(r.out, "--hold takes GPIO numbers")) << r.out;
    }
}

}  // namespace
