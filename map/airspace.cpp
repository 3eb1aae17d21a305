// Airspace outlines and labels.
#include "map/airspace.h"

#include <cmath>
#include <cstdio>

#include "core/irq.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/layers.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "ui/style.h"

namespace {
constexpr double kPi = 3.14159265358979323846;

int16_t I16(const uint8_t* p, uint32_t at) { return static_cast<int16_t>(RecU16(p, at)); }
int32_t Oy() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
MapPoint Ref() { return {G_MapFrame.nRefLat, G_MapFrame.nRefLon}; }

void Project(int32_t lat, int32_t lon, int32_t* x, int32_t* y) { MapProject(Ref(), MapPoint{lat, lon}, x, y); }

int32_t Pixels(uint32_t length) {
    const int64_t m = MapScaleTab[G_MapZoom < kMapZooms ? G_MapZoom : 0];
    return static_cast<int32_t>((static_cast<int64_t>(length) * m) >> 36);
}

bool Overlaps(const uint8_t* rec, const int16_t* view) {
    return !(I16(rec, 4) < view[0] || I16(rec, 0) > view[2] || I16(rec, 6) < view[1] || I16(rec, 2) > view[3]);
}

void Circle(int32_t x, int32_t y, int32_t r) {
    if (r >= 0) GUI_DrawCircle(x, y + Oy(), r);
}
}  // namespace

bool AirspaceStyleOf(uint8_t cls, uint16_t flags, AirspaceStyle* s) {
    switch (cls) {
    case 'A': case 'E': return false;
    case 'B': *s = {2, 8, 8, 7}; return true;
    case 'C': *s = {2, 17, 17, 16}; return true;
    case 'D': *s = {2, 9, 9, 7}; return true;
    case '1': case '2': case 'M': *s = {2, 14, 14, 13}; return true;
    case 'R': *s = {2, 2, 14, 13}; return true;
    case 'P': *s = {2, 2, 2, 1}; return true;
    case 'T': *s = {3, static_cast<uint8_t>((flags & asp::kTfrYellow) ? 14 : 2), 2, 1}; return true;
    case 'W': *s = {2, 6, 5, 4}; return true;
    default: *s = {2, 2, 2, 1}; return true;
    }
}

bool AirspaceLabelShown(uint16_t flags, uint32_t z) {
    return (z >= 1 && (flags & asp::kLabelZoom1)) || (z >= 4 && (flags & asp::kLabelZoom4)) || z >= 7;
}

void AirspaceLabelTexts(const uint8_t* rec, char* ceiling, char* floor, int bytes) {
    const uint16_t flags = RecU16(rec, asp::kFlags);
    const int16_t top = I16(rec, asp::kCeiling), bottom = I16(rec, asp::kFloor);
    if (top == asp::kUnlimited) std::snprintf(ceiling, static_cast<size_t>(bytes), "UTD");
    else std::snprintf(ceiling, static_cast<size_t>(bytes), (flags & asp::kCeilingAgl) ? "%d AGL" : "%d", top);
    if (bottom == asp::kSurface) std::snprintf(floor, static_cast<size_t>(bytes), "SFC");
    else std::snprintf(floor, static_cast<size_t>(bytes), (flags & asp::kFloorAgl) ? "%d AGL" : "%d", bottom);
}

