// Offscreen surfaces with their usage masks, bitmaps with palettes and the
// BMP writer.
#include <cstdint>
#include <cstring>
#include "gui/gui.h"
#include "gui/lcd.h"
#include "gui/pool.h"

// Headers hold host pointers: blocks are sized with the real header size.
constexpr uint32_t kSurfaceHeaderBytes = (sizeof(GUI_SurfaceHeader) + kPoolAlign - 1) & ~(kPoolAlign - 1);
constexpr uint32_t kMaskHeaderBytes = (sizeof(GUI_MaskHeader) + kPoolAlign - 1) & ~(kPoolAlign - 1);

static GUI_SurfaceHeader* Surface(int16_t h) { return static_cast<GUI_SurfaceHeader*>(GUI_PoolLock(h)); }
uint8_t* GUI_SurfacePixels(GUI_SurfaceHeader* s) { return reinterpret_cast<uint8_t*>(s) + kSurfaceHeaderBytes; }
static uint8_t* Pixels(GUI_SurfaceHeader* s) { return GUI_SurfacePixels(s); }

GUI_SurfaceHeader* GUI_CurrentSurface() { return Surface(GUI_DrawState.hSurface); }

// ---- usage masks -------------------------------------------------------------------

static GUI_MaskHeader* Mask(int16_t h) { return static_cast<GUI_MaskHeader*>(GUI_PoolLock(h)); }
static uint8_t* Bits(GUI_MaskHeader* m) { return reinterpret_cast<uint8_t*>(m) + kMaskHeaderBytes; }

static void MaskMarkRun(int16_t hMask, int x, int y, int n) {
    GUI_MaskHeader* m = Mask(hMask);
    if (!m) return;
    int cx = x - m->x0, cy = y - m->y0;
    if (cy < 0 || cy >= m->ysize) return;
    uint8_t* row = Bits(m) + static_cast<uint32_t>(cy) * m->BytesPerLine;
    for (int i = 0; i < n; ++i, ++cx)
        if (cx >= 0 && cx < m->xsize) row[cx >> 3] |= static_cast<uint8_t>(0x80 >> (cx & 7));
}

static void MaskMarkRect(int16_t hMask, int x, int y, int width, int rows) {
    for (int r = 0; r < rows; ++r) MaskMarkRun(hMask, x, y + r, width);
}

static void MaskClear(int16_t hMask) {
    GUI_MaskHeader* m = Mask(hMask);
    if (m) std::memset(Bits(m), 0, m->BytesPerLine * m->ysize);
}

static void MaskUnused() {}

static void MaskFree(int16_t hMask) {
    GUI_MaskHeader* m = Mask(hMask);
    if (m && --m->nUseCount == 0) GUI_PoolFree(hMask);
}

static int MaskNextRun(int16_t hMask, int y, int* x) {
    GUI_MaskHeader* m = Mask(hMask);
    if (!m) return 0;
    int cy = y - m->y0, cx = *x - m->x0;
    if (cy < 0 || cy >= m->ysize || cx < 0 || cx >= m->xsize) return 0;
    const uint8_t* row = Bits(m) + static_cast<uint32_t>(cy) * m->BytesPerLine;
    // Whole zero bytes at once, then zero bits.
    while (cx < m->xsize && (cx & 7) == 0 && row[cx >> 3] == 0) cx += 8;
    while (cx < m->xsize && !(row[cx >> 3] & (0x80 >> (cx & 7)))) ++cx;
    if (cx >= m->xsize) return 0;
    *x = cx + m->x0;
    int n = 0;
    while (cx + n < m->xsize && (row[(cx + n) >> 3] & (0x80 >> ((cx + n) & 7)))) ++n;
    return n;
}

const GUI_MaskApi GUI_MaskOps = {MaskMarkRect, MaskMarkRun, MaskClear, MaskUnused, MaskFree, MaskNextRun};

static int16_t CreateMask(int x0, int y0, int xsize, int ysize) {
    uint32_t bytesPerLine = static_cast<uint32_t>((xsize + 15) / 16) * 2;
    int16_t h = GUI_PoolAllocZeroed(kMaskHeaderBytes + bytesPerLine * static_cast<uint32_t>(ysize));
    if (!h) return 0;
    GUI_MaskHeader* m = Mask(h);
    m->x0 = static_cast<int16_t>(x0);
    m->y0 = static_cast<int16_t>(y0);
    m->xsize = static_cast<uint16_t>(xsize);
    m->ysize = static_cast<uint16_t>(ysize);
    m->pOps = &GUI_MaskOps;
    m->nUseCount = 1;
    m->BytesPerLine = bytesPerLine;
    return h;
}

