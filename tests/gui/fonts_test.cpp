// Font descriptors and glyph tables: metrics, code coverage, bitmap form,
// the composed codes of the translation tables.
#include <gtest/gtest.h>

#include <string>

#include "gui/font.h"

namespace {

struct FontCase {
    const char* name;
    const GUI_Font* font;
    bool mono;
    int ySize, yDist, xSize, xDist, first, last;
    bool translated;
    int baseline, lHeight, cHeight;
};

// The 19 fonts as the system defines them; xSize/xDist only for monospaced.
const FontCase kFonts[] = {
    {"P8", &G_FontP8, false, 8, 8, 0, 0, 32, 126, false, 7, 5, 7},
    {"P10", &G_FontP10, false, 10, 10, 0, 0, 32, 126, false, 9, 6, 8},
    {"P13", &G_FontP13, false, 13, 13, 0, 0, 32, 126, false, 11, 6, 8},
    {"P13B", &G_FontP13B, false, 13, 13, 0, 0, 32, 126, false, 11, 6, 8},
    {"P13C", &G_FontP13C, false, 13, 13, 0, 0, 32, 126, false, 11, 7, 9},
    {"P13D", &G_FontP13D, false, 13, 13, 0, 0, 32, 126, false, 11, 7, 9},
    {"P16", &G_FontP16, false, 16, 16, 0, 0, 32, 126, false, 13, 7, 10},
    {"P16B", &G_FontP16B, false, 16, 16, 0, 0, 32, 126, false, 13, 7, 10},
    {"P24", &G_FontP24, false, 24, 24, 0, 0, 32, 126, false, 19, 11, 15},
    {"P24B", &G_FontP24B, false, 24, 24, 0, 0, 32, 126, false, 19, 11, 15},
    {"P32", &G_FontP32, false, 32, 32, 0, 0, 32, 126, false, 26, 15, 20},
    {"P32B", &G_FontP32B, false, 32, 32, 0, 0, 32, 126, false, 25, 15, 20},
    {"M4x6", &G_FontM4x6, true, 6, 6, 4, 4, 32, 126, false, 5, 3, 5},
    {"M6x9", &G_FontM6x9, true, 8, 9, 6, 6, 32, 126, true, 7, 5, 7},
    {"M8x18", &G_FontM8x18, true, 16, 18, 8, 8, 32, 127, true, 12, 7, 10},
    {"M8x8", &G_FontM8x8, true, 8, 8, 8, 8, 32, 127, true, 7, 5, 7},
    {"M6x8", &G_FontM6x8, true, 8, 8, 6, 6, 32, 126, true, 7, 5, 7},
    {"M8x16", &G_FontM8x16, true, 16, 16, 8, 8, 32, 127, true, 12, 7, 10},
    {"P15", &G_FontP15, false, 15, 15, 0, 0, 32, 127, false, 12, 7, 9},
};

// One glyph as the drawing sees it.
struct Glyph {
    const uint8_t* bits = nullptr;
    int xSize = 0, bytesPerLine = 0, ySize = 0;

    bool Pixel(int x, int y) const { return (bits[y * bytesPerLine + x / 8] >> (7 - x % 8)) & 1; }
    bool Empty() const { return InkTop() < 0; }
    int InkTop() const {
        for (int y = 0; y < ySize; ++y)
            for (int x = 0; x < xSize; ++x)
                if (Pixel(x, y)) return y;
        return -1;
    }
    int InkBottom() const {
        for (int y = ySize - 1; y >= 0; --y)
            for (int x = 0; x < xSize; ++x)
                if (Pixel(x, y)) return y;
        return -1;
    }
    bool PaddingClear() const {
        for (int y = 0; y < ySize; ++y)
            for (int x = xSize; x < bytesPerLine * 8; ++x)
                if (Pixel(x, y)) return false;
        return true;
    }
};

Glyph MonoGlyph(const GUI_Font* font, int index) {
    const GUI_FontMono* m = static_cast<const GUI_FontMono*>(font->Data);
    return {m->TransGlyphs + index * m->BytesPerLine * font->YSize, m->XSize, m->BytesPerLine, font->YSize};
}

Glyph FontGlyph(const GUI_Font* font, int code) {
    if (font->FontInfo == GUI_MonoFontInfo) {
        const GUI_FontMono* m = static_cast<const GUI_FontMono*>(font->Data);
        return MonoGlyph(font, code - m->First);
    }
    const GUI_FontProp* r = GUI_PropFindRange(static_cast<const GUI_FontProp*>(font->Data), static_cast<uint16_t>(code));
    const GUI_FontPropChar& c = r->Chars[code - r->First];
    return {c.Bitmap, c.XSize, c.BytesPerLine, font->YSize};
}

int LineWidth(const GUI_Font* font) {
    int w = 0;
    for (int code = 32; code <= 126; ++code) w += font->CharWidth(font, static_cast<uint16_t>(code));
    return w;
}

}  // namespace

