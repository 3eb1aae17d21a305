// Engine page layout: the layout choice per page, the gauge position table,
// the scaling and offsetting of a gauge record, the layout pass and the
// per-frame redraw of the engine area.
#include "engine/layout.h"

#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "engine/bargauge.h"
#include "engine/cylinder.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "core/timefmt.h"
#include "gui/font.h"
#include "efis/airdata.h"
#include "map/map.h"

GaugeLayout G_GaugeLayout[kInstruments] = {};
uint32_t    G_EngLayoutIdx = 0;

int32_t& GaugeWord(int32_t inst, int32_t k) {
    static int32_t sink;
    if (inst < 0 || inst >= kInstruments) return sink = 0;
    GaugeLayout& g = G_GaugeLayout[inst];
    if (k < 2) return g.nOrigin[k < 0 ? 0 : k];
    if (k <= 12) return g.nScale[k - 2];
    if (k == 13 || k == 14) return sink = 0;
    if (k <= 18) return g.nScale2[k - 15];
    if (k <= 192) return g.nElem[k - kElemFirst];
    if (k == 193) return g.nShownValue;
    return sink = 0;
}

// ---- position table ----------------------------------------------------------------

struct GaugePos {
    int16_t x[2], y[2];   // normal, large
};
static GaugePos PositionOf(int32_t inst) {
    switch (inst) {
    case 5:  return {{377, 540}, {360, 315}};
    case 6:  return {{638, 638}, {2, 2}};
    case 7:  return {{385, 551}, {360, 315}};
    case 8:  return {{2, 2}, {2, 2}};   // CLOCK
    case 9:  return {{30, 180}, {420, 30}};
    case 10: return {{536, 443}, {343, 30}};
    case 11: return {{432, 246}, {343, 30}};
    case 12: return {{284, 380}, {360, 315}};
    case 13: return {{254, 330}, {360, 315}};
    case 14: case 15: return {{406, 590}, {360, 315}};
    case 16: return {{345, 485}, {360, 315}};
    case 17: return {{316, 435}, {360, 315}};
    case 18: return {{122, 112}, {360, 315}};
    case 19: return {{15, 26}, {355, 55}};
    case 20: return {{40, 67}, {355, 55}};
    case 21: return {{5, 13}, {355, 55}};
    case 22: return {{62, 100}, {355, 55}};
    case 23: return {{460, 70}, {40, 173}};
    case 24: return {{98, 70}, {78, 173}};
    case 25: return {{437, 30}, {47, 180}};
    case 26: return {{76, 5}, {339, 295}};
    case 47: return {{193, 227}, {360, 315}};
    default:
        if (inst >= 27 && inst <= 40) return {{4, 12}, {132, 202}};
        return {{0, 0}, {0, 0}};
    }
}

void GaugePosition(int32_t inst, int32_t layout, int32_t* x, int32_t* y) {
    const GaugePos p = PositionOf(inst);
    const int i = layout ? 1 : 0;
    *x = p.x[i];
    *y = p.y[i];
}

// ---- scaling and offsetting ----------------------------------------------------------------

struct WordRange {
    uint8_t first, last;
};
static constexpr WordRange kScaled[] = {
    {20, 25}, {28, 33}, {36, 41}, {44, 49}, {52, 57}, {60, 61}, {65, 66}, {70, 75}, {78, 83},
    {86, 87}, {91, 92}, {96, 97}, {98, 103}, {108, 113}, {116, 121}, {124, 129}, {132, 137},
    {140, 145}, {148, 151}, {155, 155}, {157, 160}, {166, 169}, {175, 178}, {184, 187},
};
static constexpr uint8_t kOffsetPairs[] = {
    20, 22, 28, 30, 36, 38, 44, 46, 52, 54, 60, 65, 70, 72, 78, 80, 86, 91, 96, 98, 108,
    110, 116, 118, 124, 126, 132, 134, 140, 142, 148, 157, 166, 175, 184,
};

