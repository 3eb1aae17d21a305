// EGT, TIT and CHT cylinder group: the engine view (two banks of segmented
// cells), the bar view (one column per cylinder) with their lean forms, and
// the radial view of the nine-cylinder engine.
#include "engine/cylinder.h"

#include <cmath>
#include <cstdio>

#include "core/irq.h"
#include "core/util.h"
#include "engine/engine.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "engine/lean.h"
#include "gui/gui.h"
#include "storage/nvram.h"
#include "ui/style.h"

constexpr int32_t kBackgroundRow = 960;
constexpr int32_t kCellW = 33, kCellH = 15;
constexpr uint32_t kPalRed = 2, kPalPeak = 8, kPalWhite = 31;

static int32_t PageY() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
static bool Large() { return G_EngLayoutIdx != 0; }
static int32_t Ox() { return G_GaugeLayout[kInstEgt1].nOrigin[0]; }
static int32_t Oy() { return G_GaugeLayout[kInstEgt1].nOrigin[1]; }
static bool EngineView() { return NvGetU32(kNvCylGaugeType) != 0; }

static int32_t RoundHalfAway(double v) {
    const double r = v < 0 ? std::ceil(v - 0.5) : std::floor(v + 0.5);
    if (!(r == r) || r > 2e9 || r < -2e9) return 0;
    return static_cast<int32_t>(r);
}

// Whole degrees Fahrenheit in the probe's chosen unit.
static int32_t InUnits(int32_t inst, int32_t degrees) {
    if (G_InstCfg[inst].nUnits != 1) return degrees;
    return RoundHalfAway(static_cast<float>((degrees - 32) * 5.0 / 9.0));
}

static int32_t ShownValue(int32_t inst) { return InUnits(inst, RoundHalfAway(G_InstReading[inst].nValue / 10.0)); }

static void Cross(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    const uint8_t pen = GUI_SetPenSize(2);
    SetDrawColor(kPalRed);
    GUI_DrawLine(x0, y0, x1, y1);
    GUI_DrawLine(x0, y1, x1, y0);
    GUI_SetPenSize(pen);
}

static uint32_t Shown(uint32_t colour) { return colour == kColourGreen ? kColourWhite : colour; }

// ---- layout -------------------------------------------------------------------------------------

void LayoutCylinderGauges() {
    // The views without the engine picture force the bar view.
    if (G_EngInfo.nEngineType == kEngM14 || G_EngInfo.nTitCount != 0) NvSetU32(kNvCylGaugeType, 0);
    const int32_t layout = static_cast<int32_t>(G_EngLayoutIdx);
    int32_t t1x = 0, t3x = 0, y = 0;
    GaugePosition(kInstTank1, layout, &t1x, &y);
    GaugePosition(21, layout, &t3x, &y);
    int32_t n1 = 0, n3 = 0;
    GaugePosition(kInstTank1, 0, &n1, &y);
    GaugePosition(21, 0, &n3, &y);
    int32_t shift = 0;
    if (EngineView()) shift = layout ? 2 * (t1x - t3x) : (n1 - n3);
    else if (G_EngInfo.nEgtCount >= 6 && layout == 0) shift = -2 * (n1 - n3);
    for (int32_t inst = kInstEgt1; inst <= kInstCht6; ++inst) {
        GaugeLayout& g = G_GaugeLayout[inst];
        GaugePosition(inst, layout, &g.nOrigin[0], &g.nOrigin[1]);
        g.nOrigin[0] += shift;
        const InstCfg& c = G_InstCfg[inst];
        g.nScale[3] = c.nUnits;
        g.nScale[4] = c.nEnable;
        g.nScale[5] = 10;
        const int64_t span = static_cast<int64_t>(c.nMax) - c.nMin;
        g.nScale[2] = span > INT32_MAX ? INT32_MAX : span < INT32_MIN ? INT32_MIN : static_cast<int32_t>(span);
        g.nScale[6] = RoundHalfAway(static_cast<double>(span) / 5.0);
    }
}