TEST(Fonts, DescriptorsHaveTheirMetrics) {
    for (const FontCase& c : kFonts) {
        SCOPED_TRACE(c.name);
        const GUI_Font& f = *c.font;
        EXPECT_EQ(f.YSize, c.ySize);
        EXPECT_EQ(f.YDist, c.yDist);
        EXPECT_EQ(f.XMag, 1);
        EXPECT_EQ(f.YMag, 1);
        EXPECT_EQ(f.LineOps, nullptr);
        EXPECT_EQ(f.Baseline, c.baseline);
        EXPECT_EQ(f.LHeight, c.lHeight);
        EXPECT_EQ(f.CHeight, c.cHeight);
        uint16_t flags = 0;
        f.FontInfo(&f, &flags);
        EXPECT_EQ(flags, c.mono ? kFontInfoMono : kFontInfoProp);
        if (c.mono) {
            const GUI_FontMono* m = static_cast<const GUI_FontMono*>(f.Data);
            EXPECT_EQ(f.DrawChar, GUI_MonoDrawChar);
            EXPECT_EQ(m->XSize, c.xSize);
            EXPECT_EQ(m->XDist, c.xDist);
            EXPECT_EQ(m->BytesPerLine, (c.xSize + 7) / 8);
            EXPECT_EQ(m->First, c.first);
            EXPECT_EQ(m->Last, c.last);
            EXPECT_EQ(m->TransGlyphs, m->Glyphs);
            ASSERT_EQ(m->Trans != nullptr, c.translated);
            if (m->Trans) {
                EXPECT_EQ(m->Trans->First, 144);
                EXPECT_EQ(m->Trans->Last, 255);
            }
        } else {
            const GUI_FontProp* p = static_cast<const GUI_FontProp*>(f.Data);
            EXPECT_EQ(f.DrawChar, GUI_PropDrawChar);
            EXPECT_EQ(p->First, c.first);
            EXPECT_EQ(p->Last, c.last);
            EXPECT_EQ(p->Next, nullptr);
        }
    }
}

TEST(Fonts, PairsShareTheirGlyphsAndDifferInLineHeight) {
    EXPECT_EQ(G_FontM6x9.Data, G_FontM6x8.Data);
    EXPECT_EQ(G_FontM8x18.Data, G_FontM8x16.Data);
}

TEST(Fonts, CodeCoverage) {
    for (const FontCase& c : kFonts) {
        SCOPED_TRACE(c.name);
        const GUI_Font& f = *c.font;
        for (int code = 0; code < 300; ++code) {
            bool expected = code >= c.first && code <= c.last;
            if (c.translated) expected = expected || (code >= 144 && code <= 149) || (code >= 160 && code <= 255);
            const uint16_t u = static_cast<uint16_t>(code);
            EXPECT_EQ(f.IsInFont(&f, u), expected ? 1 : 0) << "code " << code;
            if (c.mono) {
                EXPECT_EQ(f.CharWidth(&f, u), c.xDist) << "code " << code;
            } else {
                EXPECT_EQ(f.CharWidth(&f, u) > 0, expected) << "code " << code;
            }
        }
    }
}

TEST(Fonts, GlyphBitmapsAreWellFormed) {
    for (const FontCase& c : kFonts) {
        SCOPED_TRACE(c.name);
        for (int code = c.first; code <= c.last; ++code) {
            const Glyph g = FontGlyph(c.font, code);
            EXPECT_EQ(g.bytesPerLine, (g.xSize + 7) / 8) << "code " << code;
            EXPECT_TRUE(g.PaddingClear()) << "code " << code;
            EXPECT_EQ(g.Empty(), code == 32) << "code " << code;
            if (!c.mono) {
                EXPECT_GE(g.xSize, 1) << "code " << code;
                if (c.font == &G_FontP15) {
                    EXPECT_EQ(g.xSize, 8) << "code " << code;
                    EXPECT_EQ(c.font->CharWidth(c.font, static_cast<uint16_t>(code)), 8) << "code " << code;
                }
            }
        }
    }
}

