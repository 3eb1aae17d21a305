// The flap and trim indicators: small frames with tick marks and a green box
// that follows the reading, placed by the screen configuration beside the
// EFIS, the auxiliary pane or in the engine pane.
#include <cmath>
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "engine/bargauge.h"
#include "engine/engine.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "gui/gui.h"
#include "ui/pages.h"
#include "ui/style.h"

namespace {
constexpr uint32_t kPalGreen = 5, kPalWhite = 31;
// Flap words: clear area 20..23, outline 28..31, travel 32, indicator box
// 36..39, tick span 44..47, label 60..62. Trims use the same words, their
// travel being half the box's range either side of the centre tick.
enum : int32_t { kClear = 20, kOutline = 28, kTravel = 32, kBox = 36, kTicks = 44, kLabel = 60 };
// Trims beside the flap: elevator vertical, aileron horizontal under it.
constexpr int32_t kTrimDx = 26, kAilDy = 48;
}  // namespace

static int32_t& W(int32_t inst, int32_t k) { return GaugeWord(inst, k); }
static int32_t PageY() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

static int32_t RoundHalfAway(double v) {
    if (!(v == v)) return 0;
    if (v > 2147483000.0) return 2147483000;
    if (v < -2147483000.0) return -2147483000;
    return static_cast<int32_t>(v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5));
}

static void Set4(int32_t inst, int32_t at, int32_t a, int32_t b, int32_t c, int32_t d) {
    W(inst, at) = a;
    W(inst, at + 1) = b;
    W(inst, at + 2) = c;
    W(inst, at + 3) = d;
}

static bool PageIs(int32_t page, std::initializer_list<int32_t> list) {
    for (int32_t p : list)
        if (p == page) return true;
    return false;
}

// The indicator's origin for the current screen configuration.
static void FlapOrigin(int32_t* x, int32_t* y) {
    const int32_t page = G_CurPage;
    if (PageIs(page, {2, 3, 7, 8, 9, 30, 33, 34, 37})) {
        *x = G_EfisLayout.x1 + 120;
        *y = G_EfisLayout.y0 + 65;
    } else if (page == 4) {
        *x = G_EfisLayout.x1 + 40;
        *y = G_EfisLayout.y0 + 27;
    } else if (page == 5) {
        *x = G_EfisLayout.x1 - 28;
        *y = G_EfisLayout.y0 + 18;
    } else if ((page >= 10 && page <= 16) || page == 31 || page == 35) {
        *x = G_AuxPane.x1 - 73;
        *y = G_AuxPane.y1 - 50;
    } else {
        GaugePosition(kInstFlapAng, static_cast<int32_t>(G_EngLayoutIdx), x, y);
    }
}

static bool LargeLabel() { return PageIs(G_CurPage, {1, 31, 35}); }

// Scales a laid-out record in configuration 1; the flap's box is refitted
// inside the outline (x from outline x0 + 1 to x1 - 1, top at y0 + 1).
static void PlaceRecord(int32_t inst, int32_t x, int32_t y, bool refit) {
    GaugeLayout& g = G_GaugeLayout[inst];
    if (G_CurPage == 1) {
        ScaleGaugeLayout(inst, 150.0f);
        if (refit) {
            const int32_t h = W(inst, kBox + 3) - W(inst, kBox + 1);
            W(inst, kBox) = W(inst, kOutline) + 1;
            W(inst, kBox + 2) = W(inst, kOutline + 2) - 1;
            W(inst, kBox + 1) = W(inst, kOutline + 1) + 1;
            W(inst, kBox + 3) = W(inst, kBox + 1) + h;
        }
    }
    g.nOrigin[0] = x;
    g.nOrigin[1] = y;
    OffsetGaugeLayout(inst);
}

void InitFlapGauge() {
    if (G_NetStreamCfg[kStreamEngine].INST == 0) return;
    const int32_t inst = kInstFlapAng;
    std::memset(G_GaugeLayout[inst].nElem, 0, sizeof G_GaugeLayout[inst].nElem);
    int32_t x = 0, y = 0;
    FlapOrigin(&x, &y);
    Set4(inst, kClear, 0, 0, 15, 40);
    W(inst, 27) = static_cast<int32_t>(kColourWhite);
    Set4(inst, kOutline, 3, 1, 11, 37);
    W(inst, kTravel) = 35;
    Set4(inst, kBox, 4, 2, 11, 4);
    Set4(inst, kTicks, 0, 1, 15, 37);
    W(inst, kLabel) = 7;
    W(inst, kLabel + 1) = -15;
    W(inst, kLabel + 2) = LargeLabel() ? 8 : 4;
    PlaceRecord(inst, x, y, true);
}

int32_t FlapBoxOffset(int32_t value) {
    const int32_t travel = W(kInstFlapAng, kTravel) - 3;
    int32_t p = RoundHalfAway(static_cast<double>(value / 10) * travel * 0.01);
    if (p < 0) p = 0;
    if (p > travel) p = travel;
    return p;
}

static bool BusPowered() {
    return G_InstAd[kInstMainVolts].nAdValue > 1499 || G_InstAd[kInstAuxVolts].nAdValue > 1499;
}

static void FillBox(uint32_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (x1 < x0 || y1 < y0) return;
    SetDrawColor(colour);
    GUI_FillRect(x0, y0, x1, y1);
}

static void Outline(int32_t inst, int32_t py) {
    SetDrawColor(kPalWhite);
    GUI_DrawRect(W(inst, kOutline), W(inst, kOutline + 1) + py, W(inst, kOutline + 2), W(inst, kOutline + 3) + py);
}

