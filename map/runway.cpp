// The "RUNWAYS" box: the selected airport's runways to scale from their end
// coordinates, or a schematic of one runway when the database has none.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/util.h"
#include "gui/gui.h"
#include "map/records.h"
#include "map/waypoints.h"
#include "ui/style.h"

namespace {
constexpr int kDrawnRunways = 10;
constexpr double kFeetPerNm = 6076.1157;

const GUI_Point kMarker[2][10] = {
    {{0, 2}, {-3, 2}, {0, 0}, {3, 2}, {0, 2}, {0, 5}, {-2, 8}, {-5, 8}, {-7, 5}, {-7, -7}},
    {{0, 2}, {3, 2}, {0, 0}, {-3, 2}, {0, 2}, {0, 5}, {2, 8}, {5, 8}, {7, 5}, {7, -7}},
};
const GUI_Point kSchematic[2][9] = {
    {{0, 0}, {12, -12}, {12, -8}, {32, -8}, {32, 36}, {16, 36}, {16, 8}, {12, 8}, {12, 12}},
    {{0, 0}, {-12, -12}, {-12, -8}, {-32, -8}, {-32, 36}, {-16, 36}, {-16, 8}, {-12, 8}, {-12, 12}},
};

struct Area {
    int32_t left, top, right, bottom;   // frame rows; top is below the title rule
    int32_t cx, cy, w, h;
};

struct RunwayShape {
    bool coords;
    int32_t x1, y1, x2, y2;    // screen ends (frame rows)
    double a;                  // direction: (sin a, cos a) from the second end to the first
    GUI_Point quad[4];
    GUI_Point outline[4];
    char end[2][11];
};

int16_t Round16(double v) { return static_cast<int16_t>(RoundNearest(v)); }

// Text rows from frame rows.
int32_t TextY(int32_t frameRow) { return WptTextRow(frameRow - kWptBoxDrop); }

void DrawSchematic(const Area& ar, const uint8_t* runway) {
    DrawTextF(14, 4, 3, ar.left + 5, TextY(ar.bottom - 18), "%s", "No Coordinates");
    char end[2][11];
    SplitRunwayName(runway[rwy::kName], end[0], end[1]);
    SetDrawColor(31);
    GUI_DrawVLine(ar.cx, ar.top + 5, ar.bottom - 5);
    for (int e = 0; e < 2; ++e) {
        const int32_t x = e == 0 ? ar.left + ar.w / 4 : ar.cx + ar.w / 4;
        const bool set = (runway[rwy::kEndFlags] >> e) & 1;
        DrawTextF(14, 4, 1, x, TextY(ar.top + 2), "%s", "Runway");
        DrawTextF(31, 10, 1, x, TextY(ar.top + 18), "%.9s", end[e]);
        SetDrawColor(31);
        GUI_FillPolygon(kSchematic[set ? 1 : 0], 9, set ? x + 16 : x - 16, ar.top + 60);
    }
}

bool HasCoords(const uint8_t* w) { return RecS32(w, 4) != 0; }

// Pixels per degree from the span of the runway ends.
double Scale(const Area& ar, const uint8_t (*runways)[38], int n, double cosLat) {
    double south = 200, north = -200, west = 200, east = -200;
    for (int i = 0; i < n; ++i) {
        if (!HasCoords(runways[i])) continue;
        for (int e = 0; e < 2; ++e) {
            const double lat = RecS32(runways[i], 8 * e) / 262144.0, lon = RecS32(runways[i], 8 * e + 4) / 262144.0;
            south = std::fmin(south, lat);
            north = std::fmax(north, lat);
            west = std::fmin(west, lon);
            east = std::fmax(east, lon);
        }
    }
    const double latSpan = std::fabs(north - south), lonSpan = std::fabs(cosLat * (east - west));
    // One point has no span: it is drawn at the centre.
    if (lonSpan < latSpan) return latSpan > 0 ? (ar.h * 0.5 - 7) / latSpan : 0;
    return lonSpan > 0 ? (ar.w * 0.5 - 7) / lonSpan : 0;
}

void Shape(const Area& ar, const uint8_t* apt, const uint8_t* w, int64_t cosFix, int64_t s, RunwayShape* out) {
    out->coords = HasCoords(w);
    SplitRunwayName(w[rwy::kName], out->end[0], out->end[1]);
    if (!out->coords) return;
    const int64_t aLat = RecS32(apt, apt::kLat), aLon = RecS32(apt, apt::kLon);
    const int64_t lat1 = RecS32(w, 0), lon1 = RecS32(w, 4), lat2 = RecS32(w, 8), lon2 = RecS32(w, 12);
    out->x1 = ar.cx + static_cast<int32_t>(((cosFix * (lon1 - aLon)) >> 18) * s >> 18);
    out->y1 = ar.cy - static_cast<int32_t>((lat1 - aLat) * s >> 18);
    out->x2 = ar.cx + static_cast<int32_t>(((cosFix * (lon2 - aLon)) >> 18) * s >> 18);
    out->y2 = ar.cy - static_cast<int32_t>((lat2 - aLat) * s >> 18);
    out->a = std::atan2(static_cast<double>(cosFix * (lon1 - lon2)), -static_cast<double>(lat1 - lat2));
    int32_t width = static_cast<int16_t>(RecU16(w, rwy::kWidth));
    if (width < 0) width += 65536;
    // The full width on each side: the strip is drawn twice the scaled width.
    const double d = width / kFeetPerNm / 60.0 * static_cast<double>(s);
    const double px = d * std::cos(out->a), py = -d * std::sin(out->a);   // along a + 90 degrees
    out->quad[0] = {Round16(out->x1 + px), Round16(out->y1 + py)};
    out->quad[1] = {Round16(out->x1 - px), Round16(out->y1 - py)};
    out->quad[2] = {Round16(out->x2 - px), Round16(out->y2 - py)};
    out->quad[3] = {Round16(out->x2 + px), Round16(out->y2 + py)};
    GUI_GrowPolygon(out->outline, out->quad, 4, 1);
}

void DrawEnd(const RunwayShape& sh, int e, uint8_t flags) {
    const double sign = e == 0 ? 1.0 : -1.0, sa = std::sin(sh.a), ca = std::cos(sh.a);
    const int32_t x = e == 0 ? sh.x1 : sh.x2, y = e == 0 ? sh.y1 : sh.y2;
    DrawTextF(31, 2, 22, RoundNearest(x + sign * 15 * sa), TextY(RoundNearest(y + sign * 15 * ca)), "%.5s", sh.end[e]);
    GUI_Point marker[10];
    const bool set = (flags >> e) & 1;
    GUI_RotatePolygon(marker, kMarker[set ? 1 : 0], 10, static_cast<float>(e == 0 ? sh.a : sh.a - M_PI));
    SetDrawColor(31);
    GUI_SetPenSize(1);
    GUI_DrawPolyLine(marker, 10, RoundNearest(x + sign * 25 * sa), RoundNearest(y + sign * 25 * ca));
}

void DrawToScale(const Area& ar, const uint8_t* apt, int32_t selected) {
    const uint32_t count = apt[apt::kRunways] < kWptRunways ? apt[apt::kRunways] : kWptRunways;
    const int n = count < kDrawnRunways ? static_cast<int>(count) : kDrawnRunways;
    const double cosLat = std::cos(RecS32(apt, apt::kLat) / 262144.0 * M_PI / 180.0);
    const int64_t cosFix = static_cast<int64_t>(cosLat * 262144.0);
    const int64_t s = static_cast<int64_t>(Scale(ar, G_WptDb.abRunways, n, cosFix / 262144.0));
    static RunwayShape shapes[kDrawnRunways];
    for (int i = 0; i < n; ++i) Shape(ar, apt, G_WptDb.abRunways[i], cosFix, s, &shapes[i]);
    SetDrawColor(21);
    for (int i = 0; i < n; ++i)
        if (shapes[i].coords) GUI_FillPolygon(shapes[i].quad, 4, 0, 0);
    for (int i = 0; i < n; ++i) {
        const bool unlabelled = i == selected || count == 1 || (selected < 0 && i == static_cast<int>(count) - 1);
        if (!shapes[i].coords || unlabelled) continue;
        DrawEnd(shapes[i], 0, G_WptDb.abRunways[i][rwy::kEndFlags]);
        DrawEnd(shapes[i], 1, G_WptDb.abRunways[i][rwy::kEndFlags]);
    }
    if (selected < 0 || selected >= static_cast<int32_t>(count)) return;
    const char* name = MapText10(G_WptDb.abRunways[selected][rwy::kName]);
    if (selected >= n) {   // past the ten drawn: named only
        DrawTextF(31, 8, 3, ar.left + 5, TextY(ar.bottom - 20), "%.11s", name);
        return;
    }
    if (!shapes[selected].coords) {
        DrawTextF(31, 8, 3, ar.left + 5, TextY(ar.bottom - 20), "%.11s -- No Coordinates", name);
        return;
    }
    SetDrawColor(31);
    GUI_SetPenSize(1);
    GUI_DrawPolygon(shapes[selected].outline, 4, 0, 0);
    DrawTextF(31, 8, 3, ar.left + 5, TextY(ar.bottom - 20), "%.11s", name);
}
}  // namespace

void RunwayDiagram(const uint8_t* airport, int32_t runway) {
    const WptRect r = WptSmallBoxRect();
    DrawInfoBox(WptDropRect(r), "RUNWAYS");
    Area ar;
    ar.left = r.x0;
    ar.right = r.x1;
    ar.top = WptFrameRow(r.y0) + 20;
    ar.bottom = WptFrameRow(r.y1);
    ar.w = ar.right - ar.left;
    ar.h = ar.bottom - ar.top;
    ar.cx = (ar.left + ar.right) / 2;
    ar.cy = (ar.top + ar.bottom) / 2;
    const GUI_Rect clip = {static_cast<int16_t>(ar.left + 1), static_cast<int16_t>(ar.top + 1),
                           static_cast<int16_t>(ar.right - 1), static_cast<int16_t>(ar.bottom - 1)};
    GUI_SetClipRect(&clip);
    if (!((airport[apt::kFlags2]) & 1)) {
        DrawSchematic(ar, G_WptDb.abRunways[runway >= 0 ? runway % kWptRunways : 0]);
    } else {
        DrawToScale(ar, airport, runway);
    }
    GUI_SetClipRect(nullptr);
}
