// What the pilot navigates by, over the map picture: the track dots, the
// preview line to the selected waypoint, the radials of the tuned VOR
// stations, and the route legs or the GOTO course through its destination.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/hsi.h"
#include "gui/gui.h"
#include "map/goto.h"
#include "map/map.h"
#include "map/mapfile.h"
#include "map/mapframe.h"
#include "map/points.h"
#include "map/records.h"
#include "nav/navmath.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/style.h"

namespace {
constexpr uint32_t kPreviewRestTicks = 7340032;   // about 2 s of knob rest
constexpr int32_t  kPreviewDeg = 60;
constexpr int32_t  kStationDeg = 8;
constexpr uint32_t kWhite = 31, kYellow = 14, kGreen = 5, kMagenta = 17, kRadialOut = 4, kRadialIn = 6;
constexpr int32_t  kCircle = 12;
constexpr int32_t  kSegments = 50;
constexpr uint8_t  kRadioTuned = kNavRadioArinc | kNavRadioStationValid;

// The radial stations' navaid, and the GOTO destination per kind, kept
// between frames with the identifier they were read for.
struct StationCache {
    char    szId[kWptIdBytes + 1];
    uint8_t abRec[kNavaidBytes];
    bool    bFound;
};
struct DestCache {
    char     szId[kWptIdBytes + 1];
    MapPoint pos;
    uint8_t  abAirport[kAirportBytes];
    uint8_t  abNavaid[kNavaidBytes];
    uint8_t  abFix[kFixBytes];
};
StationCache s_station = {};
DestCache s_dest = {};

int32_t Oy() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
MapPoint Ref() { return {G_MapFrame.nRefLat, G_MapFrame.nRefLon}; }
bool NorthUp() { return (G_MapViewMode & 2u) != 0; }

void Project(const MapPoint& p, int32_t* x, int32_t* y) { MapProject(Ref(), p, x, y); }
bool Visible(const MapPoint& p) {
    int32_t x, y;
    Project(p, &x, &y);
    return InMapPane(x, y);
}

MapPoint FromDegrees(float lat, float lon) {
    return {static_cast<int32_t>(static_cast<double>(lat) * 262144.0),
            static_cast<int32_t>(static_cast<double>(lon) * 262144.0)};
}

// Both coordinates within `deg` whole degrees (rounded) of the map reference.
bool Near(const MapPoint& p, int32_t deg) {
    const MapPoint r = Ref();
    const long dlat = std::lround((static_cast<double>(p.nLat) - r.nLat) / 262144.0);
    const long dlon = std::lround((static_cast<double>(p.nLon) - r.nLon) / 262144.0);
    return std::labs(dlat) < deg && std::labs(dlon) < deg;
}

void CircleAt(const MapPoint& p) {
    int32_t x, y;
    Project(p, &x, &y);
    if (InMapPane(x, y)) GUI_DrawCircle(x, y + Oy(), kCircle);
}

NavPoint Nav(const MapPoint& p) { return {p.nLat, p.nLon}; }

// A line in pane rows, cut to the pane with a margin first: far points
// would overflow the 16-bit polygon corners of thick lines, or walk
// thousands of pixels outside the clip.
void PaneLine(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
    constexpr double kMargin = 32.0;
    const PaneRecord& p = G_MapPane;
    const double lo[2] = {p.x0 - kMargin, p.y0 - kMargin}, hi[2] = {p.x1 + kMargin, p.y1 + kMargin};
    const double a[2] = {static_cast<double>(x0), static_cast<double>(y0)};
    const double d[2] = {static_cast<double>(x1) - x0, static_cast<double>(y1) - y0};
    double t0 = 0.0, t1 = 1.0;
    for (int k = 0; k < 2; ++k) {
        if (d[k] == 0.0) {
            if (a[k] < lo[k] || a[k] > hi[k]) return;
            continue;
        }
        double ta = (lo[k] - a[k]) / d[k], tb = (hi[k] - a[k]) / d[k];
        if (ta > tb) std::swap(ta, tb);
        t0 = std::max(t0, ta);
        t1 = std::min(t1, tb);
        if (t0 > t1) return;
    }
    const int32_t oy = Oy();
    GUI_DrawLine(static_cast<int32_t>(std::lround(a[0] + t0 * d[0])), static_cast<int32_t>(std::lround(a[1] + t0 * d[1])) + oy,
                 static_cast<int32_t>(std::lround(a[0] + t1 * d[0])), static_cast<int32_t>(std::lround(a[1] + t1 * d[1])) + oy);
}

// The point at angular distance s along the circle from a with course c.
MapPoint Along(const MapPoint& a, double c, double s) { return *CalcDestPointRad(s, c, a); }

// How far from an outside end the line is drawn: probes at s - s/k (k =
// 10..1) walk from inside toward the end. The first probe outside after one
// inside reaches past the pane's edge, where the clip trims it; stopping at
// the first probe inside would cut a long line to a stub near the other end.
double VisibleFrom(const MapPoint& end, double course, double d, const MapPoint (&corners)[4]) {
    double s = d;
    for (const MapPoint& c : corners) s = std::min(s, CalcAngularDist(end, c));
    bool seenIn = false;
    for (int k = 10; k >= 1; --k) {
        const double at = s - s / k;
        if (Visible(Along(end, course, at))) seenIn = true;
        else if (seenIn) return at;
    }
    return 0.0;   // the end itself: the clip holds the drawing
}

void Polyline(const MapPoint& a, double course, double from, double to) {
    int32_t px = 0, py = 0;
    for (int i = 0; i <= kSegments; ++i) {
        int32_t x, y;
        Project(Along(a, course, from + (to - from) * i / kSegments), &x, &y);
        if (i > 0) PaneLine(px, py, x, y);
        px = x;
        py = y;
    }
}

// ---- the preview, radials and legs ----------------------------------------------------------

void Preview() {
    const bool nearest = G_Nearest.nMode == 1;
    const bool find = (G_WptDb.nPageFlags & 2u) && TicksElapsed(ReadOsTimer(), G_Knob0.nLastStepTime, kPreviewRestTicks);
    if (!nearest && !find) return;
    MapPoint pos;
    char id[kWptIdBytes + 1];
    if (!SelectedWaypoint(&pos, id) || !Near(pos, kPreviewDeg)) return;
    GUI_SetPenSize(2);
    SetDrawColor(kYellow);
    MapDrawGreatCircle(MapPoint{G_MapHeader.nRefLat, G_MapHeader.nRefLon}, pos);
    CircleAt(pos);
}

const uint8_t* Station(const char* ident) {
    char id[kWptIdBytes + 1] = {};
    std::memcpy(id, ident, kWptIdBytes);
    if (std::strcmp(id, s_station.szId) != 0) {
        std::memcpy(s_station.szId, id, sizeof id);
        s_station.bFound = MapLoadNavaidById(id, s_station.abRec) != 0;
        if (!s_station.bFound) std::memset(s_station.abRec, 0, sizeof s_station.abRec);
    }
    return s_station.bFound ? s_station.abRec : nullptr;
}

void Radials() {
    const NavSrcHeader& h = G_NavSrc.hdr;
    for (int32_t slot = 0; slot <= kNavMapSlot; ++slot) {
        if (slot != h.nCrsSlot && slot != h.nBrgSlot) continue;
        const NavSrcRec& r = G_NavSrc.rec[slot];
        if (!(r.nRadioFlagsA & kNavRadioValid) || (r.nRadioFlagsB & kRadioTuned) != kRadioTuned) continue;
        const uint8_t* st = Station(r.szStation);
        if (!st) continue;
        const MapPoint pos = {RecS32(st, nvd::kLat), RecS32(st, nvd::kLon)};
        if (!Near(pos, kStationDeg)) continue;
        GUI_SetPenSize(2);
        SetDrawColor(kGreen);
        CircleAt(pos);
        const int32_t radial = ((r.nObs + 180) % 360 + 360) % 360;
        MapDrawBearingLine(pos, radial, kRadialOut);
        MapDrawBearingLine(pos, (radial + 180) % 360, kRadialIn);
    }
}

MapPoint EntryPos(const NavRoutePoint& e) { return FromDegrees(e.fLat, e.fLon); }

void RouteLegs(const NavSrcRec& r) {
    const uint32_t count = r.nRouteCount < static_cast<uint32_t>(kNavRoutePoints) ? r.nRouteCount : kNavRoutePoints;
    bool onward = false;
    int32_t active = -1;
    GUI_SetPenSize(3);
    for (uint32_t i = 1; i < count; ++i) {
        const NavRoutePoint& e = r.route[i];
        const NavRoutePoint& prev = r.route[i - 1];
        if (e.nFlags & kNavRouteActive) onward = true;
        if (!onward || !(e.nFlags & kNavRoutePosValid) || !(prev.nFlags & kNavRoutePosValid)) continue;
        if (e.nFlags & kNavRouteActive) {
            active = static_cast<int32_t>(i);
            continue;
        }
        SetDrawColor(kWhite);
        MapDrawGreatCircle(EntryPos(prev), EntryPos(e));
    }
    if (active < 0) return;
    const NavRoutePoint& to = r.route[active];
    SetDrawColor(kMagenta);
    MapDrawGreatCircle(EntryPos(r.route[active - 1]), EntryPos(to));
    GUI_SetPenSize(2);
    const MapPoint dest = EntryPos(to);
    int32_t x, y;
    Project(dest, &x, &y);
    if (!InMapPane(x, y)) return;
    GUI_DrawCircle(x, y + Oy(), kCircle);
    char id[sizeof to.szIdent + 1] = {};
    std::memcpy(id, to.szIdent, sizeof to.szIdent);
    DrawTextF(kMagenta, 9, 31, x, y - 28, "%s", id);
}

// The GOTO destination: read and logged only when its identifier changes.
MapPoint GotoDestination(const NavSrcRec& r) {
    char id[kWptIdBytes + 1] = {};
    std::memcpy(id, r.szWaypoint, sizeof r.szWaypoint);
    if (std::strcmp(id, s_dest.szId) == 0) return s_dest.pos;
    std::memcpy(s_dest.szId, id, sizeof id);
    s_dest.pos = {};
    const int32_t i = FindWaypointId(id);
    bool read = false;
    if (i >= 0) {
        switch (G_WptIndex[i].nKind) {
        case kWptAirport: case kWptAirportShort:
            read = ReadWaypointRecord(i, s_dest.abAirport) != 0;
            if (read) s_dest.pos = {RecS32(s_dest.abAirport, apt::kLat), RecS32(s_dest.abAirport, apt::kLon)};
            break;
        case kWptNavaid:
            read = MapReadRecord60(i, s_dest.abNavaid) != 0;
            if (read) s_dest.pos = {RecS32(s_dest.abNavaid, nvd::kLat), RecS32(s_dest.abNavaid, nvd::kLon)};
            break;
        case kWptFix:
            read = MapReadRecord26(i, s_dest.abFix) != 0;
            if (read) s_dest.pos = {RecS32(s_dest.abFix, fix::kLat), RecS32(s_dest.abFix, fix::kLon)};
            break;
        default: break;
        }
        if (read) DebugPrintf("%s.\n", id);
    }
    if (!read && (r.nGpsFlagsA & kGotoDestSet)) s_dest.pos = FromDegrees(r.fWptLat, r.fWptLon);
    return s_dest.pos;
}

void GotoLines(const NavSrcRec& r) {
    const MapPoint dest = GotoDestination(r);
    GUI_SetPenSize(2);
    SetDrawColor(kMagenta);
    CircleAt(dest);
    const int32_t k = RoundNearest(((r.nDesiredTrack + 1800) % 3600 + 3600) % 3600 * 0.1);
    MapDrawBearingLine(dest, k, kMagenta);
    MapDrawBearingLine(dest, (k + 180) % 360, kWhite);
}
}  // namespace

