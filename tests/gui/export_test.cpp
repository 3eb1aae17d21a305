// BMP export and the screenshot PNG, read back with an independent image
// library; the test page with every primitive is kept beside this file.
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include "gui_fixture.h"

static void PutToVector(uint8_t byte, void* ctx) { static_cast<std::vector<uint8_t>*>(ctx)->push_back(byte); }

TEST_F(GuiTest, SmallBmpHasPaddedRows) {
    std::vector<uint8_t> bmp;
    GUI_SetColorIndex(7);
    GUI_DrawPixel(3, 1);
    GUI_SaveBitmap(PutToVector, 0, 0, 10, 2, &bmp);
    ASSERT_EQ(bmp.size(), 1102u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[2] | bmp[3] << 8, 1102);
    EXPECT_EQ(bmp[10] | bmp[11] << 8, 1078);
    EXPECT_EQ(bmp[1078 + 3], 7);            // bottom row first
    EXPECT_EQ(bmp[1078 + 12 + 3], 0);
}

TEST_F(GuiTest, ScreenBmpReadsBackWithPillow) {
    GUI_SetPaletteEntry(2, 0x0000FF);
    GUI_SetPaletteEntry(5, 0x00FF00);
    GUI_SetPaletteEntry(8, 0xFF0000);
    GUI_SetPaletteEntry(200, 0x123456);
    for (int i = 0; i < 40; ++i) {
        GUI_SetColorIndex(static_cast<uint32_t>((i * 37) % 256));
        GUI_FillRect(i * 16, i * 12, i * 16 + 30, i * 12 + 20);
    }
    std::vector<uint8_t> bmp;
    GUI_SaveScreen(PutToVector, &bmp);
    ASSERT_EQ(bmp.size(), 308278u);
    std::string bmpPath = TempPath(".bmp"), rawPath = TempPath(".raw"), palPath = TempPath(".pal");
    WriteFile(bmpPath, bmp.data(), bmp.size());
    WriteFile(rawPath, Frame(), 640 * 480);
    WriteFile(palPath, G_LcdColors.aColor, sizeof G_LcdColors.aColor);
    std::string script =
        "import struct, sys\n"
        "from PIL import Image\n"
        "im = Image.open('" + bmpPath + "')\n"
        "assert im.mode == 'P' and im.size == (640, 480), (im.mode, im.size)\n"
        "raw = open('" + rawPath + "', 'rb').read()\n"
        "assert im.tobytes() == raw, 'pixels differ'\n"
        "cols = struct.unpack('<256I', open('" + palPath + "', 'rb').read())\n"
        "pal = im.getpalette()\n"
        "want = []\n"
        "for c in cols: want += [c & 255, (c >> 8) & 255, (c >> 16) & 255]\n"
        "assert pal[:768] == want, 'palette differs'\n";
    EXPECT_EQ(Python(script), 0);
    unlink(bmpPath.c_str());
    unlink(rawPath.c_str());
    unlink(palPath.c_str());
}

