// Airports on the map.
#include "map/airports.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/irq.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/airspace.h"
#include "map/layers.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "ui/style.h"
#include "wx/wx.h"

namespace {
int32_t Oy() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
int16_t I16(const uint8_t* p, uint32_t at) { return static_cast<int16_t>(RecU16(p, at)); }

bool Overlaps(const uint8_t* rec, const int16_t* view) {
    return !(I16(rec, 4) < view[0] || I16(rec, 0) > view[2] || I16(rec, 6) < view[1] || I16(rec, 2) > view[3]);
}

void SetFlags(uint8_t* apt, uint32_t flags) {
    apt[apt::kFlags1] = static_cast<uint8_t>(flags);
    apt[apt::kFlags2] = static_cast<uint8_t>(flags >> 8);
    apt[apt::kFlags3] = static_cast<uint8_t>(flags >> 16);
}

void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { GUI_DrawLine(x0, y0 + Oy(), x1, y1 + Oy()); }

const GUI_Point kAirportWxFlag[7] = {{0, 0}, {-15, 0}, {-15, 2}, {-9, 8}, {-2, 2}, {0, 2}, {0, 0}};
const GUI_Point kRunwayBar[2] = {{0, 7}, {0, -7}};
}  // namespace

uint32_t AirportFlags(const uint8_t* apt) {
    return apt[apt::kFlags1] | uint32_t{apt[apt::kFlags2]} << 8 | uint32_t{apt[apt::kFlags3]} << 16;
}

bool AirportShownAtZoom(uint32_t f, uint32_t longest, uint32_t z) {
    if (f & (aptf::kHeliport | aptf::kWater)) return false;
    if (z == 0 && !(longest > 9999 && (f & aptf::kBlue))) return false;
    if ((longest <= 7499 && z <= 2) || (longest <= 4999 && z <= 3) || (!(f & aptf::kBlue) && z <= 4) ||
        (!(f & aptf::kTicks) && z <= 5) || (!(f & aptf::kRunwayCoords) && z <= 6) ||
        ((f & aptf::kPrivate) && longest < 2000 && z <= 7) || (!(f & aptf::kCloseOnly) && z <= 9))
        return false;
    return true;
}

bool MetarCurrent() { return G_Wx.bMetarRx != 0 && G_Wx.nMetarRxTime != 0; }

uint32_t AirportCategoryColour(uint32_t f, uint32_t fallback) {
    if (f & aptf::kVfr) return 11;
    if (f & aptf::kMvfr) return 5;
    if (f & aptf::kIfr) return 14;
    if (f & aptf::kLifr) return 2;
    return fallback;
}

void MapDrawAirportWx(const uint8_t* apt, int32_t x, int32_t y) {
    if (!MetarCurrent()) return;
    const uint32_t f = AirportFlags(apt);
    GUI_SetPenSize(1);
    const uint32_t colour = (f & aptf::kMvfr) ? 6 : AirportCategoryColour(f, 0xFFFFFFFFu);
    if (colour != 0xFFFFFFFFu) SetDrawColor(colour);
    GUI_FillPolygon(kAirportWxFlag, 7, x, y + Oy());
    SetDrawColor(0);
    GUI_DrawPolygon(kAirportWxFlag, 7, x, y + Oy());
    SetDrawColor(31);
    Line(x - 13, y + 1, x - 4, y + 1);
}

void MapMarkAirports() {
    const uint32_t z = G_MapZoom;
    for (MapSquare& slot : G_MapSquares) {
        const uint32_t n = std::min(slot.nAirports, kMaxAirports);
        for (uint32_t i = 0; i < n; ++i) {
            uint8_t* apt = slot.airports[i];
            uint32_t f = AirportFlags(apt) & ~(aptf::kShown | aptf::kInView);
            if (Overlaps(apt, G_MapFrame.box)) f |= aptf::kInView;
            if (AirportShownAtZoom(f, RecU16(apt, apt::kLongest), z)) f |= aptf::kShown;
            SetFlags(apt, f);
        }
    }
}

