// The engine area's redraw: which background rectangles are restored and
// which group drawers run, in order, per layout, page and map option; and
// the round RPM and manifold dials.
#include <cmath>
#include <vector>

#include "engine/bargauge.h"
#include "map/map.h"
#include "page_fixture.h"
#include "ui/keys.h"

namespace {

struct Step {
    EngineDrawOp op;
    int32_t x, y, w, h;
    bool operator==(const Step& o) const {
        return op == o.op && x == o.x && y == o.y && w == o.w && h == o.h;
    }
};

std::ostream& operator<<(std::ostream& os, const Step& s) {
    static const char* const kNames[] = {"Restore", "Rpm",  "Electrical", "Cylinder", "FuelComputer",
                                         "Tanks",   "Flap", "Trim",       "Oat",      "Timer",
                                         "Clock",   "FadecStatus", "Hp"};
    os << kNames[s.op];
    if (s.op == kDrawRestore) os << "(" << s.x << "," << s.y << " " << s.w << "x" << s.h << ")";
    if (s.op == kDrawClock || s.op == kDrawTimer) os << "@" << s.x << "," << s.y;
    return os;
}

Step R(int32_t x, int32_t y, int32_t w, int32_t h) { return {kDrawRestore, x, y, w, h}; }
Step D(EngineDrawOp op, int32_t x = 0, int32_t y = 0) { return {op, x, y, 0, 0}; }

class EngineRedrawTest : public EnginePageTest {
protected:
    static std::vector<Step> Plan() {
        EngineDrawPlan plan;
        PlanEngineGauges(plan);
        std::vector<Step> out;
        for (int32_t i = 0; i < plan.nCount; ++i) {
            const EngineDrawStep& s = plan.step[i];
            out.push_back({s.op, s.x, s.y, s.nWidth, s.nHeight});
        }
        return out;
    }
    uint8_t BgPx(int x, int y) { return board().display().Memory()[(y + 960) * 640 + x]; }
    // A point of a dial at a radius and angle (tenths of a degree).
    static void DialXY(int32_t inst, double radius, int32_t angle, int* x, int* y) {
        const double a = angle * M_PI / 1800.0;
        *x = static_cast<int>(std::lround(GaugeWord(inst, 20) + radius * std::cos(a)));
        *y = static_cast<int>(std::lround(GaugeWord(inst, 21) - radius * std::sin(a)));
    }
};

TEST_F(EngineRedrawTest, RestoresAndDrawersPerLayoutPageAndMapOption) {
    constexpr int32_t kMapX = 432, kFlowX = 254, kStripY = 339, kStripH = 121;
    struct Case {
        const char* name;
        int32_t page;
        uint32_t mapFlags, nearest, clockEdit;
        int32_t oatEnable, egtX, fadec, hpEnable;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"large page 1", 1, 0, 0, 10, 0, -1, 0, 0,
         {R(0, 0, 640, 460), D(kDrawRpm), D(kDrawElectrical), D(kDrawCylinder), D(kDrawFuelComputer),
          D(kDrawTanks), D(kDrawFlap), D(kDrawTrim), D(kDrawClock, 3, 3)}},
        {"large with OAT and the timer; map flags ignored", 1, 3, 1, 20, 1, -1, 0, 0,
         {R(0, 0, 640, 460), D(kDrawRpm), D(kDrawElectrical), D(kDrawCylinder), D(kDrawFuelComputer),
          D(kDrawTanks), D(kDrawFlap), D(kDrawTrim), D(kDrawOat), D(kDrawTimer, 3, 3)}},
        {"large page 31: no bar or cylinder group", 31, 0, 0, 10, 2, -1, 0, 0,
         {R(0, 0, 640, 340), D(kDrawRpm), D(kDrawFuelComputer), D(kDrawTanks), D(kDrawFlap), D(kDrawTrim),
          D(kDrawClock, 3, 3)}},
        {"large page 35", 35, 0, 0, 10, 0, -1, 0, 0,
         {R(0, 0, 640, 340), D(kDrawRpm), D(kDrawFuelComputer), D(kDrawTanks), D(kDrawFlap), D(kDrawTrim),
          D(kDrawClock, 3, 3)}},
        {"map strip, whole", 6, 2, 0, 10, 0, -1, 0, 0,
         {R(0, kStripY, kFlowX + 1, kStripH), D(kDrawCylinder), D(kDrawFuelComputer), D(kDrawTanks),
          R(kMapX, kStripY, 640 - kMapX, kStripH), D(kDrawRpm)}},
        {"map strip, RPM only", 6, 3, 0, 10, 0, -1, 0, 0, {R(kMapX, kStripY, 640 - kMapX, kStripH), D(kDrawRpm)}},
        {"nearest list open: strip without the option bit", 7, 0, 1, 10, 0, -1, 0, 0,
         {R(0, kStripY, kFlowX + 1, kStripH), D(kDrawCylinder), D(kDrawFuelComputer), D(kDrawTanks),
          R(kMapX, kStripY, 640 - kMapX, kStripH), D(kDrawRpm)}},
        {"nearest list with RPM only", 7, 1, 1, 10, 0, -1, 0, 0,
         {R(kMapX, kStripY, 640 - kMapX, kStripH), D(kDrawRpm)}},
        {"normal page 3", 3, 0, 0, 10, 1, -1, 0, 0,
         {R(0, kStripY, 640, kStripH), D(kDrawRpm), D(kDrawElectrical), D(kDrawCylinder), D(kDrawFuelComputer),
          D(kDrawTanks)}},
        {"page 9, three restores", 9, 0, 0, 10, 0, 76, 0, 0,
         {R(kMapX, kStripY, 640 - kMapX, kStripH), D(kDrawRpm), R(76, kStripY, 319 - 76 - 109, kStripH),
          D(kDrawElectrical), R(0, kStripY, 77, kStripH), D(kDrawFuelComputer), D(kDrawTanks)}},
        {"page 9, a middle width of zero or less is skipped", 9, 0, 0, 10, 0, 250, 0, 0,
         {R(kMapX, kStripY, 640 - kMapX, kStripH), D(kDrawRpm), D(kDrawElectrical), R(0, kStripY, 251, kStripH),
          D(kDrawFuelComputer), D(kDrawTanks)}},
        {"FADEC present (any non-zero function)", 3, 0, 0, 10, 0, -1, 9, 1,
         {R(0, kStripY, 640, kStripH), D(kDrawRpm), D(kDrawElectrical), D(kDrawCylinder), D(kDrawFuelComputer),
          D(kDrawTanks), D(kDrawFadecStatus), D(kDrawHp)}},
        {"percent power enabled", 1, 0, 0, 10, 0, -1, 0, 1,
         {R(0, 0, 640, 460), D(kDrawRpm), D(kDrawElectrical), D(kDrawCylinder), D(kDrawFuelComputer),
          D(kDrawTanks), D(kDrawFlap), D(kDrawTrim), D(kDrawClock, 3, 3), D(kDrawHp)}},
    };
    Engine(kEngStd4);
    G_MapShowEngine = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_MapDisplayFlags = 0;
        G_Nearest.nMode = 0;
        Page(c.page);
        G_MapDisplayFlags = c.mapFlags;
        G_Nearest.nMode = c.nearest;
        G_ClockEdit = c.clockEdit;
        G_InstCfg[kInstOat].nEnable = c.oatEnable;
        if (c.egtX >= 0) GaugeWord(kInstEgt1, 0) = c.egtX;
        G_Fadec.nPresent = static_cast<uint32_t>(c.fadec);
        G_HorsepowerCfg.nEnable = c.hpEnable;
        EXPECT_EQ(Plan(), c.steps);
    }
}

