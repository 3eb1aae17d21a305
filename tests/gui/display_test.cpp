// The display controller through its registers, and the display driver.
#include <cstring>
#include "core/irq.h"
#include "gui_fixture.h"
#include "platform/hw.h"

using platform::Display;

static void Engine(uint16_t op, uint32_t src, uint32_t dst, int w, int h, uint16_t fg = 0, uint16_t bg = 0) {
    HwWrite16(LCD_SRC_LO, src & 0xFFFF);
    HwWrite16(LCD_SRC_HI, static_cast<uint16_t>(src >> 16));
    HwWrite16(LCD_DST_LO, dst & 0xFFFF);
    HwWrite16(LCD_DST_HI, static_cast<uint16_t>(dst >> 16));
    HwWrite16(LCD_STRIDE, 320);
    HwWrite16(LCD_WIDTH, static_cast<uint16_t>(w - 1));
    HwWrite16(LCD_HEIGHT, static_cast<uint16_t>(h - 1));
    HwWrite16(LCD_FG_INDEX, fg);
    HwWrite16(LCD_BG_INDEX, bg);
    HwWrite16(LCD_ENGINE_OP, op);
    HwWrite16(LCD_ENGINE_CTL, 0);
    HwWrite16(LCD_ENGINE_CTL, 0x80);
}

TEST_F(GuiTest, KeyIndexIsSharedWithTheController) {
    EXPECT_EQ(kLcdTransparentKey, platform::kTransparentKey);
    EXPECT_NE(kLcdTransparentKey, 0);
}

TEST_F(GuiTest, EngineFillsAndCopies) {
    // Fill, then XOR fill gives the complement, like the software XOR.
    Engine(0x0C00, 0, 10 + 5 * 640, 4, 2, 9);
    EXPECT_EQ(Px(10, 5), 9);
    EXPECT_EQ(Px(13, 6), 9);
    EXPECT_EQ(Px(14, 5), 0);
    EXPECT_TRUE(board().display().Busy());    // engine time passes in board time
    EXPECT_TRUE(LCD_WaitIdle());
    Engine(0x0605, 0, 10 + 5 * 640, 2, 1);
    EXPECT_EQ(Px(10, 5), 255 - 9);
    EXPECT_EQ(Px(12, 5), 9);
    LCD_WaitIdle();

    // An overlapping copy behaves as memmove, both ways.
    for (int i = 0; i < 8; ++i) Frame()[100 * 640 + i] = static_cast<uint8_t>(i + 1);
    Engine(0x020C, 100 * 640, 100 * 640 + 2, 8, 1);
    LCD_WaitIdle();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Px(2 + i, 100), i + 1);
    Engine(0x020C, 100 * 640 + 2, 100 * 640, 8, 1);
    LCD_WaitIdle();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Px(i, 100), i + 1);

    // The transparent copy skips the key index only.
    uint8_t row[4] = {7, kLcdTransparentKey, 0, 8};
    std::memcpy(Frame() + 200 * 640, row, 4);
    std::memset(Frame() + 201 * 640, 50, 4);
    Engine(0x0500, 200 * 640, 201 * 640, 4, 1);
    LCD_WaitIdle();
    EXPECT_EQ(Px(0, 201), 7);
    EXPECT_EQ(Px(1, 201), 50);
    EXPECT_EQ(Px(2, 201), 0);
    EXPECT_EQ(Px(3, 201), 8);
    EXPECT_EQ(board().display().Errors(), 0u);
}