TEST(Fonts, CapitalsStandOnTheBaselineAtTheCapitalHeight) {
    for (const FontCase& c : kFonts) {
        SCOPED_TRACE(c.name);
        const Glyph h = FontGlyph(c.font, 'H');
        EXPECT_EQ(h.InkBottom(), c.baseline - 1);
        // The faces are sized for the width the layouts give their texts, so a
        // capital may stand a row below the descriptor's height.
        EXPECT_LE(h.InkBottom() - h.InkTop() + 1, c.cHeight);
        EXPECT_GE(h.InkBottom() - h.InkTop() + 1, c.cHeight - 1);
        const Glyph x = FontGlyph(c.font, 'x');
        EXPECT_EQ(x.InkBottom(), c.baseline - 1);
        EXPECT_NEAR(x.InkBottom() - x.InkTop() + 1, c.lHeight, 1);   // sources differ by a row at most
    }
}

TEST(Fonts, BoldFontsAreWider) {
    EXPECT_GT(LineWidth(&G_FontP13B), LineWidth(&G_FontP13));
    EXPECT_GT(LineWidth(&G_FontP16B), LineWidth(&G_FontP16));
    EXPECT_GT(LineWidth(&G_FontP24B), LineWidth(&G_FontP24));
    EXPECT_GT(LineWidth(&G_FontP32B), LineWidth(&G_FontP32));
    for (const GUI_Font* f : {&G_FontP13, &G_FontP13C}) EXPECT_GT(LineWidth(&G_FontP13D), LineWidth(f));
    EXPECT_GE(LineWidth(&G_FontP13D), LineWidth(&G_FontP13B));   // the soft-key labels' room allows no more
}

TEST(Fonts, TranslationTables) {
    for (const GUI_Font* font : {&G_FontM6x8, &G_FontM8x8, &G_FontM8x16}) {
        const GUI_FontTransTable* t = static_cast<const GUI_FontMono*>(font->Data)->Trans;
        for (int code = 150; code <= 159; ++code) {
            EXPECT_EQ(t->Pairs[code - 144].Glyph, -1) << code;
            EXPECT_EQ(t->Pairs[code - 144].Overlay, -1) << code;
        }
        // A no-break space is the space; a composed letter adds ink to its base.
        EXPECT_EQ(t->Pairs[160 - 144].Glyph, ' ' - 32);
        const GUI_FontTransPair e = t->Pairs[232 - 144];   // e grave
        EXPECT_EQ(e.Glyph, 'e' - 32);
        ASSERT_GE(e.Overlay, 0);
        EXPECT_LT(MonoGlyph(font, e.Overlay).InkBottom(), MonoGlyph(font, e.Glyph).InkTop());
    }
}

TEST(Fonts, Code200IsABaseLetterWithAnOverlaidAccentOnlyInTranslatedFonts) {
    const GUI_FontTransPair pair = static_cast<const GUI_FontMono*>(G_FontM8x8.Data)->Trans->Pairs[200 - 144];
    ASSERT_GE(pair.Glyph, 0);
    ASSERT_GE(pair.Overlay, 0);
    const Glyph base = MonoGlyph(&G_FontM8x8, pair.Glyph);
    const Glyph accent = MonoGlyph(&G_FontM8x8, pair.Overlay);
    // The accent sits above the letter, and both have ink.
    ASSERT_FALSE(base.Empty());
    ASSERT_FALSE(accent.Empty());
    EXPECT_LT(accent.InkBottom(), base.InkTop());
    EXPECT_EQ(G_FontM8x8.IsInFont(&G_FontM8x8, 200), 1);
    EXPECT_EQ(G_FontM8x8.CharWidth(&G_FontM8x8, 200), 8);

    for (const GUI_Font* font : {&G_FontP8, &G_FontP13, &G_FontP32B, &G_FontP15, &G_FontM4x6}) {
        EXPECT_EQ(font->IsInFont(font, 200), 0);
        if (font != &G_FontM4x6) {
            EXPECT_EQ(font->CharWidth(font, 200), 0);   // no advance
        }
    }
}
