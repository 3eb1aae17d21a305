// Bar gauges, the electrical group that shares them, the RPM and manifold
// round gauges, the tank bars, the fuel-computer box and the flap indicator.
#include "engine/bargauge.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/util.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "engine/pulse.h"
#include "gui/font.h"
#include "gui/gui.h"
#include "setup/setup.h"
#include "storage/nvram.h"
#include "ui/pages.h"
#include "ui/style.h"

constexpr int32_t kBackgroundRow = 960;
constexpr uint32_t kPalRed = 2, kPalGreen = 5, kPalBlack = 0, kPalWhite = 31;

static int32_t& W(int32_t inst, int32_t k) { return GaugeWord(inst, k); }
static int32_t PageY() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
static bool Large() { return G_EngLayoutIdx != 0; }
static bool TitShown() { return G_EngInfo.nTitCount != 0; }
static bool IsElectrical(int32_t inst) {
    return inst == kInstMainVolts || inst == kInstAuxVolts || inst == kInstAmpsShunt || inst == kInstAmpsHall;
}

static int32_t RoundHalfAway(double v) {
    const double r = v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5);
    if (!(r == r)) return 0;
    if (r > 2147483000.0) return 2147483000;
    if (r < -2147483000.0) return -2147483000;
    return static_cast<int32_t>(r);
}

// Filled and outlined rectangles with the y of the target page (page or
// background rows) already added by the caller.
static void Fill(uint32_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    if (x1 < x0 || y1 < y0) return;
    SetDrawColor(colour);
    GUI_FillRect(x0, y0, x1, y1);
}
static void Frame(uint32_t colour, int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    SetDrawColor(colour);
    GUI_DrawRect(x0, y0, x1, y1);
}
static void Cross(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const uint8_t pen = GUI_SetPenSize(2);
    SetDrawColor(kPalRed);
    GUI_DrawLine(x0, y0, x1, y1);
    GUI_DrawLine(x0, y1, x1, y0);
    GUI_SetPenSize(pen);
}

// ---- bar gauge templates -----------------------------------------------------------------------
// Word places within the record: cross 20..23; outline colour 27, rectangle
// 28..31, scale length 32; marker outline colour 35, box 36..39; bands at
// 43, 51, 115, 123, 131 (colour, then the rectangle); value slots 60..63 and
// 65..68 (x, y, font, alignment); label slots 72, 73, 76, 77 and 78, 79, 84, 85.
// Scale words: 2 A/D at MAX, 3 A/D at MIN, 4 their difference, 5 UNITS,
// 6 ENABLE, 7 display step, 8..11 limit offsets.

static constexpr int32_t kBand[5] = {43, 51, 115, 123, 131};
static constexpr uint32_t kBandColour[5] = {kColourRed, kColourYellow, kColourGreen, kColourYellow, kColourRed};

static void CopyBarTemplate(int32_t inst, bool narrow) {
    GaugeLayout& g = G_GaugeLayout[inst];
    std::memset(g.nElem, 0, sizeof g.nElem);
    const int32_t xr = narrow ? 14 : 21, br = narrow ? 13 : 21, mr = narrow ? 14 : 26;
    const int32_t cross[4] = {0, 14, 30, 74};
    for (int i = 0; i < 4; ++i) W(inst, 20 + i) = cross[i];
    W(inst, 27) = static_cast<int32_t>(kColourWhite);
    W(inst, 28) = 9; W(inst, 29) = 15; W(inst, 30) = xr; W(inst, 31) = 73;
    W(inst, 32) = 58;
    W(inst, 35) = 0;
    W(inst, 36) = 4; W(inst, 37) = 15; W(inst, 38) = mr; W(inst, 39) = 19;
    for (int b = 0; b < 5; ++b) {
        W(inst, kBand[b]) = static_cast<int32_t>(kBandColour[b]);
        W(inst, kBand[b] + 1) = 10; W(inst, kBand[b] + 2) = 16;
        W(inst, kBand[b] + 3) = br; W(inst, kBand[b] + 4) = 72;
    }
    W(inst, 60) = 15; W(inst, 61) = 78; W(inst, 62) = 7; W(inst, 63) = 1;
    W(inst, 65) = 15; W(inst, 66) = 76; W(inst, 67) = 11; W(inst, 68) = 1;
    W(inst, 72) = 15; W(inst, 73) = 0; W(inst, 76) = 4; W(inst, 77) = 1;
    W(inst, 78) = 15; W(inst, 79) = 0; W(inst, 84) = 8; W(inst, 85) = 1;
}

