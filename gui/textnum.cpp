// Decimal and fixed-point number output. Every number is formatted into a
// small local buffer: lengths are clamped to it (sign, 9 digits, point) and
// values to the largest number the field holds, so no caller can write past
// it, and the most negative integer is taken in unsigned arithmetic.
#include <cmath>

#include "gui/text.h"

static constexpr uint32_t kPow10[GUI_MAX_DIGITS + 1] = {1,      10,      100,      1000,      10000,
                                                        100000, 1000000, 10000000, 100000000, 1000000000};

static uint32_t Magnitude(int32_t v) {
    return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

// Digits of a magnitude: 1..9.
static int DigitCount(uint32_t a) {
    int n = 1;
    while (n < GUI_MAX_DIGITS && a >= kPow10[n]) ++n;
    return n;
}

// Characters of v as the number output counts them: its digits, one more
// when negative.
static int SignedDigitCount(int32_t v) { return DigitCount(Magnitude(v)) + (v < 0 ? 1 : 0); }

static int ClampLen(int len) {
    if (len < 0) return 0;
    return len > GUI_MAX_NUMBER_CHARS ? GUI_MAX_NUMBER_CHARS : len;
}

// Writes `digits` digits of a (already clamped), the point before the last
// `shift` of them.
static char* PutDigits(char* p, uint32_t a, int digits, int shift) {
    for (int i = digits - 1; i >= 0; --i) {
        if (shift > 0 && i + 1 == shift) *p++ = GUI_DecChar ? GUI_DecChar : '.';
        *p++ = static_cast<char>('0' + a / kPow10[i] % 10);
    }
    *p = 0;
    return p;
}

void GUI_FormatDecimal(char* buf, int32_t v, int len, int shift, int forceSign) {
    len = ClampLen(len);
    const bool sign = v < 0 || forceSign;
    int digits = len - (sign ? 1 : 0) - (shift > 0 ? 1 : 0);
    if (digits > GUI_MAX_DIGITS) digits = GUI_MAX_DIGITS;
    if (digits <= 0) {
        buf[0] = 0;
        return;
    }
    char* p = buf;
    if (sign) *p++ = v < 0 ? '-' : '+';
    uint32_t a = Magnitude(v);
    if (a > kPow10[digits] - 1) a = kPow10[digits] - 1;
    PutDigits(p, a, digits, shift);
}

void GUI_DrawDecimalN(int32_t v, int len) {
    char buf[GUI_MAX_NUMBER_CHARS + 1];
    GUI_FormatDecimal(buf, v, len, 0, 0);
    GUI_DrawText(buf);
}

void GUI_DrawDecimal(int32_t v) { GUI_DrawDecimalN(v, SignedDigitCount(v)); }

// The minus sign goes before the padding, as the readouts expect.
void GUI_DrawDecimalPadded(int32_t v, int len) {
    char buf[GUI_MAX_NUMBER_CHARS + 1];
    char* p = buf;
    if (v < 0) *p++ = '-';
    const int digits = DigitCount(Magnitude(v));
    for (int n = SignedDigitCount(v); n < ClampLen(len); ++n) *p++ = ' ';
    uint32_t a = Magnitude(v);
    if (a > kPow10[digits] - 1) a = kPow10[digits] - 1;
    PutDigits(p, a, digits, 0);
    GUI_DrawText(buf);
}

void GUI_DrawDecimalAt(int32_t v, int x, int y, int len) {
    char buf[GUI_MAX_NUMBER_CHARS + 1];
    GUI_FormatDecimal(buf, v, len, 0, 0);
    GUI_DrawTextAt(buf, x, y);
}

void GUI_DrawDecimalShift(int32_t v, int len, int shift) {
    char buf[GUI_MAX_NUMBER_CHARS + 1];
    GUI_FormatDecimal(buf, v, len, shift, 0);
    GUI_DrawText(buf);
}

void GUI_DrawSignedDecimalShift(int32_t v, int len, int shift) {
    char buf[GUI_MAX_NUMBER_CHARS + 1];
    GUI_FormatDecimal(buf, v, len, shift, 1);
    GUI_DrawText(buf);
}

// ---- floating point ---------------------------------------------------------------------

static int ClampDecimals(int decimals) {
    if (decimals < 0) return 0;
    return decimals > GUI_MAX_DIGITS ? GUI_MAX_DIGITS : decimals;
}

// floor(x + 0.5) as an integer; out of range saturates, NaN gives 0.
static int32_t RoundToInt(double x) {
    const double r = std::floor(x + 0.5);
    if (!(r == r)) return 0;
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

// Characters of the integer part of f once rounded to `decimals`, one more
// for a minus sign (also when that part is 0): 9.96 at one decimal is "10.0".
static int RoundedIntegerChars(double f, int decimals) {
    const int32_t r = RoundToInt(f * kPow10[decimals]);
    return DigitCount(Magnitude(r) / kPow10[decimals]) + (r < 0 ? 1 : 0);
}

static void FormatFloat(char* buf, double f, int len, int decimals, int isSigned) {
    decimals = ClampDecimals(decimals);
    GUI_FormatDecimal(buf, RoundToInt(f * kPow10[decimals]), len, decimals, isSigned);
}

void GUI_FormatFixed(char* buf, double f, int decimals) {
    decimals = ClampDecimals(decimals);
    FormatFloat(buf, f, RoundedIntegerChars(f, decimals) + decimals + (decimals > 0 ? 1 : 0), decimals, 0);
}

void GUI_DrawFloat(double f, int len, int decimals, int isSigned) {
    char buf[GUI_MAX_NUMBER_CHARS + 1];
    FormatFloat(buf, f, len, decimals, isSigned);
    GUI_DrawText(buf);
}

void GUI_DrawFixed(double f, int decimals) {
    char buf[GUI_MAX_NUMBER_CHARS + 1];
    GUI_FormatFixed(buf, f, decimals);
    GUI_DrawText(buf);
}

// As many decimals as the length leaves after the rounded integer part; one
// fewer when rounding carries into a new digit (9.9999 in 4 is "10.0").
void GUI_DrawFloatMin(double f, int len) {
    int decimals = ClampDecimals(len - RoundedIntegerChars(f, 0) - 1);
    while (decimals > 0 && RoundedIntegerChars(f, decimals) + decimals + 1 > len) --decimals;
    GUI_DrawFloat(f, len, decimals, 0);
}
