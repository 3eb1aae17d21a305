// Bitmap fonts: the operations of the monospaced and proportional formats and
// the 19 font descriptors. The glyph tables are generated (fontdata_*.cpp).
#include "gui/font.h"


static const GUI_FontMono* MonoData(const GUI_Font* font) {
    return static_cast<const GUI_FontMono*>(font->Data);
}

static const GUI_FontProp* PropData(const GUI_Font* font) {
    return static_cast<const GUI_FontProp*>(font->Data);
}

// Draws one glyph (and its overlay) at the cursor in the text mode, then
// fills the rows between the glyph and the next line unless transparent.
static void DrawGlyph(const GUI_Font* font, int16_t x, int16_t y, uint8_t xsize, uint8_t bytesPerLine,
                      const uint8_t* glyph, const uint8_t* overlay, int16_t bandEnd) {
    const uint8_t textMode = static_cast<uint8_t>(GUI_GetTextMode());
    const uint8_t oldMode = GUI_SetDrawMode(textMode);
    GUI_ClipDrawBitmap(x, y, xsize, font->YSize, font->XMag, font->YMag, 1, bytesPerLine, glyph,
                       GUI_DrawState.aColorIndex);
    if (overlay != nullptr) {
        GUI_SetDrawMode(textMode | GUI_DM_TRANS);
        GUI_ClipDrawBitmap(x, y, xsize, font->YSize, font->XMag, font->YMag, 1, bytesPerLine, overlay,
                           GUI_DrawState.aColorIndex);
    }
    const int16_t bandTop = static_cast<int16_t>(font->YSize * font->YMag);
    if (bandEnd > bandTop && textMode != GUI_DM_TRANS) {
        GUI_SetDrawMode(textMode ^ GUI_DM_REV);
        GUI_ClipFillRect(x, static_cast<int16_t>(y + bandTop), static_cast<int16_t>(x + xsize * font->XMag - 1),
                         static_cast<int16_t>(y + bandEnd - 1));
    }
    GUI_SetDrawMode(oldMode);
}

// ---------------------------------------------------------------- monospaced

static const GUI_FontTransPair* MonoTransPair(const GUI_FontMono* mono, uint16_t code) {
    const GUI_FontTransTable* t = mono->Trans;
    if (t == nullptr || code < t->First || code > t->Last) {
        return nullptr;
    }
    return &t->Pairs[code - t->First];
}

void GUI_MonoDrawChar(const GUI_Font* font, uint16_t code) {
    const GUI_FontMono* mono = MonoData(font);
    const int glyphBytes = mono->BytesPerLine * font->YSize;
    const uint8_t* glyph = nullptr;
    const uint8_t* overlay = nullptr;
    if (code >= mono->First && code <= mono->Last) {
        glyph = mono->Glyphs + (code - mono->First) * glyphBytes;
    } else if (const GUI_FontTransPair* pair = MonoTransPair(mono, code)) {
        if (pair->Glyph >= 0) {
            glyph = mono->TransGlyphs + pair->Glyph * glyphBytes;
        }
        if (pair->Overlay >= 0) {
            overlay = mono->TransGlyphs + pair->Overlay * glyphBytes;
        }
    }
    const int16_t x = GUI_DrawState.DispPosX;
    const int16_t y = GUI_DrawState.DispPosY;
    if (glyph != nullptr) {
        DrawGlyph(font, x, y, mono->XSize, mono->BytesPerLine, glyph, overlay, font->YDist);
    }
    GUI_SetTextPos(static_cast<int16_t>(x + mono->XDist), y);
}

int GUI_MonoCharWidth(const GUI_Font* font, uint16_t) {
    return MonoData(font)->XDist;
}

void GUI_MonoFontInfo(const GUI_Font*, uint16_t* flags) {
    *flags = kFontInfoMono;
}

int GUI_MonoIsInFont(const GUI_Font* font, uint16_t code) {
    const GUI_FontMono* mono = MonoData(font);
    if (code >= mono->First && code <= mono->Last) {
        return 1;
    }
    const GUI_FontTransPair* pair = MonoTransPair(mono, code);
    return pair != nullptr && pair->Glyph >= 0 ? 1 : 0;
}

