// Text output: alignment and line breaks, glyph composition and the band
// below a glyph, the engine and software paths, measurement, and the number
// output read back through a font that records what it is asked to draw.
#include <climits>
#include <cmath>
#include <string>
#include <vector>
#include "gui/text.h"
#include "gui_fixture.h"

namespace {

struct Box { int x0, y0, x1, y1; };

std::set<std::pair<int, int>> Cells(std::initializer_list<Box> boxes) {
    std::set<std::pair<int, int>> s;
    for (const Box& b : boxes)
        for (int y = b.y0; y <= b.y1; ++y)
            for (int x = b.x0; x <= b.x1; ++x) s.insert({x, y});
    return s;
}

// A font that draws nothing and records the codes at the cursor: one pixel
// wide, so the cursor also shows how many were drawn.
std::string g_recorded;
void RecordChar(const GUI_Font*, uint16_t code) {
    g_recorded += static_cast<char>(code);
    ++GUI_DrawState.DispPosX;
}
int RecordWidth(const GUI_Font*, uint16_t) { return 1; }
void RecordInfo(const GUI_Font*, uint16_t* flags) { *flags = kFontInfoMono; }
int RecordIsIn(const GUI_Font*, uint16_t) { return 1; }
const GUI_Font kRecordFont = {RecordChar, RecordWidth, RecordInfo, RecordIsIn, nullptr, 8, 8, 1, 1, nullptr, 7, 5, 7};

}  // namespace

class TextTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        ClearFrame();
        GUI_SetFont(&G_FontM8x8);
        GUI_SetBkColorIndex(3);   // painted glyph cells are never index 0
        GUI_SetColorIndex(1);
    }
    // Every pixel of the window from the origin that is not index 0.
    std::set<std::pair<int, int>> Painted(int x1, int y1) {
        std::set<std::pair<int, int>> s;
        for (int y = 0; y <= y1; ++y)
            for (int x = 0; x <= x1; ++x)
                if (Px(x, y) != 0) s.insert({x, y});
        return s;
    }
};

TEST_F(TextTest, DefaultsAfterInit) {
    GUI_Init();
    EXPECT_EQ(GUI_GetFont(), &G_FontM6x8);
    EXPECT_EQ(GUI_DrawState.pEncoding, &GUI_EncodingOneByte);
    EXPECT_EQ(GUI_GetFontSizeY(), 8);
    GUI_SetFont(&G_FontM8x18);
    EXPECT_EQ(GUI_GetFontSizeY(), 16);
}

