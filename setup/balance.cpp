// The weight-and-balance page (take-off weight and CG beside the aircraft
// picture, the pilot's loading) and the station editor (every station's
// quantity, arm, picture position and moment, for the installer).
#include <strings.h>

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/util.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "gui/text.h"
#include "setup/balance.h"
#include "setup/setup.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

uint32_t G_WbSel = kWbFirstLoad;
uint32_t G_WbCfgSel = kWbFirstLoad;
uint32_t G_WbCfgField = 1;

constexpr int32_t kMaxQuantity = 999999;
constexpr int32_t kMaxPosition = 9999;      // picture positions
constexpr uint32_t kFieldQuantity = 1, kFieldArm = 3, kFieldX = 5, kFieldY = 6;
// Room for a label or value built of two text fields and a number.
constexpr size_t kLineBytes = 320;
constexpr uint32_t kGreen = 5, kRed = 2, kYellow = 14, kWhite = 31, kBlue = 8;

// ---- the loading ----------------------------------------------------------------------------

// 0..3 for the stations named TANK1..TANK4 (any case), else -1.
static int32_t TankIndex(const WbItem& item) {
    static const char* const kTanks[] = {"TANK1", "TANK2", "TANK3", "TANK4"};
    for (int32_t k = 0; k < 4; ++k)
        if (strcasecmp(item.DESC, kTanks[k]) == 0) return k;
    return -1;
}

int32_t WbTankCapacity(const WbItem& item) {
    const int32_t k = TankIndex(item);
    if (k < 0) return 0;
    return RoundNearest(ToDisplayUnits(kInstFuelFlow, G_InstCfg[kInstTank1 + k].nMax) / 10.0);
}

static int32_t SaturateSum(int64_t v) { return SaturateI32(static_cast<double>(v)); }

// A moment over its weight; a weight of 0 leaves the moment itself.
static float CgOf(float moment, float weight) { return weight == 0.0f ? moment : moment / weight; }

static bool WithinDesign(float cg) { return G_Aircraft.DESIGN_CG_LOWER <= cg && cg <= G_Aircraft.DESIGN_CG_UPPER; }

WbTotals WbCompute() {
    const WbItemList& s = G_WbItems;
    const float density = G_Aircraft.LIQUID_DENSITY;
    int64_t fuelQuantity = 0, fuelWeight = 0, payload = 0;
    float fuelMoment = 0.0f, payloadMoment = 0.0f;
    for (uint32_t i = kWbFirstLoad; i < WbStationCount(); ++i) {
        const WbItem& it = s.item[i];
        if (WbIsLiquid(it)) {
            const float w = static_cast<float>(it.QUANTITY) * density;
            fuelQuantity += it.QUANTITY;
            fuelWeight += SaturateI32(std::trunc(static_cast<double>(w)));
            fuelMoment += w * it.LENGTH;
        } else {
            payload += it.QUANTITY;
            payloadMoment += static_cast<float>(it.QUANTITY) * it.LENGTH;
        }
    }
    const WbItem& empty = s.item[0];
    const WbItem& minFuel = s.item[1];
    WbTotals t = {};
    t.nFuelQuantity = SaturateSum(fuelQuantity);
    t.nFuelWeight = SaturateSum(fuelWeight);
    t.nPayload = SaturateSum(payload);
    t.nTakeoffWeight = SaturateSum(payload + empty.QUANTITY + fuelWeight);
    const float baseMoment = static_cast<float>(empty.QUANTITY) * empty.LENGTH + payloadMoment;
    t.fFullCg = CgOf(baseMoment + fuelMoment, static_cast<float>(t.nTakeoffWeight));
    const float minFuelWeight = static_cast<float>(minFuel.QUANTITY) * density;
    t.fMinFuelWeight = static_cast<float>(payload + empty.QUANTITY) + minFuelWeight;
    t.fMinCg = CgOf(baseMoment + minFuelWeight * minFuel.LENGTH, t.fMinFuelWeight);
    t.bWeightOk = G_Aircraft.MAX_GROSS_WEIGHT >= t.nTakeoffWeight;
    t.bFullCgOk = WithinDesign(t.fFullCg);
    t.bMinCgOk = WithinDesign(t.fMinCg);
    return t;
}

// ---- shared drawing -------------------------------------------------------------------------

static int32_t PageY() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

// Text cut to `width` pixels, so that a long name or unit never runs into
// the next column; returns where it ended.
static int32_t DrawFitted(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, int32_t width,
                          const char* text) {
    const int32_t n = width > 0 ? CharsInWidth(font, width, text) : 0;
    return DrawTextF(colour, font, style, x, y, "%.*s", static_cast<int>(n), text);
}

