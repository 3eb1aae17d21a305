#include "core/util.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "gui/text.h"
#include "platform/hw.h"
#include "ui/style.h"

// Out-of-range indices (a record written by someone else) restart at slot 0
// rather than reach outside the ring.
static int32_t CheckedSlot(int32_t i) {
    return (i >= 0 && i < kAvgSlots) ? i : 0;
}

static int32_t NextSlot(int32_t i) {
    return (i + 1 < kAvgSlots) ? i + 1 : 0;
}

// i32 arithmetic that wraps as on the target instead of overflowing.
static int32_t WrapAdd(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

static int32_t WrapMul(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

// Exact half-away-from-zero rounding of a float; out-of-range results saturate
// as the target's float-to-integer conversion does.
static int32_t RoundHalfAway(float q) {
    if (q >= 2147483648.0f) return INT32_MAX;
    if (q < -2147483648.0f) return INT32_MIN;
    const int32_t whole = static_cast<int32_t>(q);
    const float   frac  = q - static_cast<float>(whole);   // exact: a float's own fraction bits
    if (frac >= 0.5f) return whole + 1;
    if (frac <= -0.5f) return whole - 1;
    return whole;
}

void AvgInit(RunningAvg* avg, int32_t initial, int32_t n) {
    if (n < 0) n = 0;
    if (n > kAvgSlots) n = kAvgSlots;
    std::memset(avg, 0, sizeof(*avg));
    avg->nMean = initial;
    for (int32_t i = 0; i < n; ++i) avg->nSlot[i] = initial;
    avg->nHead = (n < kAvgSlots) ? n : 0;   // a full window starts over at slot 0
    avg->nTail = 0;
    avg->nSum  = WrapMul(n, initial);
    avg->nLen  = n;
}

int32_t AvgAdd(RunningAvg* avg, int32_t sample) {
    const int32_t head = CheckedSlot(avg->nHead);
    const int32_t tail = CheckedSlot(avg->nTail);
    // The oldest sample leaves the sum before the new one is stored: with a
    // 500-sample window head and tail are the same slot.
    const int32_t oldest = avg->nSlot[tail];
    avg->nSlot[head] = sample;
    avg->nSum  = WrapAdd(avg->nSum, static_cast<int32_t>(static_cast<uint32_t>(sample) -
                                                         static_cast<uint32_t>(oldest)));
    avg->nHead = NextSlot(head);
    avg->nTail = NextSlot(tail);
    if (avg->nLen <= 0 || avg->nLen > kAvgSlots) {
        avg->nMean = sample;
    } else {
        // Single precision on purpose: stored means depend on its rounding.
        const float q = static_cast<float>(avg->nSum) / static_cast<float>(avg->nLen);
        avg->nMean = RoundHalfAway(q);
    }
    return avg->nMean;
}

static int32_t TrendOutput(int64_t rise, int64_t threshold) {
    if (rise > 0 && rise > threshold) return 1;
    if (rise >= 0 || rise >= -threshold) return 0;
    return -1;
}

int32_t TrendStep(TrendDetector* trend, int32_t sample) {
    if (trend->nHistLen < 2) trend->nHistLen = 2;
    if (trend->nHistLen > kTrendHistory) trend->nHistLen = kTrendHistory;
    const int32_t len = trend->nHistLen;
    for (int32_t i = 0; i + 1 < len; ++i) trend->nHist[i] = trend->nHist[i + 1];
    trend->nHist[len - 1] = sample;
    // The consecutive differences add up to last minus first; 64 bits keep
    // its sign right for any pair of samples.
    const int64_t rise = static_cast<int64_t>(trend->nHist[len - 1]) - trend->nHist[0];
    trend->nOutput = TrendOutput(rise, trend->nThreshold);
    return trend->nOutput;
}

uint32_t StepsBetween(uint32_t from, uint32_t to, uint32_t n) {
    if (from == to) return 0;
    if (from >= n || to >= n) return n;   // never reached: the count stops at n
    return (to > from) ? to - from : n - from + to;
}

int32_t WrapIndex(int32_t index, int32_t count, int32_t delta) {
    if (count <= 0) return 0;
    // 64 bits: index + delta cannot overflow.
    const int64_t s = static_cast<int64_t>(index) + delta;
    const int64_t r = (s >= 0 ? s : count + s) % count;
    return static_cast<int32_t>(r < 0 ? -r : r);
}

int32_t SaturateI32(double v) {
    if (!(v == v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

int32_t RoundNearest(double x) { return SaturateI32(std::round(x)); }   // halves away from zero

static constexpr uint32_t kCrcPoly = 0xEDB88320u;

static constexpr uint32_t CrcTableEntry(uint32_t i) {
    uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1u) ? (c >> 1) ^ kCrcPoly : c >> 1;
    return c;
}

struct CrcTable {
    uint32_t entry[256];
};

static constexpr CrcTable MakeCrcTable() {
    CrcTable t{};
    for (uint32_t i = 0; i < 256; ++i) t.entry[i] = CrcTableEntry(i);
    return t;
}

static constexpr CrcTable kCrcTable = MakeCrcTable();
static_assert(kCrcTable.entry[1] == 0x77073096u && kCrcTable.entry[255] == 0x2D02EF8Du);

uint32_t Crc32(const void* buf, uint32_t len) {
    if (buf == nullptr) return 0;
    const uint8_t* p = static_cast<const uint8_t*>(buf);
    uint32_t crc = 0xFFFFFFFFu;
    for (uint32_t i = 0; i < len; ++i) crc = kCrcTable.entry[(crc ^ p[i]) & 0xFFu] ^ (crc >> 8);
    return ~crc;
}

// isspace of a plain char is undefined for bytes above 127.
static bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

void StrTrimLeft(char* s) {
    if (s == nullptr) return;
    size_t skip = 0;
    while (IsSpace(s[skip])) ++skip;
    if (skip == 0) return;
    // Source and destination overlap.
    std::memmove(s, s + skip, std::strlen(s + skip) + 1);
}

void StrTrimRight(char* s) {
    if (s == nullptr) return;
    size_t len = std::strlen(s);
    while (len > 0 && IsSpace(s[len - 1])) s[--len] = '\0';
}

// Nothing to do on the target; on the host board time passes here.
void IdleHook() {
    HwIdle();
}

// ---- text and numbers at page positions ----------------------------------------------------

char G_DrawTextBuf[kDrawTextBufSize];

// What a page-side text call changes in the context and puts back.
struct SavedText {
    uint16_t mode;
    uint16_t align;
    uint32_t colourIndex;
    const GUI_Font* font;
};

static int32_t PageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

static SavedText BeginText(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y) {
    const SavedText saved = {GUI_GetTextMode(), GUI_GetTextAlign(), GUI_GetColorIndex(), GUI_GetFont()};
    SetDrawColor(colour);
    SelectFont(font);
    SetTextStyle(font, style, x, y);
    return saved;
}

static int32_t EndText(const SavedText& saved) {
    GUI_SetTextMode(saved.mode);
    GUI_SetTextAlign(saved.align);
    GUI_SetColorIndex(saved.colourIndex);
    GUI_SetFont(saved.font);
    return GUI_GetTextPosX();
}

int32_t DrawTextF(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, const char* format, ...) {
    G_DrawTextBuf[0] = 0;
    if (format != nullptr) {
        va_list args;
        va_start(args, format);
        std::vsnprintf(G_DrawTextBuf, sizeof G_DrawTextBuf, format, args);
        va_end(args);
    }
    const SavedText saved = BeginText(colour, font, style, x, y);
    GUI_DrawTextAt(G_DrawTextBuf, x, PageY(y));
    return EndText(saved);
}

int32_t DrawFixedF(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, double value,
                   int32_t decimals) {
    // The number's text is kept as well, so that a boxed style fits its box to it.
    GUI_FormatFixed(G_DrawTextBuf, value, decimals);
    const SavedText saved = BeginText(colour, font, style, x, y);
    GUI_SetTextPos(x, PageY(y));
    GUI_DrawFixed(value, decimals);
    return EndText(saved);
}

static constexpr int32_t kDigitLimits[] = {9, 99, 999, 9999, 99999, 999999, 9999999, 99999999, 999999999};

// Decimal digits of a magnitude, 1..9.
static int32_t DigitsOf(int64_t magnitude) {
    int32_t d = 1;
    while (d < 9 && magnitude > kDigitLimits[d - 1]) ++d;
    return d;
}

// "%*lld" of v with the field width `width` (at most 8).
static void PadRight(char* out, int64_t v, int32_t width) {
    char digits[24];
    std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(v));
    for (int32_t pad = width - static_cast<int32_t>(std::strlen(digits)); pad > 0; --pad) *out++ = ' ';
    std::strcpy(out, digits);
}

int32_t FormatScaled(char* out, int32_t size, int32_t value, int32_t decimals, int32_t width) {
    if (out == nullptr || size <= 0) return 0;
    const int64_t unit = decimals >= 2 ? 100 : (decimals == 1 ? 10 : 1);
    // 64 bits: the magnitude of the most negative value has no i32.
    const int64_t magnitude = value < 0 ? -static_cast<int64_t>(value) : value;
    char whole[24];
    std::snprintf(whole, sizeof whole, "%s%lld", value < 0 ? "-" : "", static_cast<long long>(magnitude / unit));
    int n;
    if (unit == 1)
        n = std::snprintf(out, static_cast<size_t>(size), "%*s", static_cast<int>(width), whole);
    else
        n = std::snprintf(out, static_cast<size_t>(size), "%*s.%0*lld", static_cast<int>(width), whole,
                          static_cast<int>(decimals >= 2 ? 2 : 1), static_cast<long long>(magnitude % unit));
    return n < 0 ? 0 : (n >= size ? size - 1 : n);
}

int32_t DrawNumber(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, int32_t value,
                   int32_t format) {
    // 64 bits: the magnitude of the most negative value has no i32.
    const int64_t v = value;
    const int64_t magnitude = v < 0 ? -v : v;
    switch (format) {
    case 10:
    case 100:
    case 1000:
        PadRight(G_DrawTextBuf, v, 8 - DigitsOf(magnitude) - (v < 0 ? 1 : 0));
        break;
    case 1:
    case 0: {
        // A sign column: blank, or '-' also when the whole part is 0.
        const int64_t unit = format == 1 ? 10 : 100;
        FormatScaled(G_DrawTextBuf, kDrawTextBufSize, value, format == 1 ? 1 : 2, DigitsOf(magnitude / unit) + 1);
        break;
    }
    default:
        return GUI_GetTextPosX();
    }
    const SavedText saved = BeginText(colour, font, style, x, y);
    GUI_DrawTextAt(G_DrawTextBuf, x, PageY(y));
    return EndText(saved);
}

OffscreenBand BeginOffscreenBand() {
    const OffscreenBand band = {G_FlipCtl.nDrawPageY, G_FlipCtl.nFlipHold};
    G_FlipCtl.nFlipHold = 1;
    G_FlipCtl.nDrawPageY = kOffscreenBandY;
    return band;
}

void EndOffscreenBand(const OffscreenBand& band) {
    G_FlipCtl.nDrawPageY = band.nSavedPageY;
    G_FlipCtl.nFlipHold = band.nSavedHold;
}