// M8x8: every character a painted 8 x 8 cell.
TEST_F(TextTest, AlignmentAndLineBreaks) {
    struct Case {
        const char* name;
        uint16_t align;
        const char* text;
        int x, y;
        std::set<std::pair<int, int>> cells;
        int endX, endY;
    };
    const Case cases[] = {
        {"right at 100, width 40", GUI_TA_RIGHT, "ABCDE", 100, 10, Cells({{60, 10, 99, 17}}), 100, 10},
        {"centred", GUI_TA_HCENTER, "ABCD", 100, 10, Cells({{84, 10, 115, 17}}), 116, 10},
        {"centred two lines", GUI_TA_HCENTER, "AB\nC", 100, 10, Cells({{92, 10, 107, 17}, {96, 18, 103, 25}}), 104,
         18},
        {"left two lines", GUI_TA_LEFT, "AB\nC", 100, 10, Cells({{100, 10, 115, 17}, {0, 18, 7, 25}}), 8, 18},
        {"right two lines", GUI_TA_RIGHT, "AB\nCDE", 100, 10, Cells({{84, 10, 99, 17}, {76, 18, 99, 25}}), 100,
         18},
        {"trailing line feed", GUI_TA_LEFT, "AB\n", 100, 10, Cells({{100, 10, 115, 17}}), 0, 18},
        {"a code without a glyph steps on", GUI_TA_LEFT, "A\rB", 0, 0, Cells({{0, 0, 7, 7}, {16, 0, 23, 7}}), 24, 0},
        {"bottom", GUI_TA_BOTTOM, "AB", 10, 20, Cells({{10, 13, 25, 20}}), 26, 20},
        {"vertical centre", GUI_TA_VCENTER | GUI_TA_RIGHT, "AB", 30, 20, Cells({{14, 16, 29, 23}}), 30, 20},
        {"empty", GUI_TA_LEFT, "", 5, 5, Cells({}), 5, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearFrame();
        GUI_SetTextAlign(c.align);
        GUI_DrawTextAt(c.text, c.x, c.y);
        EXPECT_EQ(Painted(200, 60), c.cells);
        EXPECT_EQ(GUI_DrawState.DispPosX, c.endX);
        EXPECT_EQ(GUI_DrawState.DispPosY, c.endY);
        EXPECT_EQ(GUI_GetTextAlign(), c.align & GUI_TA_VERTICAL) << "horizontal alignment is used once";
    }
    // The next string is left-aligned again.
    ClearFrame();
    GUI_SetTextAlign(GUI_TA_RIGHT);
    GUI_DrawTextAt("ABCDE", 100, 10);
    GUI_DrawTextAt("AB", 100, 30);
    EXPECT_EQ(Painted(200, 60), Cells({{60, 10, 99, 17}, {100, 30, 115, 37}}));
    GUI_DrawText(nullptr);
    EXPECT_EQ(GUI_DrawState.DispPosX, 116);
}

TEST_F(TextTest, TranslatedCodeIsBaseWithOverlayAndProportionalFontsSkipIt) {
    const GUI_FontMono* m = static_cast<const GUI_FontMono*>(G_FontM8x8.Data);
    const GUI_FontTransPair pair = m->Trans->Pairs[200 - 144];
    GUI_SetTextPos(8, 4);
    GUI_DrawChar(200);
    EXPECT_EQ(GUI_DrawState.DispPosX, 16);
    for (int y = 0; y < 8; ++y) {
        const uint8_t want = m->TransGlyphs[pair.Glyph * 8 + y] | m->TransGlyphs[pair.Overlay * 8 + y];
        for (int x = 0; x < 8; ++x) EXPECT_EQ(Px(8 + x, 4 + y), (want >> (7 - x)) & 1 ? 1 : 3) << x << "," << y;
    }
    // A code with no pair leaves a blank step.
    GUI_DrawChar(150);
    EXPECT_EQ(GUI_DrawState.DispPosX, 24);

    ClearFrame();
    GUI_SetFont(&G_FontP13);
    GUI_SetTextPos(8, 4);
    GUI_DrawChar(200);
    EXPECT_EQ(GUI_DrawState.DispPosX, 8);
    EXPECT_TRUE(Painted(100, 40).empty());
}

TEST_F(TextTest, BandBelowTheGlyphIsClearedUnlessTransparent) {
    GUI_SetFont(&G_FontM6x9);
    for (uint16_t mode : {GUI_DM_NORMAL, GUI_DM_TRANS, GUI_DM_REV}) {
        SCOPED_TRACE(mode);
        GUI_SetColorIndex(7);
        GUI_FillRect(0, 0, 20, 20);
        GUI_SetColorIndex(1);
        GUI_SetTextMode(mode);
        GUI_DrawTextAt("W", 0, 0);
        // Reverse swaps the colours: the band takes the foreground.
        const uint8_t band = mode == GUI_DM_TRANS ? 7 : mode == GUI_DM_REV ? 1 : 3;
        for (int x = 0; x < 6; ++x) EXPECT_EQ(Px(x, 8), band) << x;
        EXPECT_EQ(Px(6, 8), 7);
        EXPECT_EQ(Px(0, 9), 7);
    }
}

TEST_F(TextTest, DisplayAndSurfaceDrawTheSamePixels) {
    int16_t s = GUI_CreateSurface(0, 300, 640, 40);
    ASSERT_NE(s, 0);
    struct Run { const GUI_Font* font; const char* text; };
    const Run runs[] = {{&G_FontM8x8, "Ab\xC8\xE9 9"}, {&G_FontP13B, "Quick 0.25"}, {&G_FontM6x9, "xyz\n12"},
                        {&G_FontP32B, "Wg"}, {&G_FontM4x6, "m4"}};
    auto draw = [&](int dy) {
        GUI_SetTextMode(GUI_DM_NORMAL);
        GUI_SetColorIndex(20);
        GUI_FillRect(0, dy, 639, dy + 39);
        GUI_SetColorIndex(12);
        int x = -3;   // the first glyph is clipped on the left
        for (uint16_t mode : {GUI_DM_NORMAL, GUI_DM_TRANS, GUI_DM_XOR, GUI_DM_REV}) {
            GUI_SetTextMode(mode);
            for (const Run& r : runs) {
                GUI_SetFont(r.font);
                GUI_DrawTextAt(r.text, x, dy + 2 + (x % 5));
                x = GUI_GetTextPosX() + 1;
            }
        }
    };
    GUI_SelectSurface(s);
    draw(300);
    std::vector<uint8_t> soft;
    for (int y = 300; y < 340; ++y)
        for (int x = 0; x < 640; ++x) soft.push_back(*GUI_SurfacePixelPtr(x, y));
    GUI_SelectSurface(0);
    draw(0);
    int ink = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 640; ++x) {
            ASSERT_EQ(Px(x, y), soft[y * 640 + x]) << x << "," << y;
            ink += Px(x, y) == 12;
        }
    EXPECT_GT(ink, 500);
    GUI_DeleteSurface(s);
}