void DrawFlapGauge() {
    const int32_t inst = kInstFlapAng;
    const int32_t py = PageY();
    if (G_CurPage == 4) {
        GUI_SetBkColorIndex(0);
        GUI_ClearRect(W(inst, kClear), W(inst, kClear + 1) + py, W(inst, kClear + 2), W(inst, kClear + 3) + py);
    }
    if (!BusPowered() || G_InstCfg[inst].nEnable == 0) return;
    GUI_SetPenSize(1);
    DrawTextF(kColourWhite, W(inst, kLabel + 2), 16, W(inst, kLabel), W(inst, kLabel + 1), "FLAP");
    Outline(inst, py);
    const int32_t t0 = W(inst, kTicks + 1), t1 = W(inst, kTicks + 3);
    for (int k = 0; k < 5; ++k) GUI_DrawHLine(t0 + (t1 - t0) * k / 4 + py, W(inst, kTicks), W(inst, kTicks + 2));
    const InstReading& r = G_InstReading[inst];
    if (!r.bValid) return;
    const int32_t p = FlapBoxOffset(r.nValue);
    FillBox(kPalGreen, W(inst, kBox), W(inst, kBox + 1) + p + py, W(inst, kBox + 2), W(inst, kBox + 3) + p + py);
}

// ---- trims ----------------------------------------------------------------------------------------

// The elevator trim stands beside the flap, its box moving down for nose
// down; the aileron trim lies under it, its box moving right for right wing
// down. Both centre at the middle of the trim's MIN..MAX.
void InitTrimGauge() {
    if (G_NetStreamCfg[kStreamEngine].INST == 0) return;
    int32_t x = 0, y = 0;
    FlapOrigin(&x, &y);
    const int32_t font = LargeLabel() ? 8 : 4;
    const int32_t e = kInstElevTrim, a = kInstAilTrim;
    std::memset(G_GaugeLayout[e].nElem, 0, sizeof G_GaugeLayout[e].nElem);
    std::memset(G_GaugeLayout[a].nElem, 0, sizeof G_GaugeLayout[a].nElem);
    Set4(e, kClear, kTrimDx, 0, kTrimDx + 15, 40);
    Set4(e, kOutline, kTrimDx + 3, 1, kTrimDx + 11, 37);
    W(e, kTravel) = 16;
    Set4(e, kBox, kTrimDx + 4, 18, kTrimDx + 10, 20);
    Set4(e, kTicks, kTrimDx, 19, kTrimDx + 15, 19);
    Set4(e, kLabel, kTrimDx + 7, -15, font, 0);
    Set4(a, kClear, kTrimDx - 12, kAilDy - 3, kTrimDx + 27, kAilDy + 11);
    Set4(a, kOutline, kTrimDx - 11, kAilDy, kTrimDx + 25, kAilDy + 8);
    W(a, kTravel) = 16;
    Set4(a, kBox, kTrimDx + 6, kAilDy + 1, kTrimDx + 8, kAilDy + 7);
    Set4(a, kTicks, kTrimDx + 7, kAilDy - 3, kTrimDx + 7, kAilDy + 11);
    PlaceRecord(e, x, y, false);
    PlaceRecord(a, x, y, false);
}

int32_t TrimBoxOffset(int32_t inst, int32_t value) {
    const InstCfg& c = G_InstCfg[inst];
    const int32_t half = W(inst, kTravel);
    const double span = static_cast<double>(c.nMax) - c.nMin;
    if (span <= 0) return 0;
    const double centre = (static_cast<double>(c.nMax) + c.nMin) / 2.0;
    int32_t p = RoundHalfAway((value - centre) * 2.0 * half / span);
    if (p < -half) p = -half;
    if (p > half) p = half;
    return p;
}

static void DrawTrim(int32_t inst, bool vertical, int32_t py) {
    if (G_InstCfg[inst].nEnable == 0) return;
    Outline(inst, py);
    SetDrawColor(kPalWhite);
    if (vertical) GUI_DrawHLine(W(inst, kTicks + 1) + py, W(inst, kTicks), W(inst, kTicks + 2));
    else GUI_DrawVLine(W(inst, kTicks), W(inst, kTicks + 1) + py, W(inst, kTicks + 3) + py);
    const InstReading& r = G_InstReading[inst];
    if (!r.bValid) return;
    const int32_t p = TrimBoxOffset(inst, r.nValue);
    const int32_t dx = vertical ? 0 : p, dy = vertical ? p : 0;
    FillBox(kPalGreen, W(inst, kBox) + dx, W(inst, kBox + 1) + dy + py, W(inst, kBox + 2) + dx,
            W(inst, kBox + 3) + dy + py);
}

void DrawTrimGauge() {
    const int32_t e = kInstElevTrim;
    const int32_t py = PageY();
    if (G_CurPage == 4) {
        GUI_SetBkColorIndex(0);
        GUI_ClearRect(W(e, kClear), W(e, kClear + 1) + py, W(e, kClear + 2), W(e, kClear + 3) + py);
        const int32_t a = kInstAilTrim;
        GUI_ClearRect(W(a, kClear), W(a, kClear + 1) + py, W(a, kClear + 2), W(a, kClear + 3) + py);
    }
    if (!BusPowered()) return;
    if (G_InstCfg[kInstElevTrim].nEnable == 0 && G_InstCfg[kInstAilTrim].nEnable == 0) return;
    GUI_SetPenSize(1);
    DrawTextF(kColourWhite, W(e, kLabel + 2), 16, W(e, kLabel), W(e, kLabel + 1), "TRIM");
    DrawTrim(kInstElevTrim, true, py);
    DrawTrim(kInstAilTrim, false, py);
}