MapPoint AirspaceLabelPoint(const uint8_t* rec, const uint8_t* seg) {
    const uint8_t kind = seg ? seg[asp::kSegKind] : 0;
    if (seg && !(kind & asp::kSegLine) && (kind & asp::kSegArc) && !(kind & asp::kSegCircle)) {
        const int32_t start = RecS32(seg, asp::kSegLat2), end = RecS32(seg, asp::kSegLon2);
        double mid = static_cast<double>(start + ((end - start) >> 1)) / 262144.0;
        if (start > end) mid += kPi;
        const int64_t r = static_cast<int64_t>(RecS32(seg, asp::kSegRadius)) - 3932;
        const int64_t c = static_cast<int64_t>(-262144.0 * std::cos(mid)), s = static_cast<int64_t>(262144.0 * std::sin(mid));
        return {static_cast<int32_t>(RecS32(seg, asp::kSegLat) + ((c * r) >> 18)),
                static_cast<int32_t>(RecS32(seg, asp::kSegLon) + ((((s * r) >> 18) * G_MapLonScaleInv) >> 18))};
    }
    if (seg && !(kind & asp::kSegLine) && (kind & asp::kSegCircle)) {
        const double lat = RecS32(seg, asp::kSegLat) - static_cast<double>(static_cast<uint32_t>(RecS32(seg, asp::kSegRadius))) + 3932.16;
        return {static_cast<int32_t>(lat), RecS32(seg, asp::kSegLon)};
    }
    const int32_t lon = I16(rec, 0) + (I16(rec, 4) - I16(rec, 0)) / 2, lat = I16(rec, 2) + (I16(rec, 6) - I16(rec, 2)) / 2;
    return {lat * 1456, lon * 1456};
}

void MapAirspaceLabel(const uint8_t* seg, const uint8_t* rec) {
    AirspaceStyle st;
    const uint16_t flags = RecU16(rec, asp::kFlags);
    const uint8_t cls = rec[asp::kClass];
    if (!AirspaceStyleOf(cls, flags, &st)) return;
    const MapPoint p = AirspaceLabelPoint(rec, seg);
    int32_t x = 0, y = 0;
    Project(p.nLat, p.nLon, &x, &y);
    char top[16], bottom[16];
    AirspaceLabelTexts(rec, top, bottom, sizeof top);
    const int32_t oy = Oy();
    if (cls == 'D') {
        const int32_t w = I16(rec, asp::kCeiling) > 99 ? 13 : 10;
        SetDrawColor(st.outline);
        GUI_SetPenSize(1);
        for (int32_t dy : {-10, 10}) {
            GUI_DrawLine(x - w, y + dy + oy, x - 3, y + dy + oy);
            GUI_DrawLine(x + 3, y + dy + oy, x + w, y + dy + oy);
        }
        for (int32_t dx : {-w, w}) {
            GUI_DrawLine(x + dx, y - 10 + oy, x + dx, y - 3 + oy);
            GUI_DrawLine(x + dx, y + 3 + oy, x + dx, y + 10 + oy);
        }
        DrawTextF(0, 7, 25, x + 2, y + 7, "%d", I16(rec, asp::kCeiling));
        DrawTextF(7, 7, 25, x + 1, y + 6, "%d", I16(rec, asp::kCeiling));
        return;
    }
    const int32_t font = (flags & asp::kLabelZoom1) ? 7 : (flags & asp::kLabelZoom4) ? 3 : 2;
    if (cls == 'T') GUI_SetPenSize(1);
    SetDrawColor(0);
    GUI_DrawLine(x - 4, y + 1 + oy, x + 6, y + 1 + oy);
    SetDrawColor(st.bar);
    GUI_DrawLine(x - 5, y + oy, x + 5, y + oy);
    DrawTextF(0, font, 25, x + 1, y - 1, "%s", top);
    DrawTextF(st.text, font, 25, x, y - 2, "%s", top);
    DrawTextF(0, font, 19, x + 1, y + 3, "%s", bottom);
    DrawTextF(st.text, font, 19, x, y + 2, "%s", bottom);
    SetDrawColor(st.bar);
}

void MapDrawArcPixels(int32_t cx, int32_t cy, float start, float end, int32_t r) {
    if (r < 0) return;
    const int32_t cs = static_cast<int32_t>(1000.0f * std::cos(start)), ss = static_cast<int32_t>(1000.0f * std::sin(start));
    const int32_t ce = static_cast<int32_t>(1000.0f * std::cos(end)), se = static_cast<int32_t>(1000.0f * std::sin(end));
    if (end < start) end += static_cast<float>(2.0 * kPi);
    const bool narrow = end - start < static_cast<float>(kPi);
    const int32_t oy = Oy();
    int32_t x = r, y = 0, d = 3 - 2 * r;
    while (y <= x) {
        const int32_t offs[8][2] = {{x, y}, {y, x}, {-y, x}, {-x, y}, {-x, -y}, {-y, -x}, {y, -x}, {x, -y}};
        for (const auto& o : offs) {
            const int32_t a = cs * o[0] - ss * o[1], b = ce * o[0] - se * o[1];
            if (narrow ? (a > 0 && b < 0) : (a > 0 || b < 0)) GUI_DrawPixel(cx + o[0], cy + o[1] + oy);
        }
        if (d >= 0) {
            d += 4 * (y - x) + 10;
            --x;
        } else {
            d += 4 * y + 6;
        }
        ++y;
    }
}

