// Text output through the context's font, cursor, text mode and alignment;
// the one-byte encoding; the default font.
#include "gui/text.h"

// ---- one-byte encoding ------------------------------------------------------------------

static uint16_t OneByteGetCharCode(const char* s) { return static_cast<uint8_t>(*s); }
static int OneByteGetCharSize(const char*) { return 1; }
static int OneByteCalcSizeOfChar(uint16_t) { return 1; }
static int OneByteEncode(char* s, uint16_t code) {
    *s = static_cast<char>(code);
    return 1;
}

const GUI_TextEncoding GUI_EncodingOneByte = {OneByteGetCharCode, OneByteGetCharSize, OneByteCalcSizeOfChar,
                                              OneByteEncode};

const GUI_Font* GUI_DefaultFont() { return &G_FontM6x8; }
const GUI_TextEncoding* GUI_DefaultEncoding() { return &GUI_EncodingOneByte; }

static const GUI_Font* Font() { return GUI_DrawState.pFont; }

int GUI_GetFontSizeY() { return Font()->YSize * Font()->YMag; }

uint16_t GUI_GetNextChar(const char** text) {
    const uint16_t code = GUI_DrawState.pEncoding->pfGetCharCode(*text);
    *text += GUI_DrawState.pEncoding->pfGetCharSize(*text);
    return code;
}

int GUI_CharsToBytes(const char* text, int n) {
    const char* p = text;
    for (int i = 0; i < n; ++i) GUI_GetNextChar(&p);
    return static_cast<int>(p - text);
}

int GUI_BytesToChars(const char* text, int bytes) {
    const char* p = text;
    int n = 0;
    while (p - text < bytes) {
        GUI_GetNextChar(&p);
        ++n;
    }
    return n;
}

int GUI_NumChars(const char* text) {
    int n = 0;
    while (GUI_GetNextChar(&text) != 0) ++n;
    return n;
}

// ---- characters ----------------------------------------------------------------------------

int GUI_DrawChar(uint16_t code) {
    if (code == '\n') {
        GUI_DrawState.DispPosX = GUI_DrawState.LBorder;
        GUI_DrawState.DispPosY = static_cast<int16_t>(GUI_DrawState.DispPosY + Font()->YDist);
        return Font()->YDist;
    }
    if (code != '\r') Font()->DrawChar(Font(), code);
    return 0;
}

int GUI_CharWidth(uint16_t code) { return Font()->CharWidth(Font(), code); }

int GUI_TextWidth(const char* text) {
    if (text == nullptr) return 0;
    int w = 0;
    for (uint16_t code; (code = GUI_GetNextChar(&text)) != 0;) w += GUI_CharWidth(code);
    return w;
}

int GUI_TextVerticalOffset() {
    switch (GUI_DrawState.TextAlign & GUI_TA_VERTICAL) {
    case GUI_TA_BOTTOM: return Font()->YSize - 1;
    case GUI_TA_VCENTER:
    case GUI_TA_BASELINE: return Font()->YSize / 2;
    default: return 0;
    }
}

void GUI_ClearToEOL() {
    const int y0 = GUI_DrawState.DispPosY - GUI_TextVerticalOffset();
    GUI_ClearRect(GUI_DrawState.DispPosX, y0, 4000, y0 + Font()->YDist - 1);
}

// ---- lines -----------------------------------------------------------------------------------

int GUI_LineCharCount(const char* text, int max) {
    if (const GUI_FontLineOps* ops = Font()->LineOps) return ops->LineCharCount(Font(), text, max);
    int n = 0;
    for (uint16_t code; n < max && (code = GUI_GetNextChar(&text)) != 0 && code != '\n';) ++n;
    return n;
}

int GUI_LineWidth(const char* text, int count) {
    if (const GUI_FontLineOps* ops = Font()->LineOps) return ops->LineWidth(Font(), text, count);
    int w = 0;
    for (int i = 0; i < count; ++i) w += GUI_CharWidth(GUI_GetNextChar(&text));
    return w;
}

void GUI_DrawLineChars(const char* text, int count, const GUI_Rect* rect) {
    GUI_DrawState.DispPosX = rect->x0;
    GUI_DrawState.DispPosY = rect->y0;
    if (GUI_DrawState.pClipRect != nullptr && !GUI_RectsIntersect(rect, GUI_DrawState.pClipRect)) return;
    if (const GUI_FontLineOps* ops = Font()->LineOps) {
        ops->DrawLine(Font(), text, count);
        return;
    }
    for (int i = 0; i < count; ++i) Font()->DrawChar(Font(), GUI_GetNextChar(&text));
}

// ---- strings -----------------------------------------------------------------------------------

void GUI_DrawText(const char* text) {
    if (text == nullptr) return;
    GUI_Context& c = GUI_DrawState;
    const int yDist = Font()->YDist;
    const int16_t startX = c.DispPosX;
    const int yOffset = GUI_TextVerticalOffset();
    c.DispPosY = static_cast<int16_t>(c.DispPosY - yOffset);
    const uint16_t hAlign = c.TextAlign & GUI_TA_HORIZONTAL;
    for (;;) {
        const int n = GUI_LineCharCount(text, GUI_MAX_LINE_CHARS);
        const int w = GUI_LineWidth(text, n);
        int x = c.DispPosX;
        if (hAlign == GUI_TA_RIGHT) x -= w;
        else if (hAlign == GUI_TA_HCENTER) x -= w / 2;
        const GUI_Rect r = {static_cast<int16_t>(x), c.DispPosY, static_cast<int16_t>(x + w - 1),
                            static_cast<int16_t>(c.DispPosY + yDist - 1)};
        GUI_DrawLineChars(text, n, &r);
        c.DispPosY = r.y0;
        text += GUI_CharsToBytes(text, n);
        if (GUI_GetNextChar(&text) != '\n') {
            c.DispPosX = static_cast<int16_t>(r.x0 + w);
            break;
        }
        c.DispPosX = (hAlign == GUI_TA_RIGHT || hAlign == GUI_TA_HCENTER) ? startX : c.LBorder;
        c.DispPosY = static_cast<int16_t>(c.DispPosY + yDist);
        if (GUI_DrawState.pEncoding->pfGetCharCode(text) == 0) break;
    }
    c.DispPosY = static_cast<int16_t>(c.DispPosY + yOffset);
    c.TextAlign &= static_cast<uint16_t>(~GUI_TA_HORIZONTAL);
}

void GUI_DrawTextAt(const char* text, int x, int y) {
    GUI_SetTextPos(x, y);
    GUI_DrawText(text);
}
