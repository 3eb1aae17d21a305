// The moving map as a pilot reaches it: kv5100 with a generated card and a
// GPS track on a serial port, driven through the front-panel buttons and the
// knob (I AGREE, the knob on ZOOM, zoom steps, NORTH UP in the map settings,
// TERR OFF), and the card taken out; each step checked on its screenshot.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

// The full map pane of page 8 and where the aircraft is drawn in it.
constexpr int kPaneX1 = 639, kPaneY1 = 459;
constexpr int kOwnX = 319, kTrackUpY = 344, kNorthUpY = 229;

// Land of the terrain ramp: green or brown, more red or green than blue.
int LandPixels(const RgbImage& im) {
    int n = 0;
    for (int y = 1; y < kPaneY1; ++y)
        for (int x = 1; x < kPaneX1; ++x) {
            const uint32_t c = im.At(x, y);
            const int r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF;
            n += (r > b + 16 || g > b + 16) ? 1 : 0;
        }
    return n;
}

// White outline pixels of the aircraft symbol around a point.
int WhiteNear(const RgbImage& im, int x, int y) {
    int n = 0;
    for (int j = y - 18; j <= y + 18; ++j)
        for (int i = x - 18; i <= x + 18; ++i) n += im.At(i, j) == 0xFFFFFF ? 1 : 0;
    return n;
}

int RedNear(const RgbImage& im, int x, int y) {
    int n = 0;
    for (int j = y - 8; j <= y + 8; ++j)
        for (int i = x - 60; i <= x + 60; ++i) n += im.At(i, j) == 0xFF0000 ? 1 : 0;
    return n;
}

class MovingMapE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kvmovmapXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        d_ = dir;
        const std::string tools = std::string(KV_TOOLS_DIR);
        CommandResult g = RunCommand("python3 " + tools + "/make-map-card.py " + d_ + "/files --image " + d_ +
                                     "/card.img 2>&1 && python3 " + tools + "/make-gps-track.py " + d_ +
                                     "/track.nmea 2>&1");
        ASSERT_EQ(g.status, 0) << g.out;
        Write("system.kvd", "MAP_INSTALLED, 1\nEFIS_INSTALLED, 0\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\n"
                            "SERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\n");
    }
    void TearDown() override { std::system(("rm -rf " + d_).c_str()); }

    void Write(const std::string& name, const std::string& text) {
        FILE* f = std::fopen((d_ + "/" + name).c_str(), "w");
        ASSERT_NE(f, nullptr);
        std::fputs(text.c_str(), f);
        std::fclose(f);
    }
    CommandResult Run(const std::string& serial, double seconds) {
        return RunKv5100("--headless --flash " + d_ + "/flash --sd " + d_ + "/card.img --tfs SYSTEM.KVD=" + d_ +
                         "/system.kvd " + serial + " --script " + d_ + "/script --run-for " +
                         std::to_string(seconds) + " --print-syslog");
    }
    RgbImage Shot(const std::string& name) {
        RgbImage im;
        EXPECT_TRUE(ReadPng(d_ + "/" + name + ".png", im)) << name;
        return im;
    }
    std::string d_;
};

TEST_F(MovingMapE2e, ButtonsAndKnobZoomTurnAndShadeTheMapThatFollowsTheGps) {
    const std::string s = d_ + "/";
    // 14 s: I AGREE opens the map page; three knob pushes put the knob on ZOOM.
    Write("script", "14 press 3\n16 press 6\n17 press 6\n18 press 6\n"
                    "22 screenshot " + s + "zoom0.png\n"
                    "23 knob 4\n26 screenshot " + s + "zoom3.png\n"
                    "27 knob 5\n30 screenshot " + s + "zoom7.png\n"
                    // SETTINGS, then the knob push turns the map north up.
                    "31 press 4\n32 press 6\n35 screenshot " + s + "north.png\n"
                    // TERR OFF: the next picture is drawn without terrain.
                    "36 press 3\n39 screenshot " + s + "terroff.png\n"
                    "40 card out\n42 screenshot " + s + "cardout.png\n");
    CommandResult r = Run("--serial 3=file:" + d_ + "/track.nmea", 44);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("Map Loaded --> KV SYNTHETIC NORTH-WEST"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("LFT KNOB FUNC:9"), std::string::npos) << "the knob is on ZOOM";
    // The track's one wild fix is ignored, once.
    const size_t wild = r.out.find("MAP: wormhole detected");
    EXPECT_NE(wild, std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("MAP: wormhole detected", wild + 1), std::string::npos);
    EXPECT_EQ(r.out.find("MAP: wormhole followed"), std::string::npos);
    EXPECT_EQ(r.out.find("Terrain DMA !done"), std::string::npos);

    const RgbImage z0 = Shot("zoom0"), z3 = Shot("zoom3"), z7 = Shot("zoom7");
    const RgbImage north = Shot("north"), off = Shot("terroff"), out = Shot("cardout");
    // Track up: terrain around the aircraft, drawn low in the pane.
    EXPECT_GT(LandPixels(z0), 20000);
    EXPECT_GT(WhiteNear(z0, kOwnX, kTrackUpY), 20);
    // Closer zooms fill the pane with land (the region's edge leaves the view).
    EXPECT_GT(LandPixels(z3), LandPixels(z0));
    EXPECT_GT(LandPixels(z7), 600 * 400);
    EXPECT_NE(z3.rgb, z7.rgb);
    // North up: the aircraft at the pane's centre.
    EXPECT_GT(WhiteNear(north, kOwnX, kNorthUpY), 20);
    EXPECT_LT(WhiteNear(north, kOwnX, kTrackUpY), 5);
    // Terrain off: the line work and the aircraft on black.
    EXPECT_LT(LandPixels(off), 2000);
    EXPECT_GT(WhiteNear(off, kOwnX, kNorthUpY), 20);
    // Card out: the red banner under the pane's centre.
    EXPECT_GT(RedNear(out, kOwnX, kNorthUpY + 20), 100);
}

TEST_F(MovingMapE2e, WithoutAFixTheMapShowsNoGps) {
    Write("script", "14 press 3\n20 screenshot " + d_ + "/nogps.png\n");
    CommandResult r = Run("", 22);
    ASSERT_EQ(r.status, 0) << r.out;
    const RgbImage im = Shot("nogps");
    EXPECT_GT(RedNear(im, kOwnX, 229 + 20), 100) << "NO GPS";
    EXPECT_LT(WhiteNear(im, kOwnX, kTrackUpY), 5) << "no aircraft without a position";
}

}  // namespace
