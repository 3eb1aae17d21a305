#include "efis/tapes.h"

#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "efis/airdata.h"
#include "efis/efisdata.h"
#include "efis/efisview.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "nav/navsrc.h"
#include "setup/setup.h"
#include "ui/style.h"

SpeedBands G_SpeedBands = {};

namespace {
// Tape scales: pixels per 100 tenths (10 display units) of airspeed and per
// 100 display units of altitude, by pane height.
struct TapeScale {
    int32_t nAsiPx, nAltPx;
    int32_t nAsiStep, nAltStep;       // label steps, tenths and units
};
TapeScale s_scale = {30, 40, 100, 100};

// The vertical-speed marks (ft/min) and their labels.
constexpr int32_t kVsiMarks[] = {-2000, -1500, -1000, -500, 0, 500, 1000, 1500, 2000};
int32_t s_vsiRow[sizeof kVsiMarks / sizeof kVsiMarks[0]];

constexpr int32_t kReadoutH = 34;

void Frame(int32_t x0, int32_t y0, int32_t x1, int32_t y1, uint32_t fill, uint32_t edge) {
    GUI_SetColorIndex(fill);
    GUI_FillRect(x0, y0, x1, y1);
    GUI_SetColorIndex(edge);
    GUI_DrawRect(x0, y0, x1, y1);
}

// Clips to a rectangle (page rows) inside the pane's clip.
struct ClipScope {
    GUI_Rect saved;
    ClipScope(int32_t x0, int32_t y0, int32_t x1, int32_t y1) : saved(GUI_DrawState.ClipRect) {
        const GUI_Rect r = {static_cast<int16_t>(x0), static_cast<int16_t>(y0), static_cast<int16_t>(x1),
                            static_cast<int16_t>(y1)};
        GUI_Rect both;
        if (!GUI_RectIntersection(&both, &r, &saved)) both = {1, 1, 0, 0};
        GUI_SetClipRect(&both);
    }
    ~ClipScope() { GUI_SetClipRect(&saved); }
};

// The largest of the readout fonts in which `text` fits `width`.
int32_t FitFont(const char* text, int32_t width) {
    for (int32_t font : {11, 9, 5})
        if (TextWidth(font, text) <= width) return font;
    return 2;
}

void RedCross(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    GUI_SetColorIndex(kEfRed);
    const uint8_t old = GUI_SetPenSize(3);
    GUI_DrawLine(x0 + 4, y0 + 4, x1 - 4, y1 - 4);
    GUI_DrawLine(x0 + 4, y1 - 4, x1 - 4, y0 + 4);
    GUI_SetPenSize(old);
}

// A tape's frame; without fresh air data it is crossed out (false).
bool TapeBody(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    Frame(x0, y0, x1, y1, kEfTape, kEfGrey);
    if (AirDataLive()) return true;
    RedCross(x0, y0, x1, y1);
    return false;
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

// Whole display units of a tenths value, half away from zero.
int32_t Whole(int32_t tenths) {
    const int64_t t = tenths;
    return static_cast<int32_t>(t >= 0 ? (t + 5) / 10 : -((-t + 5) / 10));
}

// The readout box with its pointer into the tape: toward +x (airspeed) or -x (altitude).
void ReadoutBox(int32_t x0, int32_t x1, int32_t cy, int32_t toward, const char* text, uint32_t colour) {
    const int32_t y0 = cy - kReadoutH / 2, y1 = cy + kReadoutH / 2;
    const int32_t tip = toward > 0 ? x1 + 9 : x0 - 9, base = toward > 0 ? x1 : x0;
    const GUI_Point arrow[3] = {{static_cast<int16_t>(base), static_cast<int16_t>(cy - 8)},
                                {static_cast<int16_t>(tip), static_cast<int16_t>(cy)},
                                {static_cast<int16_t>(base), static_cast<int16_t>(cy + 8)}};
    GUI_SetColorIndex(kEfWhite);
    GUI_FillPolygon(arrow, 3, 0, 0);
    Frame(x0, y0, x1, y1, kEfBlack, kEfWhite);
    const int32_t font = FitFont(text, x1 - x0 - 5);
    DrawTextF(colour, font, 23, x1 - 3, cy - EfisPageY(), "%s", text);
}
}  // namespace

// ---- the pointer shapes ----------------------------------------------------------------------

void DrawTapePointer(int32_t x, int32_t y, uint32_t style, uint32_t colour) {
    const int32_t yy = y + EfisPageY();
    switch (style) {
    case 1: {
        static const GUI_Point p[] = {{0, 0}, {-5, -5}, {-5, -15}, {5, -15}, {5, 15}, {-5, 15}, {-5, 5}};
        GUI_SetColorIndex(14);
        GUI_FillPolygon(p, 7, x, yy);
        GUI_SetColorIndex(0);
        uint8_t old = GUI_SetPenSize(3);
        GUI_DrawPolygon(p, 7, x, yy);
        GUI_SetColorIndex(31);
        GUI_SetPenSize(1);
        GUI_DrawPolygon(p, 7, x, yy);
        GUI_SetPenSize(old);
        break;
    }
    case 2: {
        static const GUI_Point outer[] = {{1, 0}, {6, -5}, {6, -16}, {-6, -16}, {-6, 16}, {6, 16}, {6, 5}};
        static const GUI_Point mid[] = {{0, 0}, {5, -5}, {5, -15}, {-5, -15}, {-5, 15}, {5, 15}, {5, 5}};
        static const GUI_Point inner[] = {{-2, 0}, {3, -5}, {3, -13}, {-3, -13}, {-3, 13}, {3, 13}, {3, 5}};
        const uint8_t old = GUI_SetPenSize(1);
        GUI_SetColorIndex(0);
        GUI_FillPolygon(outer, 7, x, yy);
        GUI_SetColorIndex(31);
        GUI_DrawPolygon(mid, 7, x, yy);
        GUI_SetColorIndex(colour);
        GUI_FillPolygon(inner, 7, x, yy);
        GUI_SetPenSize(old);
        break;
    }
    case 4: {
        static const GUI_Point p[] = {{1, 0}, {6, -5}, {6, -16}, {9, -16}, {9, -5},
                                      {4, 0}, {9, 5},  {9, 16},  {6, 16},  {6, 5}};
        const uint8_t old = GUI_SetPenSize(1);
        GUI_SetColorIndex(colour);
        GUI_FillPolygon(p, 10, x, yy);
        GUI_SetColorIndex(0);
        GUI_DrawPolygon(p, 10, x, yy);
        GUI_SetPenSize(old);
        break;
    }
    default:
        break;
    }
}

// ---- scales --------------------------------------------------------------------------------------

int32_t TapeRow(int32_t value, int32_t centre, int32_t pxPer100, int32_t cy) {
    const int64_t d = (static_cast<int64_t>(value) - centre) * pxPer100 / 100;
    // Far off the tape: a little beyond its ends, never wrapped.
    const int64_t r = cy - (d < -2000 ? -2000 : d > 2000 ? 2000 : d);
    return static_cast<int32_t>(r);
}

int32_t VsiOffset(int32_t vs, int32_t halfHeight) {
    const int64_t v = Clamp(vs, -kVsiFullScale, kVsiFullScale);
    return static_cast<int32_t>(v * halfHeight / kVsiFullScale);
}

void InitAirspeedBands() {
    SpeedBands b = {};
    const AirspeedCfg& c = G_AirspeedCfg;
    // The configuration is in knots; the bands are kept in the pilot's unit.
    auto u = [](int32_t knots) { return ToDisplayUnits(kInstAirspeed, knots * 10); };
    auto add = [&](int32_t lo, int32_t hi, uint32_t colour, int32_t inset) {
        if (hi > lo && lo >= 0 && b.nCount < kSpeedBands) b.band[b.nCount++] = {u(lo), u(hi), colour, inset};
    };
    add(c.nVs1, c.nVno, kEfGreen, 0);
    add(c.nVno, c.nVne, kEfYellow, 0);
    add(c.nVs0, c.nVfe, kEfWhite, 7);
    b.nRedLine = c.nVne > 0 ? u(c.nVne) : 0;
    G_SpeedBands = b;
}

void InitAirspeedScale() {
    s_scale.nAsiPx = G_EfisView.bNarrow || G_EfisView.y1 - G_EfisView.y0 < 400 ? 24 : 30;
    s_scale.nAsiStep = 100;
}

void InitAltitudeTape() {
    s_scale.nAltPx = G_EfisView.y1 - G_EfisView.y0 < 400 ? 32 : 40;
    s_scale.nAltStep = 100;
}

void InitTapeLabels() {
    // Labels stand every step; the steps fit the label font at any scale.
    if (s_scale.nAsiPx < 20) s_scale.nAsiStep = 200;
    if (s_scale.nAltPx < 20) s_scale.nAltStep = 200;
}

void InitVsiTable() {
    const EfisView& v = G_EfisView;
    const int32_t half = (v.tapeY1 - v.tapeY0) / 2 - 10;
    for (size_t i = 0; i < sizeof kVsiMarks / sizeof kVsiMarks[0]; ++i) s_vsiRow[i] = -VsiOffset(kVsiMarks[i], half);
}

// ---- airspeed -------------------------------------------------------------------------------------

// The split page's instruments stand in the map pane's side strips; the
// frames set the view and the scales, the tapes drawn next use them.
static void SplitView() {
    EfisUseSplitMap();
    InitAirspeedScale();
    InitAltitudeTape();
    InitTapeLabels();
    InitVsiTable();
}

void DrawAirspeedFrame() {
    SplitView();
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    Frame(v.x0, v.stripY0 + py, v.x0 + 89, v.y1 + py, kEfBlack, kEfDarkGrey);
}

void DrawAirspeedTape() {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    const int32_t y0 = v.tapeY0 + py, y1 = v.tapeY1 + py, cy = v.cy + py;
    if (!TapeBody(v.asiX0, y0, v.asiX1, y1)) {
        ReadoutBox(v.asiX0 - 2, v.asiX1 - 12, cy, 1, "---", kEfYellow);
        DrawTasBox();
        return;
    }
    const int32_t ias = ToDisplayUnits(kInstAirspeed, G_AirData.nIas);
    {
        ClipScope clip(v.asiX0 + 1, y0 + 1, v.asiX1 - 1, y1 - 1);
        for (int32_t i = 0; i < G_SpeedBands.nCount; ++i) {
            const SpeedBand& b = G_SpeedBands.band[i];
            const int32_t top = TapeRow(b.nHigh, ias, s_scale.nAsiPx, cy), bot = TapeRow(b.nLow, ias, s_scale.nAsiPx, cy);
            const int32_t right = v.asiX1 - 1 - b.nInset;
            GUI_SetColorIndex(b.nColour);
            GUI_FillRect(right - 5, top, right, bot);
        }
        if (G_SpeedBands.nRedLine > 0) {
            const int32_t r = TapeRow(G_SpeedBands.nRedLine, ias, s_scale.nAsiPx, cy);
            GUI_SetColorIndex(kEfRed);
            GUI_FillRect(v.asiX1 - 16, r - 1, v.asiX1 - 1, r + 1);
        }
        // Ticks every 5 units, labels every step; nothing below zero.
        const int32_t span = (v.tapeY1 - v.tapeY0) * 100 / s_scale.nAsiPx / 2 + 50;
        int32_t first = (ias - span) / 50 * 50;
        if (first < 0) first = 0;
        GUI_SetColorIndex(kEfWhite);
        for (int32_t t = first; t <= ias + span; t += 50) {
            const int32_t r = TapeRow(t, ias, s_scale.nAsiPx, cy);
            const bool major = t % s_scale.nAsiStep == 0;
            GUI_SetColorIndex(kEfWhite);
            GUI_FillRect(v.asiX1 - (major ? 12 : 7), r, v.asiX1 - 1, r + 1);
            if (major) DrawTextF(kEfWhite, 5, 23, v.asiX1 - 15, r - py, "%d", t / 10);
        }
        if (G_NavSrc.hdr.nSpeedBug > 0) {
            const int32_t bug = ToDisplayUnits(kInstAirspeed, G_NavSrc.hdr.nSpeedBug * 10);
            const int32_t r = Clamp(TapeRow(bug, ias, s_scale.nAsiPx, cy), y0, y1);
            DrawTapePointer(v.asiX1 - 10, r - py, 4, kEfMagenta);
        }
    }
    char text[12];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(Whole(ias)));
    // Over the red line the readout turns red, in the yellow arc yellow.
    uint32_t colour = kEfWhite;
    if (G_SpeedBands.nRedLine > 0 && ias >= G_SpeedBands.nRedLine) colour = kEfRed;
    else
        for (int32_t i = 0; i < G_SpeedBands.nCount; ++i)
            if (G_SpeedBands.band[i].nColour == kEfYellow && ias >= G_SpeedBands.band[i].nLow) colour = kEfYellow;
    ReadoutBox(v.asiX0 - 2, v.asiX1 - 12, cy, 1, text, colour);
    DrawTasBox();
}

