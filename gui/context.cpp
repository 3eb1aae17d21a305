// The drawing context: set-up, colours and modes, the clipping layer and the
// accessors.
#include "gui/gui.h"
#include "gui/lcd.h"

GUI_Context GUI_DrawState;
char GUI_DecChar;

static const GUI_Rect kAllRect = {-4096, -4096, 4096, 4096};

static const GUI_DeviceApi* Dev() { return GUI_DrawState.pDeviceApi; }

static GUI_Rect DeviceRect() {
    GUI_Rect r;
    Dev()->pfGetRect(&r);
    return r;
}

// ---- set-up ------------------------------------------------------------------------

int GUI_Init() {
    GUI_DecChar = '.';
    GUI_InitContext(&GUI_DrawState);
    return GUI_InitDevice();
}

void GUI_InitContext(GUI_Context* context) {
    context->pDeviceApi = &GUI_DeviceOps;
    context->hSurface = 0;
    context->pClipRect = &context->ClipRect;
    LCD_GetRect(&context->ClipRect);
    context->pFont = GUI_DefaultFont();
    context->pEncoding = GUI_DefaultEncoding();
    context->PenSize = 1;
    context->Color = GUI_INVALID_COLOR;
    context->BkColor = GUI_INVALID_COLOR;
    GUI_SetBkColor(0x000000);
    GUI_SetColor(0xFFFFFF);
}

int GUI_InitDevice() {
    GUI_DrawState.ClipRect = DeviceRect();
    int result = LCD_Init();
    GUI_LoadPalette();
    GUI_SetDrawMode(GUI_DM_REV);
    GUI_FillRect(0, 0, 4095, 4095);
    GUI_SetDrawMode(GUI_DM_NORMAL);
    LCD_On();
    return result;
}

void GUI_LoadPalette() {
    for (uint32_t i = 0; i < 256; ++i) LCD_SetPaletteEntry(i, LCD_IndexToColor(i));
}

void GUI_SetPaletteEntry(uint32_t index, uint32_t rgb) {
    G_LcdColors.aColor[index & 255] = rgb;
    LCD_SetPaletteEntry(index & 255, rgb);
}

void LCD_SetScanOrigin(int x, int y) {
    G_LcdOrigin[0] = static_cast<uint16_t>(x);
    G_LcdOrigin[1] = static_cast<uint16_t>(y);
    LCD_SetDisplayStart(x, y);
}

// ---- colours and modes ---------------------------------------------------------------

// The slot that holds the foreground (or background) in the current mode.
static uint8_t& FgSlot() { return GUI_DrawState.aColorIndex[(GUI_DrawState.DrawMode & GUI_DM_REV) ? 0 : 1]; }
static uint8_t& BkSlot() { return GUI_DrawState.aColorIndex[(GUI_DrawState.DrawMode & GUI_DM_REV) ? 1 : 0]; }

void GUI_SetColor(uint32_t rgb) {
    if (rgb == GUI_DrawState.Color) return;
    GUI_DrawState.Color = rgb;
    FgSlot() = static_cast<uint8_t>(GUI_ColorToIndex(rgb));
}

void GUI_SetBkColor(uint32_t rgb) {
    if (rgb == GUI_DrawState.BkColor) return;
    GUI_DrawState.BkColor = rgb;
    BkSlot() = static_cast<uint8_t>(GUI_ColorToIndex(rgb));
}

void GUI_SetColorIndex(uint32_t index) {
    GUI_DrawState.Color = GUI_INVALID_COLOR;
    FgSlot() = static_cast<uint8_t>(index);
}

void GUI_SetBkColorIndex(uint32_t index) {
    GUI_DrawState.BkColor = GUI_INVALID_COLOR;
    BkSlot() = static_cast<uint8_t>(index);
}

uint32_t GUI_GetColorIndex() { return GUI_DrawState.aColorIndex[1]; }
uint32_t GUI_GetBkColorIndex() { return GUI_DrawState.aColorIndex[0]; }
uint32_t GUI_GetColor() { return GUI_IndexToColor(GUI_DrawState.aColorIndex[1]); }
uint32_t GUI_GetBkColor() { return GUI_IndexToColor(GUI_DrawState.aColorIndex[0]); }
uint32_t GUI_ColorToIndex(uint32_t rgb) { return Dev()->pfColorToIndex(rgb); }
uint32_t GUI_IndexToColor(uint32_t index) { return Dev()->pfIndexToColor(index); }

uint8_t GUI_SetDrawMode(uint8_t mode) {
    uint8_t old = GUI_DrawState.DrawMode;
    if ((old ^ mode) & GUI_DM_REV) {
        uint8_t t = GUI_DrawState.aColorIndex[0];
        GUI_DrawState.aColorIndex[0] = GUI_DrawState.aColorIndex[1];
        GUI_DrawState.aColorIndex[1] = t;
    }
    GUI_DrawState.DrawMode = mode;
    return old;
}