// "lower - upper" of the design CG range, one decimal each.
static void FormatDesignRange(char* out, size_t size) {
    char lower[24], upper[24];
    FormatTenths(lower, sizeof lower, G_Aircraft.DESIGN_CG_LOWER);
    FormatTenths(upper, sizeof upper, G_Aircraft.DESIGN_CG_UPPER);
    std::snprintf(out, size, "%s - %s", lower, upper);
}

static void StepQuantity(WbItem& it, int32_t step) {
    if (step < 0) {
        if (it.QUANTITY > 0) --it.QUANTITY;
        return;
    }
    int32_t q = it.QUANTITY + step;
    const int32_t capacity = WbTankCapacity(it);
    if (capacity != 0 && q > capacity) q = capacity > it.QUANTITY ? capacity : it.QUANTITY;
    it.QUANTITY = q > kMaxQuantity ? kMaxQuantity : q;
}

static bool OnFullPane() { return G_CurPage == 11 || G_CurPage == 12 || G_CurPage == 13; }

// Both pages draw in one step with the pane as the clip.
struct PaneDraw {
    uint32_t nHold;
};
static PaneDraw BeginPane() {
    const PaneDraw d = {G_FlipCtl.nFlipHold};
    G_FlipCtl.nFlipHold = 1;
    const PaneRecord& p = G_AuxPane;
    SetAuxPaneClip(PageY());
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(p.x0, p.y0 + PageY(), p.x1, p.y1 + PageY());
    return d;
}
static void EndPane(const PaneDraw& d) {
    ClearAuxPaneClip();
    G_FlipCtl.nFlipHold = d.nHold;
}

// ---- page 21: weight and balance --------------------------------------------------------------

// The selected loading station, held within the stations; false when there is none.
static bool LoadSelection() {
    const uint32_t count = WbStationCount();
    if (count <= kWbFirstLoad) return false;
    if (G_WbSel < kWbFirstLoad) G_WbSel = kWbFirstLoad;
    if (G_WbSel >= count) G_WbSel = count - 1;
    return true;
}

// False when the key left the page.
static bool BalanceKey(int32_t key) {
    const bool any = LoadSelection();
    const uint32_t count = WbStationCount();
    switch (key) {
    case -1: case 1:
        if (any) StepQuantity(G_WbItems.item[G_WbSel], key);
        break;
    case 2:
        if (any) G_WbSel = G_WbSel <= kWbFirstLoad ? count - 1 : G_WbSel - 1;
        break;
    case 3: case 6:
        if (any) G_WbSel = G_WbSel + 1 >= count ? kWbFirstLoad : G_WbSel + 1;
        break;
    case 4:
        G_AuxPageIdx = kAuxStations;
        UpdateSoftKeys();
        G_RedrawReq = 1;
        DrawStationsPage(0);
        return false;
    case 5:
        WriteAircraftFile();
        break;
    default:
        break;
    }
    return true;
}

struct BalanceColumn {
    int32_t label;    // T: labels start here
    int32_t value;    // R: values end here
};

// A label and its right-aligned value; the label yields to the value.
static void DrawRow(const BalanceColumn& c, int32_t y, const char* label, uint32_t valueColour, const char* value) {
    const int32_t width = c.value - c.label;
    char shown[kLineBytes];
    std::snprintf(shown, sizeof shown, "%.*s", static_cast<int>(CharsInWidth(24, width, value)), value);
    DrawTextF(valueColour, 24, 5, c.value, y, "%s", shown);
    DrawFitted(kYellow, 8, 3, c.label, y, width - TextWidth(24, shown) - 8, label);
}

