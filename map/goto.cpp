// The map's GOTO: a direct leg in navigation slot 3 ("MAP"), which the HSI,
// the autopilot, the ARINC output and the other display follow like any GPS.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "map/goto.h"
#include "map/map.h"
#include "map/mapfile.h"
#include "map/records.h"
#include "nav/navmath.h"
#include "net/link.h"
#include "net/net.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"

namespace {
constexpr uint32_t kDemoIdleSec = 30;
constexpr int32_t  kCourseMoveTenths = 10;   // a course change above one degree moves the origin
constexpr uint8_t  kCopyFlagsA = 0x09;       // fix valid, track valid
constexpr uint8_t  kCopyFlagsB = 0x30;
constexpr uint8_t  kDestEntryFlags = 0x0F;   // position, active leg, and the two leg bits

uint32_t s_shareStamp = 0;
bool     s_shared = false;

NavSrcRec& Slot() { return G_NavSrc.rec[kNavMapSlot]; }

const NavSrcRec& MapSource() {
    const uint8_t s = G_NavSrc.hdr.nMapSrcSlot;
    return G_NavSrc.rec[s < kNavSlots ? s : kNavNoneSlot];
}

int32_t Wrap3600(int32_t v) { return ((v % 3600) + 3600) % 3600; }
MapPoint PointOf(float lat, float lon) {
    return {static_cast<int32_t>(static_cast<double>(lat) * 262144.0),
            static_cast<int32_t>(static_cast<double>(lon) * 262144.0)};
}
float Deg(int32_t units) { return static_cast<float>(units / 262144.0); }
MapPoint Present() { return {G_MapHeader.nRefLat, G_MapHeader.nRefLon}; }

// Magnetic course from a to b: the true bearing plus the variation.
int32_t MagCourse(const MapPoint& a, const MapPoint& b, int16_t var) { return Wrap3600(CalcBearing(a, b) + var + 3600); }

void CopyIdent(char* dest, const uint8_t* src, uint32_t bytes) {
    char id[kWptIdBytes + 1] = {};
    std::memcpy(id, src, bytes < kWptIdBytes ? bytes : kWptIdBytes);
    std::memcpy(dest, id, sizeof id);
}

// Desired track of the leg (step 6 and 7 of the update): a user course, or
// the course from the origin, moved to the present position when the course
// has turned by more than a degree.
void UpdateDesiredTrack(NavSrcRec& s, const MapPoint& present) {
    if (s.nCrsOverride == 1) {
        s.nDesiredTrack = static_cast<int16_t>(s.nCourse * 10);
        s.nGpsFlagsA |= kGotoDtkSet;
        return;
    }
    const MapPoint dest = PointOf(s.fWptLat, s.fWptLon);
    if (!(s.nGpsFlagsA & kGotoOriginSet)) {
        s.nGpsFlagsA |= kGotoOriginSet;
        s.fOrigLat = s.fLat;
        s.fOrigLon = s.fLon;
        const int32_t dtk = MagCourse(PointOf(s.fOrigLat, s.fOrigLon), dest, s.nMagVar);
        s.nDesiredTrack = static_cast<int16_t>(dtk);
        s.nCourse = static_cast<int16_t>(RoundNearest(dtk * 0.1));
        s.nGpsFlagsA |= kGotoDtkSet;
        return;
    }
    int32_t course = MagCourse(PointOf(s.fOrigLat, s.fOrigLon), dest, s.nMagVar);
    // Wrap-aware: 359.9 against 0.3 degrees is a change of 0.4, not 359.6.
    if (CourseDiffTenths(course, s.nDesiredTrack) > kCourseMoveTenths) {
        s.fOrigLat = Deg(present.nLat);
        s.fOrigLon = Deg(present.nLon);
        course = MagCourse(present, dest, s.nMagVar);
    }
    s.nDesiredTrack = static_cast<int16_t>(course);
    s.nGpsFlagsA |= kGotoDtkSet;
}

void FillRoute(NavSrcRec& s) {
    s.nRouteCount = 2;
    if ((s.nGpsFlagsA & (kGotoOriginSet | kGotoDestSet)) != (kGotoOriginSet | kGotoDestSet)) return;
    NavRoutePoint from = {}, to = {};
    from.nFlags = kNavRoutePosValid;
    from.fLat = s.fOrigLat;
    from.fLon = s.fOrigLon;
    to.nFlags = kDestEntryFlags;
    char id[kWptIdBytes + 1];
    CopyIdent(id, reinterpret_cast<const uint8_t*>(s.szWaypoint), sizeof s.szWaypoint);
    std::snprintf(to.szIdent, sizeof to.szIdent, "%.5s", id);
    to.fLat = s.fWptLat;
    to.fLon = s.fWptLon;
    s.route[0] = from;
    s.route[1] = to;
}

void ShareLeg() {
    if (G_NetSerialShare != 1) return;
    const uint32_t now = ReadOsTimer();
    if (s_shared && !TicksElapsed(now, s_shareStamp, kGotoShareTicks)) return;
    s_shared = true;
    s_shareStamp = now;
    NET_SendUdpType(kUdpMapNav);
}
}  // namespace