void ScaleGaugeLayout(int32_t inst, float percent) {
    if (inst < 0 || inst >= kInstruments) return;
    for (const WordRange& r : kScaled)
        for (int k = r.first; k <= r.last; ++k) {
            int32_t& w = GaugeWord(inst, k);
            w = static_cast<int32_t>(static_cast<float>(w) * percent / 100.0f);
        }
    if (inst == kInstRpm || inst == kInstManifold) {
        const int32_t large = static_cast<int32_t>(G_EngLayoutIdx);
        GaugeWord(inst, 62) = MapGaugeFont(GaugeWord(inst, 62), large);
        GaugeWord(inst, 67) = MapGaugeFont(GaugeWord(inst, 67), large);
    }
}

void OffsetGaugeLayout(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return;
    const int32_t x = GaugeWord(inst, 0), y = GaugeWord(inst, 1);
    for (uint8_t k : kOffsetPairs) {
        GaugeWord(inst, k) += x;
        GaugeWord(inst, k + 1) += y;
    }
}

int32_t LabelCentreOnScreen(int32_t x, int32_t width) {
    constexpr int32_t kMargin = 2;   // the last glyph column is ink in the wide fonts
    const int32_t half = (width + 1) / 2;
    if (x + half > kScreenWidth - kMargin) x = kScreenWidth - kMargin - half;
    if (x - half < kMargin) x = kMargin + half;
    return x;
}

// ---- layout choice and pass ------------------------------------------------------------------

static bool PageIn(int32_t page, std::initializer_list<int32_t> pages) {
    for (int32_t p : pages)
        if (p == page) return true;
    return false;
}

static void SetLayout(uint32_t large, int32_t scale) {
    G_EngLayoutIdx = large;
    for (int32_t& s : G_EngInfo.nLayoutScale) s = scale;
}

void SelectEngineLayout() {
    const int32_t page = G_CurPage;
    if (PageIn(page, {1, 31, 35})) {
        SetLayout(1, 150);
    } else if (PageIn(page, {2, 3, 4, 6, 7, 9, 10, 12, 14, 16, 20})) {
        SetLayout(0, 100);
    } else {
        G_EngLayoutIdx = 1;
        return;
    }
    if (G_NetStreamCfg[kStreamEngine].INST != 0) LayoutEngineGauges();
}

// Group labels go into the background rows as well as the page: the frame
// restores the pane from the background before it draws. A centred label
// over a gauge at the screen's edge is pushed back onto the screen.
static void GroupLabel(uint32_t colour, int32_t font, int32_t x, int32_t y, const char* text) {
    const int32_t page = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    x = LabelCentreOnScreen(x, TextWidth(font, text));
    DrawTextF(colour, font, 1, x, y, "%s", text);
    DrawTextF(colour, font, 1, x, y + 960 - page, "%s", text);
}

static int32_t GaugeCentreX(int32_t inst) {
    return GaugeWord(inst, 0) + (G_EngLayoutIdx ? 22 : 15);
}

// The label sits 5 pixels above the gauge's unit label row.
static int32_t LabelY(int32_t inst, int32_t font) {
    return GaugeWord(inst, 1) - 5 - FontOfId(font)->YSize;
}

static void LayoutBar(int32_t inst) {
    LayoutBarGauge(inst);
    DrawBarGauge(inst, 0);
}

static bool IsSubaru() {
    return G_EngInfo.nEngineType == kEngSubaru4 || G_EngInfo.nEngineType == kEngSubaru6;
}

static void LayoutElectrical(int32_t font) {
    LayoutBar(kInstMainVolts);
    if (G_InstCfg[kInstMainVolts].nEnable != 0 && G_InstCfg[kInstAuxVolts].nEnable != 0) LayoutBar(kInstAuxVolts);
    LayoutBar(kInstAmpsShunt);
    LayoutBar(kInstAmpsHall);
    int32_t shown = kInstMainVolts;
    if (G_InstCfg[kInstAmpsShunt].nEnable == 1) shown = kInstAmpsShunt;
    else if (G_InstCfg[kInstAmpsHall].nEnable == 1) shown = kInstAmpsHall;
    if (G_EngInfo.nTitCount != 0) {
        GroupLabel(8, font, GaugeWord(kInstMainVolts, 0) + 15, LabelY(kInstMainVolts, font), "ELEC");
        return;
    }
    GroupLabel(8, font, GaugeCentreX(shown), LabelY(shown, font), "ELEC");
}