static void DrawBalanceData(const PaneRecord& p, const WbTotals& t) {
    const AircraftRecord& a = G_Aircraft;
    const int32_t L = p.x0 + 401, x1 = p.x1, y0 = p.y0, py = PageY();
    const BalanceColumn c = {p.x0 + 411, p.x1 - 10};
    DrawTextF(kYellow, 10, 3, L, y0 + 5, "Weight & Balance");
    SetDrawColor(kBlue);
    for (int32_t dy : {70, 150, 250, 310}) GUI_DrawHLine(y0 + dy + py, L, x1);
    GUI_DrawVLine(L, y0 + 70 + py, y0 + 310 + py);
    if (LoadSelection()) DrawFitted(kYellow, 9, 3, c.label, y0 + 45, c.value - c.label, G_WbItems.item[G_WbSel].DESC);
    char label[kLineBytes], value[kLineBytes];
    DrawFitted(kYellow, 8, 3, c.label, y0 + 85, c.value - c.label, a.AIRCRAFT);
    std::snprintf(value, sizeof value, "%d %s", static_cast<int>(a.MAX_GROSS_WEIGHT), a.WEIGHT_UNITS);
    DrawRow(c, y0 + 105, "Max Gross Weight:", kWhite, value);
    FormatDesignRange(value, sizeof value);
    DrawRow(c, y0 + 125, "Design CG Range:", kWhite, value);
    std::snprintf(value, sizeof value, "%d", static_cast<int>(G_WbItems.item[0].QUANTITY));
    DrawRow(c, y0 + 165, "Empty Weight:", kWhite, value);
    std::snprintf(value, sizeof value, "%d", static_cast<int>(t.nPayload));
    DrawRow(c, y0 + 185, "Total Payload:", kWhite, value);
    std::snprintf(label, sizeof label, "Total Fuel (%d %s):", static_cast<int>(t.nFuelQuantity), a.LIQUID_UNITS);
    std::snprintf(value, sizeof value, "%d", static_cast<int>(t.nFuelWeight));
    DrawRow(c, y0 + 205, label, kWhite, value);
    SetDrawColor(kBlue);
    GUI_DrawHLine(y0 + 223 + py, c.value - 60, c.value);
    std::snprintf(label, sizeof label, "Takeoff Weight (%s):", a.WEIGHT_UNITS);
    std::snprintf(value, sizeof value, "%d", static_cast<int>(t.nTakeoffWeight));
    DrawRow(c, y0 + 225, label, t.bWeightOk ? kGreen : kRed, value);
    std::snprintf(label, sizeof label, "Full Fuel CG (%s):", a.LENGTH_UNITS);
    FormatTenths(value, sizeof value, t.fFullCg);
    DrawRow(c, y0 + 265, label, t.bFullCgOk ? kGreen : kRed, value);
    std::snprintf(label, sizeof label, "Min Fuel CG (%s):", a.LENGTH_UNITS);
    FormatTenths(value, sizeof value, t.fMinCg);
    DrawRow(c, y0 + 285, label, t.bMinCgOk ? kGreen : kRed, value);
}

static int32_t DigitsWithSign(int32_t v) {
    int32_t n = v < 0 ? 2 : 1;
    for (int64_t m = v < 0 ? -static_cast<int64_t>(v) : v; m >= 10; m /= 10) ++n;
    return n;
}

// Each loading station's quantity at its place on the picture: at least
// three digits, and all of them for larger loads.
static void DrawStationLoads(const PaneRecord& p) {
    const uint16_t mode = GUI_GetTextMode(), align = GUI_GetTextAlign();
    const uint32_t colour = GUI_GetColorIndex();
    const GUI_Font* font = SelectFont(8);
    GUI_SetTextAlign(GUI_TA_HCENTER | GUI_TA_VCENTER);
    const uint32_t count = WbStationCount();
    for (uint32_t i = kWbFirstLoad; i < count; ++i) {
        const WbItem& it = G_WbItems.item[i];
        const bool selected = i == G_WbSel;
        SetDrawColor(selected ? kYellow : kWhite);
        GUI_SetTextMode(selected ? GUI_DM_REV : GUI_DM_TRANS);
        const int32_t digits = DigitsWithSign(it.QUANTITY);
        GUI_DrawDecimalAt(it.QUANTITY, p.x0 + it.X, p.y0 + it.Y + PageY(), digits < 3 ? 3 : digits);
    }
    GUI_SetTextMode(mode);
    GUI_SetTextAlign(align);
    GUI_SetColorIndex(colour);
    GUI_SetFont(font);
}

// Screen x of a CG on the bar, kept to a range the drawing handles.
static int32_t BarX(const PaneRecord& p, float cg, double scale) {
    const int32_t dx = RoundNearest((static_cast<double>(cg) - G_Aircraft.DESIGN_CG_LOWER) * scale);
    const int64_t x = static_cast<int64_t>(p.x0) + G_Aircraft.CG_LOWER_X + dx;
    return static_cast<int32_t>(x < -4096 ? -4096 : (x > 4096 ? 4096 : x));
}

