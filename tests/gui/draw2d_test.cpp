// Lines, polygons, circles, ellipses and arcs against their own formulas on
// small cases, and the integer trigonometry.
#include <cmath>
#include <cstdlib>
#include "gui_fixture.h"

using PixelSet = std::set<std::pair<int, int>>;

// Independent reference of a thin line: exact rational minor coordinate,
// rounded to nearest with halves away from the start.
static PixelSet RefLine(int x0, int y0, int x1, int y1) {
    PixelSet s;
    int dx = x1 - x0, dy = y1 - y0;
    bool steep = std::abs(dx) < std::abs(dy);
    int n = steep ? std::abs(dy) : std::abs(dx);
    for (int i = 0; i <= n; ++i) {
        // Step from the left (or top) end.
        int sx = steep ? (dy > 0 ? x0 : x1) : (dx > 0 ? x0 : x1);
        int sy = steep ? (dy > 0 ? y0 : y1) : (dx > 0 ? y0 : y1);
        int major = steep ? std::abs(dy) : std::abs(dx);
        int minorDelta = steep ? (dy > 0 ? dx : -dx) : (dx > 0 ? dy : -dy);
        long num = static_cast<long>(minorDelta) * i;
        long r = (2 * std::labs(num) + major) / (2L * major);
        long m = num < 0 ? -r : r;
        if (steep) s.insert({sx + static_cast<int>(m), sy + i});
        else s.insert({sx + i, sy + static_cast<int>(m)});
    }
    return s;
}

TEST_F(GuiTest, ThinLinesMatchTheRoundedReference) {
    struct Case { int x0, y0, x1, y1; };
    const Case cases[] = {{0, 0, 10, 3}, {3, 10, 0, 0}, {0, 0, 10, 5}, {10, 5, 0, 0}, {0, 10, 10, 0},
                          {5, 5, 5, 20}, {0, 0, 7, 7}, {7, 0, 0, 7}, {2, 2, 30, -1}, {1, 1, 4, 20}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x0 << "," << c.y0 << " - " << c.x1 << "," << c.y1);
        ClearFrame();
        GUI_DrawLine(c.x0 + 50, c.y0 + 50, c.x1 + 50, c.y1 + 50);
        PixelSet want;
        for (auto [x, y] : RefLine(c.x0, c.y0, c.x1, c.y1)) want.insert({x + 50, y + 50});
        EXPECT_EQ(Set(0, 0, 120, 120), want);
    }
    ClearFrame();
    GUI_DrawLine(0, 0, 10, 3);
    EXPECT_EQ(Set(0, 0, 20, 20).size(), 11u);
    ClearFrame();
    GUI_DrawLine(5, 5, 5, 5);
    EXPECT_EQ(Set(0, 0, 20, 20), (PixelSet{{5, 5}}));
}

// A line far longer than the display (its minor step times its length passes
// 32 bits) still crosses the screen where the exact line does.
TEST_F(GuiTest, LongLinesCrossTheScreenExactly) {
    ClearFrame();
    GUI_SetColorIndex(1);
    GUI_DrawLine(-100000, -50000, 100000, 50000);
    PixelSet want;
    for (int x = 0; x <= 639; ++x) want.insert({x, x / 2});   // y = x / 2, halves rounded away from the start
    for (int x = 1; x <= 639; x += 2) want.erase({x, x / 2}), want.insert({x, x / 2 + 1});
    EXPECT_EQ(Set(0, 0, 639, 1637), want);
}

TEST_F(GuiTest, ThickLinesHaveRoundEnds) {
    GUI_SetPenSize(3);
    GUI_DrawLine(10, 10, 20, 10);
    PixelSet s = Set(0, 0, 40, 40);
    for (auto [x, y] : s) EXPECT_TRUE(y >= 9 && y <= 11) << x << "," << y;
    for (int x = 10; x <= 20; ++x)
        for (int y = 9; y <= 11; ++y) EXPECT_TRUE(s.count({x, y})) << x << "," << y;
    EXPECT_TRUE(s.count({9, 10}) && s.count({21, 10}));    // caps of radius 1
    EXPECT_FALSE(s.count({9, 9}));
    ClearFrame();
    GUI_DrawLine(30, 30, 30, 30);      // nothing with a thick pen
    EXPECT_TRUE(Set(0, 0, 60, 60).empty());
    ClearFrame();
    GUI_DrawPoint(30, 30);             // a filled circle of radius 1: a plus
    EXPECT_EQ(Set(0, 0, 60, 60), (PixelSet{{29, 30}, {30, 30}, {31, 30}, {30, 29}, {30, 31}}));
}

