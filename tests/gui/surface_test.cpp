// The handle pool, offscreen surfaces with their masks, and the display's
// engine paths against the surfaces' software paths.
#include <cstring>
#include "gui/pool.h"
#include "gui_fixture.h"

TEST(GuiPool, AllocatesCompactsAndRunsOut) {
    int16_t a = GUI_PoolAlloc(1);
    EXPECT_EQ(GUI_PoolGetSize(a), kPoolAlign);
    EXPECT_EQ(GUI_PoolBlocks[a].nOffset, kPoolAlign);     // the head owns the first block
    GUI_PoolFree(a);

    int16_t h1 = GUI_PoolAlloc(20000), h2 = GUI_PoolAlloc(20000), h3 = GUI_PoolAlloc(20000);
    ASSERT_TRUE(h1 && h2 && h3);
    std::memset(GUI_PoolLock(h3), 0x5A, 20000);
    void* stale = GUI_PoolLock(h3);
    GUI_PoolFree(h2);
    int16_t big = GUI_PoolAlloc(24000);    // more than the gap, less than the free total
    ASSERT_NE(big, 0);
    EXPECT_NE(GUI_PoolLock(h3), stale);
    const uint8_t* c = static_cast<const uint8_t*>(GUI_PoolLock(h3));
    EXPECT_EQ(c[0], 0x5A);
    EXPECT_EQ(c[19999], 0x5A);
    EXPECT_EQ(GUI_PoolBlocks[h3].nOffset, GUI_PoolBlocks[h1].nOffset + 20000);
    EXPECT_EQ(GUI_PoolAlloc(40000), 0);
    GUI_PoolFree(0);
    EXPECT_EQ(GUI_PoolStat.nUsedBlocks, 3u);
    GUI_PoolFree(h1);
    GUI_PoolFree(h3);
    GUI_PoolFree(big);
    EXPECT_EQ(GUI_PoolLargestGap(), kPoolBytes - kPoolAlign);
    EXPECT_LE(GUI_PoolStat.nFreeBytesMin, kPoolBytes - 64000);

    // Every handle in use.
    int n = 0;
    int16_t handles[kPoolEntries];
    while ((handles[n] = GUI_PoolAlloc(1)) != 0) ++n;
    EXPECT_EQ(n, kPoolEntries - 1 < static_cast<int>((kPoolBytes - kPoolAlign) / kPoolAlign)
                     ? kPoolEntries - 1 : static_cast<int>((kPoolBytes - kPoolAlign) / kPoolAlign));
    EXPECT_EQ(GUI_PoolStat.nFreeEntriesMin, static_cast<uint32_t>(kPoolEntries - 1 - n));
    for (int i = 0; i < n; ++i) GUI_PoolFree(handles[i]);   // the pool is the program's: leave it empty
    EXPECT_EQ(GUI_PoolStat.nUsedBlocks, 0u);
}

TEST_F(GuiTest, SurfaceSizesFollowThePool) {
    int16_t s = GUI_CreateSurface(0, 0, 100, -100);
    ASSERT_NE(s, 0);
    GUI_SelectSurface(s);
    EXPECT_EQ(GUI_DrawState.ClipRect.y1, 99);
    GUI_SelectScreen();
    GUI_DeleteSurface(s);
    // Rows that fit three quarters of the largest gap, with the real header size.
    s = GUI_CreateSurface(0, 0, 640, -100);
    ASSERT_NE(s, 0);
    auto* hdr = static_cast<GUI_SurfaceHeader*>(GUI_PoolLock(s));
    EXPECT_LT(hdr->ysize, 100);
    EXPECT_GT(hdr->ysize, 60);
    EXPECT_EQ(GUI_CreateSurface(0, 0, 640, 200), 0);   // the pool is spent: callers draw directly
    GUI_DeleteSurface(s);
    EXPECT_EQ(GUI_PoolStat.nUsedBlocks, 0u);
}

