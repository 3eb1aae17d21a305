// The map's waypoint pages as a pilot reaches them: kv5100 on a generated
// card with the GPS track, the knob zoomed in, then MAP, NRST with a knob
// step, INFO through every page with the knob, back, -D-> and knob turns and
// a push that spell a fix; each box checked on its screenshot.
#include <gtest/gtest.h>

#include <string>

#include "support/map_e2e.h"

namespace {

// The small box beside the engine strip's place (the option is on), the
// information box in the lower-left corner.
constexpr int kSmallX0 = 255, kSmallY0 = 313, kSmallX1 = 435, kSmallY1 = 458;
constexpr int kInfoX0 = 0, kInfoY0 = 339, kInfoX1 = 255, kInfoY1 = 458;

// A box is there: its white outline along the top edge and black inside.
bool BoxShown(const RgbImage& im, int x0, int y0, int x1, int y1) {
    return CountColour(im, 0xFFFFFF, x0, y0, x1, y0) > (x1 - x0) * 9 / 10 &&
           CountColour(im, 0x000000, x0 + 1, y0 + 1, x1 - 1, y1 - 1) > (x1 - x0) * (y1 - y0) / 3;
}

// The card with its airports' information pages.
class WaypointsE2e : public MapE2e {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(MapE2e::SetUp());
        MakeMapUnit("--db-pages");
    }
};

TEST_F(WaypointsE2e, NearestInfoPagesAndDirectToAFix) {
    const std::string s = d_ + "/";
    // A detent after two seconds of rest only wakes the knob: each turn below
    // is one detent more than the steps it makes.
    std::string script =
        // I AGREE; three pushes put the knob on ZOOM; eleven steps in, where
        // every airport of the card is shown (and so may be listed).
        "14 press 3\n16 press 6\n17 press 6\n18 press 6\n21 knob 12\n"
        // The map menu is up: NRST, and a knob step to the list's second entry.
        "24 press 2\n26 screenshot " + s + "nearest.png\n"
        "27 knob 2 0.3\n29 screenshot " + s + "nearest2.png\n"
        // INFO on the selected airport, and the knob through its pages.
        "30 press 2\n32 screenshot " + s + "info0.png\n";
    for (int p = 1; p <= 20; ++p)
        script += std::to_string(32 + p) + ".0 knob 1\n" + std::to_string(32 + p) + ".8 screenshot " + s + "info" +
                  std::to_string(p) + ".png\n";
    script +=
        // RETURN to the map menu, -D-> opens FIND on the selected airport.
        "54 press 1\n55 press 3\n57 screenshot " + s + "find.png\n"
        // One step back from K is the fixes' F; a push moves to the second
        // cell, where one step forward spells FX.
        "58 knob -2 0.3\n60 screenshot " + s + "find_f.png\n"
        "61 press 6\n62 knob 2 0.3\n64 screenshot " + s + "find_fx.png\n";
    Write("script", script);
    CommandResult r = RunScript(Gps(), 65);
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("LFT KNOB FUNC:9"), std::string::npos) << "the knob is on ZOOM";
    EXPECT_NE(r.out.find("DTo: iMode:1"), std::string::npos) << r.out;

    const RgbImage nearest = Shot("nearest"), nearest2 = Shot("nearest2");
    EXPECT_TRUE(BoxShown(nearest, kSmallX0, kSmallY0, kSmallX1, kSmallY1));
    // Yellow entries, and the selected one in its box: the step moved it.
    EXPECT_GT(CountColour(nearest, 0xFFFF00, kSmallX0, 352, kSmallX1, 456), 500);
    EXPECT_NE(nearest.rgb, nearest2.rgb);

    const RgbImage info0 = Shot("info0");
    EXPECT_TRUE(BoxShown(info0, kInfoX0, kInfoY0, kInfoX1, kInfoY1));
    EXPECT_TRUE(BoxShown(info0, kSmallX0, kSmallY0, kSmallX1, kSmallY1)) << "the runway diagram beside it";
    // Each knob step shows another page until the pages wrap round to the first.
    int distinct = 0;
    bool wrapped = false;
    RgbImage prev = info0;
    for (int p = 1; p <= 20; ++p) {
        const RgbImage im = Shot("info" + std::to_string(p));
        const bool same = im.rgb == prev.rgb;
        if (!same) ++distinct;
        if (p > 1 && CountColour(im, 0xFFFFFF, kInfoX0, kInfoY0 + 27, kInfoX1, kInfoY1 - 14) ==
                         CountColour(info0, 0xFFFFFF, kInfoX0, kInfoY0 + 27, kInfoX1, kInfoY1 - 14))
            wrapped = true;
        prev = im;
    }
    EXPECT_GE(distinct, 3);
    EXPECT_TRUE(wrapped) << "the knob came back to the main page";

    const RgbImage find = Shot("find"), findF = Shot("find_f"), findFx = Shot("find_fx");
    EXPECT_TRUE(BoxShown(find, kSmallX0, kSmallY0, kSmallX1, kSmallY1));
    EXPECT_NE(find.rgb, findF.rgb);
    EXPECT_NE(findF.rgb, findFx.rgb);
    // The fix's type names in yellow under the identifier.
    EXPECT_GT(CountColour(findFx, 0xFFFF00, kSmallX0, kSmallY0 + 47, kSmallX1, kSmallY0 + 95), 100);
}

}  // namespace