// A long transparent copy: keys next to their neighbours in value (0x7E,
// 0x80, 0xFF, 0) at every place of the engine's eight-byte steps.
TEST_F(GuiTest, TransparentCopyKeepsEveryKeyByte) {
    const uint8_t k = kLcdTransparentKey;
    const uint8_t src[27] = {k, 0x7E, 0x80, k, k, 0xFF, 0, k, 1, k, k, k, k, k, k, k, 0x7F ^ 1, 2, k, 3, 4, 5, 6, 7, 8, k, 9};
    std::memcpy(Frame() + 210 * 640 + 3, src, sizeof src);
    std::memset(Frame() + 211 * 640, 50, 40);
    Engine(0x0500, 210 * 640 + 3, 211 * 640 + 5, sizeof src, 1);
    LCD_WaitIdle();
    for (size_t i = 0; i < sizeof src; ++i) EXPECT_EQ(Px(5 + static_cast<int>(i), 211), src[i] == k ? 50 : src[i]) << i;
    EXPECT_EQ(Px(4, 211), 50);
    EXPECT_EQ(Px(5 + static_cast<int>(sizeof src), 211), 50);
}

TEST_F(GuiTest, EngineClipsToFrameMemoryAndFlagsMisuse) {
    Engine(0x0C00, 0, 1637 * 640 + 600, 100, 4, 3);   // runs off the end
    LCD_WaitIdle();
    EXPECT_EQ(Frame()[640 * 1638 - 1], 3);
    EXPECT_EQ(board().display().Errors(), 1u);
    Engine(0x1234, 0, 0, 1, 1);
    EXPECT_EQ(board().display().Errors(), 2u);
    HwWrite16(LCD_DATA_PORT, 0xFFFF);                   // no expansion running
    EXPECT_EQ(board().display().Errors(), 3u);
}

TEST_F(GuiTest, ColourExpansionHoldsBusyUntilItsData) {
    // 14 pixels from offset 3: two words per row; low byte first, MSB first.
    Engine(0x0800 + (7 - 3), 0, 20 * 640 + 3, 14, 2, 5, 6);
    EXPECT_TRUE(HwRead16(LCD_ENGINE_CTL) & kLcdEngineBusy);
    HwWrite16(LCD_DATA_PORT, 0x80F0);    // bytes F0, 80: skip 3, then 1 0 0 0 0 | 1 0 0 ...
    HwWrite16(LCD_DATA_PORT, 0x0000);
    EXPECT_TRUE(HwRead16(LCD_ENGINE_CTL) & kLcdEngineBusy);
    HwWrite16(LCD_DATA_PORT, 0xFFFF);    // the second row starts in a fresh word
    HwWrite16(LCD_DATA_PORT, 0xFFFF);
    EXPECT_FALSE(HwRead16(LCD_ENGINE_CTL) & kLcdEngineBusy);
    const uint8_t row0[14] = {5, 6, 6, 6, 6, 5, 6, 6, 6, 6, 6, 6, 6, 6};
    for (int i = 0; i < 14; ++i) EXPECT_EQ(Px(3 + i, 20), row0[i]) << i;
    for (int i = 0; i < 14; ++i) EXPECT_EQ(Px(3 + i, 21), 5) << i;
    EXPECT_EQ(Px(17, 20), 0);

    // Transparent expansion leaves the 0 bits alone.
    Engine(0x0907, 0, 30 * 640, 8, 1, 9, 6);
    HwWrite16(LCD_DATA_PORT, 0x00AA);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(Px(i, 30), (i % 2) ? 0 : 9) << i;
}

TEST_F(GuiTest, PaletteLevelsAndColourMapping) {
    struct Case { uint32_t rgb; uint32_t shown; };
    const Case cases[] = {
        {0xFFFFFF, 0xFFFFFF}, {0x080808, 0x000000}, {0x090909, 0x111111}, {0x0000FF, 0x0000FF}, {0x804020, 0x884422},
    };
    for (const Case& c : cases) {
        GUI_SetPaletteEntry(40, c.rgb);
        EXPECT_EQ(board().display().PaletteRgb(40), c.shown) << std::hex << c.rgb;
        EXPECT_EQ(G_LcdColors.aColor[40], c.rgb);
    }
    // Exact match first; else the nearest, the lower index on a tie.
    GUI_SetPaletteEntry(2, 0x0000FF);
    GUI_SetPaletteEntry(3, 0x000010);
    GUI_SetPaletteEntry(4, 0x000030);
    GUI_SetPaletteEntry(40, 0x0000FF);
    EXPECT_EQ(GUI_ColorToIndex(0x0000FF), 2u);
    EXPECT_EQ(GUI_ColorToIndex(0x000020), 3u);        // 16 away from both 3 and 4
    EXPECT_EQ(GUI_ColorToIndex(0x0000F0), 2u);
    EXPECT_EQ(GUI_IndexToColor(300), 0u);
}

