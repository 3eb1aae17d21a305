// The graphics library: one drawing context through which every page draws,
// the clipped primitives, lines, polygons, circles and arcs, offscreen
// surfaces, bitmaps and the BMP writer. Everything runs in the main loop.
#pragma once
#include <cstdint>

struct GUI_Font;            // bitmap font descriptor (text module)
struct GUI_TextEncoding;    // character decoding operations (text module)

struct GUI_Rect {
    int16_t x0, y0, x1, y1;  // inclusive
};

struct GUI_Point {
    int16_t x, y;
};

// Draw mode bits.
constexpr uint8_t GUI_DM_NORMAL = 0;
constexpr uint8_t GUI_DM_XOR    = 1;
constexpr uint8_t GUI_DM_TRANS  = 2;    // bitmap pixels of value 0 are not drawn
constexpr uint8_t GUI_DM_REV    = 4;    // foreground and background exchanged

constexpr uint32_t GUI_INVALID_COLOR = 0x0FFFFFFF;   // cached colour "none"

// A drawing target's operations, in slot order. The driver does not clip:
// coordinates reach it already clipped by the library.
using GUI_ColorToIndexFn = uint32_t (*)(uint32_t rgb);
using GUI_IndexToColorFn = uint32_t (*)(uint32_t index);
using GUI_IndexMaskFn    = uint32_t (*)();
using GUI_DevFunc        = void (*)();
struct GUI_DeviceApi {
    GUI_ColorToIndexFn pfColorToIndex;                                          // 0
    GUI_IndexToColorFn pfIndexToColor;                                          // 1
    GUI_IndexMaskFn    pfGetIndexMask;                                          // 2
    void (*pfDrawBitmap)(int x, int y, int width, int height, int bpp, int bytesPerLine,
                         const uint8_t* data, int offset, const uint8_t* indexTable);  // 3
    void (*pfDrawHLine)(int x0, int y, int x1);                                 // 4
    void (*pfDrawVLine)(int x, int y0, int y1);                                 // 5
    void (*pfFillRect)(int x0, int y0, int x1, int y1);                         // 6
    uint32_t (*pfGetPixel)(int x, int y);                                       // 7
    void (*pfGetRect)(GUI_Rect* rect);                                          // 8
    void (*pfSetPixel)(int x, int y, uint32_t index);                           // 9
    void (*pfXorPixel)(int x, int y);                                           // 10
    void (*pfSetPaletteEntry)(uint32_t index, uint32_t rgb);                    // 11
    GUI_DevFunc (*pfGetDevFunc)(int code);                                      // 12
};

struct GUI_Context {
    uint8_t  aColorIndex[2];     // 0 background, 1 foreground (exchanged in reverse mode)
    GUI_Rect ClipRect;
    uint8_t  DrawMode;
    uint8_t  Layer;
    const GUI_Rect* pClipRect;   // always &ClipRect after a change of target
    uint8_t  PenSize;
    uint8_t  PenShape;           // 0: round end caps
    uint8_t  LineStyle;          // 0: solid
    const GUI_Font* pFont;
    const GUI_TextEncoding* pEncoding;
    int16_t  LBorder;
    int16_t  DispPosX, DispPosY; // text cursor
    int16_t  DrawPosX, DrawPosY; // graphic position
    uint16_t TextMode;
    uint16_t TextAlign;
    uint32_t Color;              // cached RGB, GUI_INVALID_COLOR = none
    uint32_t BkColor;
    const GUI_DeviceApi* pDeviceApi;
    int16_t  hSurface;           // 0: the display is the target
    GUI_Rect SavedClip;          // the display's clip while a surface is selected
    uint8_t  aIndexBuf[256];     // GUI_MapPaletteToIndices result
};

extern GUI_Context GUI_DrawState;
extern char GUI_DecChar;          // decimal point of the number output

struct GUI_Palette {
    int32_t NumEntries;
    uint8_t HasTrans;
    const uint32_t* pPalEntries;
};

struct GUI_Bitmap;
struct GUI_BitmapMethods {
    void (*pfDraw)(const GUI_Bitmap* bitmap, int x, int y);
};

