// How far things are on the map: the scale bar and north arrow (north up),
// the range arc around the aircraft (track up), and the ETE, GS, WP and
// DIST boxes along the top of the map.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/airspace.h"
#include "map/goto.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/style.h"

namespace {
constexpr int32_t kBarPixels = 75;
constexpr int32_t kSplitShift = 90;
// Pane rows above the arc: the data boxes with their rule (two rows of them on a narrow pane).
constexpr int32_t kArcTop = 18, kArcTopNarrow = 34;
constexpr uint32_t kWhite = 31, kRed = 2, kBlack = 0, kMagenta = 17, kRule = 20, kZoomBand = 48;
constexpr uint8_t kPenBar = 2;
const char* const kDistUnit[3] = {"NM", "SM", "KM"};
const char* const kSpeedUnit[3] = {"KT", "MH", "KH"};
constexpr GUI_Point kNorthArrow[4] = {{0, -30}, {10, 5}, {0, 0}, {-10, 5}};

struct ArcRow {
    int32_t page, radius, start, step;
};
constexpr ArcRow kArcRows[] = {
    {5, 355, 3460, 14}, {15, 355, 3480, 14}, {6, 258, 3410, 18}, {16, 258, 3410, 18}, {7, 275, 3250, 25}, {8, 373, 3350, 20},
};

int32_t Oy() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
uint32_t Units() { return G_DistUnits < 3 ? G_DistUnits : 0; }
bool ZoomKnob() { return G_Knob0.nFunction == kKnobZoom || G_Knob1.nFunction == kKnobZoom; }

// Tenths of a nautical mile that `pixels` span at the current zoom.
int32_t PixelsToTenths(int32_t pixels) {
    const int64_t inv = MapScaleInvTab[G_MapZoom < static_cast<uint32_t>(kMapZooms) ? G_MapZoom : 0];
    return static_cast<int32_t>((pixels * inv * 60 * 10) >> 18);
}

// A point of the arc: angle t (tenths) and radius r about the own-ship point.
void ArcPoint(const MapScreenPoint& own, int32_t t, int32_t r, int32_t* x, int32_t* y) {
    const int32_t a = ((t % 3600) + 3600) % 3600;
    *x = own.x - static_cast<int32_t>((static_cast<int64_t>(r) * SinTab10[a]) >> 18);
    *y = own.y - static_cast<int32_t>((static_cast<int64_t>(r) * CosTab10[a]) >> 18);
}

float ArcRad(int32_t tenths) { return static_cast<float>((tenths + 1800) / 10.0 * 3.14159265358979323846 / 180.0); }

void DrawScaleBar() {
    const PaneRecord& p = G_MapPane;
    int32_t x0 = p.x1 - kBarPixels, x1 = p.x1 - 1;
    if (IsSplitMapPage()) {
        x0 -= kSplitShift;
        x1 -= kSplitShift;
    }
    const int32_t top = p.y0 + 33, bottom = p.y0 + 38, oy = Oy();
    int32_t style = 28;
    if (ZoomKnob()) {
        SetDrawColor(kZoomBand);
        GUI_FillRect(x0, top - 16 + oy, x1, bottom + oy);
        style = 25;
    }
    SetDrawColor(kWhite);
    const uint8_t pen = GUI_SetPenSize(kPenBar);
    GUI_DrawLine(x0, top + oy, x0, bottom + oy);
    GUI_DrawLine(x1, top + oy, x1, bottom + oy);
    GUI_DrawLine(x0, bottom + oy, x1, bottom + oy);
    GUI_SetPenSize(pen);
    char text[24];
    FormatRange(kBarPixels, true, text, sizeof text);
    DrawTextF(kWhite, 9, style, (x0 + x1) / 2, bottom - 2, "%s", text);
}

void DrawNorthArrow() {
    const PaneRecord& p = G_MapPane;
    const int32_t pg = G_CurPage;
    const bool split = pg == 7 || pg == 8 || pg == 33 || pg == 37;
    const int32_t x = p.x0 + (split ? 150 : 20), y = p.y0 + (split ? 60 : 80);
    SetDrawColor(kBlack);
    GUI_FillPolygon(kNorthArrow, 4, x, y + Oy());
    SetDrawColor(kWhite);
    GUI_DrawPolygon(kNorthArrow, 4, x, y + Oy());
    DrawTextF(kWhite, 9, 25, x, y + 20, "N");
}

// The table's radii reach out of the pane when the aircraft sits higher in
// it than they were made for (or beside the instrument strips of a narrowed
// map): the arc is brought in to stay below the data boxes and inside the
// map's columns, and its label gives the range of that radius.
ArcRow FittedArc(const ArcRow& table, const MapScreenPoint& own) {
    const PaneRecord& p = G_MapPane;
    const int32_t top = p.y0 + (p.nFlagA == 1 ? kArcTopNarrow : kArcTop);
    const int32_t edge = p.x1 - 2 - (IsSplitMapPage() ? kSplitShift : 0);
    ArcRow row = table;
    // A shorter radius spreads the characters over more angle, so that they
    // keep their spacing, and can print a longer label ("9.9NM"): a few
    // passes, each radius fitting the angles it was computed with.
    for (int pass = 0; pass < 4 && row.radius >= 20; ++pass) {
        row.step = (table.step * table.radius + row.radius / 2) / row.radius;
        char text[24];
        FormatRange(row.radius, false, text, sizeof text);
        const int32_t n = static_cast<int32_t>(std::strlen(text));
        const int32_t from = ((row.start - n * row.step) % 3600 + 3600) % 3600;
        const int32_t to = ((row.start + row.step) % 3600 + 3600) % 3600;
        // The arc's highest and rightmost reach for a unit radius (2^18
        // fixed point); its angles lie in the upper-right quarter.
        const int64_t up = std::max<int64_t>(CosTab10[from], CosTab10[to]);
        const int64_t right = std::max<int64_t>(-SinTab10[from], -SinTab10[to]);
        int64_t outer = row.radius + 14;
        if (up > 0) outer = std::min<int64_t>(outer, (static_cast<int64_t>(own.y - top) << 18) / up);
        if (right > 0) outer = std::min<int64_t>(outer, (static_cast<int64_t>(edge - own.x) << 18) / right);
        if (outer - 14 >= row.radius) break;
        row.radius = static_cast<int32_t>(outer) - 14;
    }
    return row;
}

void DrawArc(ArcRow row) {
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    row = FittedArc(row, own);
    if (row.radius < 20) return;
    char text[24];
    FormatRange(row.radius, false, text, sizeof text);
    const int32_t n = static_cast<int32_t>(std::strlen(text));
    const int32_t from = row.start - n * row.step, to = row.start + row.step, oy = Oy();
    if (ZoomKnob()) {
        SetDrawColor(kZoomBand);
        for (int32_t r = row.radius; r <= row.radius + 14; ++r)
            MapDrawArcPixels(own.x, own.y, ArcRad(from), ArcRad(to), r);
    }
    GUI_SetPenSize(1);
    SetDrawColor(MapSourceHasFix(MapSourceRecord()) ? kWhite : kRed);
    MapDrawArcPixels(own.x, own.y, ArcRad(from), ArcRad(to), row.radius + 14);
    for (const int32_t t : {from, to}) {
        int32_t xa, ya, xb, yb;
        ArcPoint(own, t, row.radius, &xa, &ya);
        ArcPoint(own, t, row.radius + 14, &xb, &yb);
        GUI_DrawLine(xa, ya + oy, xb, yb + oy);
    }
    for (int32_t k = n - 1; k >= 0; --k) {
        int32_t x, y;
        ArcPoint(own, row.start - k * row.step, row.radius + 11, &x, &y);
        DrawTextF(kBlack, 3, 16, x + 1, y + 1, "%c", text[k]);
        DrawTextF(kWhite, 3, 16, x, y, "%c", text[k]);
    }
}

// A label in magenta and its value in white right after it; returns the x after the value.
int32_t Label(int32_t x, int32_t y, const char* label) { return DrawTextF(kMagenta, 4, 33, x, y, "%s", label); }

void BoxEte(const NavSrcRec& r, bool fix, int32_t x, int32_t y) {
    x = Label(x, y, "ETE ");
    if (!fix || r.nTimeToWpt == -1) {
        DrawTextF(kWhite, 7, 33, x, y, " --- ");
        return;
    }
    char main[16], sec[8];
    FormatEte(r.nTimeToWpt, main, sec);
    x = DrawTextF(kWhite, 7, 33, x, y, "%s", main);
    if (sec[0]) DrawTextF(kWhite, 5, 33, x, y, "%s", sec);
}

void BoxGs(const NavSrcRec& r, bool fix, int32_t x, int32_t y) {
    x = Label(x, y, "GS ");
    if (!fix) x = DrawTextF(kWhite, 7, 33, x, y, "---");
    else x = DrawTextF(kWhite, 7, 33, x, y, "% 3d", RoundNearest(ToDistUnitTenths(r.nGroundSpeed, Units()) / 10.0));
    DrawTextF(kWhite, 4, 33, x, y, " %s", kSpeedUnit[Units()]);
}

void BoxWp(const NavSrcRec& r, bool fix, int32_t x, int32_t y) {
    x = Label(x, y, "WP ");
    if (!fix) {
        DrawTextF(kWhite, 7, 33, x, y, "--- ");
        return;
    }
    char id[sizeof r.szWaypoint + 1] = {};
    std::memcpy(id, r.szWaypoint, sizeof r.szWaypoint);
    DrawTextF(kWhite, 7, 33, x, y, "%s ", id);
}

void BoxDist(const NavSrcRec& r, bool fix, int32_t x, int32_t y) {
    x = Label(x, y, "DIST ");
    if (!fix) {
        DrawTextF(kWhite, 7, 33, x, y, " --- ");
        return;
    }
    const int32_t d = ToDistUnitTenths(r.nDistance, Units());
    x = DrawTextF(kWhite, 7, 33, x, y, " %d.%d ", d / 10, d % 10);
    DrawTextF(kWhite, 4, 33, x, y, "%s ", kDistUnit[Units()]);
}

void ClearBox(int32_t x0, int32_t x1, int32_t y0) {
    const int32_t oy = Oy();
    GUI_ClearRect(x0, y0 + oy, x1, y0 + 14 + oy);
    SetDrawColor(kRule);
    GUI_DrawHLine(y0 + 15 + oy, x0, x1);
}
}  // namespace