int32_t CourseDiffTenths(int32_t a, int32_t b) {
    const int32_t d = Wrap3600(a - b);
    return d > 1800 ? 3600 - d : d;
}

const NavSrcRec& MapCourseRecord() {
    // The other display's GOTO arrives in slot 3 with "active" but never
    // "started" here; its leg stamp is renewed by each copy, so a copy that
    // crossed a STOPNAV on the wire is dropped 3 s later.
    const NavSrcRec& remote = G_NavSrc.rec[kNavMapSlot];
    if (G_GotoActive.bActive && !G_GotoActive.bStarted &&
        !TicksElapsed(ReadOsTimer(), remote.nRouteStamp, kGotoStaleTicks))
        return remote;
    const uint8_t s = G_NavSrc.hdr.nMapCrsSlot;
    return G_NavSrc.rec[s < kNavSlots ? s : kNavNoneSlot];
}

int32_t SelectedWaypoint(MapPoint* pos, char* ident) {
    const WptDb& w = G_WptDb;
    const uint8_t* rec = nullptr;
    uint32_t lat = 0, lon = 4, id = 12;
    switch (w.nSelKind) {
    case kWptAirport: rec = w.abAirport; lat = apt::kLat; lon = apt::kLon; id = apt::kId; break;
    case kWptNavaid: rec = w.abNavaid; break;
    case kWptFix: rec = w.abFix; break;
    default: return 0;
    }
    *pos = {RecS32(rec, lat), RecS32(rec, lon)};
    CopyIdent(ident, rec + id, kWptIdBytes);
    return 1;
}

void StartGoto() {
    MapPoint dest;
    char id[kWptIdBytes + 1];
    if (SelectedWaypoint(&dest, id)) StartGotoTo(dest, id);
}

void StartGotoTo(const MapPoint& dest, const char* ident) {
    NavSrcHeader& h = G_NavSrc.hdr;
    if (G_GotoActive.bActive) {
        CancelGoto();
        SendRemoteUserEvent(16, 0, 0);
        DelayTicks(kGotoCancelWait);
    }
    if (h.nMapCrsSlot != kNavMapSlot) h.nMapSrcSlot = h.nMapCrsSlot;
    G_GotoActive.bActive = G_GotoActive.bStarted = 1;
    h.nMapCrsSlot = kNavMapSlot;
    NavSrcRec& s = Slot();
    const MapPoint ref = Present();
    s.nKind = kNavKindMap;
    s.bInUse = 1;
    s.nGpsFlagsA |= kGotoOriginSet;
    s.fOrigLat = Deg(ref.nLat);
    s.fOrigLon = Deg(ref.nLon);
    s.nGpsFlagsA |= kGotoDestSet;
    s.fWptLat = Deg(dest.nLat);
    s.fWptLon = Deg(dest.nLon);
    std::memset(s.szWaypoint, 0, sizeof s.szWaypoint);
    std::memcpy(s.szWaypoint, ident, strnlen(ident, 5));
    DebugPrintf("Start GOTO: %s\n", s.szWaypoint);
    const NavSrcRec& m = MapSource();
    s.nDesiredTrack = static_cast<int16_t>(MagCourse(ref, dest, m.nMagVar));
    s.nGpsFlagsA |= kGotoLegStarted;
    s.nGpsStamp = s.nRouteStamp = ReadOsTimer();
    s.nPort = m.nPort;
    if (G_DemoFlags & kDemoNav) {
        h.nHdgBug = static_cast<int16_t>(RoundNearest(s.nDesiredTrack / 10.0));
        StoreClockRegI16(31, h.nHdgBug);
    }
    h.nCrsSlot = kNavMapSlot;
    SelectCrsSource();
    h.nBrgSlot = kNavMapSlot;
    SelectBrgSource();
}