// ---- engine view --------------------------------------------------------------------------------

// The large layout's bars are 16 rows high (normal 13): its cells grow to
// hold them with the normal layout's one-row margin below.
static int32_t BarHeight() { return Large() ? 16 : 13; }
static int32_t CellHeight() { return Large() ? BarHeight() + 2 : kCellH; }

struct CellPos {
    int16_t bx, by, tx, ty;
};
static constexpr CellPos kSix[2][6] = {
    {{89, 22, 126, 22}, {35, 26, 0, 26}, {89, 58, 126, 58}, {35, 62, 0, 62}, {89, 94, 126, 94}, {35, 98, 0, 98}},
    {{135, 14, 200, 14}, {60, 18, 0, 18}, {135, 74, 200, 74}, {60, 78, 0, 78}, {135, 134, 200, 134},
     {60, 138, 0, 138}},
};
static constexpr CellPos kFour[2][4] = {
    {{89, 40, 126, 40}, {35, 44, 0, 44}, {89, 76, 126, 76}, {35, 80, 0, 80}},
    {{135, 14, 200, 14}, {60, 18, 0, 18}, {135, 74, 200, 74}, {60, 78, 0, 78}},
};

// Cell of a probe; false when the table has no row for it.
static bool CellOf(int32_t inst, CellPos* out) {
    const bool cht = inst >= kInstCht1;
    const int32_t cyl = inst - (cht ? kInstCht1 : kInstEgt1);
    const int32_t count = cht ? G_EngInfo.nChtCount : G_EngInfo.nEgtCount;
    const int l = Large() ? 1 : 0;
    CellPos p;
    if (count >= 6) {
        if (cyl > 5) return false;
        p = kSix[l][cyl];
    } else {
        if (cyl > 3) return false;
        p = kFour[l][cyl];
    }
    if (cht) {
        p.by = static_cast<int16_t>(p.by - (l ? 24 : 15));
        p.ty = static_cast<int16_t>(p.ty - (l ? 24 : 15));
    }
    *out = p;
    return true;
}

int32_t EngineViewSegments(int32_t value, int32_t base, bool roundUp) {
    if (value <= base) return 0;
    const int32_t d = value - base;
    return d / 25 + (roundUp && d % 25 > 12 ? 1 : 0);
}

static void DrawSegments(int32_t x, int32_t y, bool right, int32_t s, uint32_t colour) {
    int32_t b = s / 4, r = s % 4;
    if (b > 5) {
        b = 6;
        r = 0;
    }
    const int32_t top = y + 2, bottom = y + BarHeight();
    SetDrawColor(colour);
    auto line = [&](int32_t off) {
        const int32_t lx = right ? x + off : x + 31 - off;
        GUI_DrawVLine(lx, top, bottom);
    };
    for (int32_t k = 0; k < b; ++k)
        for (int32_t j = 0; j < 4; ++j) line(k * 5 + j);
    static constexpr int32_t kPartial[4][3] = {{0, 0, 0}, {1, 0, 0}, {1, 3, 0}, {1, 3, 5}};
    for (int32_t j = 0; j < r; ++j) line(b * 5 + kPartial[r][j] - 1);
}