// The air-data pane's airspeed box: IAS large, TAS under it.
static void DrawAirPaneSpeeds() {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    const int32_t x0 = v.adX0, x1 = v.adX1, y0 = v.y0 + 40;
    Frame(x0, y0 + py, x1, y0 + 64 + py, kEfBlack, kEfGrey);
    DrawTextF(kEfWhite, 2, 15, x0 + 4, y0 + 3, "IAS");
    DrawTextF(kEfWhite, 2, 15, x0 + 4, y0 + 46, "TAS");
    if (!AirDataLive()) {
        DrawTextF(kEfYellow, 11, 23, x1 - 6, y0 + 24, "---");
        DrawTextF(kEfYellow, 5, 17, x1 - 6, y0 + 46, "---");
        return;
    }
    DrawTextF(kEfWhite, 11, 23, x1 - 6, y0 + 24, "%d", static_cast<int>(Whole(ToDisplayUnits(kInstAirspeed, G_AirData.nIas))));
    DrawTextF(kEfWhite, 5, 17, x1 - 6, y0 + 46, "%d", static_cast<int>(Whole(ToDisplayUnits(kInstAirspeed, G_AirData.nTas))));
}

void DrawTasBox() {
    const EfisView& v = G_EfisView;
    if (v.bAirPane) {
        DrawAirPaneSpeeds();
        return;
    }
    const int32_t x0 = v.asiX0 - 2, x1 = v.asiX1, y0 = v.tapeY1 + 3, y1 = y0 + 18;
    const int32_t py = EfisPageY();
    Frame(x0, y0 + py, x1, y1 + py, kEfBlack, kEfGrey);
    DrawTextF(kEfWhite, 2, 21, x0 + 3, y0 + 9, "TAS");
    if (AirDataLive()) DrawTextF(kEfWhite, 5, 23, x1 - 3, y0 + 9, "%d", static_cast<int>(Whole(ToDisplayUnits(kInstAirspeed, G_AirData.nTas))));
    else DrawTextF(kEfYellow, 5, 23, x1 - 3, y0 + 9, "---");
}

