// The pixel operations of an offscreen surface and the rectangle utilities.
// Coordinates arrive clipped to the surface by the library.
#include <cassert>
#include <cstring>
#include "gui/gui.h"

static GUI_SurfaceHeader* Cur() { return GUI_CurrentSurface(); }

static uint8_t* At(GUI_SurfaceHeader* s, int x, int y) {
    assert(x >= s->x0 && x < s->x0 + s->xsize && y >= s->y0 && y < s->y0 + s->ysize);
    return GUI_SurfacePixels(s) + static_cast<uint32_t>(y - s->y0) * s->BytesPerLine + static_cast<uint32_t>(x - s->x0);
}

static uint8_t XorValue(GUI_SurfaceHeader* s) {
    return static_cast<uint8_t>(s->pfGetIndexMask ? s->pfGetIndexMask() : 255);
}

static void MarkRun(GUI_SurfaceHeader* s, int x, int y, int n) {
    if (s->hMask) GUI_MaskOps.pfMarkRun(s->hMask, x, y, n);
}

static void SurfSetPixel(int x, int y, uint32_t index) {
    GUI_SurfaceHeader* s = Cur();
    *At(s, x, y) = static_cast<uint8_t>(index);
    MarkRun(s, x, y, 1);
}

static uint32_t SurfGetPixel(int x, int y) { return *At(Cur(), x, y); }

static void SurfXorPixel(int x, int y) {
    GUI_SurfaceHeader* s = Cur();
    *At(s, x, y) ^= XorValue(s);
    MarkRun(s, x, y, 1);
}

static void SurfFillRect(int x0, int y0, int x1, int y1) {
    GUI_SurfaceHeader* s = Cur();
    GUI_MarkSurface(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    s = Cur();    // the mark never allocates, but keep the pointer fresh
    bool xorMode = GUI_DrawState.DrawMode & GUI_DM_XOR;
    uint8_t fg = GUI_DrawState.aColorIndex[1], xv = XorValue(s);
    for (int y = y0; y <= y1; ++y) {
        uint8_t* p = At(s, x0, y);
        if (!xorMode) std::memset(p, fg, static_cast<size_t>(x1 - x0 + 1));
        else for (int i = 0; i <= x1 - x0; ++i) p[i] ^= xv;
    }
}

static void SurfDrawHLine(int x0, int y, int x1) { SurfFillRect(x0, y, x1, y); }

static void SurfDrawVLine(int x, int y0, int y1) {
    GUI_SurfaceHeader* s = Cur();
    bool xorMode = GUI_DrawState.DrawMode & GUI_DM_XOR;
    for (int y = y0; y <= y1; ++y) {
        MarkRun(s, x, y, 1);
        uint8_t* p = At(s, x, y);
        *p = xorMode ? static_cast<uint8_t>(*p ^ XorValue(s)) : GUI_DrawState.aColorIndex[1];
    }
}

static uint32_t Packed(const uint8_t* row, int bpp, int i) {
    if (bpp == 8) return row[i];
    int bit = i * bpp;
    return (row[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
}

static void SurfDrawBitmap(int x, int y, int width, int height, int bpp, int bytesPerLine, const uint8_t* data,
                           int offset, const uint8_t* table) {
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return;
    GUI_SurfaceHeader* s = Cur();
    uint8_t mode = GUI_DrawState.DrawMode;
    bool trans = mode & GUI_DM_TRANS, xorMode = mode & GUI_DM_XOR;
    if (xorMode && bpp == 8) return;
    int x0 = x + offset;
    if (!trans) GUI_MarkSurface(x0, y, width, height);
    for (int r = 0; r < height; ++r, data += bytesPerLine) {
        for (int i = 0; i < width; ++i) {
            uint32_t v = Packed(data, bpp, offset + i);
            uint8_t* p = At(s, x0 + i, y + r);
            if (xorMode) {
                if (v) *p ^= XorValue(s);
                continue;
            }
            if (trans && v == 0) continue;
            *p = table ? table[v] : static_cast<uint8_t>(v);
            if (trans) MarkRun(s, x0 + i, y + r, 1);
        }
    }
}

static void SurfGetRect(GUI_Rect* rect) {
    GUI_SurfaceHeader* s = Cur();
    *rect = {static_cast<int16_t>(s->x0), static_cast<int16_t>(s->y0), static_cast<int16_t>(s->x0 + s->xsize - 1),
             static_cast<int16_t>(s->y0 + s->ysize - 1)};
}

static uint32_t SurfColorToIndex(uint32_t rgb) { return Cur()->pfColorToIndex(rgb); }
static uint32_t SurfIndexToColor(uint32_t index) { return Cur()->pfIndexToColor(index); }
static uint32_t SurfGetIndexMask() { return XorValue(Cur()); }
static void SurfSetPaletteEntry(uint32_t, uint32_t) {}
static GUI_DevFunc SurfGetDevFunc(int) { return nullptr; }

const GUI_DeviceApi GUI_SurfaceOps = {
    SurfColorToIndex, SurfIndexToColor, SurfGetIndexMask, SurfDrawBitmap, SurfDrawHLine,
    SurfDrawVLine,    SurfFillRect,     SurfGetPixel,     SurfGetRect,    SurfSetPixel,
    SurfXorPixel,     SurfSetPaletteEntry, SurfGetDevFunc,
};

int GUI_RectsIntersect(const GUI_Rect* a, const GUI_Rect* b) {
    return a->x0 <= b->x1 && b->x0 <= a->x1 && a->y0 <= b->y1 && b->y0 <= a->y1;
}

int GUI_RectIntersection(GUI_Rect* result, const GUI_Rect* a, const GUI_Rect* b) {
    result->x0 = a->x0 > b->x0 ? a->x0 : b->x0;
    result->y0 = a->y0 > b->y0 ? a->y0 : b->y0;
    result->x1 = a->x1 < b->x1 ? a->x1 : b->x1;
    result->y1 = a->y1 < b->y1 ? a->y1 : b->y1;
    return result->x0 <= result->x1 && result->y0 <= result->y1;
}

uint32_t GUI_IndexToColorCur(uint32_t index) { return GUI_DrawState.pDeviceApi->pfIndexToColor(index); }
