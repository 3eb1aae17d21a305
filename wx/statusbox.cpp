// The weather status box.
#include "wx/statusbox.h"

#include <cstdio>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "wx/wx.h"

namespace {

constexpr uint32_t kBlack = 0, kRed = 2, kGreen = 5, kYellow = 14, kWhite = 31;
constexpr uint32_t kStepRunning = 100;
constexpr uint32_t kFrameFreshSec = 20;
constexpr int32_t kWordFont = 7, kWordAlign = 17, kIconFont = 9, kIconAlign = 15;

uint32_t s_blink = 0;   // 0..3: the glyph the next activity lights

uint32_t Role() { return G_NetStreamCfg[kStreamWx].INST; }
uint32_t Age(uint32_t since) { return G_UptimeSec - since; }
uint32_t NexradMinutes() { return G_Wx.nNexradRxTime != 0 ? Age(G_Wx.nNexradRxTime) / 60 : 0; }

void AgeProducts() {
    WxState& w = G_Wx;
    if (Age(w.nTfrRxTime) > kTfrMaxAge) w.bTfrRx = 0;
    if (Age(w.nMetarRxTime) > kMetarMaxAge) w.bMetarRx = 0;
    if (NexradMinutes() > kNexradMaxMinutes) w.bNexradRx = 0;
}

const char* SlaveWord(uint32_t step) {
    if (G_Wx.nProducts == 0) return "OFFLINE";
    if (step <= 1) return "FINDING";
    return step == 2 ? "CONNECTED" : "";
}

const char* MasterWord(uint32_t step) {
    if (step == 0) return "FINDING";
    if (step == 1) return "CONNECTING";
    if (step >= 2 && step <= 6) return "CONFIGURING";
    if (step >= 30 && step <= 35) return "ACTIVATING";
    if (step >= 230 && step <= 240) return "SETTING";
    return "";
}

// Glyphs at (x, y) of the band.
void Glyphs(uint32_t colour, int32_t x, int32_t y, const char* text) {
    DrawTextF(colour, kIconFont, kIconAlign, x, y, "%s", text);
}

void Icon(int32_t X, int32_t Y) {
    const WxState& w = G_Wx;
    Glyphs(kBlack, X + 1, Y + 1, "xm");
    Glyphs(kBlack, X + 1, Y + 11, "wx");
    if (w.nDecodeState == 2) {
        Glyphs(kWhite, X, Y, "xm");
        Glyphs(kWhite, X, Y + 10, "wx");
        return;
    }
    if (w.abConfig[0] == 0 || Age(w.nLastFrame) > kFrameFreshSec) {
        Glyphs(kYellow, X, Y, "xm");
        Glyphs(kYellow, X, Y + 10, "wx");
        return;
    }
    switch (w.abConfig[2]) {
    case 0:
        Glyphs(kGreen, X, Y, "x");
        Glyphs(kYellow, X + 10, Y, "m");
        Glyphs(kYellow, X, Y + 10, "wx");
        break;
    case 1:
        Glyphs(kGreen, X, Y, "xm");
        Glyphs(kYellow, X, Y + 10, "wx");
        break;
    case 2:
        Glyphs(kGreen, X, Y, "xm");
        Glyphs(kGreen, X, Y + 10, "w");
        Glyphs(kYellow, X + 10, Y + 10, "x");
        break;
    case 3:
        Glyphs(kGreen, X, Y, "xm");
        Glyphs(kGreen, X, Y + 10, "wx");
        break;
    default: break;
    }
}

void Blink(int32_t X, int32_t Y) {
    if (!G_Wx.bActivity) return;
    G_Wx.bActivity = 0;
    static const struct { int32_t dx, dy; const char* glyph; } kLit[4] = {
        {0, 0, "x"}, {9, 0, "m"}, {0, 10, "w"}, {10, 10, "x"}};
    const auto& lit = kLit[s_blink & 3];
    Glyphs(kWhite, X + lit.dx, Y + lit.dy, lit.glyph);
    s_blink = (s_blink + 1) % 4;
}

// Drawn at band rows: the primitives take the band offset themselves.
void NoSignalMark(int32_t X, int32_t Y) {
    const int32_t y = Y + kMapBandY;
    GUI_SetPenSize(6);
    SetDrawColor(kBlack);
    GUI_FillCircle(X + 10, y + 3, 5);
    GUI_DrawLine(X + 10, y + 6, X + 10, y + 12);
    GUI_DrawLine(X + 10, y + 17, X + 10, y + 22);
    GUI_DrawLine(X + 5, y + 7, X + 15, y + 17);
    GUI_DrawLine(X + 5, y + 12, X + 15, y + 22);
    GUI_SetPenSize(2);
    SetDrawColor(kWhite);
    GUI_FillCircle(X + 10, y + 3, 3);
    GUI_DrawLine(X + 10, y + 6, X + 10, y + 12);
    GUI_DrawLine(X + 10, y + 17, X + 10, y + 22);
    SetDrawColor(kRed);
    GUI_DrawLine(X + 5, y + 7, X + 15, y + 17);
    GUI_DrawLine(X + 5, y + 12, X + 15, y + 22);
}

void RedCross(int32_t X, int32_t Y) {
    const int32_t y = Y + kMapBandY;
    GUI_SetPenSize(3);
    SetDrawColor(kRed);
    GUI_DrawLine(X, y + 5, X + 20, y + 20);
    GUI_DrawLine(X, y + 20, X + 20, y + 5);
}

}  // namespace

const char* WxStatusWord(char* buf, uint32_t size) {
    const WxState& w = G_Wx;
    const uint32_t role = Role(), step = w.nStep;
    if (!G_NexradOn && w.nNexradRxTime != 0) return "NXRD OFF";
    if (w.nNexradRxTime != 0 && !w.bNexradRx) return w.nProducts == 0 && role == kWxSlave ? "OFFLINE" : "NXRD OLD";
    if (step == kStepRunning) {
        if (w.nNexradRxTime != 0) {
            std::snprintf(buf, size, "NXRD -%dm", static_cast<int>(NexradMinutes()));
            return buf;
        }
        if (role == kWxSlave && w.nLastFrame == 0) return "CONNECTED";
        return "RECEIVING";
    }
    return role == kWxSlave ? SlaveWord(step) : MasterWord(step);
}

void WxStatusBox() {
    const uint32_t role = Role();
    if (role == 0) return;
    const int32_t X = G_MapPane.x1 - (IsSplitMapPage() ? 162 : 22);
    const int32_t Y = G_MapPane.y1 - 27;
    // Placed in the band whichever page is being drawn.
    const OffscreenBand band = BeginOffscreenBand();
    const GUI_Font* font = SelectFont(kIconFont);
    AgeProducts();
    char buf[24];
    const char* word = WxStatusWord(buf, sizeof buf);
    if (word[0] != '\0') {
        DrawTextF(kBlack, kWordFont, kWordAlign, X - 6, Y + 14, "%s", word);
        DrawTextF(kWhite, kWordFont, kWordAlign, X - 7, Y + 13, "%s", word);
    }
    Icon(X, Y);
    Blink(X, Y);
    if (G_Wx.abConfig[2] == 0) NoSignalMark(X, Y);
    if (G_Wx.nStep == 0 || (G_Wx.nStep == 1 && role == kWxSlave)) RedCross(X, Y);
    GUI_SetPenSize(1);
    GUI_SetFont(font);
    EndOffscreenBand(band);
}