int32_t ToDistUnitTenths(int32_t tenths, uint32_t units) {
    if (units == 1) return RoundNearest(static_cast<double>(static_cast<float>(tenths) * 1.15078f));
    if (units == 2) return RoundNearest(static_cast<double>(static_cast<float>(tenths) * 1.852f));
    return tenths;
}

void FormatEte(int32_t sec, char* main, char* seconds) {
    seconds[0] = '\0';
    if (sec >= 3600) {
        std::snprintf(main, 16, "%02d:%02d ", static_cast<int>(sec / 3600), static_cast<int>(sec / 60 % 60));
        return;
    }
    std::snprintf(main, 16, "%02d:", static_cast<int>(sec / 60));
    std::snprintf(seconds, 8, "%02d ", static_cast<int>(sec % 60));
}

void FormatRange(int32_t pixels, bool bar, char* out, int32_t size) {
    const int32_t nm = PixelsToTenths(pixels);
    const int32_t v = ToDistUnitTenths(nm, Units());
    const char* unit = kDistUnit[Units()];
    // The decimal shows below 10 nautical miles, whatever the unit.
    if (nm < 100) std::snprintf(out, static_cast<size_t>(size), bar ? " %d.%d %s " : "%d.%d%s", v / 10, v % 10, unit);
    else std::snprintf(out, static_cast<size_t>(size), bar ? " %d %s " : "%d%s", v / 10, unit);
}