static void DrawRunways(const MapSquare& slot, const uint8_t* apt, uint32_t f, int32_t x, int32_t y) {
    const MapPoint ref = {G_MapFrame.nRefLat, G_MapFrame.nRefLon};
    const uint32_t first = RecU16(apt, apt::kFirstRunway), count = apt[apt::kRunways];
    const uint32_t last = std::min<uint32_t>(first + count, std::min(slot.nRunways, kMaxRunways));
    // Category colours only while the METARs are current, as the weather flag.
    const bool wx = (f & aptf::kMetarPresent) && MetarCurrent();
    SetDrawColor(wx ? AirportCategoryColour(f, 31) : 31);
    for (int pass = 0; pass < 2; ++pass) {
        GUI_SetPenSize(pass == 0 ? 5 : 2);
        if (pass == 1) SetDrawColor(21);
        for (uint32_t k = first; k < last; ++k) {
            const uint8_t* rw = slot.runways[k];
            const int32_t lat1 = RecS32(rw, 0), lat2 = RecS32(rw, 8);
            if (lat1 == 0 || (pass == 0 && lat2 == 0)) continue;
            int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
            MapProject(ref, MapPoint{lat1, RecS32(rw, 4)}, &x1, &y1);
            MapProject(ref, MapPoint{lat2, RecS32(rw, 12)}, &x2, &y2);
            Line(x2, y2, x1, y1);
        }
    }
    if (f & aptf::kMetarPresent) {
        char id[kWptIdBytes + 1] = {};
        std::memcpy(id, apt + apt::kId, kWptIdBytes);
        MapDrawAirportWx(apt, x - TextWidth(9, id) / 4 - 7, y - 25);
    }
}

static void DrawSymbol(const MapSquare& slot, const uint8_t* apt, uint32_t f, int32_t x, int32_t y, bool highlighted) {
    if (f & aptf::kMetarPresent) MapDrawAirportWx(apt, x - 11, y - 2);
    const bool ticks = (f & (aptf::kTicks2 | aptf::kTicks)) != 0;
    SetDrawColor(0);
    if (ticks) {
        GUI_SetPenSize(5);
        Line(x - 10, y, x + 10, y);
        Line(x, y - 10, x, y + 10);
    }
    GUI_DrawCircle(x, y + Oy(), 9);
    SetDrawColor((f & aptf::kBlue) ? 8 : 17);
    if (ticks) {
        GUI_SetPenSize(3);
        Line(x - 10, y, x + 10, y);
        Line(x, y - 10, x, y + 10);
    }
    GUI_FillCircle(x, y + Oy(), 8);
    const uint32_t kinds = aptf::kPrivate | aptf::kHeliport | aptf::kInnerDot;
    if ((f & kinds) || (f & 0xFFFFFF & ~(aptf::kShown | aptf::kInView)) == 0) {
        SetDrawColor(0);
        GUI_FillCircle(x, y + Oy(), 6);
    }
    if (highlighted) GUI_SetPenSize(2);
    if (f & aptf::kWater) {
        GUI_SetPenSize(1);
        SetDrawColor(17);
        GUI_DrawArc(x, y + Oy(), 5, 5, 179, 160);
        GUI_DrawCircle(x, y - 4 + Oy(), 1);
        Line(x - 2, y - 3, x + 2, y - 3);
        Line(x, y - 3, x, y + 5);
    } else if (f & aptf::kMilitary) {
        DrawTextF(8, 23, 16, x + 1, y - 3, "%s", "M");
    } else if (f & aptf::kHeliport) {
        DrawTextF(17, 23, 16, x + 1, y - 3, "%s", "H");
    } else if (f & aptf::kPrivate) {
        DrawTextF(17, 23, 16, x + 1, y - 3, "%s", "R");
    } else if ((f & 0xFFFFFF & ~(aptf::kShown | aptf::kInView)) == 0) {
        SetDrawColor(17);
        GUI_SetPenSize(1);
        Line(x - 9, y - 9, x + 9, y + 9);
        Line(x + 9, y - 9, x - 9, y + 9);
    }
    if (!(f & aptf::kRunwayCoords)) return;
    const uint32_t k = RecU16(apt, apt::kFirstRunway) + RecU16(apt, apt::kBarRunway);
    if (k >= std::min(slot.nRunways, kMaxRunways)) return;
    const uint8_t* rw = slot.runways[k];
    const double a = std::atan2(static_cast<double>(RecS32(rw, 4) - RecS32(rw, 12)),
                                -static_cast<double>(RecS32(rw, 0) - RecS32(rw, 8))) + G_MapRotationRad;
    GUI_Point bar[2];
    GUI_RotatePolygon(bar, kRunwayBar, 2, static_cast<float>(a));
    SetDrawColor(31);
    GUI_SetPenSize(2);
    GUI_DrawPolygon(bar, 2, x, y + Oy());
}

