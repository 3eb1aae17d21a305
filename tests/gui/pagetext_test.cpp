// The page-side colour, font and style translations, the page text calls
// (drawing offset, boxed labels, restored context) and the geometry helpers.
#include <cmath>
#include <cstring>
#include <string>
#include "core/irq.h"
#include "core/util.h"
#include "gui/text.h"
#include "gui_fixture.h"
#include "ui/pages.h"
#include "ui/style.h"

namespace {

int g_conversions;
GUI_DeviceApi g_countingOps;
uint32_t CountingColorToIndex(uint32_t rgb) {
    ++g_conversions;
    return LCD_ColorToIndex(rgb);
}

}  // namespace

class PageTextTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        ClearFrame();
        G_CurPage = 3;
        G_FlipCtl.nDrawPageY = 0;
    }
    // Bounding box of the pixels of `index` in the first 960 rows.
    GUI_Rect Bounds(uint8_t index) {
        GUI_Rect r = {32767, 32767, -1, -1};
        for (int y = 0; y < 960; ++y)
            for (int x = 0; x < 640; ++x)
                if (Px(x, y) == index) {
                    r.x0 = std::min<int16_t>(r.x0, static_cast<int16_t>(x));
                    r.y0 = std::min<int16_t>(r.y0, static_cast<int16_t>(y));
                    r.x1 = std::max<int16_t>(r.x1, static_cast<int16_t>(x));
                    r.y1 = std::max<int16_t>(r.y1, static_cast<int16_t>(y));
                }
        return r;
    }
};

static bool operator==(const GUI_Rect& a, const GUI_Rect& b) {
    return a.x0 == b.x0 && a.y0 == b.y0 && a.x1 == b.x1 && a.y1 == b.y1;
}
static std::ostream& operator<<(std::ostream& os, const GUI_Rect& r) {
    return os << "(" << r.x0 << "," << r.y0 << ")-(" << r.x1 << "," << r.y1 << ")";
}

TEST_F(PageTextTest, SetDrawColorTable) {
    const struct { uint32_t colour; uint32_t index; } cases[] = {
        {16, 16}, {0xFF80FF, 16}, {20, 19}, {0x808080, 19}, {0, 0},        {31, 31},  {0x000030, 0},
        {0xFFFFFF, 31}, {0x0000FF, 2}, {0x00FF00, 5}, {0x404040, 21}, {100, 100}, {128, 128}, {0xFFFF00, 11},
    };
    for (const auto& c : cases) {
        GUI_SetColorIndex(77);
        SetDrawColor(c.colour);
        EXPECT_EQ(GUI_GetColorIndex(), c.index) << std::hex << c.colour;
    }
    // An unlisted colour goes through the device once.
    g_countingOps = GUI_DeviceOps;
    g_countingOps.pfColorToIndex = CountingColorToIndex;
    GUI_DrawState.pDeviceApi = &g_countingOps;
    g_conversions = 0;
    SetDrawColor(0x123456);
    EXPECT_EQ(g_conversions, 1);
    EXPECT_EQ(GUI_GetColorIndex(), LCD_ColorToIndex(0x123456));
    SetDrawColor(0x123456);
    EXPECT_EQ(g_conversions, 1);
    GUI_DrawState.pDeviceApi = &GUI_DeviceOps;
}

TEST_F(PageTextTest, FontIdsAndMeasurement) {
    const struct { int32_t id; const GUI_Font* font; } ids[] = {
        {2, &G_FontP8},    {3, &G_FontP10},   {4, &G_FontP13},    {5, &G_FontP13B},  {6, &G_FontP13C},
        {7, &G_FontP13D},  {8, &G_FontP16},   {9, &G_FontP16B},   {10, &G_FontP24},  {11, &G_FontP24B},
        {12, &G_FontP32},  {21, &G_FontP32B}, {22, &G_FontM4x6},  {23, &G_FontM6x9}, {24, &G_FontM8x18},
        {25, &G_FontM8x8}, {0, &G_FontP13},   {13, &G_FontP13},   {-1, &G_FontP13},
    };
    for (const auto& c : ids) {
        const GUI_Font* before = GUI_GetFont();
        EXPECT_EQ(SelectFont(c.id), before) << c.id;
        EXPECT_EQ(GUI_GetFont(), c.font) << c.id;
    }
    // Id 25 draws in 8 x 8 but is measured in the 13-row font, which stays selected.
    GUI_SetFont(&G_FontP13);
    const int p13 = GUI_TextWidth("Wide 25");
    SelectFont(25);
    EXPECT_EQ(TextWidth(25, "Wide 25"), p13);
    EXPECT_EQ(GUI_GetFont(), &G_FontP13);
    EXPECT_EQ(TextWidth(22, "abc"), 12);
    // 6-pixel characters: the one that reaches the width is not counted.
    EXPECT_EQ(CharsInWidth(23, 12, "abcdef"), 1);
    EXPECT_EQ(CharsInWidth(23, 13, "abcdef"), 2);
    EXPECT_EQ(CharsInWidth(23, 1000, "ab"), 2);
    EXPECT_EQ(CharsInWidth(23, 100000, std::string(150, 'x').c_str()), 100);
    EXPECT_EQ(GUI_GetFont(), &G_FontM6x9);
}