static int32_t DisplayStep(int32_t inst) {
    switch (inst) {
    case kInstBattVolts: case kInstMainVolts: case kInstFuelComp: case kInstManifold: case 12: case kInstFuelFlow:
    case 19: case 20: case 21: case 22:
        return 1;
    default:
        return 10;
    }
}

// A/D value that gives a display value, through the segment holding it.
static int32_t AdOfLimit(int32_t inst, int32_t limit) {
    SetInstCalSegment(inst, limit, 0);
    const GaugeLayout& g = G_GaugeLayout[inst];
    if (g.fActiveSlope == 0.0f) return 0;
    const float ad = (static_cast<float>(limit) - g.fActiveIntercept) / g.fActiveSlope;
    const double r = static_cast<double>(ad) + 0.5;
    if (!(r == r) || r > 2e9 || r < -2e9) return 0;
    return static_cast<int32_t>(r);
}

static bool BothVolts() {
    return G_InstCfg[kInstMainVolts].nEnable == 1 && G_InstCfg[kInstAuxVolts].nEnable == 1;
}
static bool BothAmps() {
    return G_InstCfg[kInstAmpsShunt].nEnable != 0 && G_InstCfg[kInstAmpsHall].nEnable != 0;
}
static int32_t FirstAmps() {
    return G_InstCfg[kInstAmpsHall].nEnable == 1 && G_InstCfg[kInstAmpsShunt].nEnable != 1 ? kInstAmpsHall
                                                                                           : kInstAmpsShunt;
}

static void ElectricalOrigin(int32_t inst, int32_t* x, int32_t* y) {
    const int32_t layout = static_cast<int32_t>(G_EngLayoutIdx);
    GaugePosition(inst, layout, x, y);
    if (!TitShown()) return;
    int32_t px = 0, py = 0;
    GaugePosition(kInstMainVolts, layout, &px, &py);
    *x = px + 30;
    if (inst == kInstAuxVolts) *y = py + (layout ? 40 : 30);
    else if (inst == kInstAmpsShunt || inst == kInstAmpsHall)
        *y = py + (G_InstCfg[inst].nEnable == 1 ? (layout ? 70 : 45) : (layout ? 110 : 75));
}

void LayoutBarGauge(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return;
    const InstCfg& c = G_InstCfg[inst];
    const int32_t layout = static_cast<int32_t>(G_EngLayoutIdx);
    int32_t x = 0, y = 0;
    if (IsElectrical(inst)) {
        ElectricalOrigin(inst, &x, &y);
    } else {
        GaugePosition(inst, layout, &x, &y);
        if (TitShown()) x += 30;
        if (G_CurPage == 9) x -= 178;
    }
    const bool narrow = !TitShown() && (((inst == kInstMainVolts || inst == kInstAuxVolts) && BothVolts()) ||
                                        ((inst == kInstAmpsShunt || inst == kInstAmpsHall) && BothAmps()));
    const bool second = !TitShown() && (inst == kInstAmpsShunt || inst == kInstAmpsHall) && BothAmps() &&
                        inst != FirstAmps();
    if (second) x += layout ? 11 : 8;
    W(inst, 0) = x;
    W(inst, 1) = y;
    W(inst, 5) = c.nUnits;
    W(inst, 6) = c.nEnable;
    W(inst, 7) = DisplayStep(inst);
    CalcInstCalSlopes(inst);
    W(inst, 3) = AdOfLimit(inst, c.nMin);
    W(inst, 2) = AdOfLimit(inst, c.nMax);
    W(inst, 4) = W(inst, 2) - W(inst, 3);
    CopyBarTemplate(inst, narrow);
    if (layout == 1) {
        ScaleGaugeLayout(inst, 150.0f);
        for (int b = 0; b < 5; ++b) {
            W(inst, kBand[b] + 1) = W(inst, 28) + 1;
            W(inst, kBand[b] + 3) = W(inst, 30) - 1;
        }
        W(inst, kBand[0] + 2) = W(inst, 29) + 1;
        W(inst, kBand[4] + 4) = W(inst, 31) - 1;
    }
    OffsetGaugeLayout(inst);
    // Electrical columns side by side and stacked values.
    if ((second || (inst == kInstAuxVolts && narrow))) {
        W(inst, 36) += layout ? 7 : 5;
        W(inst, 38) += layout ? 7 : 5;
    }
    if (TitShown() && IsElectrical(inst)) {
        const bool lower = inst == kInstMainVolts || (inst != kInstAuxVolts && c.nEnable == 1);
        const int32_t dy = lower ? (layout ? 10 : 15) : 0;
        W(inst, layout ? 66 : 61) = y + dy;
    }
    // Limit offsets move the tops of bands two to five.
    const int32_t length = W(inst, 32);
    const int32_t limits[4] = {c.nRedHigh, c.nYellowHigh, c.nYellowLow, c.nRedLow};
    for (int i = 0; i < 4; ++i) {
        int32_t off = 0;
        if (c.nMax > c.nMin) {
            // Differences in 64 bits: limits far apart do not overflow.
            const float f = static_cast<float>(static_cast<int64_t>(limits[i]) - c.nMin) /
                            static_cast<float>(static_cast<int64_t>(c.nMax) - c.nMin) * static_cast<float>(length);
            off = f > 1e6f ? 1000000 : f < -1e6f ? -1000000 : static_cast<int32_t>(f);
        }
        W(inst, 8 + i) = off;
        W(inst, kBand[i + 1] + 2) += length - off;
    }
}

