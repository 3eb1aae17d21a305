// kv5100 started with buttons held at power-on.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Result {
    int status;
    std::string out;
};

Result RunKv(const std::string& args) {
    std::string cmd = std::string(KV5100_PATH) + " " + args + " 2>&1";
    Result r{-1, {}};
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int ws = pclose(p);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    return r;
}

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
    Result r = RunKv("--flash " + flash_ + " --hold 61,63 --run-for 310 --print-syslog");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "application returned 0 to the monitor at 5.0")) << r.out;
    EXPECT_TRUE(Has(r.out, "watchdog reset at 305.0")) << r.out;
    // The exit pass opens no log; the start after the reset logs its boot.
    EXPECT_TRUE(Has(r.out, "**** SYSTEM BOOT ")) << r.out;
    EXPECT_TRUE(Has(r.out, "System Booted in ")) << r.out;
}

TEST_F(Kv5100Hold, CalibrationButtonBootsWithoutTheNormalPass) {
    Result r = RunKv("--flash " + flash_ + " --hold 62 --run-for 2 --print-syslog");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_TRUE(Has(r.out, "**** SYSTEM BOOT ")) << r.out;
    EXPECT_FALSE(Has(r.out, "System Booted in ")) << r.out;
}

TEST_F(Kv5100Hold, BadPinsAreRefused) {
    for (const char* bad : {"96", "61,", "x", "-1"}) {
        SCOPED_TRACE(bad);
        Result r = RunKv("--flash " + flash_ + " --hold " + bad);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(Has(r.out, "--hold takes GPIO numbers")) << r.out;
    }
}

}  // namespace