static void DrawEngStyle(int32_t inst, bool lean) {
    CellPos c;
    if (!CellOf(inst, &c)) return;
    InstReading& r = G_InstReading[inst];
    const int32_t py = PageY();
    const int32_t x = Ox() + c.bx, y = Oy() + c.by + py;
    const bool right = (inst - (inst >= kInstCht1 ? kInstCht1 : kInstEgt1)) % 2 == 0;
    const bool stale = G_EngFresh < 1;
    if (r.bValid) {
        SetDrawColor(0);
        GUI_FillRect(x + 1, y + 1, x + kCellW - 2, y + CellHeight() - 2);
        const int32_t base = inst >= kInstCht1 ? 0 : 1000;
        const int32_t n = RoundHalfAway(r.nValue / 10.0);
        const uint32_t colour = SetInstColor(inst);
        DrawSegments(x, y, right, EngineViewSegments(n, base, !lean), colour);
        snprintf(r.szText, 8, "%d", static_cast<int>(ShownValue(inst)));
        if (lean && inst <= kInstEgt6) DetectEgtPeak(inst, RoundedEgt(r.nValue), 0);
    } else {
        if (stale) Cross(x, y, x + kCellW - 1, y + CellHeight() - 1);
        snprintf(r.szText, 8, "%s", stale ? "   " : "---");
    }
    // Left-bank values end 2 pixels before their cell, clear of the fuel box.
    const int32_t tx = right ? Ox() + c.tx + 2 : Ox() + c.bx - 2;
    DrawTextF(Shown(r.nColour), Large() ? 9 : 6, right ? 21 : 23, tx, Oy() + c.ty + 7, "%s", r.szText);
    if (lean && r.bValid && inst <= kInstEgt6) {
        const EgtPeak& p = G_EgtPeak[inst - kInstEgt1];
        const int32_t rowY = Oy() + c.ty - (Large() ? 24 : 15) + 7;
        char peak[8], drop[8];
        FormatPeakText(inst, peak, sizeof peak);
        DrawTextF(Shown(p.peakColour), Large() ? 9 : 6, right ? 21 : 23, tx, rowY, "%s", peak);
        // 33 pixels further out the text would land on the fuel box and the
        // fuel gauges: it stands in the cylinder's CHT cell, free in lean mode.
        FormatDropText(inst, drop, sizeof drop);
        const int32_t dropY = Oy() + c.by - (Large() ? 24 : 15) + CellHeight() / 2;
        DrawTextF(kColourWhite, Large() ? 9 : 6, 22, Ox() + c.bx + kCellW / 2, dropY, "%s", drop);
    }
}

// ---- bar view ------------------------------------------------------------------------------------

struct BarArea {
    int32_t x, y, w, h, margin, length, half, markerHalf, font;
};
// Room the tanks give up for six EGT columns in the normal layout.
static int32_t SixColumnWidening() {
    if (G_EngInfo.nEgtCount < 6 || Large()) return 0;
    int32_t n1 = 0, n3 = 0, y = 0;
    GaugePosition(kInstTank1, 0, &n1, &y);
    GaugePosition(21, 0, &n3, &y);
    return 2 * (n1 - n3);
}

static BarArea Area() {
    BarArea a{};
    const bool l = Large();
    a.x = Ox();
    a.y = Oy();
    // With six EGTs the area moves left by the tanks' room and grows by it,
    // keeping its right edge; scale and columns use the grown width.
    a.w = (l ? 320 : 168) + SixColumnWidening();
    a.h = l ? 161 : 119;
    a.margin = RoundHalfAway(a.h / 7.0);
    a.length = l ? 115 : 85;
    a.half = l ? 4 : 3;
    a.markerHalf = l ? 3 : 2;
    a.font = G_EngInfo.nEgtCount >= 6 ? (l ? 9 : 3) : (l ? 11 : 6);
    return a;
}

// Width W over which the columns stand symmetrically from the area's x.
static int32_t ColumnSpan(const BarArea& a) {
    if (G_EngInfo.nEgtCount == 4 && G_EngInfo.nTitCount != 0 && Large()) return a.w - 10;
    return a.w + 10;
}

