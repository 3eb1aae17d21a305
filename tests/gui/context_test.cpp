// The drawing context: colour slots and modes, the clipping layer, bitmaps
// through the clip, and target selection.
#include "gui_fixture.h"

TEST_F(GuiTest, ReverseModeKeepsTheSlotsStraight) {
    GUI_SetDrawMode(GUI_DM_REV);
    GUI_SetBkColorIndex(9);
    GUI_SetDrawMode(GUI_DM_NORMAL);
    EXPECT_EQ(GUI_GetBkColorIndex(), 9u);
    // ClearRect sets mode 4 exactly, so it clears in XOR mode too.
    GUI_SetColorIndex(5);
    GUI_FillRect(0, 0, 9, 9);
    GUI_SetDrawMode(GUI_DM_XOR);
    GUI_ClearRect(0, 0, 4, 4);
    EXPECT_EQ(GUI_DrawState.DrawMode, GUI_DM_XOR);
    EXPECT_EQ(Px(0, 0), 9);
    EXPECT_EQ(Px(5, 5), 5);
}

TEST_F(GuiTest, SetColorConvertsOnlyOnChange) {
    GUI_SetPaletteEntry(10, 0x00FF00);
    GUI_SetColor(0x00FF00);
    EXPECT_EQ(GUI_GetColorIndex(), 10u);
    GUI_DrawState.aColorIndex[1] = 3;          // a cached colour is not converted again
    GUI_SetColor(0x00FF00);
    EXPECT_EQ(GUI_GetColorIndex(), 3u);
    GUI_SetColorIndex(4);
    GUI_SetColor(0x00FF00);                      // after an index, always converted
    EXPECT_EQ(GUI_GetColorIndex(), 10u);
    // Selecting a target converts the cached colours again: an index set
    // directly becomes the entry nearest 0x0FFFFFFF (white).
    GUI_SetColorIndex(5);
    GUI_SelectScreen();
    EXPECT_EQ(GUI_GetColorIndex(), 1u);
}

TEST_F(GuiTest, ClippedLinesAndRectangles) {
    GUI_Rect clip = {10, 20, 30, 40};
    GUI_SetClipRect(&clip);
    struct Case { const char* name; int x0, y0, x1, y1; int first, last; };  // drawn h-line span on row y0
    const Case hl[] = {
        {"inside", 12, 25, 14, 25, 12, 14},  {"left edge", 0, 25, 12, 25, 10, 12},
        {"right edge", 28, 25, 99, 25, 28, 30}, {"one pixel", 30, 25, 30, 25, 30, 30},
        {"above", 10, 19, 30, 19, -1, -1},    {"below", 10, 41, 30, 41, -1, -1},
        {"reversed", 20, 25, 15, 25, -1, -1}, {"beyond right", 31, 25, 40, 25, -1, -1},
    };
    for (const Case& c : hl) {
        SCOPED_TRACE(c.name);
        ClearFrame();
        GUI_ClipHLine(c.x0, c.y0, c.x1);
        auto s = Set(0, 0, 60, 60);
        if (c.first < 0) {
            EXPECT_TRUE(s.empty());
        } else {
            EXPECT_EQ(s.size(), static_cast<size_t>(c.last - c.first + 1));
            EXPECT_TRUE(s.count({c.first, c.y0}) && s.count({c.last, c.y0}));
        }
    }
    ClearFrame();
    GUI_ClipVLine(15, 0, 100);
    EXPECT_EQ(Set(0, 0, 60, 120).size(), 21u);
    EXPECT_EQ(Px(15, 20), 1);
    EXPECT_EQ(Px(15, 40), 1);
    ClearFrame();
    GUI_FillRect(-100, -100, 1000, 1000);
    EXPECT_EQ(Set(0, 0, 60, 60).size(), 21u * 21u);
    // A clip that misses the device draws nothing.
    GUI_Rect off = {700, 0, 800, 10};
    GUI_SetClipRect(&off);
    ClearFrame();
    GUI_FillRect(0, 0, 639, 10);
    GUI_ClipSetPixel(639, 0);
    EXPECT_TRUE(Set(0, 0, 639, 11).empty());
    GUI_SetClipRect(nullptr);
    EXPECT_EQ(GUI_DrawState.ClipRect.x1, 639);
    EXPECT_EQ(GUI_GetPixelIndex(640, 0), 0u);
    EXPECT_EQ(GUI_GetPixelIndex(-1, 0), 0u);
}

// A recording device: what reaches slot 3 after clipping.
struct BitmapCall { int x, y, w, h, offset; const uint8_t* data; };
static BitmapCall g_call;
static void RecordBitmap(int x, int y, int w, int h, int, int, const uint8_t* data, int offset, const uint8_t*) {
    g_call = {x, y, w, h, offset, data};
}

TEST_F(GuiTest, BitmapsAreClippedToWholeBytesAndAnOffset) {
    GUI_DeviceApi spy = GUI_DeviceOps;
    spy.pfDrawBitmap = RecordBitmap;
    GUI_DrawState.pDeviceApi = &spy;
    GUI_Rect clip = {100, 0, 639, 479};
    GUI_SetClipRect(&clip);
    static const uint8_t data[4 * 3] = {};
    struct Case { int x, bpp, wantX, wantOffset, wantSkip, wantW; };
    const Case cases[] = {
        {97, 1, 97, 3, 0, 29},  {89, 1, 97, 3, 1, 21}, {97, 2, 97, 3, 0, 13},
        {95, 4, 99, 1, 2, 3},   {96, 8, 100, 0, 4, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        g_call = {};
        int w = c.bpp == 8 ? 4 : 32 / c.bpp;
        GUI_ClipDrawBitmap(c.x, 10, w, 3, 1, 1, c.bpp, 4, data, nullptr);
        if (c.wantW <= 0) {
            EXPECT_EQ(g_call.data, nullptr);
            continue;
        }
        EXPECT_EQ(g_call.x, c.wantX);
        EXPECT_EQ(g_call.offset, c.wantOffset);
        EXPECT_EQ(g_call.data, data + c.wantSkip);
        EXPECT_EQ(g_call.w, c.wantW);
    }
    // Rows above the clip are dropped whole.
    GUI_Rect top = {0, 12, 639, 479};
    GUI_SetClipRect(&top);
    GUI_ClipDrawBitmap(0, 10, 8, 3, 1, 1, 1, 4, data, nullptr);
    EXPECT_EQ(g_call.y, 12);
    EXPECT_EQ(g_call.h, 1);
    EXPECT_EQ(g_call.data, data + 8);
    GUI_DrawState.pDeviceApi = &GUI_DeviceOps;
}

TEST_F(GuiTest, MagnifiedBitmapsDrawBlocks) {
    static const uint8_t bits[] = {0xA0};   // 1 0 1
    const uint8_t table[2] = {4, 6};
    GUI_ClipDrawBitmap(10, 10, 3, 1, 2, 3, 1, 1, bits, table);
    EXPECT_EQ(Px(10, 10), 6);
    EXPECT_EQ(Px(11, 12), 6);
    EXPECT_EQ(Px(12, 10), 4);
    EXPECT_EQ(Px(14, 12), 6);
    EXPECT_EQ(Px(10, 13), 0);
    ClearFrame();
    GUI_SetDrawMode(GUI_DM_TRANS);
    GUI_ClipDrawBitmap(10, 10, 3, 1, 2, 3, 1, 1, bits, table);
    EXPECT_EQ(Px(12, 10), 0);              // zero pixels skipped
    EXPECT_EQ(GUI_GetColorIndex(), 1u);    // foreground restored
}