static void DrawLabels(const uint8_t* apt, uint32_t f, int32_t x, int32_t y) {
    const uint32_t z = G_MapZoom;
    char id[kWptIdBytes + 1] = {}, name[apt::kNameBytes + 1] = {};
    std::memcpy(id, apt + apt::kId, kWptIdBytes);
    std::memcpy(name, apt + apt::kName, apt::kNameBytes);
    // Identifiers and names are record text: printed, never used as a format.
    if (!(f & aptf::kPrivate) || z > 9) {
        DrawTextF(0, 9, 16, x + 2, y - 27, "%s", id);
        DrawTextF(31, 9, 16, x, y - 28, "%s", id);
    } else {
        DrawTextF(0, 23, 16, x + 2, y - 18, "%s", id);
        DrawTextF(31, 23, 16, x, y - 19, "%s", id);
    }
    if (z > 8) DrawTextF(31, 23, 16, x, y + 16, "%s", name);
}

void MapDrawAirports() {
    GUI_SetPenSize(5);
    const bool highlight = G_Nearest.nMode == 1 || (G_WptDb.nPageFlags & 2u);
    const uint8_t* sel = G_Nearest.abSelected;
    const MapPoint ref = {G_MapFrame.nRefLat, G_MapFrame.nRefLon};
    for (const MapSquare& slot : G_MapSquares) {
        const uint32_t n = std::min(slot.nAirports, kMaxAirports);
        const uint32_t spaces = std::min(slot.nAirspaces, kMaxAirspaces), segs = std::min(slot.nSegments, kMaxSegments);
        for (uint32_t i = 0; i < n; ++i) {
            const uint8_t* apt = slot.airports[i];
            const uint32_t first = RecU16(apt, apt::kFirstAirspace), count = RecU16(apt, apt::kAirspaces);
            for (uint32_t a = first; a < first + count && a < spaces; ++a) {
                const uint8_t* rec = slot.airspaces[a];
                const uint32_t s = RecU16(rec, asp::kFirstSegment);
                if (Overlaps(rec, G_MapFrame.box) && s + RecU16(rec, asp::kSegments) <= segs)
                    MapDrawAirspace(rec, slot.segments[s]);
            }
            const uint32_t f = AirportFlags(apt);
            const bool lit = highlight && RecS32(apt, apt::kLat) == RecS32(sel, apt::kLat) &&
                             RecS32(apt, apt::kLon) == RecS32(sel, apt::kLon);
            if (!lit) {
                if ((f & (aptf::kShown | aptf::kInView)) != (aptf::kShown | aptf::kInView)) continue;
                if ((f & aptf::kPrivate) && G_MapPvtOn != 1) continue;
            }
            int32_t x = 0, y = 0;
            MapProject(ref, MapPoint{RecS32(apt, apt::kLat), RecS32(apt, apt::kLon)}, &x, &y);
            if (G_MapZoom > 8 && (f & aptf::kRunwayCoords)) DrawRunways(slot, apt, f, x, y);
            else DrawSymbol(slot, apt, f, x, y, lit);
            DrawLabels(apt, f, x, y);
        }
    }
}