static int32_t ColumnX(int32_t inst, const BarArea& a) {
    int32_t W = ColumnSpan(a);
    const bool l = Large();
    if (inst == kInstTit1 || inst == kInstTit2) {
        if (G_EngInfo.nEgtCount == 4) W += l ? 20 : 10;
        return a.x + W - (inst == kInstTit1 ? (l ? 28 : 13) : (l ? 20 : 5));
    }
    const int32_t cyl = inst - (inst >= kInstCht1 ? kInstCht1 : kInstEgt1);
    if (G_EngInfo.nEgtCount >= 6) {
        const int32_t p = (W - W / 4) / 12;
        static constexpr int32_t k[6] = {1, 3, 5, 5, 3, 1};
        return cyl < 3 ? a.x + W / 8 + k[cyl] * p : a.x + W - W / 8 - k[cyl] * p;
    }
    const int32_t p = (W - W / 4) / 8;
    if (G_EngInfo.nEgtCount == 2) return cyl == 0 ? a.x + W / 8 + p : a.x + W - W / 8 - p;
    static constexpr int32_t k[4] = {1, 3, 3, 1};
    return cyl < 2 ? a.x + W / 8 + k[cyl & 3] * p : a.x + W - W / 8 - k[cyl & 3] * p;
}

void SpreadCentres(const int32_t* x, int32_t n, int32_t pitch, int32_t* out) {
    // Clusters of touching texts, each placed evenly at its members' mean
    // offset; a cluster that then reaches the one before it joins it.
    constexpr int32_t kMax = 16;
    int32_t first[kMax], count[kMax], start[kMax];
    int32_t clusters = 0;
    if (n > kMax) n = kMax;
    for (int32_t i = 0; i < n; ++i) {
        first[clusters] = i;
        count[clusters] = 1;
        start[clusters] = x[i];
        ++clusters;
        while (clusters > 1) {
            const int32_t c = clusters - 1;
            if (start[c - 1] + count[c - 1] * pitch <= start[c]) break;
            count[c - 1] += count[c];
            --clusters;
            int64_t sum = 0;
            for (int32_t k = 0; k < count[c - 1]; ++k) sum += x[first[c - 1] + k] - k * pitch;
            const int64_t m = count[c - 1];
            start[c - 1] = static_cast<int32_t>(sum >= 0 ? (sum + m / 2) / m : -((-sum + m / 2) / m));
        }
    }
    for (int32_t c = 0; c < clusters; ++c)
        for (int32_t k = 0; k < count[c]; ++k) out[first[c] + k] = start[c] + k * pitch;
}

// Rows of the EGT values over the bar view: with six cylinders in the normal
// layout neighbouring columns alternate between two rows.
static bool Staggered() { return G_EngInfo.nEgtCount >= 6 && !Large(); }
static int32_t TextRow(int32_t cyl) { return Staggered() ? cyl % 2 : 0; }

static bool TitColumnShown() {
    return G_EngInfo.nEngineType != kEngM14 && G_EngInfo.nTitCount > 0 && G_InstCfg[kInstTit1].nEnable != 0;
}
static bool SecondTitShown() { return G_EngInfo.nTitCount > 1 && G_InstCfg[kInstTit2].nEnable != 0; }
static int32_t TitTextX(const BarArea& a) {
    const int32_t x1 = ColumnX(kInstTit1, a);
    return SecondTitShown() ? (x1 + ColumnX(kInstTit2, a)) / 2 : x1;
}

// Centre of an EGT value over the bar view: at its column, pushed apart from
// its neighbours just enough that four-digit values do not touch (on two
// rows, that neighbours do not overlap).
static int32_t BarTextX(int32_t cyl, const BarArea& a, int32_t leftBound = INT32_MIN) {
    constexpr int32_t kGap = 4;
    int32_t x[8], out[8], index = -1, n = 0;
    const int32_t cylinders = G_EngInfo.nEgtCount < 6 ? G_EngInfo.nEgtCount : 6;
    for (int32_t c = 0; c < cylinders; ++c) {
        if (G_InstCfg[kInstEgt1 + c].nEnable == 0) continue;
        if (c == cyl) index = n;
        x[n++] = ColumnX(kInstEgt1 + c, a);
    }
    // The TIT values share the row: they take part in the spreading.
    // Both TIT columns show the higher TIT: one value, centred between them.
    if (TitColumnShown() && n < 8) {
        if (cyl == kInstTit1 - kInstEgt1 || cyl == kInstTit2 - kInstEgt1) index = n;
        x[n++] = TitTextX(a);
    }
    if (index < 0) return ColumnX(kInstEgt1 + cyl, a);
    const int32_t pitch = TextWidth(a.font, "0000") + (Staggered() ? 0 : kGap);
    SpreadCentres(x, n, pitch, out);
    // A row that runs beside the fuel box starts clear of it: the whole row
    // moves, or on two rows only the texts that reach the box (their
    // neighbours on the same row are two columns away).
    const int64_t bound = static_cast<int64_t>(leftBound) + pitch / 2;
    if (Staggered()) return out[index] < bound ? static_cast<int32_t>(bound) : out[index];
    const int64_t shift = bound - out[0];
    return out[index] + (shift > 0 ? static_cast<int32_t>(shift) : 0);
}