TEST_F(TextTest, ClearToEndOfLine) {
    GUI_SetColorIndex(5);
    GUI_FillRect(0, 0, 639, 40);
    GUI_SetTextAlign(GUI_TA_VCENTER);
    GUI_SetTextPos(50, 14);
    GUI_ClearToEOL();
    EXPECT_EQ(Px(49, 12), 5);
    EXPECT_EQ(Px(50, 10), 3);
    EXPECT_EQ(Px(639, 17), 3);
    EXPECT_EQ(Px(50, 9), 5);
    EXPECT_EQ(Px(50, 18), 5);
}

TEST_F(TextTest, Measurement) {
    EXPECT_EQ(GUI_TextWidth("A\nB"), 24) << "a line feed is measured like a character";
    EXPECT_EQ(GUI_TextWidth(nullptr), 0);
    EXPECT_EQ(GUI_CharWidth('x'), 8);
    EXPECT_EQ(GUI_LineCharCount("AB\nC", 100), 2);
    EXPECT_EQ(GUI_LineCharCount("ABCD", 3), 3);
    EXPECT_EQ(GUI_LineWidth("ABCD", 3), 24);
    EXPECT_EQ(GUI_NumChars("\xC8xy"), 3);
    EXPECT_EQ(GUI_CharsToBytes("abc", 2), 2);
    EXPECT_EQ(GUI_BytesToChars("abc", 3), 3);
    const char* p = "\xC8!";
    EXPECT_EQ(GUI_GetNextChar(&p), 200) << "codes are unsigned";
    EXPECT_EQ(*p, '!');
    GUI_SetFont(&G_FontP13);
    EXPECT_EQ(GUI_TextWidth("ii"), 2 * GUI_CharWidth('i'));
    EXPECT_EQ(GUI_CharWidth(200), 0);
}