static void DrawGaugeUnits(int32_t inst) {
    const char* text = nullptr;
    const InstCfg& c = G_InstCfg[inst];
    switch (inst) {
    case 12: case 16: text = "PSI"; break;
    case kInstFuelFlow: text = c.nUnits == 1 ? "LPH" : "GPH"; break;
    // The current inputs are named by their live label (" AMP1 ", "AMP " ...),
    // drawn each frame at this same slot; a unit label under it would show twice.
    case kInstAmpsShunt: case kInstAmpsHall: break;
    case 18: case 17: case kInstCoolTemp: text = "TEMP"; break;
    default: break;
    }
    if (!text) return;
    const int32_t s = Large() ? 78 : 72;
    DrawTextF(kColourWhite, W(inst, s == 78 ? 84 : 76), 16, W(inst, s), W(inst, s + 1) + kBackgroundRow - PageY(),
              "%s", text);
}

static void DrawGaugeBands(int32_t inst) {
    if (IsElectrical(inst) && TitShown()) return;
    const InstCfg& c = G_InstCfg[inst];
    const int32_t bg = kBackgroundRow;
    if (c.nMax > c.nMin)
        for (int b = 0; b < 5; ++b) {
            const int32_t k = kBand[b];
            Fill(static_cast<uint32_t>(W(inst, k)), W(inst, k + 1), W(inst, k + 2) + bg, W(inst, k + 3),
                 W(inst, k + 4) + bg);
        }
    Frame(static_cast<uint32_t>(W(inst, 27)), W(inst, 28), W(inst, 29) + bg, W(inst, 30), W(inst, 31) + bg);
}

int32_t BarMarkerOffset(int32_t scaleLength, int32_t markerHeight, int32_t percent) {
    // The marker height counts its rows inclusive of both edges.
    const int32_t span = scaleLength - markerHeight / 2;
    return span - span * percent / 100;
}

static void DrawGaugeBarMarker(int32_t inst) {
    if (IsElectrical(inst) && TitShown()) return;
    const InstReading& r = G_InstReading[inst];
    const int32_t height = W(inst, 39) - W(inst, 37) + 1;
    const int32_t off = BarMarkerOffset(W(inst, 32), height, r.nPercent);
    const int32_t y0 = W(inst, 37) + off + PageY(), y1 = W(inst, 39) + off + PageY();
    Fill(r.nColour, W(inst, 36), y0, W(inst, 38), y1);
    Frame(static_cast<uint32_t>(W(inst, 35)), W(inst, 36), y0, W(inst, 38), y1);
}