// Right end of the fuel box's widest text, for the lean rows at the area's
// bottom in the normal layout; the area's own x otherwise.
static int32_t LeanRowLeft(const BarArea& a) {
    if (Large() || G_InstCfg[kInstFuelComp].nEnable == 0) return a.x;
    const int32_t x = GaugeWord(kInstFuelComp, 0);
    int32_t w = 0;
    for (const char* label : {"GAL USED", "LTR USED", "GAL REM", "LTR REM"}) {
        const int32_t t = TextWidth(4, label);
        w = t > w ? t : w;
    }
    return x + w + 3;
}

static int32_t ChtTextY(const BarArea& a) { return a.y + a.h - a.margin + 4; }
// The lower row ends above the top scale line.
static int32_t EgtTextY(int32_t cyl, const BarArea& a) { return a.y + (Staggered() ? 8 * TextRow(cyl) : 1); }

static int32_t BarPercent(int32_t inst, int32_t value) {
    const InstCfg& c = G_InstCfg[inst];
    if (c.nMax <= c.nMin) return 0;
    const float f = std::round(static_cast<float>(static_cast<int64_t>(value) - c.nMin) * 100.0f /
                               static_cast<float>(static_cast<int64_t>(c.nMax) - c.nMin));
    if (!(f == f) || f < 0) return 0;
    return f > 100 ? 100 : static_cast<int32_t>(f);
}