// ---- altitude ---------------------------------------------------------------------------------------

void DrawAltitudeFrame() {
    SplitView();
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    Frame(v.x1 - 89, v.stripY0 + py, v.x1, v.y1 + py, kEfBlack, kEfDarkGrey);
}

static int32_t DisplayAltitude() { return ToDisplayUnits(kInstAltitude, G_AirData.nBaroAlt); }

void DrawAltitudeTape() {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    const int32_t y0 = v.tapeY0 + py, y1 = v.tapeY1 + py, cy = v.cy + py;
    if (!TapeBody(v.altX0, y0, v.altX1, y1)) {
        ReadoutBox(v.altX0 + 8, v.altX1 + 2, cy, -1, "-----", kEfYellow);
        DrawVsiTape();
        return;
    }
    const int32_t alt = DisplayAltitude();
    const int32_t px = s_scale.nAltPx;
    {
        ClipScope clip(v.altX0 + 1, y0 + 1, v.altX1 - 1, y1 - 1);
        const int32_t span = (v.tapeY1 - v.tapeY0) * 100 / px / 2 + 100;
        // Floor division: the first tick below the tape also for negative altitudes.
        int32_t first = alt - span;
        first = (first >= 0 ? first / 20 : -((-first + 19) / 20)) * 20;
        for (int32_t a = first; a <= alt + span; a += 20) {
            const int32_t r = TapeRow(a, alt, px, cy);
            const bool major = a % s_scale.nAltStep == 0;
            GUI_SetColorIndex(kEfWhite);
            GUI_FillRect(v.altX0 + 1, r, v.altX0 + (major ? 10 : 4), r + (major ? 1 : 0));
            if (major) DrawTextF(kEfWhite, 5, 23, v.altX1 - 3, r - py, "%d", static_cast<int>(a));
        }
        if (G_NavSrc.hdr.nFlags1 & kNavHdrMinAltBug) {
            const int32_t bug = ToDisplayUnits(kInstAltitude, G_NavSrc.hdr.nMinAltBug);
            DrawTapePointer(v.altX1 - 6, Clamp(TapeRow(bug, alt, px, cy), y0, y1) - py, 1, kEfYellow);
        }
        const int32_t bug = ToDisplayUnits(kInstAltitude, G_NavSrc.hdr.nAltBug);
        DrawTapePointer(v.altX0 + 7, Clamp(TapeRow(bug, alt, px, cy), y0, y1) - py, 2, kEfCyan);
    }
    char text[12];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(Clamp(alt, -99999, 999999)));
    ReadoutBox(v.altX0 + 8, v.altX1 + 2, cy, -1, text, kEfWhite);
    DrawVsiTape();
}