// -------------------------------------------------------------- proportional

const GUI_FontProp* GUI_PropFindRange(const GUI_FontProp* range, uint16_t code) {
    for (; range != nullptr; range = range->Next) {
        if (code >= range->First && code <= range->Last) {
            return range;
        }
    }
    return nullptr;
}

void GUI_PropDrawChar(const GUI_Font* font, uint16_t code) {
    const GUI_FontProp* range = GUI_PropFindRange(PropData(font), code);
    if (range == nullptr) {
        return;
    }
    const GUI_FontPropChar& c = range->Chars[code - range->First];
    const int16_t x = GUI_DrawState.DispPosX;
    const int16_t y = GUI_DrawState.DispPosY;
    DrawGlyph(font, x, y, c.XSize, c.BytesPerLine, c.Bitmap, nullptr,
              static_cast<int16_t>(font->YDist * font->YMag));
    GUI_SetTextPos(static_cast<int16_t>(x + c.XDist * font->XMag), y);
}

int GUI_PropCharWidth(const GUI_Font* font, uint16_t code) {
    const GUI_FontProp* range = GUI_PropFindRange(PropData(font), code);
    if (range == nullptr) {
        return 0;
    }
    return range->Chars[code - range->First].XDist * font->XMag;
}

void GUI_PropFontInfo(const GUI_Font*, uint16_t* flags) {
    *flags = kFontInfoProp;
}

int GUI_PropIsInFont(const GUI_Font* font, uint16_t code) {
    return GUI_PropFindRange(PropData(font), code) != nullptr ? 1 : 0;
}

// --------------------------------------------------------------------- fonts

#define KV_PROP_FONT(name, data, ysize, base, lh, ch)                                             \
    const GUI_Font G_Font##name = {GUI_PropDrawChar, GUI_PropCharWidth, GUI_PropFontInfo,         \
                                   GUI_PropIsInFont, nullptr, ysize, ysize, 1, 1, &G_FontData##data, \
                                   base, lh, ch}
#define KV_MONO_FONT(name, data, ysize, ydist, base, lh, ch)                                      \
    const GUI_Font G_Font##name = {GUI_MonoDrawChar, GUI_MonoCharWidth, GUI_MonoFontInfo,         \
                                   GUI_MonoIsInFont, nullptr, ysize, ydist, 1, 1, &G_FontData##data, \
                                   base, lh, ch}

KV_PROP_FONT(P8, P8, 8, 7, 5, 7);
KV_PROP_FONT(P10, P10, 10, 9, 6, 8);
KV_PROP_FONT(P13, P13, 13, 11, 6, 8);
KV_PROP_FONT(P13B, P13B, 13, 11, 6, 8);
KV_PROP_FONT(P13C, P13C, 13, 11, 7, 9);
KV_PROP_FONT(P13D, P13B, 13, 11, 7, 9);   // P13B's glyphs: the soft-key labels allow no wider
KV_PROP_FONT(P15, P15, 15, 12, 7, 9);
KV_PROP_FONT(P16, P16, 16, 13, 7, 10);
KV_PROP_FONT(P16B, P16B, 16, 13, 7, 10);
KV_PROP_FONT(P24, P24, 24, 19, 11, 15);
KV_PROP_FONT(P24B, P24B, 24, 19, 11, 15);
KV_PROP_FONT(P32, P32, 32, 26, 15, 20);
KV_PROP_FONT(P32B, P32B, 32, 25, 15, 20);
KV_MONO_FONT(M4x6, M4x6, 6, 6, 5, 3, 5);
KV_MONO_FONT(M6x8, M6x8, 8, 8, 7, 5, 7);
KV_MONO_FONT(M6x9, M6x8, 8, 9, 7, 5, 7);
KV_MONO_FONT(M8x8, M8x8, 8, 8, 7, 5, 7);
KV_MONO_FONT(M8x16, M8x16, 16, 16, 12, 7, 10);
KV_MONO_FONT(M8x18, M8x16, 16, 18, 12, 7, 10);