void MapDrawTrackDots() {
    const TrackLog& t = G_TrackLog;
    const int32_t oy = Oy();
    GUI_SetPenSize(1);
    SetDrawColor(0);
    int32_t i = static_cast<int32_t>(t.nRead % kTrackPoints);
    const int32_t end = static_cast<int32_t>(t.nWrite % kTrackPoints);
    for (uint32_t n = 0; i != end && n < kTrackPoints; ++n) {
        int32_t x, y;
        Project(t.points[i], &x, &y);
        if (InMapPane(x, y)) GUI_DrawPixel(x, y + oy);
        i = WrapIndex(i, static_cast<int32_t>(kTrackPoints), 1);
    }
}

void MapDrawBearingLine(const MapPoint& p, int32_t bearing, uint32_t colour) {
    int32_t angle;
    if (NorthUp()) {
        angle = MapCourseRecord().nMagVar - 10 * bearing + 4500;
    } else {
        int32_t flag = 0;
        angle = GetDisplayHeading(&flag) - 10 * bearing + 8100;
    }
    angle = (angle % 3600 + 3600) % 3600;
    int32_t px, py;
    Project(p, &px, &py);
    const auto offset = [angle](int32_t r, int32_t* x, int32_t* y, int32_t ox, int32_t oy) {
        const GUI_Point in = {static_cast<int16_t>(r), 0};
        GUI_Point out;
        RotatePoint(&out, &in, angle);
        *x = ox + out.x;
        *y = oy + out.y;
    };
    int32_t lx, ly;
    offset(20, &lx, &ly, px, py);
    bool labelIn = InMapPane(lx, ly), any = InMapPane(px, py) || labelIn, seenIn = false;
    int32_t ex = lx, ey = ly;
    for (int32_t r = 50; r < G_MapPane.nCenterY; r += 50) {
        offset(r, &ex, &ey, px, py);
        const bool in = InMapPane(ex, ey);
        if (in && !labelIn) {
            lx = ex;
            ly = ey;
            labelIn = true;
        }
        if (in) seenIn = any = true;
        else if (seenIn) break;
    }
    if (!any) return;
    GUI_SetPenSize(3);
    SetDrawColor(colour);
    PaneLine(px, py, ex, ey);
    DrawTextF(kWhite, 3, 37, lx, ly, "%03d", bearing == 0 ? 360 : static_cast<int>(bearing));
}