void DrawAltitudeBox() {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    // The altitude bug above the tape; the alerter colours it while the
    // altitude closes on it (within 1000) and once it is held (within 200).
    const int32_t bug = ToDisplayUnits(kInstAltitude, G_NavSrc.hdr.nAltBug);
    const int32_t top = v.tapeY0 - 21;
    uint32_t fill = kEfBlack, text = kEfCyan;
    if (AirDataLive()) {
        const int32_t d = DisplayAltitude() - bug;
        const int32_t ad = d < 0 ? -d : d;
        if (ad <= 200) fill = kEfCyan, text = kEfBlack;
        else if (ad <= 1000) text = kEfYellow;
    }
    Frame(v.altX0, top + py, v.altX1 + 2, top + 18 + py, fill, kEfGrey);
    DrawTextF(text, 5, 23, v.altX1 - 1, top + 9, "%d", static_cast<int>(bug));
    // The baro setting under the tape: inHg, or hPa with metres.
    const int32_t y0 = v.tapeY1 + 3;
    Frame(v.altX0, y0 + py, v.altX1 + 2, y0 + 18 + py, kEfBlack, kEfGrey);
    const int32_t baro = G_AirData.nBaroSetting;
    if (ToDisplayUnits(kInstAltitude, 1000) != 1000)
        DrawTextF(kEfCyan, 5, 23, v.altX1 - 1, y0 + 9, "%d HPA", static_cast<int>((static_cast<int64_t>(baro) * 338639 / 10000 + 5000) / 10000));
    else
        DrawTextF(kEfCyan, 5, 23, v.altX1 - 1, y0 + 9, "%d.%02d IN", static_cast<int>(baro / 1000), static_cast<int>(baro % 1000 / 10));
}