TEST_F(PageTextTest, StyleCodes) {
    const struct { int32_t style; uint16_t align, mode; } cases[] = {
        {0, 8, 1},   {1, 2, 1},  {4, 2, 1},  {2, 1, 1},  {3, 0, 1},  {6, 12, 1}, {7, 14, 1}, {8, 13, 1},
        {9, 4, 1},   {10, 6, 1}, {11, 5, 1}, {15, 0, 2}, {19, 2, 2}, {20, 1, 2}, {21, 12, 2}, {26, 5, 2},
        {27, 4, 0},  {29, 5, 0}, {30, 8, 0}, {31, 2, 0}, {35, 1, 0}, {36, 12, 0}, {38, 13, 0}, {42, 0, 1},
        {-3, 0, 1},
    };
    for (const auto& c : cases) {
        GUI_SetTextAlign(8 | 2);
        GUI_SetTextMode(1);
        SetTextStyle(4, c.style, 0, 0);
        EXPECT_EQ(GUI_GetTextAlign(), c.align) << c.style;
        EXPECT_EQ(GUI_GetTextMode(), c.mode) << c.style;
    }
}

TEST_F(PageTextTest, DrawTextAddsTheOffsetAndRestoresTheContext) {
    G_FlipCtl.nDrawPageY = 480;
    GUI_SetFont(&G_FontM6x8);
    GUI_SetTextAlign(4);
    GUI_SetTextMode(0);
    GUI_SetColorIndex(9);
    EXPECT_EQ(DrawTextF(31, 25, 17, 100, 20, "%s%d", "AB", 7), 100) << "right-aligned ends at x";
    EXPECT_STREQ(G_DrawTextBuf, "AB7");
    const GUI_Rect ink = Bounds(31);
    EXPECT_GE(ink.y0, 500);
    EXPECT_LE(ink.y1, 507);
    EXPECT_GE(ink.x0, 76);
    EXPECT_EQ(GUI_GetFont(), &G_FontM6x8);
    EXPECT_EQ(GUI_GetTextAlign(), 4);
    EXPECT_EQ(GUI_GetTextMode(), 0);
    EXPECT_EQ(GUI_GetColorIndex(), 9u);
    // Longer than the buffer: cut, never past it.
    DrawTextF(31, 4, 3, 0, 100, "%s", std::string(300, 'x').c_str());
    EXPECT_EQ(std::strlen(G_DrawTextBuf), 127u);
}

TEST_F(PageTextTest, NumbersAtPagePositions) {
    const struct { int32_t value, format; const char* text; } cases[] = {
        {1234, 1, " 123.4"}, {-1234, 0, "-12.34"}, {-5, 1, "-0.5"}, {7, 10, "      7"}, {1234, 100, "1234"},
        {-7, 1000, "    -7"}, {INT32_MIN, 1, "-214748364.8"}, {INT32_MIN, 10, "-2147483648"},
    };
    for (const auto& c : cases) {
        std::strcpy(G_DrawTextBuf, "old");
        DrawNumber(31, 25, 3, 0, 0, c.value, c.format);
        EXPECT_STREQ(G_DrawTextBuf, c.text);
    }
    std::strcpy(G_DrawTextBuf, "old");
    GUI_SetTextPos(5, 5);
    EXPECT_EQ(DrawNumber(31, 25, 3, 0, 0, 1, 7), 5) << "an unknown format draws nothing";
    EXPECT_STREQ(G_DrawTextBuf, "old");
    // M8x8 cells: four characters from x 10.
    G_FlipCtl.nDrawPageY = 480;
    EXPECT_EQ(DrawFixedF(14, 25, 3, 10, 20, -0.5, 1), 42);
    EXPECT_STREQ(G_DrawTextBuf, "-0.5");
    const GUI_Rect ink = Bounds(14);
    EXPECT_GE(ink.y0, 500);
    EXPECT_LE(ink.y1, 507);
}

