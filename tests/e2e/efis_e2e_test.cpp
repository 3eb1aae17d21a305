// The EFIS page end to end: the demonstration unit, the liability page
// accepted, then the PAGE key steps the screens as a pilot does: EFIS with
// the engine strip (3), the air-data pane (4), the page-9 EFIS and the full
// EFIS (2); each screenshot shows its instruments.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

// The palette as the display shows it: four bits a component.
constexpr uint32_t kSky = 0x444488, kGround = 0x994400, kTape = 0x111111;

int Count(const RgbImage& img, int x0, int y0, int x1, int y1, uint32_t rgb) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += img.At(x, y) == rgb;
    return n;
}

TEST(EfisE2e, PageKeyStepsThroughTheEfisScreens) {
    char dir[] = "/tmp/kv5100efisXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    std::ostringstream s;
    s << "9 press 3            # I AGREE\n"
      << "11 screenshot " << d << "/p3.png\n"
      << "12 press 1           # PAGE\n"
      << "14 screenshot " << d << "/p4.png\n"
      << "15 press 1\n"
      << "17 screenshot " << d << "/p9.png\n"
      << "18 press 1\n"
      << "20 press 1\n"
      << "22 screenshot " << d << "/p2.png\n";
    std::ofstream(d + "/script.txt") << s.str();
    const CommandResult r = RunKv5100("--headless --demo --flash " + d + "/f.bin --run-for 23 --script " + d +
                                      "/script.txt --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    // The screens the PAGE key reached, in order.
    std::string order;
    for (size_t at = 0; (at = r.out.find("InitScreenConfig(", at)) != std::string::npos; ++at)
        order += r.out.substr(at + 17, r.out.find(')', at) - at - 17) + " ";
    EXPECT_NE(order.find("3 4 9 1 2"), std::string::npos) << order;

    struct Shot { const char* name; int y1; bool attitude; };
    for (const Shot& shot : {Shot{"p3", 339, true}, Shot{"p9", 339, true}, Shot{"p2", 459, true}, Shot{"p4", 339, false}}) {
        SCOPED_TRACE(shot.name);
        RgbImage img;
        ASSERT_TRUE(ReadPng(d + "/" + shot.name + ".png", img));
        if (shot.attitude) {
            // Sky above the wings, ground below, both tapes on their dark ground.
            EXPECT_GT(Count(img, 150, 40, 490, shot.y1 / 2 - 20, kSky), 1000);
            EXPECT_GT(Count(img, 0, shot.y1 / 2 + 20, 639, shot.y1, kGround), 1000);
            EXPECT_GT(Count(img, 8, 100, 60, 140, kTape), 500) << "airspeed tape";
            EXPECT_GT(Count(img, 560, 100, 610, 140, kTape), 500) << "altitude tape";
            // The compass rose: a dark disc with white marks under the attitude.
            const int ry0 = shot.y1 - 100, ry1 = shot.y1 - 10;
            EXPECT_GT(Count(img, 280, ry0, 360, ry1, 0), 1500) << "compass rose";
            EXPECT_GT(Count(img, 260, ry0, 380, ry1, 0xFFFFFF), 100) << "compass marks";
        } else {
            EXPECT_EQ(Count(img, 0, 0, 639, shot.y1, kSky), 0) << "no attitude on the air-data pane";
            EXPECT_GT(img.Lit(240, 40, 400, 170), 300) << "airspeed and altitude readouts";
        }
        // Readout digits: white in the altitude or the air-data box.
        EXPECT_GT(Count(img, 560, 100, 639, shot.y1, 0xFFFFFF) + Count(img, 240, 40, 400, 170, 0xFFFFFF), 50);
    }
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

}  // namespace