static void ValueText(int32_t inst, uint32_t colour, const char* format, const char* text) {
    const int32_t s = Large() ? 65 : 60;
    DrawTextF(colour, W(inst, s + 2), 16, W(inst, s), W(inst, s + 1), format, text);
}
// Font of an electrical label: the slot's font, or the small one when the
// label's letters (padding blanks aside) would reach the neighbouring
// electrical place side by side with this one.
int32_t ElectricalLabelFont(int32_t slotFont, const char* text, int32_t pitch) {
    constexpr int32_t kSmallFont = 2, kGap = 4;
    char word[16];
    int32_t n = 0;
    for (const char* t = text; *t && n < static_cast<int32_t>(sizeof word) - 1; ++t)
        if (*t != ' ') word[n++] = *t;
    word[n] = 0;
    if (pitch <= 0 || TextWidth(slotFont, word) <= pitch - kGap) return slotFont;
    return kSmallFont;
}

static void LabelText(int32_t inst, const char* text) {
    const bool l = Large();
    const int32_t slotFont = W(inst, l ? 84 : 76);
    int32_t font = slotFont;
    if (!TitShown()) font = ElectricalLabelFont(font, text, W(kInstAmpsShunt, 0) - W(kInstMainVolts, 0));
    // A smaller label keeps the slot's baseline, in line with its neighbours.
    const int32_t dy = FontOfId(slotFont)->Baseline - FontOfId(font)->Baseline;
    DrawTextF(kColourWhite, font, 16, W(inst, l ? 78 : 72), W(inst, l ? 79 : 73) + dy, "%s", text);
}

// Live text of the electrical group: shared places alternate every two
// seconds. Without a value (invalid reading, red cross) the label alone still
// names the gauge.
static void DrawElectricalText(int32_t inst, bool value) {
    const bool alt = G_UptimeSec % 4 < 2;
    auto text = [value](int32_t place, int32_t shown, const char* format) {
        if (value && G_InstReading[shown].bValid)
            ValueText(place, G_InstReading[shown].nColour, format, G_InstReading[shown].szText);
    };
    if (inst == kInstMainVolts || inst == kInstAuxVolts) {
        if (BothVolts() && !TitShown()) {
            if (inst != kInstMainVolts) return;
            LabelText(inst, alt ? " VLT1 " : " VLT2 ");
            text(inst, alt ? kInstMainVolts : kInstAuxVolts, " %s ");
            return;
        }
        if (inst == kInstAuxVolts && !BothVolts()) return;
        if (inst == kInstMainVolts) LabelText(inst, "VOLT");
        text(inst, inst, "%s");
        return;
    }
    const int32_t first = FirstAmps();
    if (!BothAmps()) {
        LabelText(inst, "AMP ");
        text(inst, inst, "%s");
        return;
    }
    if (!TitShown()) {
        if (inst != first) return;
        LabelText(inst, alt ? " AMP1 " : " AMP2 ");
        text(inst, alt ? first : (first == kInstAmpsShunt ? kInstAmpsHall : kInstAmpsShunt), " %s ");
        return;
    }
    if (inst == first) LabelText(inst, "AMP");
    text(inst, inst, "%s");
}

void DrawBarGauge(int32_t inst, int32_t mode) {
    if (inst < 0 || inst >= kInstruments) return;
    if (mode == 0) {
        if (G_InstCfg[inst].nEnable == 0) return;
        DrawGaugeUnits(inst);
        DrawGaugeBands(inst);
    } else if (mode == 1) {
        DrawGaugeBarMarker(inst);
        if (IsElectrical(inst)) DrawElectricalText(inst, true);
        else ValueText(inst, G_InstReading[inst].nColour, "%s", G_InstReading[inst].szText);
    } else {
        Cross(W(inst, 20), W(inst, 21) + PageY(), W(inst, 22), W(inst, 23) + PageY());
        if (IsElectrical(inst)) DrawElectricalText(inst, false);
    }
}

// Text of a reading: at most seven characters and the terminator.
// The record's 8-byte text travels whole on the display link: cut to seven
// characters, with nothing after the terminator.
static void Text8(char* out, const char* format, int32_t a, int32_t b = 0) {
    char tmp[32];
    snprintf(tmp, sizeof tmp, format, static_cast<int>(a), static_cast<int>(b));
    std::memset(out, 0, 8);
    std::memcpy(out, tmp, strnlen(tmp, 7));
}

// "%d.%d" of tenths; a value between -1 and 0 keeps its sign.
static void Tenths(char* out, int32_t v) {
    const int32_t whole = v / 10, frac = v % 10 < 0 ? -(v % 10) : v % 10;
    if (v < 0 && whole == 0) Text8(out, "-0.%d", frac);
    else Text8(out, "%d.%d", whole, frac);
}