void DrawAltitudeCompact() {
    // The air-data pane: the altitude as a large readout with the baro setting.
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    const int32_t x0 = v.adX0, x1 = v.adX1, y0 = v.y0 + 112;
    Frame(x0, y0 + py, x1, y0 + 60 + py, kEfBlack, kEfGrey);
    DrawTextF(kEfWhite, 2, 15, x0 + 4, y0 + 3, "ALT");
    if (AirDataLive()) DrawTextF(kEfWhite, 11, 23, x1 - 6, y0 + 32, "%d", static_cast<int>(Clamp(DisplayAltitude(), -99999, 999999)));
    else DrawTextF(kEfYellow, 11, 23, x1 - 6, y0 + 32, "-----");
    const int32_t baro = G_AirData.nBaroSetting;
    DrawTextF(kEfCyan, 2, 17, x1 - 4, y0 + 3, "%d.%02d", static_cast<int>(baro / 1000), static_cast<int>(baro % 1000 / 10));
}

// ---- vertical speed -----------------------------------------------------------------------------------

static void VsiMarks() {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    const int32_t cy = v.cy + py;
    Frame(v.vsiX0, v.tapeY0 + py, v.vsiX1, v.tapeY1 + py, kEfTape, kEfGrey);
    for (size_t i = 0; i < sizeof kVsiMarks / sizeof kVsiMarks[0]; ++i) {
        const int32_t m = kVsiMarks[i];
        const int32_t r = cy + s_vsiRow[i];
        GUI_SetColorIndex(kEfWhite);
        const bool major = m % 1000 == 0;
        GUI_FillRect(v.vsiX0 + 1, r, v.vsiX0 + (major ? 7 : 4), r + (m == 0 ? 1 : 0));
        if (major && m != 0) DrawTextF(kEfWhite, 2, 21, v.vsiX0 + 10, r - py, "%d", static_cast<int>((m < 0 ? -m : m) / 1000));
    }
}