// Page 9's middle restore ends at the pane's centre, left of the manifold
// dial drawn just before it: its needle stays.
TEST_F(EngineRedrawTest, SplitPageKeepsTheManifoldNeedle) {
    Engine(kEngStd4);
    Page(9);
    Set(kInstManifold, 500);
    DrawEngineGauges();
    int x, y;
    DialXY(kInstManifold, GaugeWord(kInstManifold, 32) - 4, DialAngle(kInstManifold, 500), &x, &y);
    EXPECT_EQ(Px(x, y), Index(kColourWhite));
}

TEST_F(EngineRedrawTest, ClockLineIsTextNotABox) {
    Engine(kEngStd4);
    Page(1);
    DrawEngineGauges();
    int white = 0, dark = 0;
    for (int y = 5; y < 25; ++y)
        for (int x = 5; x < 140; ++x) (Px(x, y) == 31 ? white : dark) += 1;
    EXPECT_GT(white, 100);
    EXPECT_GT(dark, white);
}

TEST_F(EngineRedrawTest, DialAngleFollowsTheScale) {
    Engine(kEngStd4);
    Page(3);
    // MANIFOLD 0..1000 over 240 degrees from 210 down to -30.
    for (auto [value, angle] : {std::pair{0, 2100}, {500, 900}, {1000, -300}, {250, 1500}, {-50, 2100},
                                {5000, -300}})
        EXPECT_EQ(DialAngle(kInstManifold, value), angle) << value;
    Limits(kInstManifold, 300, 300, 300, 300, 300, 300);   // an empty scale never divides
    Page(3);
    EXPECT_EQ(DialAngle(kInstManifold, 400), 2100);
}