TEST_F(GuiTest, MaskedSurfaceCopiesOnlyWhatWasDrawn) {
    GUI_SetColorIndex(4);
    GUI_FillRect(0, 0, 639, 479);
    int16_t s = GUI_CreateSurface(100, 100, 50, 40);
    ASSERT_NE(s, 0);
    GUI_SelectSurface(s);
    GUI_SetColorIndex(9);
    GUI_FillRect(100, 100, 149, 119);      // top half
    GUI_DrawPixel(120, 130);               // one pixel in the lower half
    GUI_SelectSurface(0);
    ClearFrame();
    GUI_CopySurfaceToScreen(s, -4095, 0);  // its own position
    EXPECT_EQ(Px(100, 100), 9);
    EXPECT_EQ(Px(149, 119), 9);
    EXPECT_EQ(Px(120, 130), 9);
    EXPECT_EQ(Px(121, 130), 0);
    EXPECT_EQ(Px(100, 120), 0);
    EXPECT_EQ(Set(0, 0, 639, 479, 9).size(), 50u * 20 + 1);
    GUI_CopySurfaceToScreen(s, 300, 10);
    EXPECT_EQ(Px(300, 10), 9);
    EXPECT_EQ(Px(320, 40), 9);
    GUI_DeleteSurface(s);
}

TEST_F(GuiTest, PaneClipSurvivesASurface) {
    // Copies between screen and surface under a pane clip.
    GUI_SetColorIndex(6);
    GUI_FillRect(0, 0, 63, 63);
    GUI_Rect pane = {10, 10, 40, 40};
    GUI_SetClipRect(&pane);
    int16_t s = GUI_CreateSurface(0, 0, 64, 64);
    GUI_CopyScreenToSurface(s);            // reads the display, not limited by the pane
    EXPECT_EQ(GUI_DrawState.hSurface, 0);
    EXPECT_EQ(GUI_DrawState.ClipRect.x1, 40);
    GUI_SelectSurface(s);
    EXPECT_EQ(GUI_DrawState.ClipRect.x1, 63);
    EXPECT_EQ(*GUI_SurfacePixelPtr(0, 0), 6);
    GUI_SelectSurface(0);
    EXPECT_EQ(GUI_DrawState.ClipRect.x0, 10);
    EXPECT_EQ(GUI_DrawState.ClipRect.y1, 40);
    ClearFrame();
    GUI_CopySurfaceToScreen(s, 0, 0);      // through the pane clip
    EXPECT_EQ(Px(10, 10), 6);
    EXPECT_EQ(Px(9, 10), 0);
    EXPECT_EQ(Px(41, 20), 0);
    GUI_DeleteSurface(s);
}

// Draws the same 1-bpp bitmap to the display (engine) and into a surface
// (software), then compares.
TEST_F(GuiTest, EngineAndSoftwareAgreeOnBitmaps) {
    static const uint8_t glyph[3 * 2] = {0xF3, 0x5A, 0x81, 0x7E, 0x0F, 0xC3};
    const uint8_t table[2] = {3, 12};
    int16_t s = GUI_CreateSurface(0, 200, 64, 10);
    ASSERT_NE(s, 0);
    for (uint8_t mode : {GUI_DM_NORMAL, GUI_DM_TRANS, GUI_DM_XOR}) {
        for (int off = 0; off < 8; ++off) {
            SCOPED_TRACE(testing::Message() << "mode " << int(mode) << " offset " << off);
            GUI_SetDrawMode(GUI_DM_NORMAL);
            GUI_SetColorIndex(20);
            GUI_FillRect(0, 0, 63, 9);
            GUI_SelectSurface(s);
            GUI_SetColorIndex(20);
            GUI_FillRect(0, 200, 63, 209);
            GUI_SetDrawMode(mode);
            GUI_DrawState.pDeviceApi->pfDrawBitmap(8, 201, 16 - off - 1, 3, 1, 2, glyph, off, table);
            uint8_t soft[5][40];
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 40; ++x) soft[y][x] = *GUI_SurfacePixelPtr(x, 200 + y);
            GUI_SelectSurface(0);
            GUI_SetDrawMode(mode);
            LCD_DrawBitmap(8, 1, 16 - off - 1, 3, 1, 2, glyph, off, table);
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 40; ++x) ASSERT_EQ(Px(x, y), soft[y][x]) << x << "," << y;
            // Drawing starts at column x + offset.
            EXPECT_EQ(Px(8 + off - 1, 1), 20);
            bool firstBit = (glyph[0] >> (7 - off)) & 1;
            uint8_t want = mode == GUI_DM_XOR ? (firstBit ? 255 - 20 : 20)
                         : firstBit ? 12 : (mode == GUI_DM_TRANS ? 20 : 3);
            EXPECT_EQ(Px(8 + off, 1), want);
        }
    }
    GUI_DeleteSurface(s);
}