// The CG travel from minimum to full fuel between the design limit marks.
static void DrawCgBar(const PaneRecord& p, const WbTotals& t) {
    const AircraftRecord& a = G_Aircraft;
    const int32_t base = p.y0 + kAircraftImageHeight + PageY();
    const double range = static_cast<double>(a.DESIGN_CG_UPPER) - a.DESIGN_CG_LOWER;
    const double pixels = static_cast<double>(a.CG_UPPER_X) - a.CG_LOWER_X;
    const double scale = range == 0.0 ? pixels : pixels / range;
    const int32_t xMin = BarX(p, t.fMinCg, scale), xFull = BarX(p, t.fFullCg, scale);
    SetDrawColor(t.bFullCgOk && t.bMinCgOk ? kGreen : kRed);
    GUI_FillRect(xMin, base - 100, xFull, base - 3);
    GUI_DrawLine(xMin, base - 100, xFull, base - 3);
    const uint8_t pen = GUI_SetPenSize(2);
    SetDrawColor(kYellow);
    for (int32_t x : {a.CG_LOWER_X, a.CG_UPPER_X}) GUI_DrawVLine(p.x0 + x, base - 50, base - 3);
    GUI_SetPenSize(pen);
}

void DrawBalancePage(int32_t key) {
    if (!OnFullPane() || !BalanceKey(key)) return;
    const PaneRecord& p = G_AuxPane;
    if (p.pRect == nullptr) return;
    const PaneDraw d = BeginPane();
    // The copy is no GUI primitive: the pane's own size bounds it.
    const int32_t w = p.nWidth < kAircraftImageWidth ? p.nWidth : kAircraftImageWidth;
    const int32_t h = p.nHeight < kAircraftImageHeight ? p.nHeight : kAircraftImageHeight;
    if (w > 0 && h > 0) BltCopyRect(0, kOffscreenBandY, p.x0, p.y0 + PageY(), w, h, kBltCopy);
    const WbTotals t = WbCompute();
    DrawBalanceData(p, t);
    DrawStationLoads(p);
    DrawCgBar(p, t);
    EndPane(d);
}

// ---- page 22: the station editor ------------------------------------------------------------

// The selected station, held within the stations; false when there is none.
static bool CfgSelection() {
    const uint32_t count = WbStationCount();
    if (count == 0) return false;
    if (G_WbCfgSel >= count) G_WbCfgSel = count - 1;
    return true;
}

static int32_t StepPosition(int32_t v, int32_t step) {
    const int32_t n = v + step;
    if (step < 0 && n < 0) return v < 0 ? v : 0;
    return n > kMaxPosition ? kMaxPosition : n;
}

// Arms move on the tenths the file keeps, through 0 to negative values.
static float StepArm(float arm, int32_t step) {
    const int32_t tenths = RoundNearest(static_cast<double>(arm) * 10.0) + step;
    return static_cast<float>(tenths / 10.0);
}

static void EditField(WbItem& it, int32_t step) {
    switch (G_WbCfgField) {
    case kFieldQuantity:
        // Up by two on stations that are no tank, down by one.
        StepQuantity(it, step > 0 && TankIndex(it) < 0 ? 2 : step);
        break;
    case kFieldArm: it.LENGTH = StepArm(it.LENGTH, step); break;
    case kFieldX: it.X = StepPosition(it.X, step); break;
    case kFieldY: it.Y = StepPosition(it.Y, step); break;
    default: break;
    }
}

static bool StationsKey(int32_t key) {
    const bool any = CfgSelection();
    const uint32_t count = WbStationCount();
    switch (key) {
    case -1: case 1:
        if (any) EditField(G_WbItems.item[G_WbCfgSel], key);
        break;
    case 2:
        if (any) G_WbCfgSel = G_WbCfgSel == 0 ? count - 1 : G_WbCfgSel - 1;
        break;
    case 3:
        if (any) G_WbCfgSel = (G_WbCfgSel + 1) % count;
        break;
    case 4:
        G_AuxPageIdx = kAuxBalance;
        UpdateSoftKeys();
        G_RedrawReq = 1;
        ShowAircraftImage();
        DrawBalancePage(0);
        return false;
    case 5:
        WriteAircraftFile();
        break;
    case 6: {
        uint32_t f = (G_WbCfgField + 1) % 7;
        if (f == 0 || f == 2 || f == 4) ++f;
        G_WbCfgField = f;
        break;
    }
    default:
        break;
    }
    return true;
}