void GUI_MarkSurface(int x, int y, int width, int rows) {
    GUI_SurfaceHeader* s = GUI_CurrentSurface();
    if (s && s->hMask) GUI_MaskOps.pfMarkRect(s->hMask, x, y, width, rows);
}

// ---- surfaces --------------------------------------------------------------------

int16_t GUI_PoolAllocZeroed(uint32_t size) {
    int16_t h = GUI_PoolAlloc(size);
    if (h) std::memset(GUI_PoolLock(h), 0, GUI_PoolGetSize(h));
    return h;
}

int16_t GUI_CreateSurfaceEx(int x0, int y0, int xsize, int ysize, int flags, const GUI_DeviceApi* ops,
                            GUI_ColorToIndexFn colorToIndex, GUI_IndexToColorFn indexToColor,
                            GUI_IndexMaskFn indexMask) {
    // Every pixel must have 16-bit coordinates, as the clip rectangle holds them.
    if (xsize <= 0 || x0 < INT16_MIN || y0 < INT16_MIN || x0 + xsize - 1 > INT16_MAX || y0 > INT16_MAX) return 0;
    const uint32_t bpp = 8;      // the surface operations' depth
    uint32_t bytesPerLine = (bpp * static_cast<uint32_t>(xsize) + 7) / 8;
    uint32_t largest = GUI_PoolLargestGap();
    bool plain = flags & GUI_SURFACE_NO_MASK;
    if (!plain) largest = largest / 4 * 3;
    if (ysize <= 0) {
        uint32_t fit = largest > kSurfaceHeaderBytes ? (largest - kSurfaceHeaderBytes) / bytesPerLine : 0;
        uint32_t want = static_cast<uint32_t>(-ysize);
        ysize = static_cast<int>(want < fit ? want : fit);
    }
    if (y0 + ysize - 1 > INT16_MAX) return 0;
    int16_t hMask = 0;
    if (!plain && ysize >= 1) hMask = CreateMask(x0, y0, xsize, ysize);
    if (ysize < 1) return 0;
    uint32_t size = kSurfaceHeaderBytes + bytesPerLine * static_cast<uint32_t>(ysize);
    int16_t h = plain ? GUI_PoolAlloc(size) : GUI_PoolAllocZeroed(size);
    if (!h) {
        if (hMask) GUI_MaskOps.pfFree(hMask);
        return 0;
    }
    GUI_SurfaceHeader* s = Surface(h);
    s->x0 = static_cast<int16_t>(x0);
    s->y0 = static_cast<int16_t>(y0);
    s->xsize = static_cast<uint16_t>(xsize);
    s->ysize = static_cast<uint16_t>(ysize);
    s->nColors = 256;
    s->BytesPerLine = bytesPerLine;
    s->BitsPerPixel = bpp;
    s->Reserved = 0;
    s->hMask = hMask;
    s->pfColorToIndex = colorToIndex;
    s->pfIndexToColor = indexToColor;
    s->pfGetIndexMask = indexMask;
    s->pOps = ops;
    return h;
}

// The colour operations of the device the new surface is for: those of the
// selected surface (its own device's, stored in its header), else the display's.
// The selected surface's slot functions would only call themselves.
int16_t GUI_CreateSurface(int x0, int y0, int xsize, int ysize) {
    if (const GUI_SurfaceHeader* sel = GUI_CurrentSurface())
        return GUI_CreateSurfaceEx(x0, y0, xsize, ysize, 0, &GUI_SurfaceOps, sel->pfColorToIndex, sel->pfIndexToColor,
                                   sel->pfGetIndexMask);
    const GUI_DeviceApi* dev = GUI_DrawState.pDeviceApi;
    return GUI_CreateSurfaceEx(x0, y0, xsize, ysize, 0, &GUI_SurfaceOps, dev->pfColorToIndex, dev->pfIndexToColor,
                               dev->pfGetIndexMask);
}