static int32_t TempText(int32_t inst, int32_t v) {
    if (G_InstCfg[inst].nUnits != 1) return v / 10;
    const float c = static_cast<float>(((static_cast<double>(v / 10) + 0.5) - 32.0) * 5.0 / 9.0);
    return static_cast<int32_t>(c);
}

void FormatBarText(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return;
    InstReading& r = G_InstReading[inst];
    const InstCfg& c = G_InstCfg[inst];
    const int32_t v = r.nValue;
    char* t = r.szText;
    switch (inst) {
    case 12:
        if (c.nMax > 210) Text8(t, "%d", v / 10);
        else Tenths(t, v);
        break;
    case kInstMainVolts: case kInstAuxVolts: Tenths(t, v); break;
    case kInstFuelFlow:
        Tenths(t, c.nUnits == 1 ? RoundTo5(static_cast<float>(ToDisplayUnits(inst, v))) : v);
        break;
    case kInstAmpsShunt: case kInstAmpsHall:
        if (c.nEnable != 0) Text8(t, "%d", RoundHalfAway(v / 10.0));
        break;
    case 16: Text8(t, "%d", v / 10); break;
    case 17: case 18: case kInstCoolTemp: Text8(t, "%d", TempText(inst, v)); break;
    default: Text8(t, "%d", v / 10); break;
    }
}

int32_t PercentOfScale(int32_t inst, int32_t value) {
    const InstCfg& c = G_InstCfg[inst];
    if (c.nMax <= c.nMin) return 0;
    const int64_t v = value < c.nMin ? c.nMin : value > c.nMax ? c.nMax : value;
    return static_cast<int32_t>((v - c.nMin) * 100 / (static_cast<int64_t>(c.nMax) - c.nMin));
}

static uint32_t ShownColour(int32_t inst) {
    const uint32_t colour = SetInstColor(inst);
    const uint32_t shown = colour == kColourGreen ? kColourWhite : colour;
    G_InstReading[inst].nColour = shown;
    return shown;
}

void DrawEngineBarGauges() {
    static constexpr int32_t kList[] = {kInstFuelFlow, 12, 17, 16, kInstMainVolts, kInstAmpsShunt,
                                        kInstAuxVolts, kInstAmpsHall, 18, kInstCoolTemp};
    const bool subaru = G_EngInfo.nEngineType == kEngSubaru4 || G_EngInfo.nEngineType == kEngSubaru6;
    const int n = G_CurPage == 9 ? 4 : 10;
    for (int i = 0; i < n; ++i) {
        const int32_t inst = kList[i];
        if ((inst == 18 || inst == kInstCoolTemp) && !subaru) continue;
        if (inst < 0 || inst >= kInstruments) continue;
        FormatBarText(inst);
        InstReading& r = G_InstReading[inst];
        if (r.bValid) {
            ShownColour(inst);
            r.nPercent = PercentOfScale(inst, r.nValue);
            DrawBarGauge(inst, 1);
        } else if (G_InstCfg[inst].nEnable != 0) {
            DrawBarGauge(inst, 2);
        }
    }
}

void DrawElectricalGauges() { DrawEngineBarGauges(); }

// ---- RPM and manifold round gauges -------------------------------------------------------------
// A 240-degree dial: coloured limit bands on the arc, ticks, the name inside
// under the hub, the value in the gap at the bottom and a needle. Template
// words: dial centre 20/21, arc radius 24, band width 25; cross box 28..31;
// needle length 32, hub radius 33; major and minor tick lengths 40, 41;
// name 60..62, value 65..67 (x centre, y, font). Scale words: 2 MIN, 3 MAX,
// 4 angle at MIN and 5 sweep (tenths of a degree, counter-clockwise from
// the right, the value turning clockwise).

static constexpr int32_t kDialStart = 2100, kDialSweep = 2400;

static void CopyDialTemplate(int32_t inst) {
    W(inst, 20) = 58; W(inst, 21) = 50;
    W(inst, 24) = 40; W(inst, 25) = 5;
    W(inst, 28) = 15; W(inst, 29) = 7; W(inst, 30) = 101; W(inst, 31) = 93;
    W(inst, 32) = 31; W(inst, 33) = 4;
    W(inst, 40) = 8; W(inst, 41) = 4;
    W(inst, 60) = 58; W(inst, 61) = 57; W(inst, 62) = 4;
    W(inst, 65) = 58; W(inst, 66) = 76; W(inst, 67) = 10;
}