static void DrawBarStyle(int32_t inst, bool lean) {
    const bool cht = inst >= kInstCht1;
    const int32_t cyl = inst - (cht ? kInstCht1 : kInstEgt1);
    if (!cht && inst < kInstTit1 && cyl >= G_EngInfo.nEgtCount) return;
    if (cht && cyl >= G_EngInfo.nChtCount) return;
    const BarArea a = Area();
    const int32_t py = PageY();
    InstReading& r = G_InstReading[inst];
    const int32_t x = ColumnX(inst, a);
    const int32_t bottom = a.y + a.margin + a.length + py;
    const bool fresh = G_EngFresh >= 1;
    int32_t src = inst;
    if ((inst == kInstTit1 || inst == kInstTit2) && !lean) {
        const int32_t other = inst == kInstTit1 ? kInstTit2 : kInstTit1;
        if (G_InstReading[other].bValid && G_InstReading[other].nValue > r.nValue) src = other;
    }
    const InstReading& s = G_InstReading[src];
    if (!s.bValid) {
        // "---" at the probe's own value place: CHTs under the columns.
        const bool egt = !cht && inst <= kInstEgt6;
        const int32_t ty = cht ? ChtTextY(a) : EgtTextY(egt ? cyl : 0, a);
        if (fresh) DrawTextF(kColourWhite, a.font, 16, egt ? BarTextX(cyl, a) : x, ty, "---");
        else Cross(x - a.half, a.y + a.margin + py, x + a.half, bottom);
        return;
    }
    const int32_t value = s.nValue;
    r.nPercent = BarPercent(inst, value);
    const int32_t top = bottom - RoundHalfAway(a.length * r.nPercent / 100.0);
    const uint32_t colour = SetInstColor(src);
    snprintf(r.szText, 8, "%d", static_cast<int>(ShownValue(src)));
    if (!cht) {
        SetDrawColor(colour);
        GUI_FillRect(x - a.half, top, x + a.half, bottom);
        if (lean && inst <= kInstEgt6) {
            DetectEgtPeak(inst, RoundedEgt(value), top - py);
            const EgtPeak& p = G_EgtPeak[cyl];
            if (p.peakY >= a.y + a.margin && p.peakY <= a.y + a.margin + a.length) {
                SetDrawColor(p.peakColour);
                GUI_FillRect(x - a.half - 1, p.peakY + py, x + a.half + 1, p.peakY + py + 1);
            }
            // Texts at their spread column places; the current values at the
            // bottom keep clear of the fuel box, and with six cylinders the
            // value rows stagger.
            const int32_t off = G_EngInfo.nEgtCount >= 6 && cyl % 2 ? -7 : 0;
            const int32_t tx = BarTextX(cyl, a), lowX = BarTextX(cyl, a, LeanRowLeft(a));
            DrawTextF(Shown(colour), a.font, 25, lowX, a.y + a.h + off + 1, "%s", r.szText);
            char peak[8], drop[8];
            const bool celsius = G_InstCfg[inst].nUnits == 1;
            FormatPeakText(inst, peak, sizeof peak);
            DrawTextF(Shown(celsius ? colour : p.peakColour), a.font, 19, tx, a.y + (off < 0 ? -off : off) - 1, "%s",
                      peak);
            FormatDropText(inst, drop, sizeof drop);
            // Low in the area the drop texts would stand on the bars; under the
            // top scale line they stay clear of bars short of the red range.
            DrawTextF(celsius ? Shown(colour) : kColourWhite, a.font, 19, tx, a.y + a.margin + 2, "%s", drop);
        } else if (inst != kInstTit2 || !TitColumnShown()) {
            DrawTextF(Shown(colour), a.font, 16, BarTextX(cyl, a), EgtTextY(cyl, a), "%s", r.szText);
        }
        return;
    }
    if (lean && r.nPercent <= 20) return;
    const int32_t m = 2 * a.half + 2;
    SetDrawColor(Shown(colour));
    GUI_FillRect(x - m, top - a.markerHalf, x + m, top + a.markerHalf);
    SetDrawColor(0);
    GUI_DrawRect(x - m, top - a.markerHalf, x + m, top + a.markerHalf);
    if (!lean) DrawTextF(Shown(colour), a.font, 16, x, ChtTextY(a), "%s", r.szText);
}

// ---- scale labels --------------------------------------------------------------------------------
// EGT scale values stand left-aligned at the area's x, CHT values
// right-aligned at its right end; the scale lines and the radial's columns
// keep clear of both.

static int32_t ScaleFont() { return Large() ? 8 : 4; }
int32_t CylinderScaleValue(int32_t inst, int32_t k) {
    const int64_t v = G_InstCfg[inst].nMax / 10 - static_cast<int64_t>(k) * G_GaugeLayout[inst].nScale[6] / 10;
    return InUnits(inst, static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v));
}

// Right end of the CHT scale values: in the normal layout the columns' span
// reaches 10 pixels past the area and the values stand there, clear of the
// last column; in the large layout the area's edge leaves room enough, and
// past it the fuel-flow gauge's wide value begins.
static int32_t ScaleEnd(const BarArea& a) { return a.x + a.w + (Large() ? 0 : 10); }
// With a TIT column at the area's right end the values stand left of it;
// the "CHT" label under the columns keeps the end.
static int32_t ScaleRight(const BarArea& a) {
    if (TitColumnShown()) return ColumnX(kInstTit1, a) - a.half - 4;
    return ScaleEnd(a);
}