TEST_F(EngineRedrawTest, DialBandsFromTheLimits) {
    Engine(kEngStd4);
    struct Case {
        int32_t inst, value;
        uint32_t colour;
    };
    // MANIFOLD: red below 100, yellow to 200, green to 800, yellow to 900,
    // red above. RPM: green, its yellow mid band 18000..20000, green to
    // 25000, yellow to 27000, red above.
    const Case cases[] = {{kInstManifold, 50, kColourRed},   {kInstManifold, 150, kColourYellow},
                          {kInstManifold, 450, kColourGreen}, {kInstManifold, 850, kColourYellow},
                          {kInstManifold, 950, kColourRed},   {kInstRpm, 8000, kColourGreen},
                          {kInstRpm, 19000, kColourYellow},   {kInstRpm, 22000, kColourGreen},
                          {kInstRpm, 26000, kColourYellow},   {kInstRpm, 28500, kColourRed}};
    for (int32_t page : {3, 1}) {
        Page(page);
        for (const Case& c : cases) {
            int x, y;
            DialXY(c.inst, GaugeWord(c.inst, 24), DialAngle(c.inst, c.value), &x, &y);
            EXPECT_EQ(BgPx(x, y), Index(c.colour)) << "page " << page << " inst " << c.inst << " " << c.value;
        }
    }
    // No low red band when RED_LOW equals MIN.
    Limits(kInstManifold, 0, 1000, 900, 800, 200, 0);
    Page(3);
    int x, y;
    DialXY(kInstManifold, GaugeWord(kInstManifold, 24), DialAngle(kInstManifold, 0) - 20, &x, &y);
    EXPECT_EQ(BgPx(x, y), Index(kColourYellow));
}

TEST_F(EngineRedrawTest, DialNeedleValueAndInvalidCross) {
    Engine(kEngStd4);
    Page(3);
    const int32_t inst = kInstRpm;
    const double tip = GaugeWord(inst, 32) - 4;
    auto needleAt = [&](int32_t value) {
        int x, y;
        DialXY(inst, tip, DialAngle(inst, value), &x, &y);
        return Px(x, y) == Index(kColourWhite);
    };
    Set(inst, 26000);
    DrawEngineGauges();
    EXPECT_TRUE(needleAt(26000));
    EXPECT_FALSE(needleAt(10000));
    EXPECT_STREQ(G_InstReading[inst].szText, "2600");
    EXPECT_EQ(uint32_t{G_InstReading[inst].nColour}, kColourYellow);
    Set(inst, 10000);
    DrawEngineGauges();
    EXPECT_TRUE(needleAt(10000));
    EXPECT_FALSE(needleAt(26000));
    // Invalid: a red cross over the dial, no needle.
    Set(inst, 10000, false);
    DrawEngineGauges();
    EXPECT_FALSE(needleAt(10000));
    const int cx = (GaugeWord(inst, 28) + GaugeWord(inst, 30)) / 2, cy = (GaugeWord(inst, 29) + GaugeWord(inst, 31)) / 2;
    EXPECT_EQ(Px(cx, cy), 2);
    // MANIFOLD shows one decimal in inches.
    Set(kInstManifold, 245);
    DrawEngineGauges();
    EXPECT_STREQ(G_InstReading[kInstManifold].szText, "24.5");
}

}  // namespace
