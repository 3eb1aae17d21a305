// Calibration mode end to end: kv5100 started with the calibration button
// held, a script walking the list through the buttons and the knob into a
// gauge screen, the engine-type screen and the inputs screen, saving, and
// leaving; the saved files copied out with --tfs-out, and a second run on
// the same flash that finds them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"
#include "support/timed_script.h"

namespace {

class CalibrationE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100calXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    std::string Read(const std::string& name) {
        std::ifstream in(dir_ + "/" + name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // Events `step` seconds apart from 6 s on (the list is up by then).
    using Script = TimedScript;
    RgbImage Shot(const std::string& name) {
        RgbImage image;
        EXPECT_TRUE(ReadPng(dir_ + "/" + name, image)) << name;
        return image;
    }
    // Pixels of a greyed text (lit, not white) in the list row whose text starts at line y.
    static int Greyed(const RgbImage& image, int y) {
        int n = 0;
        for (int yy = y; yy < y + 14; ++yy)
            for (int x = 10; x < 190; ++x) n += image.At(x, yy) != 0 && image.At(x, yy) != 0xFFFFFF;
        return n;
    }
    std::string dir_;
};

constexpr uint32_t kGreen = 0x00FF00, kBlack = 0;

TEST_F(CalibrationE2e, WalkTheListSaveAndFindItAfterTheRestart) {
    Script s;
    s.Do("screenshot " + dir_ + "/list.png")
        .Repeat("press 3", 1).Do("screenshot " + dir_ + "/page2.png").Do("press 2")   // 34, then 1
        .Repeat("press 2", 16).Do("press 4", 1.5)                                      // 17. Oil Pressure
        .Do("knob 3", 1).Do("screenshot " + dir_ + "/oil.png").Do("press 5", 2)
        .Repeat("press 3", 8).Do("press 4", 1).Do("knob -3", 1)                         // 9. Engine Type
        .Do("screenshot " + dir_ + "/type.png").Do("press 5", 2)
        .Repeat("press 3", 9).Do("press 4", 1)                                         // 34. Inputs
        .Do("input 2 on", 0.5).Do("screenshot " + dir_ + "/inputs-2.png")
        .Do("input 2 off").Do("input 3 on", 0.5).Do("screenshot " + dir_ + "/inputs-3.png")
        .Do("press 2").Do("knob 3", 1).Do("screenshot " + dir_ + "/usage.png").Do("press 5", 4)
        .Do("press 1").Do("press 1", 3).Do("screenshot " + dir_ + "/left.png");
    std::ofstream(dir_ + "/cal.txt") << s.text;
    const std::string flash = " --flash " + dir_ + "/f.bin";
    CommandResult r = RunKv5100("--headless --demo --hold 62" + flash + " --run-for " + std::to_string(int(s.t) + 2) +
                                " --script " + dir_ + "/cal.txt --tfs-out ENGINE.KVD=" + dir_ +
                                "/engine.kvd --tfs-out SYSTEM.KVD=" + dir_ + "/system.kvd --tfs-out ENGINE.KVC=" +
                                dir_ + "/engine.kvc --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("\nENTERING CALIBRATION\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("LEAVING CALIBRATION\nWARMBOOT:1\n"), std::string::npos) << r.out;

    const RgbImage list = Shot("list.png");
    EXPECT_GT(list.Lit(250, 4, 390, 16), 50) << "the green heading";
    EXPECT_EQ(list.At(12, 60), kGreen) << "the marker under row 1";
    EXPECT_GT(list.Lit(10, 45, 200, 58), 20) << "row 1";
    const RgbImage page2 = Shot("page2.png");
    EXPECT_EQ(page2.At(12, 188), kGreen) << "row 34's marker";
    EXPECT_GT(Greyed(page2, 141), 20) << "row 32 is grey";
    EXPECT_EQ(Greyed(page2, 125), 0) << "row 31 is not";

    const RgbImage oil = Shot("oil.png");
    EXPECT_GT(oil.Lit(210, 25, 400, 37), 50) << "the heading";
    EXPECT_GT(oil.Lit(210, 60, 380, 72), 50) << "row 1's label from x 210";
    EXPECT_EQ(oil.Lit(201, 45, 209, 200), 0) << "labels start at their column, not before";
    EXPECT_GT(oil.Lit(420, 60, 500, 72), 50) << "the selected value in reverse";

    const RgbImage type = Shot("type.png");
    EXPECT_GT(type.Lit(420, 60, 500, 72), 50);
    const RgbImage in2 = Shot("inputs-2.png"), in3 = Shot("inputs-3.png");
    EXPECT_EQ(in2.At(335, 280), kGreen) << "input 2 active";
    EXPECT_EQ(in2.At(395, 280), kBlack);
    EXPECT_EQ(in3.At(335, 280), kBlack);
    EXPECT_EQ(in3.At(395, 280), kGreen) << "input 3 active";
    EXPECT_GT(Shot("left.png").Lit(0, 300, 639, 458), 1000) << "the normal pages after the warm restart";

    // What SAVE wrote, copied out after the run.
    const std::string engine = Read("engine.kvd"), system = Read("system.kvd");
    EXPECT_NE(engine.find("ENGINE_TYPE, SUBARU_6CYL\n"), std::string::npos) << engine;
    EXPECT_NE(engine.find("OIL_PSI.MAX, "), std::string::npos);
    EXPECT_FALSE(Read("engine.kvc").empty());
    EXPECT_NE(system.find("INPUT_USAGE_1, 2\n"), std::string::npos) << system;
    EXPECT_NE(system.find("INPUT_LABEL_1, TANK3 XFR\n"), std::string::npos) << system;

    // The next start on the same flash loads them: the engine-type screen shows
    // the boxer engine and the list greys its probe rows.
    Script again;
    again.Repeat("press 2", 8).Do("press 4", 1).Do("screenshot " + dir_ + "/type-again.png");
    std::ofstream(dir_ + "/again.txt") << again.text;
    r = RunKv5100("--headless --hold 62" + flash + " --run-for 12 --script " + dir_ +
                  "/again.txt --tfs-out ENGINE.KVD=" + dir_ + "/engine2.kvd --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("WARMBOOT:1"), std::string::npos) << "the log kept in flash";
    EXPECT_EQ(Read("engine2.kvd"), engine) << "nothing saved the second time";
    const RgbImage again2 = Shot("type-again.png");
    for (int row : {19, 20, 21}) EXPECT_GT(Greyed(again2, 45 + 16 * (row - 1)), 20) << row;
    EXPECT_EQ(Greyed(again2, 45 + 16 * 21), 0) << "row 22";
    EXPECT_EQ(again2.Lit(420, 60, 500, 72) > 50, true);
}

TEST_F(CalibrationE2e, TfsOutNamesAMissingFile) {
    const CommandResult r =
        RunKv5100("--headless --flash " + dir_ + "/f.bin --run-for 1 --tfs-out NOSUCH.KVD=" + dir_ + "/x");
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.out.find("--tfs-out NOSUCH.KVD: no such file in TFS"), std::string::npos) << r.out;
    const CommandResult bad = RunKv5100("--headless --flash " + dir_ + "/f.bin --tfs-out NOEQUALS");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.out.find("--tfs-out takes NAME=FILE"), std::string::npos) << bad.out;
}

}  // namespace
