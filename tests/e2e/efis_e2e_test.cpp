// The EFIS page end to end: the demonstration unit, the liability page
// accepted, then the PAGE key steps the screens as a pilot does: EFIS with
// the engine strip (3), the air-data pane (4), EFIS beside the map (5) and
// EFIS, map and engine strip (6); each screenshot shows its instruments.
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
      << "17 screenshot " << d << "/p5.png\n"
      << "18 press 1\n"
      << "22 screenshot " << d << "/p6.png\n";
    std::ofstream(d + "/script.txt") << s.str();
    const CommandResult r = RunKv5100("--headless --demo --flash " + d + "/f.bin --run-for 23 --script " + d +
                                      "/script.txt --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    // The screens the PAGE key reached, in order.
    std::string order;
    for (size_t at = 0; (at = r.out.find("InitScreenConfig(", at)) != std::string::npos; ++at)
        order += r.out.substr(at + 17, r.out.find(')', at) - at - 17) + " ";
    EXPECT_NE(order.find("3 4 5 6"), std::string::npos) << order;

    struct Shot { const char* name; int x1, y1; bool attitude; };
    for (const Shot& shot : {Shot{"p3", 639, 339, true}, Shot{"p5", 383, 459, true}, Shot{"p6", 383, 339, true},
                             Shot{"p4", 639, 339, false}}) {
        SCOPED_TRACE(shot.name);
        RgbImage img;
        ASSERT_TRUE(ReadPng(d + "/" + shot.name + ".png", img));
        const int cx = shot.x1 / 2;
        if (shot.attitude) {
            // Sky above the wings, ground below, both tapes on their dark ground.
            EXPECT_GT(Count(img, cx - 100, 40, cx + 100, shot.y1 / 2 - 20, kSky), 1000);
            EXPECT_GT(Count(img, 0, shot.y1 / 2 + 20, shot.x1, shot.y1, kGround), 1000);
            EXPECT_GT(Count(img, 8, 100, 60, 140, kTape), 500) << "airspeed tape";
            EXPECT_GT(Count(img, shot.x1 - 80, 100, shot.x1 - 30, 140, kTape), 500) << "altitude tape";
            // The compass rose: a dark disc with white marks under the attitude.
            const int ry0 = shot.y1 - 90, ry1 = shot.y1 - 20;
            EXPECT_GT(Count(img, cx - 30, ry0, cx + 30, ry1, 0), 1500) << "compass rose";
            EXPECT_GT(Count(img, cx - 60, ry0, cx + 60, ry1, 0xFFFFFF), 100) << "compass marks";
        } else {
            EXPECT_EQ(Count(img, 0, 0, 639, shot.y1 - 10, kSky), 0) << "no attitude on the air-data pane";
            EXPECT_GT(img.Lit(240, 40, 400, 170), 300) << "airspeed and altitude readouts";
        }
        // Readout digits: white in the altitude or the air-data box.
        EXPECT_GT(Count(img, shot.x1 - 80, 100, shot.x1, shot.y1, 0xFFFFFF) + Count(img, 240, 40, 400, 170, 0xFFFFFF), 50);
    }
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

}  // namespace