void MapDrawRangeArc() {
    const PaneRecord& p = G_MapPane;
    const int32_t oy = Oy();
    const GUI_Rect clip = {static_cast<int16_t>(p.x0 + 2), static_cast<int16_t>(p.y0 + 16 + oy),
                           static_cast<int16_t>(p.x1 - 2), static_cast<int16_t>(p.y1 + oy)};
    GUI_SetClipRect(&clip);
    if (G_MapViewMode & 2u) {
        DrawScaleBar();
        DrawNorthArrow();
    } else {
        for (const ArcRow& row : kArcRows)
            if (row.page == G_CurPage) DrawArc(row);
    }
    GUI_SetClipRect(nullptr);
}

void MapNavDataBoxes() {
    const PaneRecord& p = G_MapPane;
    const NavSrcRec& r = MapCourseRecord();
    const bool fix = (r.nGpsFlagsA & kNavGpsValid) != 0;
    const int32_t y = p.y0 + 1;
    if (p.nFlagA == 1) {
        ClearBox(p.x0, p.x1 - 1, p.y0);
        BoxEte(r, fix, p.x0 + 2, y);
        BoxDist(r, fix, p.nCenterX - 40, y);
        BoxGs(r, fix, p.x1 - 66, y);
        if (r.nGpsFlagsA & kNavGpsWptValid) {
            ClearBox(p.x0, p.x1 - 1, p.y0 + 16);
            BoxWp(r, fix, p.x0 + 2, y + 16);
        }
        return;
    }
    const int32_t leftEnd = p.x0 + 2 * (p.nCenterX - p.x0) / 3;
    const int32_t rightStart = (p.x1 - 1) - 2 * (p.x1 - 1 - p.nCenterX) / 3;
    ClearBox(p.x0, leftEnd, p.y0);
    ClearBox(rightStart, p.x1, p.y0);
    BoxWp(r, fix, p.x0, y);
    BoxDist(r, fix, (p.x0 + leftEnd) / 2, y);
    const bool air = G_NetStreamCfg[kStreamAir].INST != 0 && G_MapAirOn == 1;
    BoxEte(r, fix, rightStart + (air ? 2 : 20), y);
    BoxGs(r, fix, air ? rightStart + 75 : p.x1 - 71, y);
}