TEST_F(GuiTest, CirclesSmallCasesAndInvariants) {
    GUI_DrawCircle(10, 10, 0);
    EXPECT_EQ(Set(0, 0, 20, 20).size(), 9u);
    ClearFrame();
    GUI_DrawCircle(10, 10, 1);
    PixelSet s = Set(0, 0, 20, 20);
    EXPECT_EQ(s.size(), 8u);
    EXPECT_FALSE(s.count({10, 10}));
    for (int r : {5, 12, 40}) {
        SCOPED_TRACE(r);
        ClearFrame();
        GUI_DrawCircle(100, 100, r);
        PixelSet c = Set(0, 0, 200, 200);
        for (auto [x, y] : c) {
            int dx = x - 100, dy = y - 100;
            EXPECT_TRUE(c.count({100 - dx, 100 + dy}) && c.count({100 + dy, 100 + dx}));   // 8-fold
            double d = std::sqrt(dx * dx + dy * dy);
            EXPECT_LE(std::fabs(d - r), 1.0);
            // Closed outline: every pixel has a neighbour.
            int nb = 0;
            for (int ey = -1; ey <= 1; ++ey)
                for (int ex = -1; ex <= 1; ++ex) nb += (ex || ey) && c.count({x + ex, y + ey});
            EXPECT_GE(nb, 2);
        }
        // The filled circle covers the outline's inside and no more than its bounds.
        ClearFrame();
        GUI_FillCircle(100, 100, r);
        PixelSet f = Set(0, 0, 200, 200);
        EXPECT_TRUE(f.count({100, 100}) && f.count({100 + r, 100}) && f.count({100, 100 - r}));
        for (auto [x, y] : f) EXPECT_LE((x - 100) * (x - 100) + (y - 100) * (y - 100), r * r + r);
    }
}

TEST_F(GuiTest, EllipsesStayInsideTheirBoundsWithLargeRadii) {
    GUI_FillEllipse(320, 800, 300, 300);     // rx^2 ry^2 needs 64 bits
    EXPECT_EQ(Px(20, 800), 1);
    EXPECT_EQ(Px(620, 800), 1);
    EXPECT_EQ(Px(320, 500), 1);
    EXPECT_EQ(Px(320, 1100), 1);
    EXPECT_EQ(Px(19, 800), 0);
    EXPECT_EQ(Px(30, 520), 0);                // a corner of the bounds
    ClearFrame();
    GUI_DrawEllipse(100, 100, 20, 10);
    PixelSet s = Set(0, 0, 200, 200);
    EXPECT_TRUE(s.count({80, 100}) && s.count({120, 100}) && s.count({100, 90}) && s.count({100, 110}));
    EXPECT_FALSE(s.count({100, 100}));
    for (auto [x, y] : s) EXPECT_TRUE(std::abs(x - 100) <= 20 && std::abs(y - 100) <= 10);
}

TEST_F(GuiTest, PolygonFillRules) {
    // A horizontal top edge fills its row; the apex is one pixel.
    const GUI_Point tri[] = {{0, 0}, {10, 0}, {5, 10}};
    GUI_FillPolygon(tri, 3, 20, 20);
    for (int x = 20; x <= 30; ++x) EXPECT_EQ(Px(x, 20), 1) << x;
    EXPECT_EQ(Px(25, 30), 1);
    EXPECT_EQ(Px(24, 30) + Px(26, 30), 0);
    // A square fills exactly its rows and columns.
    ClearFrame();
    const GUI_Point sq[] = {{0, 0}, {9, 0}, {9, 9}, {0, 9}};
    GUI_FillPolygon(sq, 4, 100, 100);
    EXPECT_EQ(Set(90, 90, 120, 120).size(), 100u);
    // A left-leaning edge rounds to nearest on both sides of zero.
    ClearFrame();
    const GUI_Point lean[] = {{0, 0}, {2, 3}, {-2, 3}};
    GUI_FillPolygon(lean, 3, 50, 50);
    // Row 1: x = round(2/3) = 1 on the right, round(-2/3) = -1 on the left.
    EXPECT_EQ(Px(49, 51), 1);
    EXPECT_EQ(Px(51, 51), 1);
    EXPECT_EQ(Px(48, 51) + Px(52, 51), 0);
}

