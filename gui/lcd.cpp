#include "gui/lcd.h"

#include <cstring>
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "platform/hw.h"

LCD_ColorTable G_LcdColors = {256, {0x000000, 0xFFFFFF}};
uint16_t G_LcdOrigin[2] = {0, 0};

const GUI_DeviceApi GUI_DeviceOps = {
    LCD_ColorToIndex, LCD_IndexToColor, LCD_GetIndexMask, LCD_DrawBitmap, LCD_DrawHLine,
    LCD_DrawVLine,    LCD_FillRectChecked, LCD_GetPixel,  LCD_GetRect,    LCD_SetPixel,
    LCD_XorPixel,     LCD_SetPaletteEntry, LCD_GetDevFunc,
};

constexpr uint32_t kPitch = LCD_XSIZE;
constexpr uint32_t kFrameBytes = LCD_XSIZE * LCD_VYSIZE;
constexpr int kTileSize = 1024;          // the size registers hold 10 bits
constexpr uint32_t kEngineTimeout = kTicksPerSecond;   // far beyond the longest operation

// The frame memory as the target reaches it: through a pointer taken at
// initialisation.
static uint8_t* s_frame = nullptr;

static uint8_t* Frame() {
    if (!s_frame) s_frame = HwMemory(LCD_FRAME, kFrameBytes);
    return s_frame;
}

static uint8_t* PixelAddr(int x, int y) { return Frame() + static_cast<uint32_t>(y) * kPitch + static_cast<uint32_t>(x); }

// One pixel by a read-modify-write of its 16-bit word: pixel 2k is the low byte.
static uint16_t ReadWord(const uint8_t* p) {
    uint16_t w;
    std::memcpy(&w, p, 2);
    return w;
}

static void WritePixelWord(int x, int y, uint8_t index) {
    uint8_t* word = PixelAddr(x & ~1, y);
    uint16_t w = ReadWord(word);
    w = (x & 1) ? static_cast<uint16_t>((w & 0x00FF) | (index << 8)) : static_cast<uint16_t>((w & 0xFF00) | index);
    std::memcpy(word, &w, 2);
}

static void WriteAddr(uint32_t lo, uint32_t value) {
    HwWrite16(lo, static_cast<uint16_t>(value & 0xFFFF));
    HwWrite16(lo + 2, static_cast<uint16_t>(value >> 16));
}

static void StartEngine() {
    HwWrite16(LCD_ENGINE_CTL, 0);
    HwWrite16(LCD_ENGINE_CTL, 0x80);
}

static bool EngineBit(uint16_t bit, bool set) { return ((HwRead16(LCD_ENGINE_CTL) & bit) != 0) == set; }

// Every wait on the engine is bounded: an engine that never finishes is
// logged and drawing carries on. Only time changes the bits, so each round
// idles until the engine's own event (or the time-out).
static bool WaitEngine(uint16_t bit, bool untilSet) {
    if (EngineBit(bit, untilSet)) return true;
    const uint32_t start = ReadOsTimer();
    do {
        HwIdleUntil(start + kEngineTimeout);
        if (EngineBit(bit, untilSet)) return true;
    } while (!TicksElapsed(ReadOsTimer(), start, kEngineTimeout));
    DebugPrintf("ERROR: LCD engine time-out (bit 0x%02x)\n", bit);
    return false;
}

int LCD_Init() {
    s_frame = HwMemory(LCD_FRAME, kFrameBytes);
    HwWrite16(LCD_STRIDE, kPitch / 2);
    HwWrite16(LCD_ENGINE_CTL, 0);
    // Wakes the frame memory.
    uint16_t w1 = HwRead16(LCD_FRAME + 2);
    uint16_t w0 = HwRead16(LCD_FRAME);
    HwWrite16(LCD_FRAME, w0);
    HwWrite16(LCD_FRAME + 2, w1);
    return 0;
}

void LCD_On() {}

void LCD_SetDisplayStart(int, int y) {
    uint32_t start = static_cast<uint32_t>(y) * (kPitch / 2);
    HwWrite16(LCD_START_LO, static_cast<uint16_t>(start & 0xFFFF));
    HwWrite16(LCD_START_HI, static_cast<uint16_t>(start >> 16));
}