int32_t DialAngle(int32_t inst, int32_t value) {
    const int64_t lo = W(inst, 2), hi = W(inst, 3);
    if (hi <= lo) return W(inst, 4);
    const int64_t v = value < lo ? lo : value > hi ? hi : value;
    return W(inst, 4) - static_cast<int32_t>((v - lo) * W(inst, 5) / (hi - lo));
}

// A point at a radius and angle (tenths of a degree) from the dial centre.
static GUI_Point DialPoint(int32_t inst, int32_t radius, int32_t angle, int32_t rowOffset) {
    int32_t a = angle % kTrigSteps;
    if (a < 0) a += kTrigSteps;
    const int64_t dx = static_cast<int64_t>(radius) * CosTab10[a];
    const int64_t dy = static_cast<int64_t>(radius) * SinTab10[a];
    const int64_t half = kTrigOne / 2;
    return {static_cast<int16_t>(W(inst, 20) + (dx >= 0 ? (dx + half) >> 18 : -((-dx + half) >> 18))),
            static_cast<int16_t>(W(inst, 21) + rowOffset - (dy >= 0 ? (dy + half) >> 18 : -((-dy + half) >> 18)))};
}

// Coloured arc from value lo to value hi, clipped to the scale.
static void DialBand(int32_t inst, uint32_t colour, int32_t lo, int32_t hi) {
    if (lo < W(inst, 2)) lo = W(inst, 2);
    if (hi > W(inst, 3)) hi = W(inst, 3);
    if (hi <= lo) return;
    const int32_t a0 = DialAngle(inst, hi), a1 = DialAngle(inst, lo);
    const uint8_t pen = GUI_SetPenSize(static_cast<uint8_t>(W(inst, 25)));
    SetDrawColor(colour);
    GUI_DrawArc(W(inst, 20), W(inst, 21) + kBackgroundRow, W(inst, 24), W(inst, 24), (a0 + 5) / 10, (a1 + 5) / 10);
    GUI_SetPenSize(pen);
}

// Bands from the limits: the common rule's red, yellow, green, yellow, red;
// RPM has green below and above its yellow mid band (RED_LOW..YELLOW_LOW).
static void DialBands(int32_t inst) {
    const InstCfg& c = G_InstCfg[inst];
    if (inst == kInstRpm) {
        DialBand(inst, kColourGreen, c.nMin, c.nRedLow);
        DialBand(inst, kColourYellow, c.nRedLow, c.nYellowLow);
        DialBand(inst, kColourGreen, c.nYellowLow > c.nRedLow ? c.nYellowLow : c.nMin, c.nYellowHigh);
    } else {
        if (c.nRedLow != c.nMin) DialBand(inst, kColourRed, c.nMin, c.nRedLow);
        DialBand(inst, kColourYellow, c.nRedLow, c.nYellowLow);
        DialBand(inst, kColourGreen, c.nYellowLow, c.nYellowHigh);
    }
    DialBand(inst, kColourYellow, c.nYellowHigh, c.nRedHigh);
    DialBand(inst, kColourRed, c.nRedHigh, c.nMax);
}

static void DialTicks(int32_t inst) {
    SetDrawColor(kPalWhite);
    const int32_t outer = W(inst, 24) + W(inst, 25) / 2;
    for (int k = 0; k <= 10; ++k) {
        const int32_t angle = W(inst, 4) - W(inst, 5) * k / 10;
        const int32_t length = k % 2 == 0 ? W(inst, 40) : W(inst, 41);
        const GUI_Point p0 = DialPoint(inst, outer, angle, kBackgroundRow);
        const GUI_Point p1 = DialPoint(inst, outer - length, angle, kBackgroundRow);
        GUI_DrawLine(p0.x, p0.y, p1.x, p1.y);
    }
}