TEST_F(GuiTest, PolygonKeepsOnlyTwelveCrossingsARow) {
    // A comb of 8 teeth crosses row 5 sixteen times: the first 12 are kept.
    GUI_Point comb[18];
    int n = 0;
    for (int t = 0; t < 8; ++t) {
        comb[n++] = {static_cast<int16_t>(t * 10), 10};
        comb[n++] = {static_cast<int16_t>(t * 10 + 5), 0};
    }
    comb[n++] = {75, 20};
    comb[n++] = {0, 20};
    GUI_FillPolygon(comb, n, 0, 100);
    int drawn = 0;
    for (int x = 0; x < 100; ++x) drawn += Px(x, 104) == 1;
    EXPECT_GT(drawn, 0);
    EXPECT_EQ(Px(76, 104), 0);     // the teeth past the 12th crossing stay empty
}

TEST_F(GuiTest, ArcsFollowTheirAngles) {
    GUI_DrawArc(200, 200, 30, 0, 350, 10);
    PixelSet s = Set(100, 100, 300, 300);
    ASSERT_FALSE(s.empty());
    for (auto [x, y] : s) EXPECT_GT(x, 200) << x << "," << y;
    EXPECT_TRUE(s.count({230, 195}) && s.count({230, 205}));
    ClearFrame();
    GUI_DrawArc(200, 200, 30, 0, 0, 360);
    PixelSet full = Set(100, 100, 300, 300);
    for (auto [x, y] : full) {
        EXPECT_TRUE(full.count({400 - x, y}) && full.count({x, 400 - y})) << x << "," << y;   // quadrant symmetry
        double d = std::hypot(x - 200, y - 200);
        EXPECT_LE(std::fabs(d - 30), (1 + 1.5) / 2 + 1);
    }
    ClearFrame();
    GUI_DrawArc(200, 200, 30, 0, 0, 90);   // 0 right, 90 up
    for (auto [x, y] : Set(100, 100, 300, 300)) EXPECT_TRUE(x >= 200 && y <= 200) << x << "," << y;
}

TEST(GuiTrig, TableValues) {
    struct Case { int a, sin, cos; };
    const Case cases[] = {{0, 0, 1024}, {1024, 1024, 0}, {2048, 0, -1024}, {3072, -1024, 0},
                          {512, 724, 724}, {64, 100, 1019}, {32, 50, 1022}, {4096 + 1024, 1024, 0}};
    for (const Case& c : cases) {
        EXPECT_EQ(GUI_Sin(c.a), c.sin) << c.a;
        EXPECT_EQ(GUI_Cos(c.a), c.cos) << c.a;
    }
    struct At { int x, y, a; };
    const At at[] = {{10, 0, 0}, {0, 10, 1024}, {-10, 0, 2048}, {0, -10, 3072},
                     {10, 10, 512}, {-10, -10, 2560}, {0, 0, 0}};
    for (const At& c : at) EXPECT_EQ(GUI_Atan2(c.x, c.y), c.a) << c.x << "," << c.y;
}

TEST(GuiTransforms, RotateAndGrow) {
    const GUI_Point src[] = {{10, 0}, {0, 10}};
    GUI_Point dst[2];
    GUI_RotatePolygon(dst, src, 2, 3.1415926f / 2);
    EXPECT_EQ(dst[0].x, 0);
    EXPECT_EQ(dst[0].y, -10);
    EXPECT_EQ(dst[1].x, 10);
    // A square grows by len at each corner along the mitre.
    const GUI_Point sq[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    GUI_Point g[4];
    GUI_GrowPolygon(g, sq, 4, 2);
    EXPECT_EQ(g[0].x, -2);
    EXPECT_EQ(g[0].y, -2);
    EXPECT_EQ(g[2].x, 12);
    EXPECT_EQ(g[2].y, 12);
    // A full reversal and repeated points move along the perpendicular.
    const GUI_Point spike[] = {{0, 0}, {10, 0}, {0, 0}};
    GUI_GrowPolygon(g, spike, 3, 3);
    EXPECT_EQ(g[1].x, 10);
    EXPECT_EQ(std::abs(g[1].y), 3);
    const GUI_Point same[] = {{5, 5}, {5, 5}, {5, 5}};
    GUI_GrowPolygon(g, same, 3, 3);
    EXPECT_EQ(g[1].x, 5);
    EXPECT_EQ(g[1].y, 5);
}
