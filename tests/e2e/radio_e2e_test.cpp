// The navigation radio end to end: the radio peer (tools/sl30-peer.py)
// writes its sentences into serial port 3 (function 4, " SL-30 ") of a
// headless kv5100; the pilot accepts the liability page and picks the radio
// as course source (SETTINGS, the navigation menu, CRS); the HSI shows the
// radio's course with its deviation and TO flag. Turning the knob then sets
// the radio's course: the set-course sentences the unit sends back are read
// by the same peer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

// The palette as the display shows it: the radio's green.
constexpr uint32_t kGreen = 0x00FF00;
// The HSI of the EFIS page with the engine strip: rose centre and radius.
constexpr int kCx = 319, kCy = 281, kR = 54;

int Count(const RgbImage& img, int x0, int y0, int x1, int y1, uint32_t rgb) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += img.At(x, y) == rgb;
    return n;
}

class RadioE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100radioXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    std::string Peer(const std::string& args) const {
        const CommandResult r = RunCommand("python3 " + std::string(KV_TOOLS_DIR) + "/sl30-peer.py " + args);
        EXPECT_EQ(r.status, 0) << r.out;
        return r.out;
    }
    std::string dir_;
};

TEST_F(RadioE2e, RadioCourseOnTheHsiAndTheKnobSetsIt) {
    // Course 090, bearing to the station 270.0, needle half right, TO.
    Peer("stream " + dir_ + "/in.bin --seconds 40 --obs 90 --bearing 2700 --cdi 64 --flags 09");
    std::ofstream(dir_ + "/SYSTEM.KVD") << "EFIS_INSTALLED, 1\nNET_AHRS_MODE, 0\nAIR_INSTALLED, 1\nNET_AIR_MODE, 0\n"
                                           "SERIAL3_FUNC, 4\nGPSNAV1_PORT, 3\nDEMO_FLAGS, 8\n";
    // A first run formats the new flash, so that the radio's stream meets a
    // unit that boots in a second.
    ASSERT_EQ(RunKv5100("--headless --run-for 10 --flash " + dir_ + "/f.bin").status, 0);
    // I AGREE; SETTINGS, NAV, CRS (to the radio, NAV1); then the knob, now
    // on course, six slow detents to the right (the first after a rest is dropped).
    std::ofstream(dir_ + "/script.txt") << "12 press 3\n17 press 4\n17.5 press 3\n18 press 2\n19 screenshot " << dir_
                                        << "/vor.png\n21 knob 6 0.3\n23.2 screenshot " << dir_ << "/turned.png\n";
    const CommandResult run = RunKv5100("--headless --run-for 30 --flash " + dir_ + "/f.bin --tfs SYSTEM.KVD=" + dir_ +
                                        "/SYSTEM.KVD --script " + dir_ + "/script.txt --serial 3=file:" + dir_ +
                                        "/in.bin," + dir_ + "/out.bin --print-syslog");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("Serial Port:3, 9600 bps  SL-30"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("DEBUG: Serial Data Recvd on Port:3 switch to SERIAL"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("NAV: crsSel:0"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("SL30, V2"), std::string::npos) << "the radio never went silent";

    RgbImage vor, turned;
    ASSERT_TRUE(ReadPng(dir_ + "/vor.png", vor));
    ASSERT_TRUE(ReadPng(dir_ + "/turned.png", turned));
    // "VOR" in green beside the heading box; the course pointer straight up
    // (course 090 on heading 090), its head above and its tail below the
    // centre; the deviation bar half-way to the right; nothing on the left.
    EXPECT_GT(Count(vor, 345, 212, 372, 224, kGreen), 20) << "VOR";
    EXPECT_GT(Count(vor, kCx - 2, kCy - 44, kCx + 2, kCy - 24, kGreen), 30) << "pointer head";
    EXPECT_GT(Count(vor, kCx - 2, kCy + 22, kCx + 2, kCy + 44, kGreen), 30) << "pointer tail";
    EXPECT_GT(Count(vor, kCx + 6, kCy - 16, kCx + 12, kCy + 18, kGreen), 60) << "deviation bar, right";
    EXPECT_EQ(Count(vor, kCx - 14, kCy - 16, kCx - 4, kCy + 18, kGreen), 0) << "nothing on the left";
    // After the knob the pointer has turned a few degrees clockwise: its
    // head leans right of the centre line, its tail left.
    EXPECT_GT(Count(turned, kCx + 1, kCy - 44, kCx + 4, kCy - 36, kGreen), Count(vor, kCx + 1, kCy - 44, kCx + 4, kCy - 36, kGreen));
    EXPECT_GT(Count(turned, kCx - 4, kCy + 36, kCx - 1, kCy + 44, kGreen), Count(vor, kCx - 4, kCy + 36, kCx - 1, kCy + 44, kGreen));

    // The set-course sentences back on the port: good checksums, the knob's
    // courses in order, the last one repeated while the radio (a recording)
    // keeps reporting 090, at most every 0.1 s for the 3 s the course is the
    // user's.
    std::istringstream sent(Peer("decode " + dir_ + "/out.bin"));
    std::vector<int> courses;
    std::string line;
    while (std::getline(sent, line)) {
        ASSERT_EQ(line.rfind("34 obs=", 0), 0u) << line;
        courses.push_back(std::atoi(line.c_str() + 7));
    }
    ASSERT_GE(courses.size(), 4u);
    for (size_t i = 1; i < courses.size(); ++i) EXPECT_GE(courses[i], courses[i - 1]) << i;
    EXPECT_EQ(courses.front(), 91);
    EXPECT_GT(courses.back(), 92);
    EXPECT_LE(courses.back(), 96);
    EXPECT_LE(courses.size(), 6u + 31u);
}

}  // namespace
