// Page-side colour, font and text-style translations, text measurement in a
// program font id, the tenth-degree point rotation and small numeric and
// character helpers.
#pragma once
#include <array>
#include <cstdint>

#include "gui/gui.h"

constexpr int kTrigSteps = 3600;            // tenths of a degree in a turn
constexpr int32_t kTrigOne = 1 << 18;       // 1.0 in the sine and cosine tables

using TrigTable10 = std::array<int32_t, kTrigSteps>;
extern const TrigTable10 SinTab10;    // sin(i / 10 degrees) x 2^18, within one unit
extern const TrigTable10 CosTab10;

// Selects the palette index of a colour value 0x00BBGGRR or a small palette
// number.
void SetDrawColor(uint32_t colour);
// Selects the font of a program font id; returns the font that was current.
const GUI_Font* SelectFont(int32_t fontId);
// The font of a program font id (unknown ids: the 13-row default).
const GUI_Font* FontOfId(int32_t fontId);
// Width of text in a font id; selects the measuring font and leaves it.
int32_t TextWidth(int32_t fontId, const char* text);
// Leading characters of text (at most 100) that stay narrower than widthPx.
int32_t CharsInWidth(int32_t fontId, int32_t widthPx, const char* text);
// Alignment and text mode of a style code; boxed styles draw the label box
// behind the formatted text of DrawTextF.
void SetTextStyle(int32_t fontId, int32_t style, int32_t x, int32_t y);

void    RotatePoint(GUI_Point* out, const GUI_Point* point, int32_t angle);   // angle in 0.1 degree
int32_t RoundTo5(float value);
int32_t IsAlnum(int32_t c);
int32_t IsDigit(int32_t c);
float   CalcSlope(float x0, float y0, float x1, float y1);
float   CalcIntercept(float m, float y, float x);
int32_t ModRem(int32_t a, int32_t b);
void    ModTest();
