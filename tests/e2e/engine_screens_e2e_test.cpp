// The engine settings screens reached from the calibration list with the
// buttons and the knob: RPM (row 10) and the horsepower table (row 22),
// each saved with key 5 and found in its file after the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

std::string Read(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(EngineScreensE2e, RpmAndHorsepowerScreensSaveTheirFiles) {
    char dir[] = "/tmp/kv5100engscrXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    std::ostringstream s;
    double t = 6;
    auto at = [&](const std::string& event, double after = 0.3) {
        s << t << " " << event << "\n";
        t += after;
    };
    s << "3 release 5\n";
    for (int i = 0; i < 9; ++i) at("press 2");   // 10. RPM
    at("press 4", 1.5);
    at("knob 3", 1);                              // pulses up from the demonstration's 2
    at("screenshot " + d + "/rpm.png");
    at("press 5", 3);
    for (int i = 0; i < 12; ++i) at("press 2");  // 22. Horsepower
    at("press 4", 1.5);
    for (int i = 0; i < 4; ++i) at("press 2");   // RPM ROWS
    at("knob 3", 1);
    at("screenshot " + d + "/hp.png");
    at("press 5", 3);
    std::ofstream(d + "/script.txt") << s.str();
    const CommandResult r = RunKv5100("--headless --demo --hold 62 --flash " + d + "/f.bin --run-for " +
                                      std::to_string(static_cast<int>(t) + 2) + " --script " + d +
                                      "/script.txt --tfs-out ENGINE.KVD=" + d + "/engine.kvd --tfs-out HORSEPWR.KVD=" +
                                      d + "/horsepwr.kvd");
    ASSERT_EQ(r.status, 0) << r.out;
    const std::string engine = Read(d + "/engine.kvd");
    const size_t at2 = engine.find("RPM.PULSES_PER_2REVS, ");
    ASSERT_NE(at2, std::string::npos) << engine;
    EXPECT_GT(std::atoi(engine.c_str() + at2 + 22), 2) << engine;
    const std::string hp = Read(d + "/horsepwr.kvd");
    EXPECT_NE(hp.find("NUM_PTS, 2\n"), std::string::npos) << hp;
    EXPECT_NE(hp.find("RPM_2, 0\n"), std::string::npos) << hp;
    // Both screens show their rows from x 210.
    for (const char* shot : {"rpm.png", "hp.png"}) {
        RgbImage image;
        ASSERT_TRUE(ReadPng(d + "/" + shot, image)) << shot;
        int lit = 0;
        for (int y = 41; y < 120; ++y)
            for (int x = 210; x < 400; ++x) lit += image.At(x, y) != 0;
        EXPECT_GT(lit, 200) << shot;
    }
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

}  // namespace