uint8_t GUI_SetPenSize(uint8_t size) {
    uint8_t old = GUI_DrawState.PenSize;
    GUI_DrawState.PenSize = size;
    return old;
}

int GUI_SetClipRect(const GUI_Rect* rect) {
    GUI_Rect dev = DeviceRect();
    const GUI_Rect* r = rect ? rect : &kAllRect;
    GUI_Rect& c = GUI_DrawState.ClipRect;
    // An empty result stays empty (x1 < x0 or y1 < y0): nothing draws.
    c.x0 = r->x0 > dev.x0 ? r->x0 : dev.x0;
    c.y0 = r->y0 > dev.y0 ? r->y0 : dev.y0;
    c.x1 = r->x1 < dev.x1 ? r->x1 : dev.x1;
    c.y1 = r->y1 < dev.y1 ? r->y1 : dev.y1;
    return 0;
}

const uint8_t* GUI_MapPaletteToIndices(const GUI_Palette* palette) {
    if (!palette || !palette->pPalEntries || palette->NumEntries > 256) return nullptr;
    for (int32_t i = 0; i < palette->NumEntries; ++i)
        GUI_DrawState.aIndexBuf[i] = static_cast<uint8_t>(GUI_ColorToIndex(palette->pPalEntries[i]));
    return GUI_DrawState.aIndexBuf;
}

// ---- clipped primitives --------------------------------------------------------------------

static const GUI_Rect& Clip() { return GUI_DrawState.ClipRect; }

static bool Inside(int x, int y) {
    const GUI_Rect& c = Clip();
    return x >= c.x0 && x <= c.x1 && y >= c.y0 && y <= c.y1;
}

void GUI_ClipSetPixel(int x, int y) {
    if (!Inside(x, y)) return;
    if (GUI_DrawState.DrawMode & GUI_DM_XOR) Dev()->pfXorPixel(x, y);
    else Dev()->pfSetPixel(x, y, GUI_DrawState.aColorIndex[1]);
}

void GUI_DrawPixelClipped(int x, int y, uint32_t index) {
    if (Inside(x, y)) Dev()->pfSetPixel(x, y, index);
}

void GUI_ClipHLine(int x0, int y, int x1) {
    const GUI_Rect& c = Clip();
    if (y < c.y0 || y > c.y1) return;
    if (x0 < c.x0) x0 = c.x0;
    if (x1 > c.x1) x1 = c.x1;
    if (x1 < x0) return;
    Dev()->pfDrawHLine(x0, y, x1);
}

void GUI_ClipVLine(int x, int y0, int y1) {
    const GUI_Rect& c = Clip();
    if (x < c.x0 || x > c.x1) return;
    if (y0 < c.y0) y0 = c.y0;
    if (y1 > c.y1) y1 = c.y1;
    if (y1 < y0) return;
    Dev()->pfDrawVLine(x, y0, y1);
}

void GUI_ClipFillRect(int x0, int y0, int x1, int y1) {
    const GUI_Rect& c = Clip();
    if (x0 < c.x0) x0 = c.x0;
    if (y0 < c.y0) y0 = c.y0;
    if (x1 > c.x1) x1 = c.x1;
    if (y1 > c.y1) y1 = c.y1;
    if (x1 < x0 || y1 < y0) return;
    Dev()->pfFillRect(x0, y0, x1, y1);
}

static uint32_t UnpackPixel(const uint8_t* row, int bpp, int i) {
    if (bpp == 8) return row[i];
    int bit = i * bpp;
    return (row[bit >> 3] >> (8 - bpp - (bit & 7))) & ((1u << bpp) - 1);
}

static void DrawMagnified(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp, int bytesPerLine,
                          const uint8_t* data, const uint8_t* table) {
    if (bpp != 1 && bpp != 2 && bpp != 4 && bpp != 8) return;
    const GUI_Rect& c = Clip();
    uint8_t saved = GUI_DrawState.aColorIndex[1];
    for (int r = 0; r < ysize; ++r, data += bytesPerLine) {
        int top = y0 + r * ymag, bottom = top + ymag - 1;
        if (bottom < c.y0 || top > c.y1) continue;
        for (int i = 0; i < xsize; ++i) {
            uint32_t v = UnpackPixel(data, bpp, i);
            if ((GUI_DrawState.DrawMode & GUI_DM_TRANS) && v == 0) continue;
            GUI_DrawState.aColorIndex[1] = table ? table[v] : static_cast<uint8_t>(v);
            int left = x0 + i * xmag;
            GUI_ClipFillRect(left, top, left + xmag - 1, bottom);
            GUI_DrawState.aColorIndex[1] = saved;
        }
    }
}

