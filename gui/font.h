// Bitmap fonts: descriptors, the two glyph formats and the 19 fonts.
#pragma once
#include <cstdint>

#include "gui/gui.h"

struct GUI_Font;

// Whole-line operations a font may supply; no font of ours does, so the
// per-character loops of the text output are used.
struct GUI_FontLineOps {
    int  (*LineWidth)(const GUI_Font* font, const char* text, int count);
    int  (*LineCharCount)(const GUI_Font* font, const char* text, int max);
    void (*DrawLine)(const GUI_Font* font, const char* text, int count);
};

constexpr uint16_t kFontInfoMono = 2;   // flag word of the information operation
constexpr uint16_t kFontInfoProp = 1;

struct GUI_Font {
    void (*DrawChar)(const GUI_Font* font, uint16_t code);   // at the text cursor, advances it
    int  (*CharWidth)(const GUI_Font* font, uint16_t code);  // step width in pixels
    void (*FontInfo)(const GUI_Font* font, uint16_t* flags);
    int  (*IsInFont)(const GUI_Font* font, uint16_t code);   // 1 when the font has a glyph
    const GUI_FontLineOps* LineOps;                           // null in every font
    uint8_t YSize;
    uint8_t YDist;        // line height; for monospaced fonts YMag is included
    uint8_t XMag;
    uint8_t YMag;
    const void* Data;     // GUI_FontMono or GUI_FontProp, by the operations
    uint8_t Baseline;     // descriptive only: rows above the baseline,
    uint8_t LHeight;      // lower-case and capital height
    uint8_t CHeight;
};

// Glyph bitmaps: 1 bit per pixel, most significant bit leftmost, BytesPerLine
// bytes per row, YSize rows.

// {glyph, overlay} indices into the translation bitmaps; -1 = none.
struct GUI_FontTransPair {
    int16_t Glyph;
    int16_t Overlay;
};

struct GUI_FontTransTable {
    uint16_t First;
    uint16_t Last;
    const GUI_FontTransPair* Pairs;   // Last - First + 1 entries
};

struct GUI_FontMono {
    const uint8_t* Glyphs;        // codes First..Last, n-th at n * BytesPerLine * YSize
    const uint8_t* TransGlyphs;   // same array; extra glyphs follow the direct ones
    const GUI_FontTransTable* Trans;   // null: no codes beyond Last
    uint16_t First;
    uint16_t Last;
    uint8_t  XSize;
    uint8_t  XDist;
    uint8_t  BytesPerLine;
};

struct GUI_FontPropChar {
    uint8_t XSize;
    uint8_t XDist;
    uint8_t BytesPerLine;
    const uint8_t* Bitmap;
};

struct GUI_FontProp {          // one range of a chain
    uint16_t First;
    uint16_t Last;
    const GUI_FontPropChar* Chars;   // Last - First + 1 entries
    const GUI_FontProp* Next;
};

// The operations of the two formats.
void GUI_MonoDrawChar(const GUI_Font* font, uint16_t code);
int  GUI_MonoCharWidth(const GUI_Font* font, uint16_t code);
void GUI_MonoFontInfo(const GUI_Font* font, uint16_t* flags);
int  GUI_MonoIsInFont(const GUI_Font* font, uint16_t code);
void GUI_PropDrawChar(const GUI_Font* font, uint16_t code);
int  GUI_PropCharWidth(const GUI_Font* font, uint16_t code);
void GUI_PropFontInfo(const GUI_Font* font, uint16_t* flags);
int  GUI_PropIsInFont(const GUI_Font* font, uint16_t code);
const GUI_FontProp* GUI_PropFindRange(const GUI_FontProp* range, uint16_t code);

// The fonts. M6x8/M6x9 and M8x16/M8x18 share their glyphs.
extern const GUI_Font G_FontP8;
extern const GUI_Font G_FontP10;
extern const GUI_Font G_FontP13;
extern const GUI_Font G_FontP13B;
extern const GUI_Font G_FontP13C;
extern const GUI_Font G_FontP13D;
extern const GUI_Font G_FontP15;
extern const GUI_Font G_FontP16;
extern const GUI_Font G_FontP16B;
extern const GUI_Font G_FontP24;
extern const GUI_Font G_FontP24B;
extern const GUI_Font G_FontP32;
extern const GUI_Font G_FontP32B;
extern const GUI_Font G_FontM4x6;
extern const GUI_Font G_FontM6x8;
extern const GUI_Font G_FontM6x9;
extern const GUI_Font G_FontM8x8;
extern const GUI_Font G_FontM8x16;
extern const GUI_Font G_FontM8x18;

// Glyph tables made by tools/mkfonts.py (gui/fontdata_*.cpp).
extern const GUI_FontProp G_FontDataP8;
extern const GUI_FontProp G_FontDataP10;
extern const GUI_FontProp G_FontDataP13;
extern const GUI_FontProp G_FontDataP13B;
extern const GUI_FontProp G_FontDataP13C;
extern const GUI_FontProp G_FontDataP15;
extern const GUI_FontProp G_FontDataP16;
extern const GUI_FontProp G_FontDataP16B;
extern const GUI_FontProp G_FontDataP24;
extern const GUI_FontProp G_FontDataP24B;
extern const GUI_FontProp G_FontDataP32;
extern const GUI_FontProp G_FontDataP32B;
extern const GUI_FontMono G_FontDataM4x6;
extern const GUI_FontMono G_FontDataM6x8;
extern const GUI_FontMono G_FontDataM8x8;
extern const GUI_FontMono G_FontDataM8x16;
