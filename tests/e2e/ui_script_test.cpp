// A pilot's session scripted against kv5100: accept the liability page,
// step the screens with PAGE, walk the menus, enable knob functions in the
// knob list, and open the knob menu; each step checked on its screenshot
// (read back with the PNG library) and in the system log.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

class UiScript : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100uiXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    std::string Shot(const char* name) const { return dir_ + "/" + name + ".png"; }
    std::string dir_;
};

TEST_F(UiScript, PilotSessionThroughPagesMenusAndTheKnob) {
    const std::string script = dir_ + "/session.txt";
    std::ofstream(script) << "# boot, then the liability page waits for I AGREE\n"
                          << "6 screenshot " << Shot("liability") << "\n"
                          << "7 press 3\n"
                          << "9 screenshot " << Shot("main") << "\n"
                          << "10 press 1              # PAGE\n"
                          << "12 screenshot " << Shot("page") << "\n"
                          << "13 press 4\n+1 press 2\n+1 press 2\n"
                          << "+1 screenshot " << Shot("more") << "\n"
                          << "17 press 5              # (PAGE LIST)\n"
                          << "19 screenshot " << Shot("pagelist") << "\n"
                          << "20 press 4              # KNOBLIST\n"
                          << "22 knob 3 0.1\n23 press 2\n24 knob 3 0.1\n25 press 2\n26 knob 3 0.1\n"
                          << "27 screenshot " << Shot("knoblist") << "\n"
                          << "28 press 5              # SAVE\n"
                          << "31 press 1              # RETURN\n"
                          << "33 press 6\n+0.3 press 6 0.05\n"
                          << "+0.3 screenshot " << Shot("knobmenu") << "\n"
                          << "+4 screenshot " << Shot("menuclosed") << "\n";
    // A first power-on rebuilds the settings of a new flash (several seconds);
    // the session runs on the second, which boots as the unit normally does.
    ASSERT_EQ(RunKv5100("--headless --flash " + dir_ + "/unit.flash --run-for 12").status, 0);
    const CommandResult r =
        RunKv5100("--headless --flash " + dir_ + "/unit.flash --run-for 38 --script " + script + " --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string& out = r.out;

    // Each key logged with its page and menu state as it was handled.
    for (const char* line : {"B3 S40 M0 ", "B1 S3 M0 ", "B4 S4 M0 ", "B2 S4 M4 ", "B2 S4 M42 ", "B5 S4 M422 ",
                             "B4 S32 M4225 ", "B5 S36 M42254 ", "B1 S36 M42254 ", "B6 S4 M0 "})
        EXPECT_NE(out.find(line), std::string::npos) << line << "\n" << out;
    EXPECT_NE(out.find("LFT KNOB FUNC:2"), std::string::npos) << "the second push chose BARO";

    RgbImage img;
    ASSERT_TRUE(ReadPng(Shot("liability"), img));
    ASSERT_EQ(img.width, 640u);
    EXPECT_GT(img.Lit(230, 462, 316, 478), 20) << "I AGREE under soft key 3";
    EXPECT_EQ(img.Lit(40, 462, 126, 478), 0) << "no label on key 1";

    ASSERT_TRUE(ReadPng(Shot("main"), img));
    EXPECT_GT(img.Lit(40, 462, 126, 478), 20) << "PAGE on key 1";
    EXPECT_GT(img.Lit(530, 462, 630, 478), 20) << "the knob label";

    ASSERT_TRUE(ReadPng(Shot("pagelist"), img));
    EXPECT_GT(img.Lit(0, 340, 639, 459), 500) << "the page list in the strip";

    ASSERT_TRUE(ReadPng(Shot("knobmenu"), img));
    const int menu = img.Lit(538, 425, 618, 458);
    EXPECT_GT(menu, 200) << "the lower rows of the knob menu, the current one filled";
    ASSERT_TRUE(ReadPng(Shot("menuclosed"), img));
    EXPECT_EQ(img.Lit(538, 425, 618, 458), 0) << "the menu cleared after 3 s";
}

// A new unit's knob lists offer every function: two pushes of the left knob
// open its menu and choose BARO without a visit to the knob list.
TEST_F(UiScript, ANewUnitsKnobOffersItsFunctions) {
    const std::string script = dir_ + "/knob.txt";
    std::ofstream(script) << "7 press 3\n9 press 6\n+0.3 press 6 0.05\n+0.3 screenshot " << Shot("knobmenu") << "\n";
    ASSERT_EQ(RunKv5100("--headless --flash " + dir_ + "/unit.flash --run-for 12").status, 0);
    const CommandResult r =
        RunKv5100("--headless --flash " + dir_ + "/unit.flash --run-for 12 --script " + script + " --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("LFT KNOB FUNC:2"), std::string::npos) << r.out;
    RgbImage img;
    ASSERT_TRUE(ReadPng(Shot("knobmenu"), img));
    EXPECT_GT(img.Lit(538, 425, 618, 458), 200) << "the knob menu";
}

TEST_F(UiScript, BadScriptsAreRefusedWithTheLine) {
    const std::string script = dir_ + "/bad.txt";
    std::ofstream(script) << "1 press 3\n2 press 9\n";
    const CommandResult r = RunKv5100("--headless --flash " + dir_ + "/unit.flash --run-for 1 --script " + script);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("bad.txt:2: KEY is 1..6"), std::string::npos) << r.out;
}

TEST_F(UiScript, LengthsOutOfRangeAreRefused) {
    struct Case { const char* line; const char* message; };
    const Case cases[] = {
        {"1 press 1 1e300", "a press lasts at most 1000000 s"},
        {"1 knob 3 1e300", "detents are at most 1000000 s apart"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        const std::string script = dir_ + "/bad.txt";
        std::ofstream(script) << c.line << "\n";
        const CommandResult r = RunKv5100("--headless --flash " + dir_ + "/unit.flash --run-for 1 --script " + script);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.out.find(std::string("bad.txt:1: ") + c.message), std::string::npos) << r.out;
    }
}

}  // namespace
