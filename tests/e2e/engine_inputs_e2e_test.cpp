// Engine inputs from a kv5100 script: bad A/D and pulse lines are refused
// with their line number, and a scripted run of the screenshot tool shows
// an engine page whose gauges follow the A/D inputs and the fuel-flow pulses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

class EngineInputs : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100engXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    std::string dir_;
};

TEST_F(EngineInputs, BadLinesNameTheLine) {
    struct Case {
        const char* line;
        const char* message;
    };
    const Case cases[] = {
        {"1 adc engine 16 0 100", "engine INPUT is 0..15"},
        {"1 adc engine 9 8 100", "engine CODE (or all) is 0..7"},
        {"1 adc engine 9 all 4096", "engine COUNTS is 0..4095"},
        {"1 adc engine 9 all", "engine COUNTS is 0..4095"},
        {"1 adc air 8 100", "air INPUT is 0..7"},
        {"1 adc air 6 65536", "air COUNTS is 0..65535"},
        {"1 adc fuel 1 2", "adc takes engine or air"},
        {"1 pulses prop 40", "pulses takes rpm or flow"},
        {"1 pulses rpm -1", "pulses HZ is 0 (stop) or 0.01..20000"},
        {"1 pulses flow 30000", "pulses HZ is 0 (stop) or 0.01..20000"},
        {"1 pulses rpm fast", "pulses HZ is 0 (stop) or 0.01..20000"},
        {"1 pulses rpm 40 50", "unexpected 50"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string script = dir_ + "/bad.txt";
        std::ofstream(script) << "0 pulses rpm 40\n0 adc engine 9 all 3800\n" << c.line << "\n";
        const CommandResult r = RunKv5100("--headless --flash " + dir_ + "/f.bin --run-for 1 --script " + script);
        EXPECT_EQ(r.status, 2) << r.out;
        EXPECT_NE(r.out.find(script + ":3: " + c.message), std::string::npos) << r.out;
    }
}

TEST_F(EngineInputs, ScriptedEnginePageFollowsTheInputs) {
    const CommandResult r =
        RunCommand(std::string(KV_TOOLS_DIR) + "/engine-screens.sh " + KV5100_PATH + " " + dir_ + " std4-bar-view 2>&1");
    ASSERT_EQ(r.status, 0) << r.out;
    RgbImage shot;
    ASSERT_TRUE(ReadPng(dir_ + "/std4-bar-view.png", shot));
    ASSERT_EQ(shot.width, 640u);
    constexpr uint32_t kGreen = 0x00FF00, kWhite = 0xFFFFFF, kBlack = 0;
    // EGT_1 at 1380 of 1000..1700 fills a little over half its column, in green.
    EXPECT_EQ(shot.At(115, 430), kGreen);
    EXPECT_EQ(shot.At(115, 400), kGreen);
    EXPECT_EQ(shot.At(115, 370), kBlack);
    // 9.5 gal/h of 20 from the fuel-flow pulses puts the marker near mid-scale.
    EXPECT_EQ(shot.At(270, 407), kWhite);
    EXPECT_NE(shot.At(270, 430), kWhite);
    // The RPM value box shows a number.
    int lit = 0;
    for (int y = 360; y <= 385; ++y)
        for (int x = 550; x <= 620; ++x) lit += shot.At(x, y) != kBlack;
    EXPECT_GT(lit, 50);
}

}  // namespace