void MapDrawAirspace(const uint8_t* rec, const uint8_t* first) {
    AirspaceStyle st;
    const uint16_t flags = RecU16(rec, asp::kFlags);
    const uint8_t cls = rec[asp::kClass];
    if (!AirspaceStyleOf(cls, flags, &st)) return;
    const bool tfr = cls == 'T';
    const int32_t oy = Oy();
    auto classPen = [&] {
        SetDrawColor(st.outline);
        GUI_SetPenSize(st.pen);
    };
    classPen();
    const uint32_t n = RecU16(rec, asp::kSegments);
    const bool labels = AirspaceLabelShown(flags, G_MapZoom);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t* seg = first + i * kSegmentBytes;
        const uint8_t kind = seg[asp::kSegKind];
        int32_t cx = 0, cy = 0;
        Project(RecS32(seg, asp::kSegLat), RecS32(seg, asp::kSegLon), &cx, &cy);
        if (kind & asp::kSegLine) {
            int32_t x2 = 0, y2 = 0;
            Project(RecS32(seg, asp::kSegLat2), RecS32(seg, asp::kSegLon2), &x2, &y2);
            GUI_DrawLine(x2, y2 + oy, cx, cy + oy);
            if (tfr) {
                SetDrawColor(0);
                GUI_SetPenSize(1);
                GUI_DrawLine(x2, y2 + oy, cx, cy + oy);
                classPen();
            }
        } else if (kind & asp::kSegCircle) {
            const int32_t r = Pixels(static_cast<uint32_t>(RecS32(seg, asp::kSegRadius)));
            if (tfr) {
                Circle(cx, cy, r - 2);
                Circle(cx, cy, r);
                SetDrawColor(0);
                Circle(cx, cy, r - 1);
                SetDrawColor(st.outline);
            } else {
                Circle(cx, cy, r);
                Circle(cx, cy, r - 1);
            }
        } else if (kind & asp::kSegArc) {
            const int32_t r = Pixels(static_cast<uint32_t>(RecS32(seg, asp::kSegRadius)));
            const float start = static_cast<float>(RecS32(seg, asp::kSegLat2)) / 262144.0f + G_MapRotationRad;
            const float end = static_cast<float>(RecS32(seg, asp::kSegLon2)) / 262144.0f + G_MapRotationRad;
            if (tfr) {
                MapDrawArcPixels(cx, cy, start, end, r - 2);
                MapDrawArcPixels(cx, cy, start, end, r);
                SetDrawColor(0);
                MapDrawArcPixels(cx, cy, start, end, r - 1);
                SetDrawColor(st.outline);
            } else {
                MapDrawArcPixels(cx, cy, start, end, r - 1);
                MapDrawArcPixels(cx, cy, start, end, r);
            }
        }
        if ((kind & asp::kSegLabel) && labels) {
            MapAirspaceLabel(seg, rec);
            classPen();
        }
    }
    if (cls >= 'A' && cls <= 'E') return;
    if (labels) MapAirspaceLabel(nullptr, rec);
}

void MapDrawAirspaces() {
    for (const MapSquare& slot : G_MapSquares) {
        const uint32_t n = std::min(slot.nCount30, std::min(slot.nAirspaces, kMaxAirspaces));
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* rec = slot.airspaces[i];
            if (!Overlaps(rec, G_MapFrame.box)) continue;
            const uint32_t first = RecU16(rec, asp::kFirstSegment), count = RecU16(rec, asp::kSegments);
            // Never past the slot's segments, whatever the record claims.
            if (first + count > std::min(slot.nSegments, kMaxSegments)) continue;
            MapDrawAirspace(rec, slot.segments[first]);
        }
    }
}
