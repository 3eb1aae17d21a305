// Charts as a pilot reaches them: kv5100 on a generated card with the GPS
// standing at the region's start, near the charted airport; MAP, NRST, CHART,
// NEXT, the knob panning the tall page, NEXT to the page turned 90 degrees
// and RETURN; each page checked on its screenshot against the positions the
// page's geo-reference gives.
#include <gtest/gtest.h>

#include <string>

#include "support/map_e2e.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kMagenta = 0xFF00FF, kGreen = 0x00FF00, kWhite = 0xFFFFFF;

int Around(const RgbImage& im, uint32_t rgb, int x, int y, int r) { return CountColour(im, rgb, x - r, y - r, x + r, y + r); }
int Everywhere(const RgbImage& im, uint32_t rgb) { return CountColour(im, rgb, 0, 0, 639, 458); }

// The GPS standing still at the region's start.
class ChartsE2e : public MapE2e {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MapE2e::SetUp());
        MakeMapUnit("", "--speed 0 --jump-at -1");
    }
};

TEST_F(ChartsE2e, NearestChartNextAndTheKnobShowTheChartWithTheAircraftWhereTheGeoReferencePutsIt) {
    const std::string s = d_ + "/";
    Write("script",
          // I AGREE; three pushes put the knob on ZOOM and eleven steps in
          // load every square near the start; NRST selects the nearest
          // airport, KAAK.
          "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 12\n"
          "24 press 2\n26 screenshot " + s + "nearest.png\n"
          // CHART: page 0, 500 x 300, north up.
          "27 press 3\n30 screenshot " + s + "page0.png\n"
          // NEXT: the 1,000 x 600 page, its top shown.
          "31 press 4\n34 screenshot " + s + "page1.png\n"
          // The knob on PAN VER: a waking detent, then two steps of 46 rows down.
          "35 knob 3 0.3\n38 screenshot " + s + "page1pan.png\n"
          // NEXT: the page turned 90 degrees; then RETURN to the map.
          "39 press 4\n42 screenshot " + s + "page2.png\n"
          "43 press 1\n46 screenshot " + s + "map.png\n");
    CommandResult r = RunScript(Gps(), 47);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("LOAD FILE: /CHARTS/KAAK.ACH"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Chart:KAAK, 5 recs"), std::string::npos);
    EXPECT_NE(r.out.find("CHART:KAAK, pg:1, FIELD OVERVIEW"), std::string::npos);
    EXPECT_NE(r.out.find("CHART:KAAK, pg:2, TURNED 90\nGeoRef Enabled: Rotation 90"), std::string::npos);
    EXPECT_NE(r.out.find("LFT KNOB FUNC"), std::string::npos);

    // The start, 45.2629 N 122.6769 W, and KAAK, 45.4 N 122.65 W, on each page
    // by its generator's geo-reference (x = lon x scale + x offset, ...):
    // page 0, 1,000 pixels a degree from 122.85 W and 45.52 N: (173, 257), (200, 120);
    // page 1, 2,000 from 122.90 W and 45.52 N: (446, 514), (500, 240), 92 rows less when panned;
    // page 2, turned: (-173, 213) becomes (212, 172) with the table's sine of 90 degrees.
    const RgbImage p0 = Shot("page0"), p1 = Shot("page1"), pan = Shot("page1pan"), p2 = Shot("page2");
    EXPECT_EQ(p0.At(250, 5), 0x000000u) << "the arrow at the picture's top: upright";
    EXPECT_EQ(p0.At(260, 290), kWhite);
    EXPECT_GT(Around(p0, kRed, 173, 257, 18), 60);
    EXPECT_EQ(Everywhere(p0, kRed), Around(p0, kRed, 173, 257, 18)) << "red only on the aircraft";
    EXPECT_GT(Around(p0, kMagenta, 200, 120, 4), 8);
    EXPECT_GT(CountColour(p0, kGreen, 20, 20, 480, 20), 400) << "the geo-referenced box";
    EXPECT_EQ(CountColour(p0, kWhite, 501, 0, 639, 458), 0) << "nothing beside a small page";

    EXPECT_EQ(Everywhere(p1, kRed), 0) << "the aircraft below the window";
    EXPECT_GT(Around(p1, kMagenta, 500, 240, 4), 8);
    EXPECT_GT(Around(pan, kRed, 446, 422, 18), 60);
    EXPECT_GT(Around(pan, kMagenta, 500, 148, 4), 8);
    EXPECT_NE(p1.rgb, pan.rgb);

    EXPECT_GT(Around(p2, kRed, 212, 172, 18), 60);
    EXPECT_GT(Around(p2, kMagenta, 349, 199, 4), 8);

    const RgbImage map = Shot("map");
    EXPECT_LT(Everywhere(map, kWhite), Everywhere(p2, kWhite) / 4) << "RETURN leaves the white chart for the map";
}

}  // namespace