// Widest label on each side of the scale.
static void ScaleLabelWidths(int32_t* left, int32_t* right) {
    char text[16];
    *left = TextWidth(ScaleFont(), "EGT");
    *right = TextWidth(ScaleFont(), "CHT");
    for (int32_t k = 0; k < 5; ++k) {
        snprintf(text, sizeof text, "%d", static_cast<int>(CylinderScaleValue(kInstEgt1, k)));
        const int32_t l = TextWidth(ScaleFont(), text);
        snprintf(text, sizeof text, "%d", static_cast<int>(CylinderScaleValue(kInstCht1, k)));
        const int32_t r = TextWidth(ScaleFont(), text);
        if (l > *left) *left = l;
        if (r > *right) *right = r;
    }
}

// ---- radial view ---------------------------------------------------------------------------------

static void DrawRadial(int32_t inst, int32_t slot, bool cht) {
    const BarArea a = Area();
    static constexpr int32_t kEgtEighths[9] = {0, 1, 2, 3, 4, 5, 6, 7, 8};
    static constexpr int32_t kChtEighths[5] = {0, 2, 4, 6, 8};
    // The columns spread over the part of the area between the scale values,
    // far enough in that a CHT marker (6 pixels each side) stays off them.
    constexpr int32_t kMarkerHalf = 6, kGap = 3;
    int32_t wl = 0, wr = 0;
    ScaleLabelWidths(&wl, &wr);
    const int32_t x0 = a.x + wl + kGap + kMarkerHalf, x1 = ScaleRight(a) - wr - kGap - kMarkerHalf;
    const int32_t x = x0 + (x1 - x0) * (cht ? kChtEighths[slot] : kEgtEighths[slot]) / 8;
    const int32_t py = PageY();
    const int32_t bottom = a.y + a.margin + a.length + py;
    InstReading& r = G_InstReading[inst];
    if (!r.bValid) {
        if (cht) return;
        if (inst == G_EngInfo.nHotEgt) DrawTextF(kColourWhite, 4, 15, a.x, a.y + 2, "HI: ---");
        if (inst == G_EngInfo.nEgtSel) DrawTextF(kColourWhite, 4, 15, a.x + a.w / 2, a.y + 2, "LO: ---");
        return;
    }
    r.nPercent = BarPercent(inst, r.nValue);
    const int32_t top = bottom - RoundHalfAway(a.length * r.nPercent / 100.0);
    const uint32_t colour = SetInstColor(inst);
    if (cht) {
        SetDrawColor(Shown(colour));
        GUI_FillRect(x - kMarkerHalf, top - 2, x + kMarkerHalf, top + 2);
        return;
    }
    SetDrawColor(colour);
    GUI_FillRect(x - 3, top, x + 3, bottom);
    const int32_t value = ShownValue(inst);
    if (inst == G_EngInfo.nHotEgt) DrawTextF(kColourWhite, 4, 15, a.x, a.y + 2, "HI: %d", static_cast<int>(value));
    if (inst == G_EngInfo.nEgtSel) {
        DrawTextF(kColourWhite, 4, 15, a.x + a.w / 2, a.y + 2, "LO: %d", static_cast<int>(value));
        SetDrawColor(8);
        for (int32_t y = bottom - 6; y > top; y -= 6) GUI_DrawHLine(y, x - 3, x + 3);
    }
}

// ---- background and dispatch ------------------------------------------------------------------------

