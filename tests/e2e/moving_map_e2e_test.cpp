// The moving map as a pilot reaches it: kv5100 with a generated card and a
// GPS track on a serial port, driven through the front-panel buttons and the
// knob (I AGREE, the knob on ZOOM, zoom steps, NORTH UP in the map settings,
// TERR OFF), and the card taken out; each step checked on its screenshot.
#include <gtest/gtest.h>

#include <string>

#include "support/map_e2e.h"

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
int WhiteNear(const RgbImage& im, int x, int y) { return CountColour(im, 0xFFFFFF, x - 18, y - 18, x + 18, y + 18); }

int RedNear(const RgbImage& im, int x, int y) { return CountColour(im, 0xFF0000, x - 60, y - 8, x + 60, y + 8); }

class MovingMapE2e : public MapE2e {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MapE2e::SetUp());
        MakeMapUnit();
    }
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
    CommandResult r = RunScript(Gps(), 44);
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
    CommandResult r = RunScript("", 22);
    ASSERT_EQ(r.status, 0) << r.out;
    const RgbImage im = Shot("nogps");
    EXPECT_GT(RedNear(im, kOwnX, 229 + 20), 100) << "NO GPS";
    EXPECT_LT(WhiteNear(im, kOwnX, kTrackUpY), 5) << "no aircraft without a position";
}

}  // namespace