// The tanks' label goes under their values, centred on the pair of big bars
// (or on the one bar, which then stands in the middle of the pair's place).
static void LayoutTanksLabel() {
    int32_t enabled = 0;
    for (int32_t t = kInstTank1; t <= kInstTank4; ++t) enabled += G_InstCfg[t].nEnable != 0;
    if (enabled == 0) return;
    const int32_t slot = G_EngLayoutIdx ? 65 : 60;
    const int32_t font = GaugeWord(kInstTank1, slot + 2) ? GaugeWord(kInstTank1, slot + 2) : 4;
    const int32_t x = (GaugeWord(kInstTank1, 20) + GaugeWord(kInstTank1 + 1, 22)) / 2;
    const int32_t y = GaugeWord(kInstTank1, slot + 1) + FontOfId(GaugeWord(kInstTank1, slot + 2))->YSize + 2;
    GroupLabel(31, font, x, y, enabled > 1 ? "TANKS" : "TANK");
}

void LayoutEngineGauges() {
    if (G_EnginePane.pRect == nullptr || G_EnginePane.nFlagB != 1) return;
    const int32_t page = G_CurPage;
    const int32_t font = MapGaugeFont(7, static_cast<int32_t>(G_EngLayoutIdx));
    DrawManifoldGauge(kInstRpm);
    DrawManifoldGauge(kInstManifold);
    if (!PageIn(page, {31, 35})) {
        if (IsSubaru()) {
            if (page != 9) {
                LayoutBar(18);
                GroupLabel(8, font, GaugeCentreX(18), LabelY(18, font), "GEARBOX");
                LayoutBar(kInstCoolTemp);
                GroupLabel(8, font, GaugeCentreX(kInstCoolTemp), LabelY(kInstCoolTemp, font), "COOLANT");
            } else if (G_InstCfg[18].nEnable != 0) {
                LayoutBar(18);
            }
        }
        LayoutBar(12);
        LayoutBar(kInstFuelFlow);
        GroupLabel(8, font, (GaugeCentreX(12) + GaugeCentreX(kInstFuelFlow)) / 2, LabelY(12, font), "FUEL");
        LayoutBar(16);
        LayoutBar(17);
        GroupLabel(8, font, (GaugeCentreX(16) + GaugeCentreX(17)) / 2, LabelY(16, font), "OIL");
        if (page != 9) LayoutElectrical(font);
    }
    for (int32_t t = kInstTank1; t <= kInstTank4; ++t) LayoutTankGauge(t);
    LayoutTanksLabel();
    LayoutFuelComputer();
    if (!PageIn(page, {31, 35, 9})) {
        LayoutCylinderGauges();
        DrawCylinderBackground();
    }
    InitFlapGauge();
    InitTrimGauge();
}

// ---- per-frame redraw ---------------------------------------------------------------------------

constexpr uint16_t kCopyMode = 524;
constexpr int32_t kBackgroundRow = 960;
constexpr int32_t kStripY = 339, kStripH = 121;

// Appends a background restore; a rectangle without area is left out (a
// width from another layout table can come out at zero or below).
static void PlanRestore(EngineDrawPlan& plan, int32_t x, int32_t y, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    if (plan.nCount >= kEnginePlanSteps) return;
    plan.step[plan.nCount++] = {kDrawRestore, x, y, width, height};
}

static void PlanDraw(EngineDrawPlan& plan, EngineDrawOp op, int32_t x = 0, int32_t y = 0) {
    if (plan.nCount >= kEnginePlanSteps) return;
    plan.step[plan.nCount++] = {op, x, y, 0, 0};
}

static void PlanPane(EngineDrawPlan& plan) {
    const PaneRecord& p = G_EnginePane;
    PlanRestore(plan, p.x0, p.y0, p.x1 - p.x0 + 1, p.y1 - p.y0 + 1);
}

static void PlanLarge(EngineDrawPlan& plan, int32_t page) {
    PlanPane(plan);
    PlanDraw(plan, kDrawRpm);
    if (!PageIn(page, {31, 35})) {
        PlanDraw(plan, kDrawElectrical);
        PlanDraw(plan, kDrawCylinder);
    }
    PlanDraw(plan, kDrawFuelComputer);
    PlanDraw(plan, kDrawTanks);
    PlanDraw(plan, kDrawFlap);
    PlanDraw(plan, kDrawTrim);
    if (G_InstCfg[kInstOat].nEnable == 1) PlanDraw(plan, kDrawOat);
    PlanDraw(plan, G_ClockEdit == 20 ? kDrawTimer : kDrawClock, G_EnginePane.x0 + 3, G_EnginePane.y0 + 3);
}

