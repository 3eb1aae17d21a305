#include "efis/efisview.h"

#include <cmath>

#include "core/irq.h"
#include "core/util.h"
#include "gui/gui.h"
#include "ui/pages.h"
#include "ui/style.h"

EfisView G_EfisView = {};

EfisView EfisViewForPane(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    EfisView v = {};
    v.x0 = x0, v.y0 = y0, v.x1 = x1, v.y1 = y1;
    v.cx = x0 + (x1 - x0) / 2;
    v.cy = y0 + (y1 - y0) / 2;
    const int32_t h = y1 - y0 + 1;
    v.ppd = h >= 400 ? 5 : 4;
    // The airspeed tape ends before the angle-of-attack area (x0 + 94); the
    // altitude tape starts after the vertical-deviation strip (x1 - 88).
    v.asiX0 = x0 + 6, v.asiX1 = x0 + 76;
    v.altX0 = x1 - 84, v.altX1 = x1 - 26;
    v.vsiX0 = x1 - 22, v.vsiX1 = x1 - 3;
    const int32_t half = h >= 400 ? 150 : 110;
    v.tapeY0 = v.cy - half;
    v.tapeY1 = v.cy + half;
    v.hsiR = h >= 400 ? 72 : 52;
    v.hsiCx = v.cx;
    v.hsiCy = y1 - v.hsiR - 6;
    v.adiClipY1 = v.hsiCy - v.hsiR - 26;   // above the heading box
    v.bNarrow = (x1 - x0) < 500;
    v.windX = v.asiX1 + 30;
    v.windY = y1 - 40;
    if (v.bNarrow) {
        // One line at the top right, under the clock's row.
        v.infoX0 = v.cx - 20, v.infoY0 = y0 + 22, v.infoX1 = x1 - 3, v.infoY1 = y0 + 38;
        v.apX0 = v.cx - 40, v.apX1 = x1 - 3;
    } else {
        v.infoX0 = v.hsiCx + v.hsiR + 12, v.infoY0 = v.hsiCy - 30, v.infoX1 = v.altX0 - 8, v.infoY1 = y1 - 4;
        v.apX0 = v.cx - 110, v.apX1 = v.cx + 110;
    }
    v.apY0 = y0 + 3;
    // Clear of the angle-of-attack area (x0 + 94 .. x0 + 135).
    v.adX0 = v.bNarrow ? x0 + 150 : v.cx - 80;
    v.adX1 = v.adX0 + 160;
    v.aoaX = x0 + 94, v.aoaY = y0 + 49;
    v.bSplit = false;
    return v;
}

EfisView EfisViewForSplitMap(int32_t x0, int32_t y0, int32_t x1, int32_t y1, int32_t boxRows) {
    EfisView v = EfisViewForPane(x0, y0, x1, y1);
    // The strips are 90 pixels wide: the tapes fill them, nothing sits over the map.
    v.asiX0 = x0 + 4, v.asiX1 = x0 + 74;
    v.altX0 = x1 - 87, v.altX1 = x1 - 29;
    v.vsiX0 = x1 - 25, v.vsiX1 = x1 - 4;
    // Under the map's data boxes: the OAT line and the angle of attack above
    // the airspeed tape, the TAS box and the G-meter under it; wind at the
    // top of the right strip, above the altitude bug. A short pane (340
    // rows) takes its tapes shorter rather than run the boxes off it.
    v.stripY0 = y0 + boxRows;
    v.aoaX = x0 + 46, v.aoaY = v.stripY0 + 22;
    v.tapeY0 = v.cy - 110 > v.stripY0 + 103 ? v.cy - 110 : v.stripY0 + 103;
    v.tapeY1 = v.cy + 110 < y1 - 58 ? v.cy + 110 : y1 - 58;
    v.cy = v.tapeY0 + (v.tapeY1 - v.tapeY0) / 2;
    v.windX = x1 - 45, v.windY = v.stripY0 + 22;
    v.hsiR = 0;
    v.bSplit = true;
    return v;
}

bool EfisAirPanePage(int32_t page) { return page == 4 || page == 14 || page == 32 || page == 36; }

void EfisUseLayout() {
    G_EfisView = EfisViewForPane(G_EfisLayout.x0, G_EfisLayout.y0, G_EfisLayout.x1, G_EfisLayout.y1);
    G_EfisView.bAirPane = EfisAirPanePage(G_CurPage);
}

void EfisUseSplitMap() {
    // The narrow pane's data strip has a second row for the waypoint.
    const int32_t rows = G_MapPane.nFlagA == 1 ? 32 : 16;
    G_EfisView = EfisViewForSplitMap(G_MapPane.x0, G_MapPane.y0, G_MapPane.x1, G_MapPane.y1, rows);
}

int32_t EfisWrap3600(int32_t angle) {
    const int32_t r = angle % 3600;
    return r < 0 ? r + 3600 : r;
}

int16_t EfisPx(double v) {
    const int32_t i = SaturateI32(std::floor(v + 0.5));
    return static_cast<int16_t>(i < -16000 ? -16000 : i > 16000 ? 16000 : i);
}

GUI_Point EfisRotated(double cx, double cy, int32_t angle, double along, double across) {
    constexpr double kOne = kTrigOne;
    const size_t a = static_cast<size_t>(EfisWrap3600(angle));
    const double s = SinTab10[a] / kOne, c = CosTab10[a] / kOne;
    return {EfisPx(cx + along * s + across * c), EfisPx(cy - along * c + across * s)};
}

int32_t EfisPageY() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

GUI_Rect EfisClipPane(int32_t rowBase) {
    const GUI_Rect saved = GUI_DrawState.ClipRect;
    const EfisView& v = G_EfisView;
    const GUI_Rect r = {static_cast<int16_t>(v.x0), static_cast<int16_t>(v.y0 + rowBase),
                        static_cast<int16_t>(v.x1), static_cast<int16_t>(v.y1 + rowBase)};
    GUI_SetClipRect(&r);
    return saved;
}

void EfisClipRestore(const GUI_Rect& saved) { GUI_SetClipRect(&saved); }