void DrawManifoldGauge(int32_t inst) {
    if (inst != kInstRpm && inst != kInstManifold) return;
    GaugeLayout& g = G_GaugeLayout[inst];
    std::memset(g.nElem, 0, sizeof g.nElem);
    GaugePosition(inst, static_cast<int32_t>(G_EngLayoutIdx), &g.nOrigin[0], &g.nOrigin[1]);
    const InstCfg& c = G_InstCfg[inst];
    W(inst, 2) = c.nMin;
    W(inst, 3) = c.nMax;
    W(inst, 4) = kDialStart;
    W(inst, 5) = kDialSweep;
    CopyDialTemplate(inst);
    if (G_EngLayoutIdx == 1) ScaleGaugeLayout(inst, 150.0f);
    OffsetGaugeLayout(inst);
    if (c.nEnable == 0) return;
    DialBands(inst);
    DialTicks(inst);
    DrawTextF(kColourWhite, W(inst, 62), 16, W(inst, 60), W(inst, 61) + kBackgroundRow - PageY(), "%s",
              inst == kInstRpm ? "RPM" : "MAP");
}

static void DrawDialNeedle(int32_t inst, int32_t value) {
    const int32_t angle = DialAngle(inst, value), py = PageY();
    const int32_t length = W(inst, 32), hub = W(inst, 33);
    const GUI_Point tip = DialPoint(inst, length, angle, py);
    const GUI_Point side1 = DialPoint(inst, hub, angle + 900, py);
    const GUI_Point tail = DialPoint(inst, hub + 2, angle + 1800, py);
    const GUI_Point side2 = DialPoint(inst, hub, angle - 900, py);
    const GUI_Point needle[4] = {tip, side1, tail, side2};
    SetDrawColor(kPalWhite);
    GUI_FillPolygon(needle, 4, 0, 0);
    GUI_FillCircle(W(inst, 20), W(inst, 21) + py, hub);
}

static void DrawDial(int32_t inst) {
    if (G_InstCfg[inst].nEnable == 0) return;
    InstReading& r = G_InstReading[inst];
    if (!r.bValid) {
        Cross(W(inst, 28), W(inst, 29) + PageY(), W(inst, 30), W(inst, 31) + PageY());
        return;
    }
    const int32_t value = r.nValue;   // the reading is packed: copy before use
    if (inst == kInstRpm) Text8(r.szText, "%d", RoundHalfAway(value / 10.0));
    else Tenths(r.szText, value);
    r.nPercent = PercentOfScale(inst, value);
    const uint32_t colour = SetInstColor(inst);
    DrawDialNeedle(inst, value);
    DrawTextF(colour, W(inst, 67), 16, W(inst, 65), W(inst, 66), "%s", r.szText);
}

void DrawRpmGauge() {
    DrawDial(kInstManifold);
    DrawDial(kInstRpm);
}

// ---- tanks -----------------------------------------------------------------------------------
// TANK_1 and TANK_2: outline 20..23, fill area 28..31, text slots 60..62 and
// 65..67. TANK_3 and TANK_4 use their origin only. The bars are short and the
// values small so that bars, values and the group label fit between the
// tanks' row and the fuel-computer box below them, and the two values stay
// apart at the 25-pixel spacing of the normal layout.

static bool SixEgtNormal() { return G_EngInfo.nEgtCount >= 6 && G_EngLayoutIdx == 0; }

void LayoutTankGauge(int32_t inst) {
    if (inst < kInstTank1 || inst > kInstTank4) return;
    GaugeLayout& g = G_GaugeLayout[inst];
    std::memset(g.nElem, 0, sizeof g.nElem);
    GaugePosition(inst, static_cast<int32_t>(G_EngLayoutIdx), &g.nOrigin[0], &g.nOrigin[1]);
    if (inst > 20) return;
    if (SixEgtNormal()) g.nOrigin[0] -= 10;
    W(inst, 20) = 0; W(inst, 21) = 0; W(inst, 22) = 20; W(inst, 23) = 40;
    W(inst, 28) = 1; W(inst, 29) = 1; W(inst, 30) = 19; W(inst, 31) = 39;
    W(inst, 60) = 10; W(inst, 61) = 42; W(inst, 62) = 2;
    W(inst, 65) = 10; W(inst, 66) = 42; W(inst, 67) = 4;
    if (G_EngLayoutIdx == 1) {
        ScaleGaugeLayout(inst, 150.0f);
        W(inst, 28) -= 1;
        W(inst, 30) += 1;
    }
    OffsetGaugeLayout(inst);
}