void MapDrawGreatCircle(const MapPoint& a, const MapPoint& b) {
    const double d = GreatCircleBrg(Nav(a), Nav(b));
    const double c = CalcBearingRad(a, b);
    const bool aIn = Visible(a), bIn = Visible(b);
    if (aIn && bIn) {
        Polyline(a, c, 0.0, d);
        return;
    }
    const PaneRecord& p = G_MapPane;
    MapPoint corners[4];
    const int32_t xs[4] = {p.x0, p.x1, p.x0, p.x1}, ys[4] = {p.y0, p.y0, p.y1, p.y1};
    for (int k = 0; k < 4; ++k) MapScreenToLatLon(xs[k], ys[k], Ref(), &corners[k]);
    const double from = aIn ? 0.0 : VisibleFrom(a, c, d, corners);
    const double to = bIn ? d : d - VisibleFrom(b, CalcBearingRad(b, a), d, corners);
    Polyline(a, c, from, to);
}

void MapDrawRouteOverlay() {
    Preview();
    Radials();
    const NavSrcRec& r = MapCourseRecord();
    if (!(r.nGpsFlagsA & kNavGpsValid)) return;
    const uint8_t flags29 = r.reserved28[1];
    if (!(flags29 & kNavNoRouteDraw) && r.nCrsOverride != 1 && r.nRouteCount > 1) RouteLegs(r);
    else GotoLines(r);
}