int LCD_GetXSize() { return LCD_XSIZE; }
int LCD_GetYSize() { return LCD_YSIZE; }
int LCD_GetVYSize() { return LCD_VYSIZE; }
int LCD_GetBitsPerPixel() { return 8; }
int LCD_GetNumColors() { return 256; }

bool LCD_WaitIdle() {
    bool ok = WaitEngine(kLcdEngineBusy, false);
    (void)HwRead16(LCD_DATA_PORT);
    return ok;
}

void LCD_FillRect(int x0, int y0, int x1, int y1) {
    uint16_t op = (GUI_DrawState.DrawMode & GUI_DM_XOR) ? 0x0605 : 0x0C00;
    for (int tx = x0; tx <= x1; tx += kTileSize) {
        int w = x1 - tx + 1 < kTileSize ? x1 - tx + 1 : kTileSize;
        for (int ty = y0; ty <= y1; ty += kTileSize) {
            int h = y1 - ty + 1 < kTileSize ? y1 - ty + 1 : kTileSize;
            WriteAddr(LCD_DST_LO, static_cast<uint32_t>(tx) + static_cast<uint32_t>(ty) * kPitch);
            HwWrite16(LCD_WIDTH, static_cast<uint16_t>(w - 1));
            HwWrite16(LCD_HEIGHT, static_cast<uint16_t>(h - 1));
            HwWrite16(LCD_FG_INDEX, GUI_DrawState.aColorIndex[1]);
            HwWrite16(LCD_ENGINE_OP, op);
            StartEngine();
            LCD_WaitIdle();
        }
    }
}

// Cuts a copy so that both rectangles lie in frame memory: the engine walks
// linear addresses, so a row past x 639 would spill into the next line.
static bool ClipCopy(int& sx, int& sy, int& dx, int& dy, int& width, int& height) {
    const int left = -(sx < dx ? sx : dx), top = -(sy < dy ? sy : dy);
    if (left > 0) { sx += left; dx += left; width -= left; }
    if (top > 0) { sy += top; dy += top; height -= top; }
    const int right = LCD_XSIZE - (sx > dx ? sx : dx), bottom = LCD_VYSIZE - (sy > dy ? sy : dy);
    if (width > right) width = right;
    if (height > bottom) height = bottom;
    return width > 0 && height > 0;
}

void BltCopyRect(int sx, int sy, int dx, int dy, int width, int height, uint16_t op) {
    // Nothing to copy; the size registers would wrap to a 1024-pixel copy.
    if (!ClipCopy(sx, sy, dx, dy, width, height)) return;
    bool held = G_FlipCtl.nFlipHold != 0;
    if (!held) G_FlipCtl.nFlipHold = 1;
    for (int ty = 0; ty < height; ty += kTileSize) {
        int h = height - ty < kTileSize ? height - ty : kTileSize;
        for (int tx = 0; tx < width; tx += kTileSize) {
            int w = width - tx < kTileSize ? width - tx : kTileSize;
            WriteAddr(LCD_SRC_LO, static_cast<uint32_t>(sx + tx) + static_cast<uint32_t>(sy + ty) * kPitch);
            WriteAddr(LCD_DST_LO, static_cast<uint32_t>(dx + tx) + static_cast<uint32_t>(dy + ty) * kPitch);
            HwWrite16(LCD_WIDTH, static_cast<uint16_t>(w - 1));
            HwWrite16(LCD_HEIGHT, static_cast<uint16_t>(h - 1));
            HwWrite16(LCD_ENGINE_OP, op);
            HwWrite16(LCD_STRIDE, kPitch / 2);
            StartEngine();
            LCD_WaitIdle();
        }
    }
    if (!held) G_FlipCtl.nFlipHold = 0;
}

// ---- bitmaps -------------------------------------------------------------------

static uint8_t TableIndex(const uint8_t* table, uint32_t value) {
    return table ? table[value] : static_cast<uint8_t>(value);
}

