// The display driver: the controller's frame memory as one 640 x 1638,
// 8-bit device for the graphics library, with fills, copies and monochrome
// bitmaps through the 2D engine.
#pragma once
#include <cstdint>
#include "gui/gui.h"

constexpr uint32_t LCD_BASE        = 0x0C000000;
constexpr uint32_t LCD_START_LO    = 0x0C000042;
constexpr uint32_t LCD_START_HI    = 0x0C000044;
constexpr uint32_t LCD_ENGINE_CTL  = 0x0C000100;
constexpr uint32_t LCD_ENGINE_OP   = 0x0C000102;
constexpr uint32_t LCD_SRC_LO      = 0x0C000104;
constexpr uint32_t LCD_SRC_HI      = 0x0C000106;
constexpr uint32_t LCD_DST_LO      = 0x0C000108;
constexpr uint32_t LCD_DST_HI      = 0x0C00010A;
constexpr uint32_t LCD_STRIDE      = 0x0C00010C;
constexpr uint32_t LCD_WIDTH       = 0x0C000110;
constexpr uint32_t LCD_HEIGHT      = 0x0C000112;
constexpr uint32_t LCD_BG_INDEX    = 0x0C000114;
constexpr uint32_t LCD_FG_INDEX    = 0x0C000118;
constexpr uint32_t LCD_PAL_INDEX   = 0x0C0001E2;
constexpr uint32_t LCD_PAL_DATA    = 0x0C0001E4;
constexpr uint32_t LCD_DATA_PORT   = 0x0C100000;
constexpr uint32_t LCD_FRAME       = 0x0C200000;

constexpr uint16_t kLcdEngineBusy  = 0x80;
constexpr uint16_t kLcdFifoFull    = 0x40;
constexpr uint16_t kBltCopy        = 0x020C;
constexpr uint16_t kBltCopyTrans   = 0x0500;   // skips the transparent key index
constexpr uint8_t  kLcdTransparentKey = 127;   // a palette entry the boot leaves unset

constexpr int LCD_XSIZE  = 640;
constexpr int LCD_YSIZE  = 480;
constexpr int LCD_VYSIZE = 1638;

struct LCD_ColorTable {
    int32_t  nCount;          // 256
    uint32_t aColor[256];     // 0x00BBGGRR
};
extern LCD_ColorTable G_LcdColors;
extern uint16_t G_LcdOrigin[2];   // x, y of the shown picture
extern const GUI_DeviceApi GUI_DeviceOps;

int  LCD_Init();
void LCD_On();
void LCD_SetDisplayStart(int x, int y);
int  LCD_GetXSize();
int  LCD_GetYSize();
int  LCD_GetVYSize();
int  LCD_GetBitsPerPixel();
int  LCD_GetNumColors();
// Spins (bounded) until the engine is idle, then reads the data port once;
// false after a time-out, which is logged.
bool LCD_WaitIdle();
void LCD_FillRect(int x0, int y0, int x1, int y1);
void BltCopyRect(int sx, int sy, int dx, int dy, int width, int height, uint16_t op);

uint32_t LCD_ColorToIndex(uint32_t rgb);
uint32_t LCD_IndexToColor(uint32_t index);
uint32_t LCD_GetIndexMask();
void     LCD_DrawBitmap(int x, int y, int width, int height, int bpp, int bytesPerLine,
                        const uint8_t* data, int offset, const uint8_t* indexTable);
void     LCD_DrawHLine(int x0, int y, int x1);
void     LCD_DrawVLine(int x, int y0, int y1);
void     LCD_FillRectChecked(int x0, int y0, int x1, int y1);
uint32_t LCD_GetPixel(int x, int y);
void     LCD_GetRect(GUI_Rect* rect);
void     LCD_SetPixel(int x, int y, uint32_t index);
void     LCD_XorPixel(int x, int y);
void     LCD_SetPaletteEntry(uint32_t index, uint32_t rgb);
GUI_DevFunc LCD_GetDevFunc(int code);
void     LCD_ReadRect(int x0, int y0, int x1, int y1, uint8_t* buffer);
// The display's colour conversions for device code 0, null otherwise.
GUI_ColorToIndexFn LCD_GetColorToIndex(int code);
GUI_IndexToColorFn LCD_GetIndexToColor(int code);
uint32_t GUI_GetPixelColor(int x, int y);
