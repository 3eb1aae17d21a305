// Text output: strings with alignment and line breaks, characters, text
// measurement, the one-byte encoding and the decimal and fixed-point number
// output, all at the context's text cursor in its current font.
#pragma once
#include <cstdint>

#include "gui/font.h"
#include "gui/gui.h"

// Text alignment bits of the context.
constexpr uint16_t GUI_TA_LEFT     = 0;
constexpr uint16_t GUI_TA_RIGHT    = 1;
constexpr uint16_t GUI_TA_HCENTER  = 2;
constexpr uint16_t GUI_TA_HORIZONTAL = 3;
constexpr uint16_t GUI_TA_TOP      = 0;
constexpr uint16_t GUI_TA_BOTTOM   = 4;
constexpr uint16_t GUI_TA_VCENTER  = 8;
constexpr uint16_t GUI_TA_BASELINE = 12;   // half the glyph height, like centre
constexpr uint16_t GUI_TA_VERTICAL = 12;

// Character decoding operations of the context.
struct GUI_TextEncoding {
    uint16_t (*pfGetCharCode)(const char* s);
    int (*pfGetCharSize)(const char* s);       // bytes of the character at s
    int (*pfCalcSizeOfChar)(uint16_t code);    // bytes needed to encode code
    int (*pfEncode)(char* s, uint16_t code);   // bytes written
};
extern const GUI_TextEncoding GUI_EncodingOneByte;

constexpr int GUI_MAX_LINE_CHARS = 32767;

// ---- characters and strings -------------------------------------------------------------
void GUI_DrawText(const char* text);
void GUI_DrawTextAt(const char* text, int x, int y);
int  GUI_DrawChar(uint16_t code);          // YDist after a line feed, else 0
int  GUI_CharWidth(uint16_t code);
int  GUI_TextWidth(const char* text);      // a line feed counts as a character
void GUI_ClearToEOL();
int  GUI_LineCharCount(const char* text, int max);
int  GUI_LineWidth(const char* text, int count);
void GUI_DrawLineChars(const char* text, int count, const GUI_Rect* rect);
int  GUI_TextVerticalOffset();             // rows the cursor moves up for the alignment

uint16_t GUI_GetNextChar(const char** text);
int GUI_CharsToBytes(const char* text, int n);
int GUI_BytesToChars(const char* text, int bytes);
int GUI_NumChars(const char* text);

// ---- numbers ------------------------------------------------------------------------------
// Longest number text: sign, 9 digits, point.
constexpr int GUI_MAX_NUMBER_CHARS = 11;
constexpr int GUI_MAX_DIGITS = 9;

// The text the number output draws, into buf (at least GUI_MAX_NUMBER_CHARS + 1
// bytes); `len` counts sign and point, shift is the digits after the point.
void GUI_FormatDecimal(char* buf, int32_t v, int len, int shift, int forceSign);
void GUI_FormatFixed(char* buf, double f, int decimals);

void GUI_DrawDecimal(int32_t v);
void GUI_DrawDecimalPadded(int32_t v, int len);
void GUI_DrawDecimalN(int32_t v, int len);
void GUI_DrawDecimalAt(int32_t v, int x, int y, int len);
void GUI_DrawDecimalShift(int32_t v, int len, int shift);
void GUI_DrawSignedDecimalShift(int32_t v, int len, int shift);
void GUI_DrawFloat(double f, int len, int decimals, int isSigned);
void GUI_DrawFixed(double f, int decimals);
void GUI_DrawFloatMin(double f, int len);