static void DrawStationsHeader(const PaneRecord& p) {
    const AircraftRecord& a = G_Aircraft;
    const int32_t x0 = p.x0, y0 = p.y0, right = p.x1 - 5;
    DrawTextF(kYellow, 10, 4, x0 + ((p.x1 - 5) - (x0 + 5)) / 2, y0 + 5, "Weight & Balance Configuration");
    DrawFitted(kYellow, 8, 3, x0 + 5, y0 + 35, 295, a.AIRCRAFT);
    char text[kLineBytes], range[64];
    std::snprintf(text, sizeof text, "Max Gross Weight: %d (%s)", static_cast<int>(a.MAX_GROSS_WEIGHT), a.WEIGHT_UNITS);
    DrawFitted(kYellow, 8, 3, x0 + 305, y0 + 35, right - (x0 + 305), text);
    FormatDesignRange(range, sizeof range);
    std::snprintf(text, sizeof text, "Design CG Range:  %s", range);
    const int32_t end = DrawFitted(kYellow, 8, 3, x0 + 305, y0 + 53, right - (x0 + 305), text);
    std::snprintf(text, sizeof text, "  (%s)", a.LENGTH_UNITS);
    DrawFitted(kYellow, 8, 3, end, y0 + 53, right - end, text);
    DrawTextF(kYellow, 8, 3, x0 + 5, y0 + 82, "Description");
    static const struct { const char* text; int32_t x; } kHeadings[] = {
        {"Quantity", 180}, {"Arm", 260}, {"X", 340}, {"Y", 380}, {"Moment", 460}};
    for (const auto& h : kHeadings) DrawTextF(kYellow, 8, 5, x0 + h.x, y0 + 82, "%s", h.text);
    SetDrawColor(kBlue);
    GUI_DrawHLine(y0 + 100 + PageY(), x0 + 5, p.x1 - 5);
}

// A right-aligned number column, reversed when it is the field edited;
// returns its left edge.
static int32_t DrawCell(int32_t x, int32_t y, bool edited, const char* text) {
    DrawTextF(kWhite, 4, edited ? 14 : 5, x, y, "%s", text);
    return x - TextWidth(4, text);
}

static void DrawStationRow(const PaneRecord& p, const WbItem& it, int32_t y, bool selected) {
    const AircraftRecord& a = G_Aircraft;
    const int32_t x0 = p.x0;
    const bool liquid = WbIsLiquid(it);
    const float moment = static_cast<float>(it.QUANTITY) * (liquid ? a.LIQUID_DENSITY : 1.0f) * it.LENGTH;
    char quantity[16], arm[24], xs[16], ys[16], momentText[24], units[kLineBytes];
    std::snprintf(quantity, sizeof quantity, "%d", static_cast<int>(it.QUANTITY));
    FormatTenths(arm, sizeof arm, it.LENGTH);
    std::snprintf(xs, sizeof xs, "%d", static_cast<int>(it.X));
    std::snprintf(ys, sizeof ys, "%d", static_cast<int>(it.Y));
    FormatTenths(momentText, sizeof momentText, moment);
    const uint32_t f = selected ? G_WbCfgField : 0;
    const int32_t qLeft = DrawCell(x0 + 180, y, f == kFieldQuantity, quantity);
    const int32_t armLeft = DrawCell(x0 + 260, y, f == kFieldArm, arm);
    const int32_t xLeft = DrawCell(x0 + 340, y, f == kFieldX, xs);
    DrawCell(x0 + 380, y, f == kFieldY, ys);
    DrawCell(x0 + 460, y, false, momentText);
    DrawFitted(kWhite, 4, 3, x0 + 5, y, qLeft - 6 - (x0 + 5), it.DESC);
    DrawFitted(kWhite, 4, 3, x0 + 190, y, armLeft - 6 - (x0 + 190), liquid ? a.LIQUID_UNITS : a.WEIGHT_UNITS);
    DrawFitted(kWhite, 4, 3, x0 + 270, y, xLeft - 6 - (x0 + 270), a.LENGTH_UNITS);
    std::snprintf(units, sizeof units, "%s-%s", a.LENGTH_UNITS, a.WEIGHT_UNITS);
    DrawFitted(kWhite, 4, 3, x0 + 470, y, p.x1 - 5 - (x0 + 470), units);
}

void DrawStationsPage(int32_t key) {
    if (!OnFullPane() || !StationsKey(key)) return;
    const PaneRecord& p = G_AuxPane;
    if (p.pRect == nullptr) return;
    const PaneDraw d = BeginPane();
    DrawStationsHeader(p);
    const bool any = CfgSelection();
    const uint32_t count = WbStationCount();
    for (uint32_t i = 0; i < count; ++i)
        DrawStationRow(p, G_WbItems.item[i], p.y0 + 105 + 18 * static_cast<int32_t>(i), any && i == G_WbCfgSel);
    EndPane(d);
}