struct GUI_Bitmap {
    uint16_t XSize, YSize, BytesPerLine, BitsPerPixel;
    const uint8_t* pData;
    const GUI_Palette* pPal;
    const GUI_BitmapMethods* pMethods;
};

// ---- set-up ----------------------------------------------------------------
int  GUI_Init();
void GUI_InitContext(GUI_Context* context);
int  GUI_InitDevice();
void GUI_LoadPalette();
void GUI_SetPaletteEntry(uint32_t index, uint32_t rgb);
void LCD_SetScanOrigin(int x, int y);

// ---- colours and modes ---------------------------------------------------------
void     GUI_SetColor(uint32_t rgb);
void     GUI_SetBkColor(uint32_t rgb);
void     GUI_SetColorIndex(uint32_t index);
void     GUI_SetBkColorIndex(uint32_t index);
uint32_t GUI_GetColorIndex();
uint32_t GUI_GetBkColorIndex();
uint32_t GUI_GetColor();
uint32_t GUI_GetBkColor();
uint32_t GUI_ColorToIndex(uint32_t rgb);
uint32_t GUI_IndexToColor(uint32_t index);
uint8_t  GUI_SetDrawMode(uint8_t mode);
uint8_t  GUI_SetPenSize(uint8_t size);
int      GUI_SetClipRect(const GUI_Rect* rect);
const uint8_t* GUI_MapPaletteToIndices(const GUI_Palette* palette);

// ---- clipped primitives ------------------------------------------------------------
void GUI_ClipSetPixel(int x, int y);
void GUI_DrawPixelClipped(int x, int y, uint32_t index);
void GUI_ClipHLine(int x0, int y, int x1);
void GUI_ClipVLine(int x, int y0, int y1);
void GUI_ClipFillRect(int x0, int y0, int x1, int y1);
void GUI_ClipDrawBitmap(int x0, int y0, int xsize, int ysize, int xmag, int ymag, int bpp,
                        int bytesPerLine, const uint8_t* data, const uint8_t* indexTable);
void GUI_FillRect(int x0, int y0, int x1, int y1);
void GUI_ClearRect(int x0, int y0, int x1, int y1);
void GUI_Clear();
uint32_t GUI_GetPixelIndex(int x, int y);

// ---- accessors ------------------------------------------------------------------------
const GUI_Font* GUI_GetFont();
const GUI_Font* GUI_SetFont(const GUI_Font* font);
int      GUI_GetFontSizeY();
int      GUI_GetTextPosX();
int      GUI_SetTextPos(int x, int y);
uint16_t GUI_GetTextAlign();
uint16_t GUI_SetTextAlign(uint16_t align);
uint16_t GUI_GetTextMode();
uint16_t GUI_SetTextMode(uint16_t mode);
void     GUI_SelectScreen();

// ---- lines, polygons, circles and arcs ------------------------------------------------------
void GUI_MoveTo(int x, int y);
void GUI_MoveRel(int dx, int dy);
void GUI_DrawLine(int x0, int y0, int x1, int y1);
void GUI_DrawLineTo(int x, int y);
void GUI_DrawLineRel(int dx, int dy);
void GUI_DrawPixel(int x, int y);
void GUI_DrawPoint(int x, int y);
void GUI_DrawHLine(int y, int x0, int x1);
void GUI_DrawHLineOrdered(int x0, int y, int x1);
void GUI_DrawVLine(int x, int y0, int y1);
void GUI_DrawRect(int x0, int y0, int x1, int y1);
void GUI_DrawPolygon(const GUI_Point* points, int n, int dx, int dy);
void GUI_DrawPolyLine(const GUI_Point* points, int n, int dx, int dy);
void GUI_FillPolygon(const GUI_Point* points, int n, int dx, int dy);
void GUI_DrawCircle(int x0, int y0, int r);
void GUI_FillCircle(int x0, int y0, int r);
void GUI_DrawEllipse(int x0, int y0, int rx, int ry);
void GUI_FillEllipse(int x0, int y0, int rx, int ry);
void GUI_DrawArc(int x0, int y0, int r, int ry, int a0, int a1);
int  GUI_Sin(int angle);     // 4096 units a turn, result scaled by 1024
int  GUI_Cos(int angle);
int  GUI_Atan2(int x, int y);
void GUI_RotatePolygon(GUI_Point* dest, const GUI_Point* src, int n, float angle);
void GUI_GrowPolygon(GUI_Point* dest, const GUI_Point* src, int n, int len);