int16_t GUI_SelectSurface(int16_t handle) {
    int16_t old = GUI_DrawState.hSurface;
    if (handle == 0) {
        GUI_SelectScreen();
        return old;
    }
    GUI_SurfaceHeader* s = Surface(handle);
    if (!s) return old;
    if (old == 0) GUI_DrawState.SavedClip = GUI_DrawState.ClipRect;
    GUI_DrawState.hSurface = handle;
    GUI_DrawState.pDeviceApi = s->pOps;
    GUI_DrawState.pClipRect = &GUI_DrawState.ClipRect;
    GUI_RemapColors();
    GUI_DrawState.ClipRect = {static_cast<int16_t>(s->x0), static_cast<int16_t>(s->y0),
                              static_cast<int16_t>(s->x0 + s->xsize - 1), static_cast<int16_t>(s->y0 + s->ysize - 1)};
    return old;
}

void GUI_DeleteSurface(int16_t handle) {
    GUI_SurfaceHeader* s = Surface(handle);
    if (!s) return;
    if (GUI_DrawState.hSurface == handle) GUI_SelectScreen();
    if (s->hMask) GUI_MaskOps.pfFree(s->hMask);
    GUI_PoolFree(handle);
}

static void CopyRuns(GUI_SurfaceHeader* s, int dx, int dy) {
    const uint8_t* pixels = Pixels(s);
    int16_t hMask = s->hMask;
    int bpl = static_cast<int>(s->BytesPerLine);
    for (int r = 0; r < s->ysize;) {
        int y = s->y0 + r;
        int x = s->x0;
        int n = GUI_MaskOps.pfNextRun(hMask, y, &x);
        if (n == s->xsize) {
            // Consecutive fully marked rows go as one block.
            int rows = 1;
            for (; r + rows < s->ysize; ++rows) {
                int x2 = s->x0;
                if (GUI_MaskOps.pfNextRun(hMask, y + rows, &x2) != s->xsize) break;
            }
            GUI_ClipDrawBitmap(dx, dy + r, s->xsize, rows, 1, 1, 8, bpl, pixels + r * bpl, nullptr);
            r += rows;
            continue;
        }
        while (n > 0) {
            int cx = x - s->x0;
            GUI_ClipDrawBitmap(dx + cx, dy + r, n, 1, 1, 1, 8, bpl, pixels + r * bpl + cx, nullptr);
            x += n;
            n = GUI_MaskOps.pfNextRun(hMask, y, &x);
        }
        ++r;
    }
}

void GUI_CopySurfaceToScreen(int16_t handle, int x, int y) {
    if (!Surface(handle)) return;
    // Only a surface target is left and re-selected: re-selecting the display
    // would reset its clip and lose the pane's.
    int16_t previous = GUI_DrawState.hSurface;
    if (previous) GUI_SelectSurface(0);
    GUI_SurfaceHeader* s = Surface(handle);
    if (x == -4095) {
        x = s->x0;
        y = s->y0;
    }
    if (!s->hMask) {
        GUI_ClipDrawBitmap(x, y, s->xsize, s->ysize, 1, 1, static_cast<int>(s->BitsPerPixel),
                           static_cast<int>(s->BytesPerLine), Pixels(s), nullptr);
    } else {
        CopyRuns(s, x, y);
    }
    if (previous) GUI_SelectSurface(previous);
}

void GUI_CopySurfaceToScreenAt(int16_t handle) { GUI_CopySurfaceToScreen(handle, -4095, 0); }

void GUI_CopyScreenToSurface(int16_t handle) {
    if (handle == 0) handle = GUI_DrawState.hSurface;
    if (!Surface(handle)) return;
    int16_t previous = GUI_SelectSurface(handle);
    GUI_SurfaceHeader* s = Surface(handle);
    int x0 = s->x0, y0 = s->y0, x1 = s->x0 + s->xsize - 1, y1 = s->y0 + s->ysize - 1;
    if (x1 > LCD_XSIZE - 1) x1 = LCD_XSIZE - 1;
    if (y1 > LCD_VYSIZE - 1) y1 = LCD_VYSIZE - 1;
    for (int y = y0; y <= y1 && x0 <= x1; ++y) {
        if (s->hMask) GUI_MaskOps.pfMarkRun(s->hMask, x0, y, x1 - x0 + 1);
        uint8_t* dst = Pixels(s) + static_cast<uint32_t>(y - s->y0) * s->BytesPerLine;
        for (int x = x0; x <= x1; ++x) dst[x - s->x0] = static_cast<uint8_t>(GUI_DeviceOps.pfGetPixel(x, y));
    }
    GUI_SelectSurface(previous);
}

