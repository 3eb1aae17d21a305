// Colour, font and text-style translations for the pages, and the geometry
// and numeric helpers they share.
#include "ui/style.h"

#include <cmath>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/text.h"
#include "ui/pages.h"

// ---- sine and cosine by tenths of a degree ---------------------------------------------------

// The sine never reaches 1.0 (its peak is one unit short); the cosine starts at 1.0.
static constexpr TrigTable10 MakeTrig(bool sine) {
    TrigTable10 t{};
    for (int i = 0; i < kTrigSteps; ++i) {
        const double a = i * 3.14159265358979323846 / 1800.0;
        int32_t v = static_cast<int32_t>(std::lround((sine ? std::sin(a) : std::cos(a)) * kTrigOne));
        if (sine && v > kTrigOne - 1) v = kTrigOne - 1;
        if (sine && v < -(kTrigOne - 1)) v = -(kTrigOne - 1);
        t[i] = v;
    }
    return t;
}

// Built by the compiler: constant tables, as in read-only memory.
constexpr TrigTable10 SinTab10 = MakeTrig(true);
constexpr TrigTable10 CosTab10 = MakeTrig(false);

// ---- colours -----------------------------------------------------------------------------------

struct ColourEntry {
    uint32_t rgb;
    uint8_t  index;
};

// The colours the boot palette holds at fixed entries.
static constexpr ColourEntry kColours[] = {
    {0x000030, 0},  {0x0000FF, 2},  {0x008000, 6},  {0x00FF00, 5},  {0x00FFFF, 14}, {0x404040, 21},
    {0x800080, 18}, {0x808080, 19}, {0x8080FF, 1},  {0x80FF80, 4},  {0x80FFFF, 13}, {0xFF0000, 8},
    {0xFF00FF, 17}, {0xFF8080, 7},  {0xFF80FF, 16}, {0xFFFF00, 11}, {0xFFFFFF, 31},
};

static constexpr uint32_t kGreyAlias = 20;   // the palette's 20 is not the page grey
static constexpr uint32_t kLastPaletteNumber = 128;

static void SelectIndex(uint32_t index) {
    if (GUI_GetColorIndex() != index) GUI_SetColorIndex(index);
}

void SetDrawColor(uint32_t colour) {
    if (colour <= 31) {
        SelectIndex(colour == kGreyAlias ? 19 : colour);
        return;
    }
    for (const ColourEntry& e : kColours) {
        if (e.rgb == colour) {
            SelectIndex(e.index);
            return;
        }
    }
    if (colour > kLastPaletteNumber) {
        if (GUI_GetColor() != colour) GUI_SetColor(colour);   // the device chooses the index
        return;
    }
    SelectIndex(colour);
}

// ---- fonts ---------------------------------------------------------------------------------------

const GUI_Font* FontOfId(int32_t fontId) {
    switch (fontId) {
    case 2: return &G_FontP8;
    case 3: return &G_FontP10;
    case 5: return &G_FontP13B;
    case 6: return &G_FontP13C;
    case 7: return &G_FontP13D;
    case 8: return &G_FontP16;
    case 9: return &G_FontP16B;
    case 10: return &G_FontP24;
    case 11: return &G_FontP24B;
    case 12: return &G_FontP32;
    case 21: return &G_FontP32B;
    case 22: return &G_FontM4x6;
    case 23: return &G_FontM6x9;
    case 24: return &G_FontM8x18;
    case 25: return &G_FontM8x8;
    default: return &G_FontP13;
    }
}

// Measuring uses the same fonts, except that the 8 x 8 id is measured in the
// 13-row font.
static const GUI_Font* MeasureFontOfId(int32_t fontId) {
    return fontId == 25 ? &G_FontP13 : FontOfId(fontId);
}

const GUI_Font* SelectFont(int32_t fontId) {
    const GUI_Font* font = FontOfId(fontId);
    const GUI_Font* old = GUI_GetFont();
    if (old != font) GUI_SetFont(font);
    return old;
}

int32_t TextWidth(int32_t fontId, const char* text) {
    const GUI_Font* font = MeasureFontOfId(fontId);
    if (GUI_GetFont() != font) GUI_SetFont(font);
    return GUI_TextWidth(text);
}

int32_t CharsInWidth(int32_t fontId, int32_t widthPx, const char* text) {
    constexpr int32_t kMaxChars = 100;
    const GUI_Font* font = MeasureFontOfId(fontId);
    if (GUI_GetFont() != font) GUI_SetFont(font);
    if (text == nullptr) return 0;
    int32_t n = 0, width = 0;
    while (n < kMaxChars && text[n] != 0) {
        width += GUI_CharWidth(static_cast<uint8_t>(text[n]));
        if (width >= widthPx) break;
        ++n;
    }
    return n;
}

// ---- text styles ------------------------------------------------------------------------------------

static constexpr int16_t kKeep = -1;       // keep the vertical bits, align left
static constexpr int8_t  kNoMode = -1;     // text mode unchanged
static constexpr int8_t  kBoxed = -2;      // label box (or reverse text on the setup pages)

struct TextStyle {
    int16_t align;
    int8_t  mode;
};

static constexpr TextStyle kStyles[] = {
    {kKeep, kNoMode}, {2, kNoMode}, {1, kNoMode},  {0, kNoMode},  {2, kNoMode}, {1, kNoMode},   //  0..5
    {12, kNoMode},    {14, kNoMode}, {13, kNoMode}, {4, kNoMode},  {6, kNoMode}, {5, kNoMode},   //  6..11
    {0, kBoxed},      {2, kBoxed},   {1, kBoxed},   {0, 2},        {2, 2},       {1, 2},         // 12..17
    {0, 2},           {2, 2},        {1, 2},        {12, 2},       {14, 2},      {13, 2},        // 18..23
    {4, 2},           {6, 2},        {5, 2},        {4, 0},        {6, 0},       {5, 0},         // 24..29
    {kKeep, 0},       {2, 0},        {1, 0},        {0, 0},        {2, 0},       {1, 0},         // 30..35
    {12, 0},          {14, 0},       {13, 0},       {4, kBoxed},   {6, kBoxed},  {5, kBoxed},    // 36..41
};