TEST_F(GuiTest, InitClearsTheFrameAndSetsTheDefaults) {
    EXPECT_EQ(GUI_GetColorIndex(), 1u);    // white
    EXPECT_EQ(GUI_GetBkColorIndex(), 0u);
    EXPECT_EQ(GUI_DrawState.ClipRect.y1, 1637);
    for (uint32_t i = 0; i < 640 * 1638; i += 997) ASSERT_EQ(Frame()[i], 0) << i;
    EXPECT_EQ(GUI_DrawState.DrawMode, 0);
    LCD_SetScanOrigin(0, 480);
    EXPECT_EQ(board().display().ShownStartBytes(), 480u * 640);
}

TEST_F(GuiTest, FillTilesAndCopiesPastTheRegisterRange) {
    // 1024-pixel tiles: a full-frame fill reaches the last line.
    GUI_SetColorIndex(7);
    GUI_FillRect(0, 0, 4095, 4095);
    EXPECT_EQ(Px(639, 1637), 7);
    EXPECT_EQ(Px(0, 1024), 7);
    // A copy of 0 or fewer rows does nothing (it would otherwise copy 1024).
    uint32_t ops = board().display().Operations();
    BltCopyRect(0, 0, 0, 960, 640, 0, kBltCopy);
    BltCopyRect(0, 0, 0, 960, -3, 10, kBltCopy);
    EXPECT_EQ(board().display().Operations(), ops);
    GUI_SetColorIndex(8);
    GUI_FillRect(0, 1100, 639, 1637);
    BltCopyRect(0, 1100, 0, 0, 640, 538, kBltCopy);
    EXPECT_EQ(Px(639, 537), 8);
    EXPECT_EQ(Px(0, 538), 7);
}

TEST_F(GuiTest, CopyRaisesTheFlipHoldOnlyWhenItWasDown) {
    G_FlipCtl.nFlipHold = 0;
    BltCopyRect(0, 0, 0, 960, 10, 10, kBltCopy);
    EXPECT_EQ(G_FlipCtl.nFlipHold, 0u);
    G_FlipCtl.nFlipHold = 1;
    BltCopyRect(0, 0, 0, 960, 10, 10, kBltCopy);
    EXPECT_EQ(G_FlipCtl.nFlipHold, 1u);
}

TEST_F(GuiTest, PageFlipShowsTheFinishedPage) {
    // Draw into the hidden page, request the flip, let the tick take it.
    G_FlipCtl = {480, 0, 0, 0};
    GUI_SetColorIndex(3);
    GUI_FillRect(0, 480, 639, 959);
    G_FlipCtl.nFlipReq = 1;
    for (int i = 0; i < 40 && G_FlipCtl.nFlipReq; ++i) {
        while (!board().display().ReadyToFlip()) HwIdle();
        PageFlip();
    }
    EXPECT_EQ(G_FlipCtl.nFlipReq, 0u);
    EXPECT_EQ(G_FlipCtl.nPageShown, 1u);
    EXPECT_EQ(G_FlipCtl.nDrawPageY, 0u);
    EXPECT_EQ(board().display().ShownStartBytes(), 0x25800u * 2);
    std::vector<uint8_t> rgb(640 * 480 * 3);
    board().display().ShownRgb(rgb.data());
    uint32_t c = board().display().PaletteRgb(3);
    EXPECT_EQ(rgb[0] | rgb[1] << 8 | rgb[2] << 16, c);
}