// A row's bytes as 16-bit words, assembled byte by byte and padded with 0 so
// that no read passes the row's last byte.
static uint16_t RowWord(const uint8_t* row, uint32_t rowBytes, uint32_t k) {
    uint32_t i = 2 * k;
    uint8_t lo = i < rowBytes ? row[i] : 0;
    uint8_t hi = i + 1 < rowBytes ? row[i + 1] : 0;
    return static_cast<uint16_t>(lo | (hi << 8));
}

static void ExpandBitmap(int x, int y, int width, int height, int bytesPerLine, const uint8_t* data,
                         int offset, const uint8_t* table) {
    int off = offset & 7;
    uint16_t op = static_cast<uint16_t>(((GUI_DrawState.DrawMode & GUI_DM_TRANS) ? 0x0900 : 0x0800) + (7 - off));
    WriteAddr(LCD_SRC_LO, 0);
    WriteAddr(LCD_DST_LO, static_cast<uint32_t>(x + off) + static_cast<uint32_t>(y) * kPitch);
    HwWrite16(LCD_WIDTH, static_cast<uint16_t>(width - 1));
    HwWrite16(LCD_HEIGHT, static_cast<uint16_t>(height - 1));
    HwWrite16(LCD_BG_INDEX, TableIndex(table, 0));
    HwWrite16(LCD_FG_INDEX, TableIndex(table, 1));
    HwWrite16(LCD_ENGINE_OP, op);
    StartEngine();
    if (!WaitEngine(kLcdEngineBusy, true)) return;
    uint32_t words = static_cast<uint32_t>(off + width + 15) / 16;
    uint32_t rowBytes = static_cast<uint32_t>(off + width + 7) / 8;
    if (rowBytes > static_cast<uint32_t>(bytesPerLine)) rowBytes = static_cast<uint32_t>(bytesPerLine);
    for (int r = 0; r < height; ++r, data += bytesPerLine) {
        for (uint32_t k = 0; k < words; ++k) {
            if (HwRead16(LCD_ENGINE_CTL) & kLcdFifoFull) WaitEngine(kLcdFifoFull, false);
            HwWrite16(LCD_DATA_PORT, RowWord(data, rowBytes, k));
        }
    }
    LCD_WaitIdle();
}

// Pixel value i of a row at 1, 2 or 4 bits per pixel, most significant first.
static uint32_t PackedPixel(const uint8_t* row, int bpp, int i) {
    int bit = i * bpp;
    int shift = 8 - bpp - (bit & 7);
    return (row[bit >> 3] >> shift) & ((1u << bpp) - 1);
}

static void SoftwareRow(int x, int y, int width, int bpp, const uint8_t* row, int offset, const uint8_t* table) {
    uint8_t mode = GUI_DrawState.DrawMode;
    if (bpp == 8) {
        if (mode & GUI_DM_XOR) return;          // as on surfaces: nothing
        for (int i = 0; i < width; ++i) {
            uint8_t v = row[offset + i];
            if ((mode & GUI_DM_TRANS) && v == 0) continue;
            *PixelAddr(x + offset + i, y) = TableIndex(table, v);
        }
        return;
    }
    for (int i = 0; i < width; ++i) {
        uint32_t v = PackedPixel(row, bpp, offset + i);
        int px = x + offset + i;
        if (mode & GUI_DM_XOR) {
            if (v) LCD_XorPixel(px, y);
        } else if (!((mode & GUI_DM_TRANS) && v == 0)) {
            WritePixelWord(px, y, TableIndex(table, v));
        }
    }
}

void LCD_DrawBitmap(int x, int y, int width, int height, int bpp, int bytesPerLine, const uint8_t* data,
                    int offset, const uint8_t* indexTable) {
    if (width <= 0 || height <= 0) return;
    if (bpp == 1 && !(GUI_DrawState.DrawMode & GUI_DM_XOR)) {
        ExpandBitmap(x, y, width, height, bytesPerLine, data, offset, indexTable);
        return;
    }
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return;
    if (bpp == 8 && !indexTable && !(GUI_DrawState.DrawMode & (GUI_DM_XOR | GUI_DM_TRANS))) {
        for (int r = 0; r < height; ++r, data += bytesPerLine)
            std::memcpy(PixelAddr(x + offset, y + r), data + offset, static_cast<size_t>(width));
        return;
    }
    for (int r = 0; r < height; ++r, data += bytesPerLine) SoftwareRow(x, y + r, width, bpp, data, offset, indexTable);
}