// The strip under the moving map.
static void PlanMapStrip(EngineDrawPlan& plan) {
    const int32_t xMap = GaugeWord(kInstManifold, 0);
    if (G_MapDisplayFlags & kMapStripRpmOnly) {
        PlanRestore(plan, xMap, kStripY, 639 - xMap + 1, kStripH);
        PlanDraw(plan, kDrawRpm);
        return;
    }
    const int32_t xFlow = GaugeWord(kInstFuelFlow, 0);
    PlanRestore(plan, 0, kStripY, xFlow + 1, kStripH);
    PlanDraw(plan, kDrawCylinder);
    PlanDraw(plan, kDrawFuelComputer);
    PlanDraw(plan, kDrawTanks);
    PlanRestore(plan, xMap, kStripY, 640 - xMap, kStripH);
    PlanDraw(plan, kDrawRpm);
}

// Page 9: the strip of the split page, in three restores.
static void PlanSplitStrip(EngineDrawPlan& plan) {
    const int32_t xMap = GaugeWord(kInstManifold, 0);
    PlanRestore(plan, xMap, kStripY, 640 - xMap, kStripH);
    PlanDraw(plan, kDrawRpm);
    const int32_t xEgt = GaugeWord(kInstEgt1, 0);
    PlanRestore(plan, xEgt, kStripY, G_EnginePane.nCenterX - xEgt - 109, kStripH);
    PlanDraw(plan, kDrawElectrical);
    PlanRestore(plan, 0, kStripY, xEgt + 1, kStripH);
    PlanDraw(plan, kDrawFuelComputer);
    PlanDraw(plan, kDrawTanks);
}

void PlanEngineGauges(EngineDrawPlan& plan) {
    plan.nCount = 0;
    const int32_t page = G_CurPage;
    if (G_EngLayoutIdx != 0) {
        PlanLarge(plan, page);
    } else if (G_Nearest.nMode == 1 || (G_MapDisplayFlags & kMapShowEngineStrip)) {
        PlanMapStrip(plan);
    } else if (page != 9) {
        PlanPane(plan);
        PlanDraw(plan, kDrawRpm);
        PlanDraw(plan, kDrawElectrical);
        PlanDraw(plan, kDrawCylinder);
        PlanDraw(plan, kDrawFuelComputer);
        PlanDraw(plan, kDrawTanks);
    } else {
        PlanSplitStrip(plan);
    }
    if (G_Fadec.nPresent != 0) {
        PlanDraw(plan, kDrawFadecStatus);
        PlanDraw(plan, kDrawHp);
    } else if (G_HorsepowerCfg.nEnable != 0) {
        PlanDraw(plan, kDrawHp);
    }
}

// Copies a rectangle of the background rows into the page being drawn.
static void Restore(const EngineDrawStep& s) {
    const int32_t page = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    BltCopyRect(s.x, s.y + kBackgroundRow, s.x, s.y + page, s.nWidth, s.nHeight, kCopyMode);
}

static void RunStep(const EngineDrawStep& s) {
    switch (s.op) {
    case kDrawRestore: Restore(s); break;
    case kDrawRpm: DrawRpmGauge(); break;
    case kDrawElectrical: DrawElectricalGauges(); break;
    case kDrawCylinder: DrawCylinderGauges(); break;
    case kDrawFuelComputer: DrawFuelComputer(); break;
    case kDrawTanks: DrawTankGauges(); break;
    case kDrawFlap: DrawFlapGauge(); break;
    case kDrawTrim: DrawTrimGauge(); break;
    case kDrawOat: DrawOat(); break;
    case kDrawTimer: FormatTimerDisplay(s.x, s.y); break;
    case kDrawClock: FormatClockLine(s.x, s.y); break;
    case kDrawFadecStatus: FadecStatusPage(); break;
    case kDrawHp: DrawHpGauge(); break;
    }
}

void DrawEngineGauges() {
    GUI_SelectScreen();
    EngineDrawPlan plan;
    PlanEngineGauges(plan);
    for (int32_t i = 0; i < plan.nCount; ++i) RunStep(plan.step[i]);
}