// A surface made while another is selected takes the display's colour
// operations from the selected one's header, so selecting it terminates and
// maps colours as the display does.
TEST_F(GuiTest, SurfaceMadeWhileAnotherIsSelected) {
    int16_t a = GUI_CreateSurface(0, 0, 16, 16);
    ASSERT_NE(a, 0);
    GUI_SelectSurface(a);
    int16_t b = GUI_CreateSurface(20, 0, 16, 16);
    ASSERT_NE(b, 0);
    auto* hb = static_cast<GUI_SurfaceHeader*>(GUI_PoolLock(b));
    ASSERT_EQ(hb->pfColorToIndex, GUI_DeviceOps.pfColorToIndex);
    EXPECT_EQ(hb->pfIndexToColor, GUI_DeviceOps.pfIndexToColor);
    EXPECT_EQ(hb->pfGetIndexMask, GUI_DeviceOps.pfGetIndexMask);
    GUI_SelectSurface(b);
    GUI_SetColorIndex(7);
    GUI_DrawPixel(21, 1);
    EXPECT_EQ(*GUI_SurfacePixelPtr(21, 1), 7);
    GUI_SelectSurface(0);
    GUI_DeleteSurface(b);
    GUI_DeleteSurface(a);
    EXPECT_EQ(GUI_PoolStat.nUsedBlocks, 0u);
}

// A surface reaching left of and above the display: its pixels are addressed
// from its signed origin, and a copy to the screen shows only the part on it.
TEST_F(GuiTest, SurfaceAtANegativeOrigin) {
    int16_t s = GUI_CreateSurface(-8, -2, 16, 4);
    ASSERT_NE(s, 0);
    GUI_SelectSurface(s);
    EXPECT_EQ(GUI_DrawState.ClipRect.x0, -8);
    EXPECT_EQ(GUI_DrawState.ClipRect.y1, 1);
    GUI_SetColorIndex(5);
    GUI_DrawPixel(-8, -2);
    GUI_SetColorIndex(9);
    GUI_FillRect(0, 0, 7, 1);
    EXPECT_EQ(*GUI_SurfacePixelPtr(-8, -2), 5);
    EXPECT_EQ(*GUI_SurfacePixelPtr(7, 1), 9);
    GUI_SelectSurface(0);
    ClearFrame();
    GUI_CopySurfaceToScreen(s, -4095, 0);
    EXPECT_EQ(Set(0, 0, 639, 479, 9).size(), 16u);
    EXPECT_EQ(Set(0, 0, 639, 479, 5).size(), 0u);
    GUI_DeleteSurface(s);
    EXPECT_EQ(GUI_CreateSurface(-40000, 0, 16, 4), 0);   // outside 16-bit coordinates
    EXPECT_EQ(GUI_CreateSurface(32760, 0, 16, 4), 0);
}

TEST_F(GuiTest, DeletingTheSelectedSurfaceSelectsTheScreen) {
    GUI_Rect pane = {10, 10, 40, 40};
    GUI_SetClipRect(&pane);
    int16_t s = GUI_CreateSurface(0, 0, 16, 16);
    GUI_SelectSurface(s);
    GUI_DeleteSurface(s);
    EXPECT_EQ(GUI_DrawState.hSurface, 0);
    EXPECT_EQ(GUI_DrawState.ClipRect.x0, 10);
    EXPECT_EQ(GUI_PoolStat.nUsedBlocks, 0u);
}