// The scale with its needle: the map's split page calls it after the
// altitude tape, so it draws the whole instrument again.
void DrawVsiScale() {
    const EfisView& v = G_EfisView;
    const int32_t py = EfisPageY();
    VsiMarks();
    if (!AirDataLive()) {
        RedCross(v.vsiX0, v.tapeY0 + py, v.vsiX1, v.tapeY1 + py);
        return;
    }
    const int32_t half = (v.tapeY1 - v.tapeY0) / 2 - 10;
    const int32_t vs = G_AirData.nVs;
    const int32_t r = v.cy - VsiOffset(vs, half) + py;
    // A needle from the zero mark's side to the value, pegged at the ends.
    const GUI_Point needle[3] = {{static_cast<int16_t>(v.vsiX0 + 2), static_cast<int16_t>(r)},
                                 {static_cast<int16_t>(v.vsiX1 - 1), static_cast<int16_t>(r - 5)},
                                 {static_cast<int16_t>(v.vsiX1 - 1), static_cast<int16_t>(r + 5)}};
    GUI_SetColorIndex(kEfGreen);
    GUI_FillPolygon(needle, 3, 0, 0);
    GUI_SetColorIndex(kEfBlack);
    GUI_DrawPolygon(needle, 3, 0, 0);
    // The value in round hundreds under the baro box.
    const int32_t shown = ToDisplayUnits(kInstVertSpeed, vs);
    if (vs >= 100 || vs <= -100)
        DrawTextF(kEfGreen, 5, 23, v.vsiX1, v.tapeY1 + 31, "%+d", static_cast<int>(shown / 100 * 100));
}

void DrawVsiTape() { DrawVsiScale(); }