uint8_t* GUI_SurfacePixelPtr(int x, int y) {
    GUI_SurfaceHeader* s = GUI_CurrentSurface();
    if (!s) return nullptr;
    return Pixels(s) + static_cast<uint32_t>(y - s->y0) * s->BytesPerLine + static_cast<uint32_t>(x - s->x0);
}

// ---- bitmaps --------------------------------------------------------------------------

void GUI_DrawBitmap(const GUI_Bitmap* bitmap, int x, int y) {
    if (!bitmap) return;
    uint8_t mode = GUI_DrawState.DrawMode;
    bool trans = bitmap->pPal && bitmap->pPal->HasTrans;
    GUI_SetDrawMode(static_cast<uint8_t>(trans ? (mode | GUI_DM_TRANS) : (mode & ~GUI_DM_TRANS)));
    if (bitmap->pMethods) {
        bitmap->pMethods->pfDraw(bitmap, x, y);
    } else {
        const uint8_t* table = GUI_MapPaletteToIndices(bitmap->pPal);
        if (!table && bitmap->BitsPerPixel == 1) table = GUI_DrawState.aColorIndex;
        GUI_ClipDrawBitmap(x, y, bitmap->XSize, bitmap->YSize, 1, 1, bitmap->BitsPerPixel, bitmap->BytesPerLine,
                           bitmap->pData, table);
    }
    GUI_SetDrawMode(mode);
}

// ---- BMP export -------------------------------------------------------------------------

static void Put16(GUI_PutByteFn put, void* ctx, uint32_t v) {
    put(static_cast<uint8_t>(v), ctx);
    put(static_cast<uint8_t>(v >> 8), ctx);
}

static void Put32(GUI_PutByteFn put, void* ctx, uint32_t v) {
    Put16(put, ctx, v & 0xFFFF);
    Put16(put, ctx, v >> 16);
}

void GUI_SaveBitmap(GUI_PutByteFn putByte, int x0, int y0, int xsize, int ysize, void* context) {
    if (!putByte || xsize <= 0 || ysize <= 0) return;
    const uint32_t bpp = 8, colors = 1u << bpp;
    uint32_t rowBytes = (static_cast<uint32_t>(xsize) + 3) & ~3u;
    uint32_t dataOffset = 54 + 4 * colors;
    putByte('B', context);
    putByte('M', context);
    Put32(putByte, context, dataOffset + rowBytes * static_cast<uint32_t>(ysize));
    Put32(putByte, context, 0);
    Put32(putByte, context, dataOffset);
    Put32(putByte, context, 40);
    Put32(putByte, context, static_cast<uint32_t>(xsize));
    Put32(putByte, context, static_cast<uint32_t>(ysize));
    Put16(putByte, context, 1);
    Put16(putByte, context, bpp);
    for (int i = 0; i < 4; ++i) Put32(putByte, context, 0);   // compression, size, resolution
    Put32(putByte, context, colors);
    Put32(putByte, context, 0);
    for (uint32_t i = 0; i < colors; ++i) {
        uint32_t rgb = GUI_IndexToColorCur(i);
        putByte(static_cast<uint8_t>(rgb >> 16), context);
        putByte(static_cast<uint8_t>(rgb >> 8), context);
        putByte(static_cast<uint8_t>(rgb), context);
        putByte(0, context);
    }
    for (int y = y0 + ysize - 1; y >= y0; --y) {
        for (int x = x0; x < x0 + xsize; ++x) putByte(static_cast<uint8_t>(GUI_GetPixelIndex(x, y)), context);
        for (uint32_t pad = static_cast<uint32_t>(xsize); pad < rowBytes; ++pad) putByte(0, context);
    }
}

void GUI_SaveScreen(GUI_PutByteFn putByte, void* context) {
    GUI_SaveBitmap(putByte, 0, 0, LCD_XSIZE, LCD_YSIZE, context);
}