// The page with every primitive.
static void DrawTestPage() {
    const uint32_t colours[] = {0x000000, 0xFFFFFF, 0x0000FF, 0x00FFFF, 0x80FF80, 0x00FF00, 0x008000,
                                0xFF8080, 0xFF0000, 0x404040, 0x808080, 0xFFFF00, 0xFF00FF, 0x0080FF};
    for (uint32_t i = 0; i < sizeof colours / sizeof colours[0]; ++i) GUI_SetPaletteEntry(i, colours[i]);
    GUI_SetPaletteEntry(kLcdTransparentKey, 0xFF00FF);
    GUI_SetBkColorIndex(9);
    GUI_Clear();
    GUI_SetColorIndex(1);
    GUI_DrawRect(0, 0, 639, 479);
    // Lines, thin and thick, in a fan.
    for (int a = 0; a < 4096; a += 256) {
        GUI_SetColorIndex(static_cast<uint32_t>(2 + (a / 256) % 12));
        GUI_DrawLine(80, 80, 80 + GUI_Cos(a) * 70 / 1024, 80 - GUI_Sin(a) * 70 / 1024);
    }
    GUI_SetPenSize(5);
    GUI_SetColorIndex(11);
    GUI_DrawLine(170, 20, 290, 140);
    GUI_SetColorIndex(5);
    GUI_DrawLine(170, 140, 290, 20);
    GUI_SetPenSize(1);
    // Circles, ellipses and arcs.
    GUI_SetColorIndex(3);
    GUI_DrawCircle(370, 80, 60);
    GUI_SetColorIndex(8);
    GUI_FillCircle(370, 80, 30);
    GUI_SetColorIndex(12);
    GUI_DrawEllipse(530, 80, 90, 45);
    GUI_SetColorIndex(4);
    GUI_FillEllipse(530, 80, 60, 25);
    GUI_SetPenSize(6);
    GUI_SetColorIndex(2);
    GUI_DrawArc(90, 250, 60, 0, 30, 150);
    GUI_SetColorIndex(11);
    GUI_DrawArc(90, 250, 60, 0, 350, 10);
    GUI_SetColorIndex(5);
    GUI_DrawArc(90, 250, 40, 0, 200, 340);
    GUI_SetPenSize(1);
    // Polygons: a star filled, rotated and grown outlines.
    GUI_Point star[10];
    for (int i = 0; i < 10; ++i) {
        int r = (i % 2) ? 25 : 60;
        int a = i * 4096 / 10 + 1024;
        star[i] = {static_cast<int16_t>(GUI_Cos(a) * r / 1024), static_cast<int16_t>(-GUI_Sin(a) * r / 1024)};
    }
    GUI_SetColorIndex(11);
    GUI_FillPolygon(star, 10, 250, 250);
    GUI_SetColorIndex(1);
    GUI_DrawPolygon(star, 10, 250, 250);
    const GUI_Point needle[] = {{-5, 0}, {0, -60}, {5, 0}, {0, 10}};
    GUI_Point rotated[4], grown[4];
    GUI_RotatePolygon(rotated, needle, 4, 0.6f);
    GUI_SetColorIndex(8);
    GUI_FillPolygon(rotated, 4, 400, 260);
    GUI_GrowPolygon(grown, rotated, 4, 3);
    GUI_SetColorIndex(1);
    GUI_DrawPolygon(grown, 4, 400, 260);
    // XOR band across shapes.
    GUI_SetColorIndex(1);
    GUI_SetDrawMode(GUI_DM_XOR);
    GUI_FillRect(480, 190, 620, 210);
    GUI_DrawLine(480, 300, 620, 180);
    GUI_SetDrawMode(GUI_DM_NORMAL);
    GUI_SetColorIndex(6);
    GUI_FillRect(500, 230, 600, 320);
    // Monochrome bitmap, magnified and plain, normal and transparent.
    static const uint8_t arrow[8] = {0x18, 0x3C, 0x7E, 0xFF, 0x18, 0x18, 0x18, 0x18};
    static const GUI_Bitmap bmArrow = {8, 8, 1, 1, arrow, nullptr, nullptr};
    GUI_SetColorIndex(11);
    GUI_DrawBitmap(&bmArrow, 20, 340);
    GUI_ClipDrawBitmap(40, 340, 8, 8, 4, 4, 1, 1, arrow, GUI_DrawState.aColorIndex);
    GUI_SetDrawMode(GUI_DM_TRANS);
    GUI_ClipDrawBitmap(90, 340, 8, 8, 4, 4, 1, 1, arrow, GUI_DrawState.aColorIndex);
    GUI_SetDrawMode(GUI_DM_NORMAL);
    // 8-bpp bitmap with a palette.
    static uint8_t ramp[32 * 16];
    for (int i = 0; i < 32 * 16; ++i) ramp[i] = static_cast<uint8_t>((i % 32) / 8 + 1);
    static const uint32_t rampColours[] = {0, 0x0000FF, 0x00FF00, 0xFF0000, 0xFFFFFF};
    static const GUI_Palette rampPal = {5, 0, rampColours};
    static const GUI_Bitmap bmRamp = {32, 16, 32, 8, ramp, &rampPal, nullptr};
    GUI_DrawBitmap(&bmRamp, 140, 350);
    // A surface drawn, partly masked, copied twice.
    int16_t s = GUI_CreateSurface(200, 340, 120, 100);
    GUI_SelectSurface(s);
    GUI_SetColorIndex(13);
    GUI_FillCircle(260, 390, 40);
    GUI_SetColorIndex(0);
    GUI_DrawLine(200, 340, 319, 439);
    GUI_SelectSurface(0);
    GUI_CopySurfaceToScreenAt(s);
    GUI_CopySurfaceToScreen(s, 330, 340);
    GUI_DeleteSurface(s);
    // A stored image with the transparent key, copied over a fill.
    GUI_SetColorIndex(kLcdTransparentKey);
    GUI_FillRect(0, 960, 119, 1019);
    GUI_SetColorIndex(12);
    GUI_FillRect(20, 980, 99, 999);
    GUI_SetColorIndex(4);
    GUI_FillRect(480, 350, 620, 460);
    BltCopyRect(0, 960, 490, 370, 120, 60, kBltCopyTrans);
    // A clipped pane.
    GUI_Rect pane = {470, 330, 630, 470};
    GUI_SetClipRect(&pane);
    GUI_SetColorIndex(1);
    GUI_DrawCircle(630, 470, 50);
    GUI_SetClipRect(nullptr);
}

TEST_F(GuiTest, TestPageScreenshot) {
    DrawTestPage();
    LCD_SetScanOrigin(0, 0);
    ExpectScreenshotMatches("testpage.png", "assert a.getpixel((1, 1)) == (0x44, 0x44, 0x44)\n");
}