void CancelGoto() {
    G_GotoActive = {};
    NavSrcRec& s = Slot();
    s.nGpsFlagsA &= static_cast<uint8_t>(~(kGotoOriginSet | kGotoDestSet | kGotoDtkSet | kGotoLegStarted));
    s.fOrigLat = s.fOrigLon = s.fWptLat = s.fWptLon = 0.0f;
    s.nDesiredTrack = s.nCrossTrack = 0;
    s.nCdiFullScale = 0;
    s.nDistance = s.nDistanceCopy = s.nSpeedToWpt = 0;
    s.nTimeToWpt = 0;
    ClearNavPart(kNavMapSlot, kNavRoutePartAt, kNavRoutePartBytes);
    std::memset(s.szWaypoint, 0, sizeof s.szWaypoint);
    G_WptDb.nPageFlags &= ~kWptGoto;
    InitScreenConfig();
}

void NavUpdate() {
    NavSrcRec& s = Slot();
    const NavSrcRec& m = MapSource();
    const uint32_t now = ReadOsTimer();
    if (&m != &s) {
        s.nGpsFlagsA = static_cast<uint8_t>((s.nGpsFlagsA & ~kCopyFlagsA) | (m.nGpsFlagsA & kCopyFlagsA));
        s.nGpsFlagsB = static_cast<uint8_t>((s.nGpsFlagsB & ~kCopyFlagsB) | (m.nGpsFlagsB & kCopyFlagsB));
        s.nTrackMag = m.nTrackMag;
        s.nTrackTrue = m.nTrackTrue;
        s.nMagVar = m.nMagVar;
        s.nGroundSpeed = m.nGroundSpeed;
        s.fLat = m.fLat;
        s.fLon = m.fLon;
    }
    s.nGpsStamp = now;
    s.nKind = kNavKindMap;
    if (s.nCrsOverride != 0 && TicksElapsed(now, s.nCrsStamp, kGotoStaleTicks)) s.nCrsOverride = 0;
    if (!(s.nGpsFlagsA & kNavGpsValid)) {
        // No stale guidance without a fix.
        ClearNavPart(kNavMapSlot, kNavGpsPartAt, kNavGpsPartBytes);
        ClearNavPart(kNavMapSlot, kNavRoutePartAt, kNavRoutePartBytes);
        return;
    }
    if (!G_GotoActive.bActive || !G_GotoActive.bStarted) return;
    if (!(s.nGpsFlagsA & kGotoDestSet)) {
        s.nGpsFlagsA &= static_cast<uint8_t>(~(kGotoOriginSet | kGotoDtkSet));
        if (G_DemoFlags & kDemoNav)
            for (NavRoutePoint& e : s.route) e.nFlags &= static_cast<uint8_t>(~kNavRoutePosValid);
        ShareLeg();
        return;
    }
    const MapPoint present = Present();
    UpdateDesiredTrack(s, present);
    const MapPoint origin = PointOf(s.fOrigLat, s.fOrigLon), dest = PointOf(s.fWptLat, s.fWptLon);
    s.nCrossTrack = static_cast<int16_t>(CalcCrossTrack(origin, dest, present));
    const uint8_t phase = static_cast<uint8_t>((G_NavSrc.hdr.nFlags0 >> kNavHdrPhaseShift) & 3u);
    s.nGpsFlagsA = static_cast<uint8_t>((s.nGpsFlagsA & ~kNavGpsPhaseLow) | ((phase & 1u) ? kNavGpsPhaseLow : 0));
    s.nGpsFlagsB = static_cast<uint8_t>((s.nGpsFlagsB & ~kNavGpsPhaseHigh) | ((phase & 2u) ? kNavGpsPhaseHigh : 0));
    s.nCdiFullScale = static_cast<uint8_t>(GetCdiScale(phase));
    s.nBearing = static_cast<int16_t>(MagCourse(present, dest, s.nMagVar));
    s.nDistance = static_cast<int16_t>(CalcDistTenths(present, dest));
    s.nDistanceCopy = s.nDistance;
    s.nSpeedToWpt = static_cast<int16_t>(SinTableScale(s.nBearing, s.nTrackMag, s.nGroundSpeed));
    s.nTimeToWpt = CalcEte(NavPoint{present.nLat, present.nLon}, NavPoint{dest.nLat, dest.nLon}, s.nGroundSpeed);
    s.nRouteStamp = now;
    FillRoute(s);
    if ((G_DemoFlags & kDemoNav) && s.nDistance > 10 && !HeadingWithin90(s.nBearing, s.nDesiredTrack) &&
        G_UptimeSec - G_LastKeySec > kDemoIdleSec)
        RestartDemoNav();
    ShareLeg();
}