static_assert(sizeof kStyles / sizeof kStyles[0] == 42);

static TextStyle StyleOf(int32_t style) {
    constexpr int32_t n = sizeof kStyles / sizeof kStyles[0];
    return (style >= 0 && style < n) ? kStyles[style] : TextStyle{0, kNoMode};
}

// The box behind a boxed label, in frame rows: where the text will stand
// for the style's alignment.
static void DrawLabelBox(int32_t fontId, int32_t style, int32_t x, int32_t y) {
    const GUI_Font* drawFont = GUI_GetFont();
    const int w = TextWidth(fontId, G_DrawTextBuf);
    const int h = GUI_GetFontSizeY();
    // Measuring may select another font (id 25); the label is drawn in its own.
    GUI_SetFont(drawFont);
    const int yp = y + static_cast<int>(G_FlipCtl.nDrawPageY);
    switch (style) {
    case 12: GUI_FillRect(x, yp, x + w, yp + h); break;
    case 13: GUI_FillRect(x - w / 2, yp - h / 2, x + w / 2, yp + h / 2); break;
    case 14: GUI_FillRect(x - w, yp, x, yp + h); break;
    case 39: GUI_FillRect(x, yp - h, x + w, yp); break;
    case 40: GUI_FillRect(x - w / 2, yp - h, x + w / 2, yp); break;
    case 41: GUI_FillRect(x - w, yp - h, x, yp); break;
    default: break;
    }
}

void SetTextStyle(int32_t fontId, int32_t style, int32_t x, int32_t y) {
    const TextStyle s = StyleOf(style);
    if (s.align == kKeep) GUI_SetTextAlign(GUI_GetTextAlign() & GUI_TA_VERTICAL);
    else GUI_SetTextAlign(static_cast<uint16_t>(s.align));
    if (s.mode == kBoxed) {
        if (G_CurPage < kPageCalibration) {
            GUI_SetTextMode(GUI_DM_TRANS);
            DrawLabelBox(fontId, style, x, y);
            GUI_SetColorIndex(0);   // black text on the box
        } else {
            GUI_SetTextMode(GUI_DM_REV);
        }
    } else if (s.mode != kNoMode) {
        GUI_SetTextMode(static_cast<uint16_t>(s.mode));
    }
}

// ---- geometry and numbers --------------------------------------------------------------------------

void RotatePoint(GUI_Point* out, const GUI_Point* point, int32_t angle) {
    // Any angle is brought into the table (the pages pass -7200 and up).
    int32_t a = angle % kTrigSteps;
    if (a < 0) a += kTrigSteps;
    const int64_t s = SinTab10[a], c = CosTab10[a];
    const int64_t x = point->x, y = point->y;
    out->x = static_cast<int16_t>((x * c + y * s) >> 18);
    out->y = static_cast<int16_t>((y * c - x * s) >> 18);
}

int32_t RoundTo5(float value) {
    const double v = value;
    if (!(v == v)) return 0;
    const double r0 = v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5);
    const int32_t r = r0 >= 2147483640.0 ? 2147483640 : r0 <= -2147483640.0 ? -2147483640 : static_cast<int32_t>(r0);
    const int32_t d = r % 10;
    const int32_t b = r - d;
    if (r >= 0) return d <= 2 ? b : d <= 7 ? b + 5 : b + 10;
    return d >= -2 ? b : d >= -7 ? b - 5 : b - 10;
}

int32_t IsAlnum(int32_t c) {
    return ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? 1 : 0;
}

int32_t IsDigit(int32_t c) { return (c >= '0' && c <= '9') ? 1 : 0; }

float CalcSlope(float x0, float y0, float x1, float y1) {
    if (x1 == x0) return 0.0f;
    return (y1 - y0) / (x1 - x0);
}

float CalcIntercept(float m, float y, float x) { return y - x * m; }

// A zero divisor (and -1, whose quotient of the most negative value has no
// i32) gives 0 instead of a trap.
int32_t ModRem(int32_t a, int32_t b) { return (b == 0 || b == -1) ? 0 : a % b; }

// Diagnostic: the cost of the remainder as an operator and as a call.
void ModTest() {
    constexpr int32_t kRounds = 10000;
    volatile int32_t sink = 0;
    uint32_t t0 = ReadOsTimer();
    for (int32_t i = 1; i <= kRounds; ++i) sink = sink + i % 7;
    const uint32_t posOp = ReadOsTimer() - t0;
    t0 = ReadOsTimer();
    for (int32_t i = 1; i <= kRounds; ++i) sink = sink + (-i) % 7;
    const uint32_t negOp = ReadOsTimer() - t0;
    t0 = ReadOsTimer();
    for (int32_t i = 1; i <= kRounds; ++i) sink = sink + ModRem(i, 7);
    const uint32_t posFn = ReadOsTimer() - t0;
    t0 = ReadOsTimer();
    for (int32_t i = 1; i <= kRounds; ++i) sink = sink + ModRem(-i, 7);
    const uint32_t negFn = ReadOsTimer() - t0;
    DebugPrintf("ModTest: posOp:%d, negOp:%d, posFn:%d, negFn:%d\n", static_cast<int>(posOp),
                static_cast<int>(negOp), static_cast<int>(posFn), static_cast<int>(negFn));
}
