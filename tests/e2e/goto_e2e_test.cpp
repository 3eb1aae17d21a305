// The map's GOTO as a pilot flies it: kv5100 on a generated card with the GPS
// track, NRST and GOTO to the nearest airport through the buttons, the
// magenta course line and the data boxes on the screenshot, and STOPNAV.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

constexpr uint32_t kMagenta = 0xFF00FF;

int CountColour(const RgbImage& im, uint32_t rgb, int x0, int y0, int x1, int y1) {
    int n = 0;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) n += im.At(x, y) == rgb ? 1 : 0;
    return n;
}

// Magenta in the map below the data-box strip: the course line and circle.
int CourseLine(const RgbImage& im) { return CountColour(im, kMagenta, 1, 32, 638, 458); }

const std::string kTools = KV_TOOLS_DIR;

class GotoE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kvgotoXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        d_ = dir;
        CommandResult g = RunCommand("python3 " + kTools + "/make-map-card.py " + d_ + "/files --image " + d_ +
                                     "/card.img 2>&1 && python3 " + kTools + "/make-gps-track.py " + d_ +
                                     "/track.nmea 2>&1");
        ASSERT_EQ(g.status, 0) << g.out;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d_).c_str());
    }
    void Write(const std::string& name, const std::string& text) { std::ofstream(d_ + "/" + name) << text; }
    RgbImage Shot(const std::string& name) {
        RgbImage im;
        EXPECT_TRUE(ReadPng(d_ + "/" + name + ".png", im)) << name;
        return im;
    }
    std::string d_;
};

TEST_F(GotoE2e, GotoTheNearestAirportDrawsTheCourseLineAndFillsTheDataBoxes) {
    const std::string s = d_ + "/";
    Write("system.kvd", "MAP_INSTALLED, 1\nEFIS_INSTALLED, 0\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\n"
                        "SERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\n");
    // I AGREE; the knob on ZOOM and eleven steps in, where every airport is
    // shown and so may be listed; NRST, GOTO (the list's first entry).
    Write("script", "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 12\n"
                    "24 press 2\n26 screenshot " + s + "nearest.png\n"
                    "27 press 5\n31 screenshot " + s + "goto.png\n"
                    // North up in the map settings: the scale bar and north arrow.
                    "32 press 4\n33 press 6\n37 screenshot " + s + "north.png\n"
                    // Back, NRST and STOPNAV: the line goes.
                    "38 press 1\n39 press 2\n41 press 4\n45 screenshot " + s + "stop.png\n");
    CommandResult r = RunKv5100("--headless --flash " + d_ + "/flash --sd " + d_ + "/card.img --tfs SYSTEM.KVD=" + d_ +
                                "/system.kvd --serial 3=file:" + d_ + "/track.nmea --script " + d_ +
                                "/script --run-for 46 --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Start GOTO: K"), std::string::npos) << r.out;

    const RgbImage nearest = Shot("nearest"), go = Shot("goto"), north = Shot("north"), stop = Shot("stop");
    EXPECT_LT(CourseLine(nearest), 50) << "no GOTO yet";
    EXPECT_GT(CourseLine(go), 300) << "the magenta course line through the destination";
    EXPECT_GT(CourseLine(north), 300);
    EXPECT_LT(CourseLine(stop), 50) << "STOPNAV";
    // The data boxes: magenta labels and white values in the strip, grey rules under it.
    EXPECT_GT(CountColour(go, kMagenta, 0, 0, 639, 14), 60);
    EXPECT_GT(CountColour(go, 0xFFFFFF, 0, 0, 639, 14), 60);
    EXPECT_NE(CountColour(go, 0xFFFFFF, 0, 0, 212, 14), CountColour(nearest, 0xFFFFFF, 0, 0, 212, 14))
        << "WP and DIST hold the destination";
    // North up: the scale bar's white ends at the pane's right edge.
    EXPECT_GT(CountColour(north, 0xFFFFFF, 564, 33, 638, 38), 70);
}

}  // namespace