// ---- offscreen surfaces, bitmaps and BMP export ------------------------------------------------
constexpr int GUI_SURFACE_NO_MASK = 1;    // flag: no usage mask, no zeroing, no reserve
int16_t  GUI_CreateSurface(int x0, int y0, int xsize, int ysize);
int16_t  GUI_CreateSurfaceEx(int x0, int y0, int xsize, int ysize, int flags, const GUI_DeviceApi* ops,
                             GUI_ColorToIndexFn colorToIndex, GUI_IndexToColorFn indexToColor,
                             GUI_IndexMaskFn indexMask);
int16_t  GUI_SelectSurface(int16_t handle);
void     GUI_DeleteSurface(int16_t handle);
void     GUI_CopySurfaceToScreen(int16_t handle, int x, int y);
void     GUI_CopySurfaceToScreenAt(int16_t handle);
void     GUI_CopyScreenToSurface(int16_t handle);
uint8_t* GUI_SurfacePixelPtr(int x, int y);
int16_t  GUI_PoolAllocZeroed(uint32_t size);
void     GUI_DrawBitmap(const GUI_Bitmap* bitmap, int x, int y);
using GUI_PutByteFn = void (*)(uint8_t byte, void* context);
void     GUI_SaveBitmap(GUI_PutByteFn putByte, int x0, int y0, int xsize, int ysize, void* context);
void     GUI_SaveScreen(GUI_PutByteFn putByte, void* context);

// A surface block: this header, then bytes per line x ysize pixels.
struct GUI_SurfaceHeader {
    int16_t  x0, y0;                       // may lie left of or above the display
    uint16_t xsize, ysize;
    uint32_t nColors;
    uint32_t BytesPerLine;
    uint32_t BitsPerPixel;
    uint32_t Reserved;
    int16_t  hMask;
    GUI_ColorToIndexFn pfColorToIndex;     // of the device the surface was made for
    GUI_IndexToColorFn pfIndexToColor;
    GUI_IndexMaskFn    pfGetIndexMask;
    const GUI_DeviceApi* pOps;
};

// A usage mask block: this header, then one bit per pixel, row after row,
// the most significant bit leftmost.
struct GUI_MaskApi;
struct GUI_MaskHeader {
    int16_t  x0, y0;
    uint16_t xsize, ysize;
    const GUI_MaskApi* pOps;
    uint32_t nUseCount;
    uint32_t BytesPerLine;
};

// Mask operations in display coordinates, in slot order.
struct GUI_MaskApi {
    void (*pfMarkRect)(int16_t hMask, int x, int y, int width, int rows);
    void (*pfMarkRun)(int16_t hMask, int x, int y, int n);
    void (*pfClear)(int16_t hMask);
    void (*pfUnused)();
    void (*pfFree)(int16_t hMask);
    int  (*pfNextRun)(int16_t hMask, int y, int* x);   // length from *x on, 0 when none
};
extern const GUI_MaskApi GUI_MaskOps;

// Library internals shared by its modules: the selected surface's header
// (null when the display is the target) and the re-conversion of the
// cached colours through a new target.
GUI_SurfaceHeader* GUI_CurrentSurface();
uint8_t* GUI_SurfacePixels(GUI_SurfaceHeader* surface);
void GUI_RemapColors();
void GUI_MarkSurface(int x, int y, int width, int rows);

// Surface operations and rectangle utilities.
extern const GUI_DeviceApi GUI_SurfaceOps;
int      GUI_RectsIntersect(const GUI_Rect* a, const GUI_Rect* b);
int      GUI_RectIntersection(GUI_Rect* result, const GUI_Rect* a, const GUI_Rect* b);
uint32_t GUI_IndexToColorCur(uint32_t index);

// ---- services of the text module (defined there) ----------------------------------------------------
const GUI_Font* GUI_DefaultFont();
const GUI_TextEncoding* GUI_DefaultEncoding();