static void TankText(int32_t inst) {
    InstReading& r = G_InstReading[inst];
    const InstCfg& c = G_InstCfg[inst];
    if (!r.bValid) {
        snprintf(r.szText, 8, " ");
        r.nPercent = 0;
        return;
    }
    const int32_t value = r.nValue;   // the reading is packed: copy before comparing
    int32_t level = value > c.nMax ? c.nMax : value;
    if (r.nValue2 != 1 && level < 0) level = 0;
    const int32_t shown = ToDisplayUnits(inst, level);
    if (inst >= 21) Text8(r.szText, "%d", shown / 10);
    else if (r.nValue2 == 1 && level < c.nMax) Text8(r.szText, "%d+", shown / 10);
    else Tenths(r.szText, shown);
    SetInstColor(inst);
    // The percent comes from the stored unit, whatever the display unit.
    r.nPercent = PercentOfScale(inst, level);
}

static void DrawBigTank(int32_t inst) {
    const InstReading& r = G_InstReading[inst];
    const int32_t other = inst == kInstTank1 ? 20 : kInstTank1;
    int32_t dx = 0;
    if (G_InstCfg[other].nEnable == 0) dx = (W(20, 0) - W(kInstTank1, 0)) / 2 * (inst == kInstTank1 ? 1 : -1);
    const int32_t py = PageY();
    const int32_t x0 = W(inst, 20) + dx, y0 = W(inst, 21) + py, x1 = W(inst, 22) + dx, y1 = W(inst, 23) + py;
    Frame(31, x0, y0, x1, y1);
    if (!r.bValid) {
        Cross(x0, y0, x1, y1);
        return;
    }
    const int32_t fx0 = W(inst, 28) + dx, fy0 = W(inst, 29) + py, fx1 = W(inst, 30) + dx, fy1 = W(inst, 31) + py;
    const int32_t level = fy1 - (fy1 - fy0 + 1) * r.nPercent / 100;
    Fill(r.nValue2 == 1 ? kPalGreen : kPalBlack, fx0, fy0, fx1, level);
    Fill(r.nColour, fx0, level + 1, fx1, fy1);
    SetDrawColor(31);
    for (int k = 1; k <= 3; ++k) {
        const int32_t y = fy1 - (fy1 - fy0) * k / 4;
        GUI_DrawHLine(y, x0, x0 + 3);
    }
    const bool l = Large();
    const int32_t s = l ? 65 : 60;
    const uint32_t colour = r.nColour;
    DrawTextF(colour == kColourGreen ? kColourWhite : colour, W(inst, s + 2), 16, W(inst, s) + dx,
              W(inst, s + 1), "%s", r.szText);
}

static void DrawSmallTank(int32_t inst) {
    const InstReading& r = G_InstReading[inst];
    int32_t x = W(inst, 0);
    const int32_t y = W(inst, 1) + PageY();
    if (SixEgtNormal()) {
        if (G_InstCfg[kInstTank1].nEnable != 0 && G_InstCfg[20].nEnable != 0) return;
        if (inst == kInstTank4) x -= 18;
    }
    Frame(31, x, y, x + 7, y + 30);
    if (!r.bValid) {
        Cross(x, y, x + 7, y + 30);
        return;
    }
    Fill(r.nValue2 == 1 ? kPalGreen : kPalBlack, x + 1, y + 1, x + 6, y + 29);
    const int32_t h = 28 * r.nPercent / 100;
    Fill(r.nColour, x + 1, y + 29 - h, x + 6, y + 29);
    DrawTextF(31, 3, 4, x + 4, W(inst, 1) + 33, "%s", r.szText);
}

void DrawTankGauges() {
    bool all = true;
    for (int32_t t = kInstTank1; t <= kInstTank4; ++t) all = all && G_InstCfg[t].nEnable != 0;
    for (int32_t t = kInstTank1; t <= kInstTank4; ++t) {
        if (all && SixEgtNormal() && t >= 21) G_InstReading[t].bValid = 0;
        TankText(t);
        if (G_InstCfg[t].nEnable == 0) continue;
        if (t <= 20) DrawBigTank(t);
        else DrawSmallTank(t);
    }
}

// ---- fuel computer box ------------------------------------------------------------------------

void LayoutFuelComputer() {
    GaugeLayout& g = G_GaugeLayout[kInstFuelComp];
    GaugePosition(kInstFuelComp, static_cast<int32_t>(G_EngLayoutIdx), &g.nOrigin[0], &g.nOrigin[1]);
    RefreshFuelCompReading();
}