void GUI_ClipDrawBitmap(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp, int bytesPerLine,
                        const uint8_t* data, const uint8_t* indexTable) {
    if (xmag != 1 || ymag != 1) {
        DrawMagnified(x0, y0, xsize, ysize, xmag, ymag, bpp, bytesPerLine, data, indexTable);
        return;
    }
    const GUI_Rect& c = Clip();
    if (y0 < c.y0) {
        int skip = c.y0 - y0;
        ysize -= skip;
        data += skip * bytesPerLine;
        y0 = c.y0;
    }
    if (y0 + ysize - 1 > c.y1) ysize = c.y1 - y0 + 1;
    if (x0 + xsize - 1 > c.x1) xsize = c.x1 - x0 + 1;
    int offset = 0;
    if (x0 < c.x0) {
        int skip = c.x0 - x0;
        int perByte;
        switch (bpp) {
        case 1: case 2: case 4:
            perByte = 8 / bpp;
            data += skip / perByte;
            offset = skip % perByte;
            x0 += (skip / perByte) * perByte;
            xsize -= (skip / perByte) * perByte + offset;
            break;
        case 8:  data += skip;     x0 = c.x0; xsize -= skip; break;
        case 16: data += 2 * skip; x0 = c.x0; xsize -= skip; break;
        default: return;           // packed 24-bit data has no use here
        }
    }
    if (xsize <= 0 || ysize <= 0) return;
    Dev()->pfDrawBitmap(x0, y0, xsize, ysize, bpp, bytesPerLine, data, offset, indexTable);
}

void GUI_FillRect(int x0, int y0, int x1, int y1) { GUI_ClipFillRect(x0, y0, x1, y1); }

void GUI_ClearRect(int x0, int y0, int x1, int y1) {
    uint8_t old = GUI_SetDrawMode(GUI_DM_REV);
    GUI_ClipFillRect(x0, y0, x1, y1);
    GUI_SetDrawMode(old);
}

void GUI_Clear() {
    GUI_SetTextPos(0, 0);
    GUI_ClearRect(-4095, -4095, 4095, 4095);
}

uint32_t GUI_GetPixelIndex(int x, int y) {
    GUI_Rect d = DeviceRect();
    if (x < d.x0 || x > d.x1 || y < d.y0 || y > d.y1) return 0;
    return Dev()->pfGetPixel(x, y);
}

// ---- accessors ----------------------------------------------------------------------------

const GUI_Font* GUI_GetFont() { return GUI_DrawState.pFont; }

const GUI_Font* GUI_SetFont(const GUI_Font* font) {
    const GUI_Font* old = GUI_DrawState.pFont;
    if (font) GUI_DrawState.pFont = font;
    return old;
}

int GUI_GetTextPosX() { return GUI_DrawState.DispPosX; }

int GUI_SetTextPos(int x, int y) {
    GUI_DrawState.DispPosX = static_cast<int16_t>(x);
    GUI_DrawState.DispPosY = static_cast<int16_t>(y);
    return 0;
}

uint16_t GUI_GetTextAlign() { return GUI_DrawState.TextAlign; }

uint16_t GUI_SetTextAlign(uint16_t align) {
    uint16_t old = GUI_DrawState.TextAlign;
    GUI_DrawState.TextAlign = align;
    return old;
}

uint16_t GUI_GetTextMode() { return GUI_DrawState.TextMode; }

uint16_t GUI_SetTextMode(uint16_t mode) {
    uint16_t old = GUI_DrawState.TextMode;
    GUI_DrawState.TextMode = mode;
    return old;
}

// ---- target selection ---------------------------------------------------------------------

void GUI_RemapColors() {
    // Both cached colours are converted again, even "none": a page that set
    // an index directly gets the entry nearest to 0x0FFFFFFF.
    FgSlot() = static_cast<uint8_t>(GUI_ColorToIndex(GUI_DrawState.Color));
    BkSlot() = static_cast<uint8_t>(GUI_ColorToIndex(GUI_DrawState.BkColor));
}

void GUI_SelectScreen() {
    bool fromSurface = GUI_DrawState.hSurface != 0;
    GUI_DrawState.pDeviceApi = &GUI_DeviceOps;
    GUI_DrawState.hSurface = 0;
    GUI_DrawState.pClipRect = &GUI_DrawState.ClipRect;
    // Back from a surface, the display gets the clip it had when the surface
    // was selected (a pane's clip survives drawing through a surface).
    if (fromSurface) GUI_DrawState.ClipRect = GUI_DrawState.SavedClip;
    else GUI_DrawState.ClipRect = DeviceRect();
    GUI_RemapColors();
}