TEST_F(TextTest, NumberOutput) {
    struct Case {
        const char* name;
        void (*draw)();
        const char* text;
    };
    const Case cases[] = {
        {"N clamps", [] { GUI_DrawDecimalN(12345, 3); }, "999"},
        {"N negative", [] { GUI_DrawDecimalN(-5, 3); }, "-05"},
        {"N no room for digits", [] { GUI_DrawDecimalN(-5, 1); }, ""},
        {"N length past the buffer", [] { GUI_DrawDecimalN(INT_MIN, 1000); }, "-999999999"},
        {"N most negative", [] { GUI_DrawDecimalN(INT_MIN, 4); }, "-999"},
        {"decimal", [] { GUI_DrawDecimal(-42); }, "-42"},
        {"decimal zero", [] { GUI_DrawDecimal(0); }, "0"},
        {"decimal ten digits", [] { GUI_DrawDecimal(INT_MAX); }, "999999999"},
        {"padded, sign first", [] { GUI_DrawDecimalPadded(-5, 4); }, "-  5"},
        {"padded too short", [] { GUI_DrawDecimalPadded(12345, 2); }, "12345"},
        {"padded past the buffer", [] { GUI_DrawDecimalPadded(123, 1000); }, "        123"},
        {"padded most negative", [] { GUI_DrawDecimalPadded(INT_MIN, 0); }, "-999999999"},
        {"shift", [] { GUI_DrawDecimalShift(123, 4, 1); }, "12.3"},
        {"shift leading point", [] { GUI_DrawDecimalShift(5, 4, 3); }, ".005"},
        {"signed shift +", [] { GUI_DrawSignedDecimalShift(5, 4, 1); }, "+0.5"},
        {"signed shift -", [] { GUI_DrawSignedDecimalShift(-5, 4, 1); }, "-0.5"},
        {"fixed -0.5", [] { GUI_DrawFixed(-0.5, 1); }, "-0.5"},
        {"fixed 2.25", [] { GUI_DrawFixed(2.25, 1); }, "2.3"},
        {"fixed -12.5", [] { GUI_DrawFixed(-12.5, 2); }, "-12.50"},
        {"fixed no decimals", [] { GUI_DrawFixed(7.5, 0); }, "8"},
        {"fixed huge", [] { GUI_DrawFixed(1e15, 2); }, "9999999.99"},
        {"fixed NaN", [] { GUI_DrawFixed(std::nan(""), 1); }, "0.0"},
        {"fixed rounding carries", [] { GUI_DrawFixed(9.96, 1); }, "10.0"},
        {"fixed carry to a third digit", [] { GUI_DrawFixed(99.97, 1); }, "100.0"},
        {"fixed negative carry", [] { GUI_DrawFixed(-9.96, 1); }, "-10.0"},
        {"fixed rounds to zero", [] { GUI_DrawFixed(-0.04, 1); }, "0.0"},
        {"float rounds up at half", [] { GUI_DrawFloat(-1.25, 5, 2, 0); }, "-1.25"},
        {"float signed", [] { GUI_DrawFloat(0.04, 4, 1, 1); }, "+0.0"},
        {"float decimals past 9", [] { GUI_DrawFloat(0.5, 4, 40, 0); }, "999"},
        {"float min", [] { GUI_DrawFloatMin(3.14159, 5); }, "3.142"},
        {"float min negative fraction", [] { GUI_DrawFloatMin(-0.5, 4); }, "-0.5"},
        {"float min no room", [] { GUI_DrawFloatMin(12345.6, 4); }, "9999"},
        {"float min rounding carries", [] { GUI_DrawFloatMin(9.9999, 4); }, "10.0"},
    };
    GUI_SetFont(&kRecordFont);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_recorded.clear();
        c.draw();
        EXPECT_EQ(g_recorded, c.text);
    }
    g_recorded.clear();
    GUI_DrawDecimalAt(42, 10, 20, 3);
    EXPECT_EQ(g_recorded, "042");
    EXPECT_EQ(GUI_DrawState.DispPosX, 13);
    EXPECT_EQ(GUI_DrawState.DispPosY, 20);
    // The library's decimal point.
    GUI_DecChar = ',';
    g_recorded.clear();
    GUI_DrawDecimalShift(123, 4, 1);
    EXPECT_EQ(g_recorded, "12,3");
}
