// The demonstration navigation source: a GPS with a fix flying a small
// closed route at a steady speed, computed from the time since its start so
// that every run repeats exactly.
#include <cmath>
#include <cstring>

#include "core/ostimer.h"
#include "nav/navmath.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"

namespace {

constexpr int32_t kDemoLegs = 4;
constexpr int32_t kDemoSpeed = 1200;            // 120.0 kt
constexpr int16_t kDemoVariation = -20;         // 2.0 degrees east
constexpr float   kDemoLat = 44.88f, kDemoLon = -93.22f;   // without a stored position

struct DemoWpt { const char* ident; float dLat, dLon; };   // offsets from the start, degrees
constexpr DemoWpt kRoute[kDemoLegs] = {
    {"DEMO1", 0.25f, 0.0f}, {"DEMO2", 0.25f, 0.35f}, {"DEMO3", 0.0f, 0.35f}, {"DEMO4", 0.0f, 0.0f}};

struct DemoState {
    uint32_t bStarted;
    uint32_t nStart;            // OS timer at the start of the route
    uint32_t nSeconds;          // whole seconds flown, carried over the timer's wrap
    uint32_t nLastTick;
    float    fLat0, fLon0;      // the route's start
};
DemoState s_demo;

NavPoint Wpt(int32_t i) {
    const DemoWpt& w = kRoute[((i % kDemoLegs) + kDemoLegs) % kDemoLegs];
    return NavPointFromDegrees(s_demo.fLat0 + w.dLat, s_demo.fLon0 + w.dLon);
}

float Deg(int32_t units) { return static_cast<float>(static_cast<double>(units) / kNavUnitsPerDegree); }

int32_t DemoSlot(uint32_t port) {
    for (int32_t s = 0; s < 3; ++s)
        if (G_NavSrc.hdr.nPort[s] == port) return s;
    return -1;
}

// Where the aircraft is after `nm` along the route: the leg and the point.
NavPoint Along(double nm, int32_t* leg) {
    double lapNm = 0;
    for (int32_t i = 0; i < kDemoLegs; ++i) lapNm += GreatCircleDist(Wpt(i - 1), Wpt(i));
    nm = std::fmod(nm, lapNm);
    for (int32_t i = 0; i < kDemoLegs; ++i) {
        const NavPoint a = Wpt(i - 1), b = Wpt(i);
        const double len = GreatCircleDist(a, b);
        if (nm <= len || i == kDemoLegs - 1) {
            *leg = i;
            const double f = len > 0 ? nm / len : 0;
            return {a.nLat + static_cast<int32_t>((b.nLat - a.nLat) * f), a.nLon + static_cast<int32_t>((b.nLon - a.nLon) * f)};
        }
        nm -= len;
    }
    *leg = 0;
    return Wpt(0);
}

void FillRoute(NavSrcRec& r, int32_t leg) {
    ClearNavPart(static_cast<int32_t>(&r - G_NavSrc.rec), kNavRoutePartAt, kNavRoutePartBytes);
    r.nRouteCount = kDemoLegs;
    for (int32_t i = 0; i < kDemoLegs; ++i) {
        NavRoutePoint& p = r.route[i];
        std::strncpy(p.szIdent, kRoute[i].ident, sizeof p.szIdent - 1);
        const NavPoint w = Wpt(i);
        p.fLat = Deg(w.nLat);
        p.fLon = Deg(w.nLon);
        p.nFlags = static_cast<uint8_t>(kNavRoutePosValid | (i == leg ? kNavRouteActive : 0));
    }
}

}  // namespace

void RestartDemoNav() {
    const NavSrcRec& r = G_NavSrc.rec[0];
    const bool stored = NavHasPosition(r);
    s_demo = DemoState{};
    s_demo.bStarted = 1;
    s_demo.nStart = ReadOsTimer();
    s_demo.nLastTick = s_demo.nStart;
    s_demo.fLat0 = stored ? r.fLat : kDemoLat;
    s_demo.fLon0 = stored ? r.fLon : kDemoLon;
}

void DemoNavCtrl(uint32_t port) {
    const int32_t slot = DemoSlot(port);
    if (slot != 0) return;   // one demonstration GPS, in the first slot
    if (!s_demo.bStarted) RestartDemoNav();
    const uint32_t now = ReadOsTimer();
    while (TicksElapsed(now, s_demo.nLastTick, kTicksPerSecond - 1)) {
        s_demo.nLastTick += kTicksPerSecond;
        ++s_demo.nSeconds;
    }
    NavSrcRec& r = G_NavSrc.rec[slot];
    const double flown = s_demo.nSeconds * (kDemoSpeed / 10.0) / 3600.0;
    int32_t leg = 0;
    const NavPoint pos = Along(flown, &leg);
    const NavPoint from = Wpt(leg - 1), to = Wpt(leg);

    r.bInUse = 1;
    r.nType = 1;
    r.nGpsStamp = now;
    r.nGpsFlagsA = static_cast<uint8_t>(kNavGpsValid | kNavGpsWptValid | kNavGpsTrack | kNavGpsXtkUsable |
                                        kNavGpsWptPos | kNavGpsDtkValid);
    r.nGpsFlagsB = static_cast<uint8_t>(kNavGpsFix | kNavGpsOwnPos);
    const int32_t trackTrue = CalcBearing(from, to);
    r.nTrackTrue = static_cast<int16_t>(trackTrue);
    r.nMagVar = kDemoVariation;
    r.nTrackMag = static_cast<int16_t>(((trackTrue + kDemoVariation) % 3600 + 3600) % 3600);
    r.nGroundSpeed = kDemoSpeed;
    r.fLat = Deg(pos.nLat);
    r.fLon = Deg(pos.nLon);
    r.fWptLat = Deg(to.nLat);
    r.fWptLon = Deg(to.nLon);
    r.fOrigLat = Deg(from.nLat);
    r.fOrigLon = Deg(from.nLon);
    std::memset(r.szWaypoint, 0, sizeof r.szWaypoint);
    std::strncpy(r.szWaypoint, kRoute[leg].ident, sizeof r.szWaypoint - 1);
    if (r.nCrsOverride != 1) {
        r.nDesiredTrack = static_cast<int16_t>(((CalcBearing(from, to) + kDemoVariation) % 3600 + 3600) % 3600);
        r.nCourse = static_cast<int16_t>(NavRound(r.nDesiredTrack * 0.1) % 360);
    }
    r.nCrossTrack = 0;
    r.nCdiFullScale = static_cast<uint8_t>(GetCdiScale(static_cast<uint8_t>((G_NavSrc.hdr.nFlags0 >> kNavHdrPhaseShift) & 3u)));
    r.nBearing = static_cast<int16_t>(((CalcBearing(pos, to) + kDemoVariation) % 3600 + 3600) % 3600);
    r.nSpeedToWpt = static_cast<int16_t>(SinTableScale(r.nBearing, r.nTrackMag, r.nGroundSpeed));
    r.nDistance = static_cast<int16_t>(CalcDistTenths(pos, to));
    r.nDistanceCopy = r.nDistance;
    r.nTimeToWpt = CalcEte(pos, to, r.nGroundSpeed);
    r.nGpsAltitude = kNavNoAltitude;
    FillRoute(r, leg);
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}