TEST_F(PageTextTest, BoxedLabelIsBlackTextOnAColouredBox) {
    // Style 13: box centred on (200, 100), the text centred in it.
    const uint32_t colour = GUI_GetColorIndex();
    EXPECT_GT(DrawTextF(2, 4, 13, 200, 100, "LABEL"), 200);
    const int w = TextWidth(4, "LABEL"), h = 13;
    EXPECT_EQ(Bounds(2), (GUI_Rect{static_cast<int16_t>(200 - w / 2), static_cast<int16_t>(100 - h / 2),
                                   static_cast<int16_t>(200 + w / 2), static_cast<int16_t>(100 + h / 2)}));
    const GUI_Rect ink = Bounds(0);
    EXPECT_GT(ink.x1, ink.x0) << "black glyphs on the box";
    EXPECT_EQ(GUI_GetColorIndex(), colour) << "colour restored";
    EXPECT_EQ(GUI_GetTextMode(), 0);

    // Id 25 is measured in the 13-row font but drawn in its own.
    ClearFrame();
    G_FlipCtl.nDrawPageY = 480;
    EXPECT_EQ(DrawTextF(5, 25, 39, 300, 50, "AB"), 316);
    EXPECT_EQ(Bounds(5), (GUI_Rect{300, 530 - 13, static_cast<int16_t>(300 + TextWidth(25, "AB")), 530}));

    // The setup pages show boxed labels reversed, with no box.
    ClearFrame();
    G_CurPage = kPageCalibration;
    GUI_SetBkColorIndex(0);
    DrawTextF(5, 25, 12, 20, 20, "A");
    const GUI_Rect cell = Bounds(5);
    EXPECT_EQ(cell, (GUI_Rect{20, 500, 27, 507})) << "the cell takes the foreground";
}

TEST_F(PageTextTest, TablesAndRotation) {
    EXPECT_EQ(SinTab10[0], 0);
    EXPECT_EQ(SinTab10[900], 262143);
    EXPECT_EQ(CosTab10[0], 262144);
    for (int i = 0; i < kTrigSteps; i += 7) {
        const double a = i * M_PI / 1800;
        EXPECT_LE(std::fabs(SinTab10[i] - std::sin(a) * 262144), 1.0) << i;
        EXPECT_LE(std::fabs(CosTab10[i] - std::cos(a) * 262144), 1.0) << i;
    }
    const struct { int32_t angle; GUI_Point in, out; } cases[] = {
        {900, {10, 0}, {0, -10}}, {-900, {10, 0}, {0, 10}}, {0, {-7, 3}, {-7, 3}},
        {1800, {10, 5}, {-10, -5}}, {-9000, {10, 0}, {-10, 0}}, {2147483647, {0, 0}, {0, 0}},
    };
    for (const auto& c : cases) {
        GUI_Point out;
        RotatePoint(&out, &c.in, c.angle);
        EXPECT_NEAR(out.x, c.out.x, 1) << c.angle;
        EXPECT_NEAR(out.y, c.out.y, 1) << c.angle;
    }
}

TEST_F(PageTextTest, SmallHelpers) {
    const struct { float v; int32_t r; } round5[] = {
        {12.4f, 10}, {13.0f, 15}, {17.6f, 20}, {-13.0f, -15}, {-12.6f, -15}, {-2.0f, 0},
        {0.0f, 0},   {2.5f, 5},   {-17.0f, -15}, {-18.0f, -20}, {1e20f, 2147483640},
    };
    for (const auto& c : round5) EXPECT_EQ(RoundTo5(c.v), c.r) << c.v;
    EXPECT_EQ(CalcSlope(1, 2, 1, 5), 0.0f);
    EXPECT_EQ(CalcSlope(0, 0, 4, 2), 0.5f);
    EXPECT_EQ(CalcIntercept(0.5f, 3, 2), 2.0f);
    EXPECT_EQ(IsAlnum('z') + IsAlnum('Q') + IsAlnum('5') + IsAlnum('_') + IsAlnum(0xE9), 3);
    EXPECT_EQ(IsDigit('0') + IsDigit('9') + IsDigit('a'), 2);
    EXPECT_EQ(ModRem(-7, 3), -1);
    EXPECT_EQ(ModRem(INT32_MIN, -1), 0);
    EXPECT_EQ(ModRem(5, 0), 0);
}