void LCD_DrawHLine(int x0, int y, int x1) {
    if (x0 <= x1) LCD_FillRect(x0, y, x1, y);
}

void LCD_DrawVLine(int x, int y0, int y1) {
    if (y0 <= y1) LCD_FillRect(x, y0, x, y1);
}

void LCD_FillRectChecked(int x0, int y0, int x1, int y1) {
    if (x0 <= x1 && y0 <= y1) LCD_FillRect(x0, y0, x1, y1);
}

uint32_t LCD_GetPixel(int x, int y) {
    uint16_t w = ReadWord(PixelAddr(x & ~1, y));
    return (x & 1) ? (w >> 8) : (w & 0xFF);
}

void LCD_GetRect(GUI_Rect* rect) { *rect = {0, 0, LCD_XSIZE - 1, LCD_VYSIZE - 1}; }

void LCD_SetPixel(int x, int y, uint32_t index) { WritePixelWord(x, y, static_cast<uint8_t>(index)); }

void LCD_XorPixel(int x, int y) { WritePixelWord(x, y, static_cast<uint8_t>(255 - LCD_GetPixel(x, y))); }

void LCD_ReadRect(int x0, int y0, int x1, int y1, uint8_t* buffer) {
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) *buffer++ = static_cast<uint8_t>(LCD_GetPixel(x, y));
}

GUI_DevFunc LCD_GetDevFunc(int code) {
    return code == 1 ? reinterpret_cast<GUI_DevFunc>(LCD_ReadRect) : nullptr;
}

// ---- palette and colours ---------------------------------------------------------

static uint32_t Level(uint32_t v) { return (v + 8) / 17; }

void LCD_SetPaletteEntry(uint32_t index, uint32_t rgb) {
    HwWrite16(LCD_PAL_INDEX, static_cast<uint16_t>(index & 255));
    HwWrite16(LCD_PAL_DATA, static_cast<uint16_t>(Level(rgb & 0xFF) * 16));
    HwWrite16(LCD_PAL_DATA, static_cast<uint16_t>(Level((rgb >> 8) & 0xFF) * 16));
    HwWrite16(LCD_PAL_DATA, static_cast<uint16_t>(Level((rgb >> 16) & 0xFF) * 16));
}

static uint32_t Distance(uint32_t a, uint32_t b) {
    uint32_t d = 0;
    for (int s = 0; s < 24; s += 8) {
        int32_t c = static_cast<int32_t>((a >> s) & 0xFF) - static_cast<int32_t>((b >> s) & 0xFF);
        d += static_cast<uint32_t>(c * c);
    }
    return d;
}

uint32_t LCD_ColorToIndex(uint32_t rgb) {
    int32_t n = G_LcdColors.nCount;
    for (int32_t i = 0; i < n; ++i)
        if ((G_LcdColors.aColor[i] & 0xFFFFFF) == rgb) return static_cast<uint32_t>(i);
    uint32_t best = 0, bestDist = UINT32_MAX;
    for (int32_t i = 0; i < n; ++i) {
        uint32_t d = Distance(G_LcdColors.aColor[i], rgb);
        if (d < bestDist) {
            bestDist = d;
            best = static_cast<uint32_t>(i);
        }
    }
    return best;
}

uint32_t LCD_IndexToColor(uint32_t index) { return index < 256 ? G_LcdColors.aColor[index] : 0; }

uint32_t LCD_GetIndexMask() { return 255; }

GUI_ColorToIndexFn LCD_GetColorToIndex(int code) { return code == 0 ? LCD_ColorToIndex : nullptr; }
GUI_IndexToColorFn LCD_GetIndexToColor(int code) { return code == 0 ? LCD_IndexToColor : nullptr; }

uint32_t GUI_GetPixelColor(int x, int y) { return GUI_IndexToColor(GUI_GetPixelIndex(x, y)); }