void DrawCylinderBackground() {
    const int32_t bg = kBackgroundRow;
    if (G_EngInfo.nEngineType == kEngSubaru4 || G_EngInfo.nEngineType == kEngSubaru6) return;
    if (EngineView()) {
        for (int32_t inst = kInstEgt1; inst <= kInstCht6; ++inst) {
            if (inst == kInstTit1 || inst == kInstTit2) continue;
            if (G_LeanMode == 1 && inst >= kInstCht1) continue;   // their row shows the peaks
            CellPos c;
            if (!CellOf(inst, &c)) continue;
            const int32_t x = Ox() + c.bx, y = Oy() + c.by + bg;
            SetDrawColor(kPalWhite);
            GUI_DrawRect(x, y, x + kCellW - 1, y + CellHeight() - 1);
        }
        if (G_LeanMode == 1) {
            static const char kPeak[] = "PEAK";
            // Centred between the banks: the first left-bank cell ends, the
            // first right-bank cell begins.
            CellPos r{}, l{};
            const int32_t first = kInstEgt1;
            if (CellOf(first, &r) && CellOf(first + 1, &l)) {
                const int32_t cx = Ox() + (l.bx + kCellW + r.bx) / 2, pitch = Large() ? 24 : 16;
                for (int i = 0; i < 4; ++i)
                    DrawTextF(kPalPeak, 8, 16, cx, Oy() + 10 + pitch * i + bg - PageY(), "%c", kPeak[i]);
            }
        }
        return;
    }
    const BarArea a = Area();
    const int32_t step = a.length / 5;
    const int32_t font = ScaleFont();
    const int32_t right = ScaleRight(a);
    int32_t wl = 0, wr = 0;
    ScaleLabelWidths(&wl, &wr);
    const int32_t y0 = bg - PageY();
    for (int32_t k = 0; k <= 5; ++k) {
        const int32_t y = a.y + a.margin + k * step;
        SetDrawColor(31);
        GUI_DrawHLine(y + bg, a.x + wl + 3, right - wr - 3);
        // The fuel box's label under the tanks reaches the lowest EGT value
        // of the normal layout: that value gives way.
        const bool fuelBox = !Large() && G_InstCfg[kInstFuelComp].nEnable != 0 && k == 4;
        // In lean mode the drop texts take the top line's row.
        const bool dropRow = G_LeanMode == 1 && k == 0;
        if (G_LeanMode == 1 && k < 4 && G_EngInfo.nEngineType != kEngM14)
            DrawTextF(kPalPeak, font, 16, a.x + ColumnSpan(a) / 2, y - 4 + y0, "%c", "PEAK"[k]);
        if (k < 5 && !fuelBox && !dropRow)
            DrawTextF(kColourWhite, font, 15, a.x, y - 4 + y0, "%d", static_cast<int>(CylinderScaleValue(kInstEgt1, k)));
        if (k < 5) {
            if (!dropRow)
                DrawTextF(kColourWhite, font, 17, right, y - 4 + y0, "%d",
                          static_cast<int>(CylinderScaleValue(kInstCht1, k)));
        } else if (G_LeanMode != 1) {   // in lean mode the current EGTs stand there
            DrawTextF(kColourWhite, font, 15, a.x, y + 2 + y0, "EGT");
            DrawTextF(kColourWhite, font, 17, ScaleEnd(a), y + 2 + y0, "CHT");
        }
    }
}

void DrawCylinderGauges() {
    const int32_t type = G_EngInfo.nEngineType;
    if (type == kEngSubaru4 || type == kEngSubaru6) return;
    if (type == kEngM14) {
        static constexpr int32_t kEgts[9] = {26, 27, 28, 29, 30, 31, 32, 33, 39};
        for (int i = 0; i < 9; ++i) DrawRadial(kEgts[i], i, false);
        for (int i = 0; i < 5; ++i) DrawRadial(34 + i, i, true);
        return;
    }
    const bool lean = G_LeanMode == 1;
    for (int32_t inst = kInstEgt1; inst <= kInstCht6; ++inst) {
        if (G_InstCfg[inst].nEnable == 0) continue;
        if (EngineView()) {
            if (inst == kInstTit1 || inst == kInstTit2) continue;
            if (lean && inst >= kInstCht1) continue;   // the lean form draws the EGTs only
            DrawEngStyle(inst, lean && inst <= kInstEgt6);
        } else {
            DrawBarStyle(inst, lean);
        }
    }
    if (lean) ShowPeakSeq();
}
