// A page with every font: its name, a sample of its characters (and of the
// composed codes where it has them) and numbers through the number output,
// then boxed labels through the page text calls. Kept as fontpage.png.
#include "core/util.h"
#include "gui/text.h"
#include "gui_fixture.h"
#include "ui/pages.h"

namespace {

struct Sample {
    const char* name;
    const GUI_Font* font;
};

const Sample kSamples[] = {
    {"P8", &G_FontP8},       {"P10", &G_FontP10},     {"P13", &G_FontP13},     {"P13B", &G_FontP13B},
    {"P13C", &G_FontP13C},   {"P13D", &G_FontP13D},   {"P15", &G_FontP15},     {"P16", &G_FontP16},
    {"P16B", &G_FontP16B},   {"P24", &G_FontP24},     {"P24B", &G_FontP24B},   {"P32", &G_FontP32},
    {"P32B", &G_FontP32B},   {"M4x6", &G_FontM4x6},   {"M6x8", &G_FontM6x8},   {"M6x9", &G_FontM6x9},
    {"M8x8", &G_FontM8x8},   {"M8x16", &G_FontM8x16}, {"M8x18", &G_FontM8x18},
};

void DrawFontPage() {
    const uint32_t colours[] = {0x000000, 0x8080FF, 0x0000FF, 0x303030, 0x80FF80, 0x00FF00, 0x008000, 0xFF8080,
                                0xFF0000, 0x602020, 0x404040, 0xFFFF00, 0x00C0FF, 0x80FFFF, 0x00FFFF};
    for (uint32_t i = 0; i < sizeof colours / sizeof colours[0]; ++i) GUI_SetPaletteEntry(i, colours[i]);
    GUI_SetPaletteEntry(31, 0xFFFFFF);
    GUI_SetBkColorIndex(3);
    GUI_Clear();
    int y = 2;
    for (const Sample& s : kSamples) {
        GUI_SetFont(&G_FontM6x8);
        GUI_SetTextMode(GUI_DM_TRANS);
        GUI_SetColorIndex(11);
        GUI_DrawTextAt(s.name, 2, y);
        GUI_SetFont(s.font);
        GUI_SetColorIndex(31);
        const bool big = s.font->YSize >= 24;
        const bool composed = s.font->IsInFont(s.font, 200);
        GUI_DrawTextAt(big ? "AaBbGgQq 0123456789 %&@" : "ABCDEFGHIJKLM abcdefghijklm !?#$%&@ 0123456789",
                       40, y);
        if (composed) GUI_DrawText(" \xC0\xC8\xE9\xF1\xFC\xDF\xA3");
        GUI_SetColorIndex(5);
        GUI_DrawText(" ");
        GUI_DrawDecimal(-1234);
        GUI_DrawText(" ");
        GUI_DrawFixed(3.14159, 2);
        if (!big) {
            GUI_DrawText(" ");
            GUI_DrawSignedDecimalShift(75, 4, 1);
        }
        y += s.font->YDist + 3;
    }
    // Page labels: boxed (centred, left-below, right-above), a right-aligned
    // number and a fixed-point number.
    G_CurPage = 3;
    DrawTextF(2, 8, 13, 80, 460, "BOXED %d", 13);
    DrawTextF(14, 4, 14, 300, 452, "LEFT-BELOW");
    DrawTextF(5, 4, 39, 320, 466, "RIGHT-ABOVE");
    DrawNumber(31, 10, 2, 560, 452, -1234, 0);
    DrawFixedF(13, 9, 3, 570, 456, 2.25, 1);
}

}  // namespace

TEST_F(GuiTest, FontPageScreenshot) {
    DrawFontPage();
    LCD_SetScanOrigin(0, 0);
    ExpectScreenshotMatches("fontpage.png");
}
