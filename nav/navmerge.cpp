#include "nav/navmerge.h"

#include <cmath>
#include <cstring>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "nav/arinc.h"
#include "nav/aviation.h"
#include "nav/navmath.h"
#include "nav/nmea.h"
#include "nav/vorradio.h"
#include "ui/statusbar.h"

uint32_t G_NavInvalidCount[kNavSlots];
uint32_t G_NavValidCount[kNavSlots];
uint32_t G_NavInvalidSince[kNavSlots];
uint32_t G_NavMergePasses;

namespace {

constexpr double kFeetPerMetre = 3.2808399;

uint32_t Now() { return ReadOsTimer(); }

int32_t Wrap3600(int32_t v) { return ((v % 3600) + 3600) % 3600; }

int16_t Clamp16(int32_t v, int32_t lo, int32_t hi) {
    return static_cast<int16_t>(v < lo ? lo : (v > hi ? hi : v));
}

uint32_t PhaseCode() { return (G_NavSrc.hdr.nFlags0 >> kNavHdrPhaseShift) & 3u; }

// GPS phase bits and the CDI full scale from the header's phase code.
void SetPhase(NavSrcRec& r) {
    const uint32_t phase = PhaseCode();
    r.nGpsFlagsA = static_cast<uint8_t>((r.nGpsFlagsA & ~kNavGpsPhaseLow) | ((phase & 1u) ? kNavGpsPhaseLow : 0));
    r.nGpsFlagsB = static_cast<uint8_t>((r.nGpsFlagsB & ~kNavGpsPhaseHigh) | ((phase & 2u) ? kNavGpsPhaseHigh : 0));
    r.nCdiFullScale = static_cast<uint8_t>(GetCdiScale(static_cast<uint8_t>(phase)));
    r.reserved35 = 0;
}

// The clear rule, for one part of a slot while its data are invalid.
void CountInvalid(int32_t slot, bool gpsPart, const char* memsetLog, bool byPasses) {
    const uint32_t now = Now();
    if (G_NavInvalidCount[slot]++ == 0) G_NavInvalidSince[slot] = now;
    const bool due = byPasses ? G_NavInvalidCount[slot] >= kNavAvtnClearPasses
                              : TicksElapsed(now, G_NavInvalidSince[slot], kNavTimeoutTicks);
    if (!due) return;
    G_NavInvalidCount[slot] = 0;
    if (G_NavValidCount[slot] == 0) return;   // never valid since the last clear: nothing to clear
    G_NavValidCount[slot] = 0;
    RamLogPrintf(memsetLog, FormatTime(4));
    NavSrcRec& r = G_NavSrc.rec[slot];
    if (gpsPart) {
        ClearNavPart(slot, kNavGpsPartAt, kNavGpsPartBytes);
        r.nGpsStamp = now;
        SetPhase(r);
    } else {
        ClearNavPart(slot, kNavRadioPartAt, kNavRadioPartBytes);
        r.nRadioStamp = now;
    }
    G_RedrawReq = 1;
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

// A valid pass: the invalid run ends.
void CountValid(int32_t slot) {
    G_NavInvalidCount[slot] = 0;
    ++G_NavValidCount[slot];
}

// ---- NMEA --------------------------------------------------------------


void Age(uint32_t* received, uint32_t* stamp, uint32_t limit, const char* log) {
    const uint32_t now = Now();
    if (!TicksElapsed(now, *stamp, limit)) return;
    if (*received) DebugPrintf(log, FormatTime(4));
    *received = 0;
    *stamp = now;
}

void AgeSentences(NmeaGpsRec& g) {
    Age(&g.rmb.bReceived, &g.rmb.nStamp, kNavTimeoutTicks, "GPS NMEA: RMB Message Timeout @%s\n");
    Age(&g.rmc.bReceived, &g.rmc.nStamp, kNavTimeoutTicks, "GPS NMEA: RMC Message Timeout @%s\n");
    Age(&g.bod.bReceived, &g.bod.nStamp, kNavTimeoutTicks, "GPS NMEA: BOD Message Timeout @%s\n");
    Age(&g.apb.bReceived, &g.apb.nStamp, kNavTimeoutTicks, "GPS NMEA: APB Message Timeout @%s\n");
    Age(&g.route.bReceived, &g.route.nStamp, kNavRouteTicks, "GPS NMEA: RTE Message Timeout @%s\n");
    Age(&g.gga.bReceived, &g.gga.nStamp, kNavTimeoutTicks, "GPS NMEA: GGA Message Timeout @%s\n");
    Age(&g.rmh.bReceived, &g.rmh.nStamp, kNavTimeoutTicks, "GPS NMEA: RMH Message Timeout @%s\n");
}

bool GgaFix(int32_t quality) {
    switch (quality) {
    case 1: case 2: case 3: case 4: case 5: case 8: return true;
    default: return false;
    }
}

// RMC modes that count as a fix without GGA: the autonomous, differential,
// estimated and simulated letters, and NMEA 4's precise and RTK ones.
bool RmcFix(uint8_t mode) {
    switch (mode) {
    case 'A': case 'D': case 'E': case 'S': case 'P': case 'R': case 'F': return true;
    default: return false;
    }
}

int16_t GgaAltitude(const NmeaGga& g) {
    const double feet = g.cAltUnit == 'M' ? static_cast<double>(g.fAltitude) * kFeetPerMetre : g.fAltitude;
    if (!(feet < kNavNoAltitude - 1)) return kNavNoAltitude - 1;   // 0x7FFF means "none"
    if (feet < -32768.0) return -32768;
    return static_cast<int16_t>(NavRound(feet));
}

// Step 2: validity and the fix; true when the GPS data are valid.
bool NmeaValidity(int32_t slot, NmeaGpsRec& g) {
    NavSrcRec& r = G_NavSrc.rec[slot];
    if (!g.rmc.bReceived) {
        if (r.nGpsFlagsA & kNavGpsValid)
            DebugPrintf("GPS NMEA: dataValid:0, RMC:%d @%s\n", static_cast<int>(g.rmc.bReceived), FormatTime(4));
        r.nGpsFlagsA &= static_cast<uint8_t>(~kNavGpsValid);
        r.nGpsAltitude = kNavNoAltitude;
        return false;
    }
    r.nGpsFlagsA |= kNavGpsValid;
    r.nType = 1;
    r.nGpsStamp = Now();
    bool fix;
    if (g.gga.bReceived) {
        fix = GgaFix(g.gga.nQuality);
        r.nGpsAltitude = fix ? GgaAltitude(g.gga) : kNavNoAltitude;
    } else {
        fix = RmcFix(g.rmc.cMode);
        r.nGpsAltitude = kNavNoAltitude;
    }
    if (!fix && (r.nGpsFlagsB & kNavGpsFix)) DebugPrintf("GPS_INTEG_FAIL @%s\n", FormatTime(4));
    r.nGpsFlagsB = static_cast<uint8_t>(fix ? (r.nGpsFlagsB | kNavGpsFix) : (r.nGpsFlagsB & ~kNavGpsFix));
    return true;
}

float Signed(float v, uint8_t letter, uint8_t negative) { return letter == negative ? -v : v; }

// Own position valid: a fix and a position off (0, 0) inside the globe's ranges.
void SetOwnPosition(NavSrcRec& r) {
    const int32_t latK = NavRound(r.fLat * 1000.0), lonK = NavRound(r.fLon * 1000.0);
    const bool ownPos = (r.nGpsFlagsB & kNavGpsFix) && (latK != 0 || lonK != 0) &&
                        std::abs(NavRound(r.fLat)) <= 90 && std::abs(NavRound(r.fLon)) <= 180;
    r.nGpsFlagsB = static_cast<uint8_t>(ownPos ? (r.nGpsFlagsB | kNavGpsOwnPos) : (r.nGpsFlagsB & ~kNavGpsOwnPos));
}

bool Usable(const char* ident) { return ident[0] != 0 && ident[0] != '-'; }

void CopyIdent(char (&dst)[8], const char* src) {
    std::memset(dst, 0, sizeof dst);
    std::strncpy(dst, src, sizeof dst - 1);
}

// Steps 7 and 9: the waypoint identifier and the desired track.
void NmeaWaypointAndCourse(NavSrcRec& r, const NmeaGpsRec& g, double variation) {
    const bool wptPos = (r.nGpsFlagsA & kNavGpsWptPos) != 0;
    const char* ident = nullptr;
    if (g.bod.bReceived && Usable(g.bod.szDest)) ident = g.bod.szDest;
    else if (g.rmb.bReceived && Usable(g.rmb.szDest)) ident = g.rmb.szDest;
    else if (g.apb.bReceived && Usable(g.apb.szDest)) ident = g.apb.szDest;
    std::memset(r.szWaypoint, 0, sizeof r.szWaypoint);
    r.nGpsFlagsA &= static_cast<uint8_t>(~kNavGpsWptValid);
    if (ident != nullptr) {
        CopyIdent(r.szWaypoint, ident);
        if (wptPos) r.nGpsFlagsA |= kNavGpsWptValid;
    }

    if (r.nCrsOverride == 1) {
        r.nDesiredTrack = static_cast<int16_t>(Wrap3600(r.nCourse * 10));
        r.nGpsFlagsA |= kNavGpsDtkValid;
        return;
    }
    bool have = true;
    int32_t dtk = 0;
    if (g.rmh.bReceived) {
        // RMH's desired track is in whole degrees; the variation joins it in tenths.
        dtk = g.rmh.anField[0] * 10 + NavRound(10.0 * variation);
    } else if (g.bod.bReceived) {
        // The magnetic bearing; a GPS that sends only the true one gets the variation.
        dtk = g.bod.bHasMag ? NavRound(10.0 * g.bod.fBrgMag) : NavRound(10.0 * (g.bod.fBrgTrue + variation));
    } else if (g.apb.bReceived) {
        dtk = NavRound(10.0 * g.apb.fBrgOrigDest);
        if (g.apb.cBrgOrigDestRef == 'T') dtk += NavRound(10.0 * variation);
    } else {
        have = false;
    }
    r.nDesiredTrack = static_cast<int16_t>(Wrap3600(dtk));
    const bool dtkValid = have && wptPos;
    r.nGpsFlagsA = static_cast<uint8_t>(dtkValid ? (r.nGpsFlagsA | kNavGpsDtkValid) : (r.nGpsFlagsA & ~kNavGpsDtkValid));
    r.nCourse = static_cast<int16_t>(NavRound(r.nDesiredTrack * 0.1) % 360);
}

// Step 14: the slot's route from RTE and WPL, identifiers cut to five
// characters; the NMEA list is cleared once every position has come.
void RebuildRoute(NavSrcRec& r, NmeaGpsRec& g) {
    NmeaRoute& rt = g.route;
    if (rt.nCount == 0 || rt.nSentence < rt.nSentences) return;   // a group still arriving
    ClearNavPart(static_cast<int32_t>(&r - G_NavSrc.rec), kNavRoutePartAt, kNavRoutePartBytes);
    uint32_t n = rt.nCount < static_cast<uint32_t>(kNavRoutePoints) ? rt.nCount : kNavRoutePoints;
    r.nRouteCount = static_cast<uint8_t>(n);
    for (uint32_t i = 0; i < n; ++i) {
        const NmeaRouteEntry& e = rt.entry[i];
        NavRoutePoint& p = r.route[i];
        std::strncpy(p.szIdent, e.szIdent, sizeof p.szIdent - 1);
        if (e.bFilled) {
            p.nFlags |= kNavRoutePosValid;
            p.fLat = Signed(e.fLat, e.cNs, 'S');
            p.fLon = Signed(e.fLon, e.cEw, 'W');
        }
        if (r.szWaypoint[0] != 0 && std::strncmp(e.szIdent, r.szWaypoint, 5) == 0) p.nFlags |= kNavRouteActive;
    }
    r.nRouteStamp = Now();
    if (rt.bComplete) {
        const uint32_t received = rt.bReceived, stamp = rt.nStamp;
        std::memset(rt.entry, 0, sizeof rt.entry);
        rt.nCount = rt.nFilled = rt.bComplete = 0;
        rt.bReceived = received;
        rt.nStamp = stamp;
    }
}

// Steps 4 to 14 with a new message.
void NmeaCopy(int32_t slot, NmeaGpsRec& g) {
    NavSrcRec& r = G_NavSrc.rec[slot];
    const NmeaRmc& c = g.rmc;
    r.nGpsFlagsA |= kNavGpsTrack;
    const double variation = c.cVarEw == 'W' ? c.fVariation : -static_cast<double>(c.fVariation);
    r.nTrackMag = static_cast<int16_t>(Wrap3600(NavRound(10.0 * (c.fTrack + variation)) + 3600));
    r.nTrackTrue = static_cast<int16_t>(Wrap3600(NavRound(10.0 * c.fTrack)));
    r.nMagVar = static_cast<int16_t>(NavRound(10.0 * variation));
    r.nGroundSpeed = Clamp16(std::abs(NavRound(10.0 * c.fSpeed)), 0, 32767);
    r.fLat = Signed(c.fLat, c.cNs, 'S');
    r.fLon = Signed(c.fLon, c.cEw, 'W');

    SetOwnPosition(r);

    if (g.rmb.bReceived) {
        r.nGpsFlagsA = static_cast<uint8_t>(g.rmb.fDestLat != 0.0f ? (r.nGpsFlagsA | kNavGpsWptPos)
                                                                    : (r.nGpsFlagsA & ~kNavGpsWptPos));
        r.fWptLat = Signed(g.rmb.fDestLat, g.rmb.cNs, 'S');
        r.fWptLon = Signed(g.rmb.fDestLon, g.rmb.cEw, 'W');
    } else {
        r.nGpsFlagsA &= static_cast<uint8_t>(~kNavGpsWptPos);
        r.fWptLat = r.fLat;
        r.fWptLon = r.fLon;
    }

    const int16_t oldDtk = r.nDesiredTrack, oldXtk = r.nCrossTrack;
    int32_t xtk = g.rmb.bReceived ? NavRound(100.0 * g.rmb.fXte) : 0;
    xtk = Clamp16(xtk, -9999, 9999);
    if (g.rmb.cSteer == 'L') xtk = -xtk;
    r.nCrossTrack = static_cast<int16_t>(xtk);
    NmeaWaypointAndCourse(r, g, variation);
    int32_t dd = Wrap3600(r.nDesiredTrack - oldDtk);
    if (dd > 1800) dd = 3600 - dd;
    if (dd >= 11 || std::abs(r.nCrossTrack - oldXtk) > 100) r.nGpsFlagsA &= static_cast<uint8_t>(~kNavGpsXtkUsable);
    else if (g.rmb.bReceived) r.nGpsFlagsA |= kNavGpsXtkUsable;
    SetPhase(r);

    r.nBearing = static_cast<int16_t>(g.rmb.bReceived ? Wrap3600(NavRound(10.0 * (g.rmb.fBearing + variation))) : 0);
    r.nSpeedToWpt = static_cast<int16_t>(SinTableScale(r.nBearing, r.nTrackMag, r.nGroundSpeed));
    r.nDistance = g.rmb.bReceived ? Clamp16(std::abs(NavRound(10.0 * g.rmb.fRange)), 0, 32767) : 0;
    r.nDistanceCopy = r.nDistance;
    if ((r.nGpsFlagsA & kNavGpsWptPos) && (r.nGpsFlagsB & kNavGpsOwnPos))
        r.nTimeToWpt = CalcEte(NavPointFromDegrees(r.fLat, r.fLon), NavPointFromDegrees(r.fWptLat, r.fWptLon),
                               r.nGroundSpeed);
    else
        r.nTimeToWpt = -1;

    if (g.rmh.bReceived && g.rmh.cStatus == 'A') {
        r.abVertGuide[0] = static_cast<uint8_t>(g.rmh.anField[1]);
        r.abVertGuide[1] = static_cast<uint8_t>(g.rmh.anField[2]);
        r.abVertGuide[2] = 'd';
        r.abVertGuide[3] = 0;
    }
    RebuildRoute(r, g);
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

void NmeaBranch(int32_t slot, uint32_t port) {
    NmeaGpsRec& g = G_NmeaGps[slot];
    AgeSentences(g);
    NavSrcRec& r = G_NavSrc.rec[slot];
    if (!g.route.bReceived && r.nRouteCount != 0) {
        ClearNavPart(slot, kNavRoutePartAt, kNavRoutePartBytes);   // a stale route is not shown
        G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
    }
    if (!NmeaValidity(slot, g)) {
        CountInvalid(slot, true, "GPS NMEA: MemSet @%s\n", false);
        return;
    }
    CountValid(slot);
    if (G_Serial[port].nRxCount == 1) NmeaCopy(slot, g);
}

// ---- aviation format ---------------------------------------------------------

void SetBit(uint8_t& flags, uint8_t bit, bool on) { flags = static_cast<uint8_t>(on ? (flags | bit) : (flags & ~bit)); }

void AvtnCopy(int32_t slot, const AvtnGpsRec& a) {
    NavSrcRec& r = G_NavSrc.rec[slot];
    r.nGpsFlagsA |= kNavGpsTrack;
    r.nMagVar = static_cast<int16_t>(a.nVariation);
    r.nTrackMag = static_cast<int16_t>(Wrap3600(a.nTrack * 10));
    r.nTrackTrue = static_cast<int16_t>(Wrap3600(a.nTrack * 10 - a.nVariation));
    r.nGroundSpeed = Clamp16(a.nSpeed * 10, 0, 32767);
    if (a.bHasPos) {
        r.fLat = a.fLat;
        r.fLon = a.fLon;
    }
    SetOwnPosition(r);
    const bool wpt = a.bHasWpt && a.szWaypoint[0] != 0;
    std::memset(r.szWaypoint, 0, sizeof r.szWaypoint);
    if (wpt) std::memcpy(r.szWaypoint, a.szWaypoint, sizeof r.szWaypoint - 1);
    SetBit(r.nGpsFlagsA, kNavGpsWptValid, wpt);
    r.nDistance = wpt ? Clamp16(a.nDistance, 0, 32767) : 0;
    r.nDistanceCopy = r.nDistance;
    r.nCrossTrack = a.bHasXtk ? Clamp16(a.nXtk, -9999, 9999) : 0;
    SetBit(r.nGpsFlagsA, kNavGpsXtkUsable, a.bHasXtk != 0);
    r.nBearing = static_cast<int16_t>(a.bHasBrg ? Wrap3600(a.nBearing) : 0);
    if (r.nCrsOverride == 1) {
        r.nDesiredTrack = static_cast<int16_t>(Wrap3600(r.nCourse * 10));
        r.nGpsFlagsA |= kNavGpsDtkValid;
    } else {
        r.nDesiredTrack = static_cast<int16_t>(a.bHasDtk ? Wrap3600(a.nDtk) : 0);
        SetBit(r.nGpsFlagsA, kNavGpsDtkValid, a.bHasDtk != 0);
        r.nCourse = static_cast<int16_t>(NavRound(r.nDesiredTrack * 0.1) % 360);
    }
    SetPhase(r);
    r.nSpeedToWpt = static_cast<int16_t>(SinTableScale(r.nBearing, r.nTrackMag, r.nGroundSpeed));
    // The format gives no waypoint position: the time comes from its distance.
    r.nTimeToWpt = wpt && r.nGroundSpeed >= kNavMinSpeedTenths && r.nDistance > 0
                       ? NavRound(r.nDistance * 3600.0 / r.nGroundSpeed) : -1;
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

void AvtnBranch(int32_t slot, uint32_t port) {
    AvtnGpsRec& a = G_AvtnGps[slot];
    NavSrcRec& r = G_NavSrc.rec[slot];
    const uint32_t now = Now();
    if (TicksElapsed(now, a.nStamp, kNavTimeoutTicks)) {
        if (a.bReceived) DebugPrintf("GPS AVIATION: Message Timeout @%s\n", FormatTime(4));
        a.bReceived = 0;
        a.nStamp = now;
    }
    if (!a.bReceived) {
        if (r.nGpsFlagsA & kNavGpsValid) DebugPrintf("GPS AVIATION: Data Invalid @%s\n", FormatTime(4));
        r.nGpsFlagsA &= static_cast<uint8_t>(~kNavGpsValid);
        CountInvalid(slot, true, "GPS AVAIATION: MemSet @%s\n", true);
        return;
    }
    r.nGpsFlagsA |= kNavGpsValid;
    r.nType = 1;
    r.nGpsStamp = now;
    SetBit(r.nGpsFlagsB, kNavGpsFix, a.cStatus != 'V');
    r.nGpsAltitude = kNavNoAltitude;
    CountValid(slot);
    if (G_Serial[port].nRxCount == 1) AvtnCopy(slot, a);
}

// ---- navigation radio ----------------------------------------------------------

struct VorAgeRow { VorMsgKind kind; const char* log; };
constexpr VorAgeRow kVorAgeRows[] = {
    {kVor21, "SL30, V21: Message Timeout @%s\n"}, {kVor22, "SL30, V22: Message Timeout @%s\n"},
    {kVor23, "SL30, V23: Message Timeout @%s\n"}, {kVor24, "SL30, V24: Message Timeout @%s\n"},
    {kVor25, "SL30, V25: Message Timeout @%s\n"}, {kVor28, "SL30, V28: Message Timeout @%s\n"},
};

void RadioCopy(int32_t slot, const VorRadioRec& v) {
    NavSrcRec& r = G_NavSrc.rec[slot];
    r.nRadioFlagsA = static_cast<uint8_t>((r.nRadioFlagsA & kNavRadioValid) | (v.nFlags & ~kVorFlagCdiValid & 0xFF));
    SetBit(r.nRadioFlagsB, kNavRadioCdiValid, (v.nFlags & kVorFlagCdiValid) != 0);
    r.nCdi = static_cast<int16_t>(v.nCdi);
    r.nVertDev = static_cast<int16_t>(v.nVertDev);
    if (r.nCrsOverride == 2) {
        // The user's course goes to the radio until the radio reports it.
        if (v.nObs != r.nObs && NavObsResendDue(slot)) SendNavObs(slot, r.nObs);
    } else if (!(r.nRadioFlagsA & kNavRadioLoc)) {
        r.nObs = static_cast<int16_t>(v.nObs);
    }
    r.nRadial = static_cast<int16_t>(Wrap3600(v.nBearing + 1800));
    SetBit(r.nRadioFlagsB, kNavRadioRadialValid, true);   // message 22 is there while the part is valid
    const bool freq = v.msg[kVor28].bReceived != 0;
    r.nActiveFreq = static_cast<int16_t>(freq ? v.nActiveFreq : 0);
    r.nStandbyFreq = static_cast<int16_t>(freq ? v.nStandbyFreq : 0);
    const bool second = v.msg[kVor23].bReceived != 0;
    r.nRadial2 = static_cast<int16_t>(second ? Wrap3600(v.nBearing2 + 1800) : 0);
    SetBit(r.nRadioFlagsB, kNavRadioRadial2Valid, second);
    const bool freq2 = v.msg[kVor24].bReceived != 0;
    r.nActiveFreq2 = static_cast<int16_t>(freq2 ? v.nActiveFreq2 : 0);
    r.nStandbyFreq2 = static_cast<int16_t>(freq2 ? v.nStandbyFreq2 : 0);
    std::memset(r.szStation, 0, sizeof r.szStation);
    std::memcpy(r.szStation, v.szStation, kNavStationChars);
    SetBit(r.nRadioFlagsB, kNavRadioStationValid, v.msg[kVor25].bReceived != 0);
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

void RadioBranch(int32_t slot, uint32_t port) {
    NavSrcRec& r = G_NavSrc.rec[slot];
    r.nType = 2;
    r.nRadioStamp = Now();
    VorRadioRec* v = VorRadioOfPort(port);
    if (v != nullptr)
        for (const VorAgeRow& row : kVorAgeRows) Age(&v->msg[row.kind].bReceived, &v->msg[row.kind].nStamp, kNavTimeoutTicks, row.log);
    if (v == nullptr || !v->msg[kVor21].bReceived || !v->msg[kVor22].bReceived) {
        r.nRadioFlagsA &= static_cast<uint8_t>(~kNavRadioValid);
        CountInvalid(slot, false, "SL-30: MemSet @%s\n", false);
        return;
    }
    r.nRadioFlagsA |= kNavRadioValid;
    CountValid(slot);
    if (G_Serial[port].nRxCount == 1) RadioCopy(slot, *v);
}

// ---- ARINC 429 adapter -------------------------------------------------------------

// A label of the adapter's record taken in during the last 5 s.
bool LabelFresh(const ArincAdapterRec& a, int32_t i, bool normal = true) {
    const ArincLabelData& d = a.label[i];
    return d.nStamp != 0 && !TicksElapsed(Now(), d.nStamp, kArincFreshTicks) && (!normal || d.nSsm == 3);
}

int32_t LabelValue(const ArincAdapterRec& a, int32_t i) { return a.label[i].nValue; }

// Ages the message kinds first..last; true while one of them is received.
bool AgeKinds(ArincAdapterRec& a, int32_t first, int32_t last, const char* log) {
    const uint32_t now = Now();
    bool before = false, after = false;
    for (int32_t k = first; k <= last; ++k) {
        before = before || a.bFresh[k];
        if (TicksElapsed(now, a.nKindStamp[k], kNavTimeoutTicks)) {
            a.bFresh[k] = 0;
            a.nKindStamp[k] = now;
        }
        after = after || a.bFresh[k];
    }
    if (before && !after) DebugPrintf(log, FormatTime(4));
    return after;
}

// Localizer channels: 108.10 to 111.95 MHz with an odd tenths digit.
bool LocalizerFreq(int32_t tenKhz) { return tenKhz >= 10810 && tenKhz <= 11195 && (tenKhz / 10 % 10) % 2 == 1; }

void ArincRadioCopy(NavSrcRec& r, const ArincAdapterRec& a) {
    r.nRadioFlagsB |= kNavRadioArinc;
    const bool cdi = LabelFresh(a, kAl173);
    SetBit(r.nRadioFlagsB, kNavRadioCdiValid, cdi);
    if (cdi) r.nCdi = Clamp16(NavRound(LabelValue(a, kAl173) * 0.5714), -32768, 32767);
    const bool gs = LabelFresh(a, kAl174);
    SetBit(r.nRadioFlagsA, kNavRadioGsPresent, gs);
    SetBit(r.nRadioFlagsA, kNavRadioGsValid, gs);
    if (gs) r.nVertDev = Clamp16(NavRound(LabelValue(a, kAl174) * 0.66667), -32768, 32767);
    const bool radial = LabelFresh(a, kAl222);
    SetBit(r.nRadioFlagsB, kNavRadioRadialValid, radial);
    if (radial) r.nRadial = static_cast<int16_t>(Wrap3600(LabelValue(a, kAl222)));
    const bool freq = LabelFresh(a, kAl034, false);
    r.nActiveFreq = freq ? Clamp16(LabelValue(a, kAl034), 0, 32767) : 0;
    SetBit(r.nRadioFlagsA, kNavRadioLoc, freq && LocalizerFreq(r.nActiveFreq));
    if (LabelFresh(a, kAl100) && r.nCrsOverride != 2)
        r.nObs = static_cast<int16_t>(Wrap3600(NavRound(LabelValue(a, kAl100) * 0.1) * 10) / 10);
    std::memset(r.szStation, 0, sizeof r.szStation);
    std::memcpy(r.szStation, "****", 4);
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

void ArincGpsCopy(NavSrcRec& r, const ArincAdapterRec& a) {
    if (LabelFresh(a, kAl147)) r.nMagVar = static_cast<int16_t>(-LabelValue(a, kAl147));   // east positive on the bus
    if (LabelFresh(a, kAl313)) {
        r.nGpsFlagsA |= kNavGpsTrack;
        r.nTrackTrue = static_cast<int16_t>(Wrap3600(LabelValue(a, kAl313)));
        r.nTrackMag = static_cast<int16_t>(Wrap3600(r.nTrackTrue + r.nMagVar));
    }
    if (LabelFresh(a, kAl312)) r.nGroundSpeed = Clamp16(std::abs(LabelValue(a, kAl312)), 0, 32767);
    if (LabelFresh(a, kAl310) && LabelFresh(a, kAl311)) {
        r.fLat = static_cast<float>(LabelValue(a, kAl310) / 262144.0);
        r.fLon = static_cast<float>(LabelValue(a, kAl311) / 262144.0);
    }
    SetOwnPosition(r);
    SetPhase(r);
    if (LabelFresh(a, kAl326) && LabelValue(a, kAl326) > 0 && LabelValue(a, kAl326) <= 255)
        r.nCdiFullScale = static_cast<uint8_t>(LabelValue(a, kAl326));
    const bool xtk = LabelFresh(a, kAl116);
    SetBit(r.nGpsFlagsA, kNavGpsXtkUsable, xtk);
    r.nCrossTrack = xtk ? Clamp16(-LabelValue(a, kAl116), -9999, 9999) : 0;   // right of course: steer left
    if (r.nCrsOverride == 1) {
        r.nDesiredTrack = static_cast<int16_t>(Wrap3600(r.nCourse * 10));
        r.nGpsFlagsA |= kNavGpsDtkValid;
    } else {
        const bool dtk = LabelFresh(a, kAl114);
        SetBit(r.nGpsFlagsA, kNavGpsDtkValid, dtk);
        r.nDesiredTrack = static_cast<int16_t>(dtk ? Wrap3600(LabelValue(a, kAl114) + r.nMagVar) : 0);
        r.nCourse = static_cast<int16_t>(NavRound(r.nDesiredTrack * 0.1) % 360);
    }
    r.nBearing = static_cast<int16_t>(LabelFresh(a, kAl115) ? Wrap3600(LabelValue(a, kAl115) + r.nMagVar) : 0);
    r.nDistance = LabelFresh(a, kAl251) ? Clamp16(std::abs(LabelValue(a, kAl251)), 0, 32767) : 0;
    r.nDistanceCopy = r.nDistance;
    r.nSpeedToWpt = static_cast<int16_t>(SinTableScale(r.nBearing, r.nTrackMag, r.nGroundSpeed));
    r.nTimeToWpt = r.nDistance > 0 && r.nGroundSpeed >= kNavMinSpeedTenths
                       ? NavRound(r.nDistance * 3600.0 / r.nGroundSpeed) : -1;
    const bool vertical = LabelFresh(a, kAl117);
    SetBit(r.nGpsFlagsA, kNavGpsVertical, vertical);
    NavPutU32(r.abVertGuide, vertical ? a.nVertWord : 0);
    const bool roll = a.bRollSteer && LabelFresh(a, kAl121);
    NavSetRollSteer(r, roll, roll ? LabelValue(a, kAl121) : 0, roll ? a.nRollWord : 0);
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

void ArincBranch(int32_t slot, uint32_t port) {
    ArincAdapterRec& a = G_ArincAdapter[slot];
    NavSrcRec& r = G_NavSrc.rec[slot];
    const uint8_t type = a.nType == 2 ? 2 : 1;
    r.nType = type;
    if (G_NavSrc.hdr.nCrsSlot >= kNavNoneSlot) {
        const uint8_t bits = type == 2 ? kNavHdrCrsRadio : kNavHdrCrsGps;
        G_NavSrc.hdr.nFlags0 = static_cast<uint8_t>((G_NavSrc.hdr.nFlags0 & ~(kNavHdrCrsGps | kNavHdrCrsRadio)) | bits);
    }
    const bool fresh = G_Serial[port].nRxCount == 1;
    if (type == 2) {
        if (!AgeKinds(a, 0, 0, "VOR ARINC: Freq Message Timeout @%s\n")) {
            r.nRadioFlagsA &= static_cast<uint8_t>(~kNavRadioValid);
            CountInvalid(slot, false, "ARINC_VOR: MemSet @%s\n", false);
            return;
        }
        r.nRadioFlagsA |= kNavRadioValid;
        r.nRadioStamp = Now();
        CountValid(slot);
        if (fresh) ArincRadioCopy(r, a);
        return;
    }
    if (!AgeKinds(a, 1, kArincKinds - 1, "GPS ARINC: Flags Message Timeout @%s\n")) {
        r.nGpsFlagsA &= static_cast<uint8_t>(~kNavGpsValid);
        CountInvalid(slot, true, "ARINC_GPS: MemSet @%s\n", false);
        return;
    }
    r.nGpsFlagsA |= kNavGpsValid;
    r.nGpsStamp = Now();
    if (!a.nGpsInteg && (r.nGpsFlagsB & kNavGpsFix)) DebugPrintf("GPS_INTEG_FAIL @%s\n", FormatTime(4));
    SetBit(r.nGpsFlagsB, kNavGpsFix, a.nGpsInteg != 0);
    r.nGpsAltitude = kNavNoAltitude;
    CountValid(slot);
    if (fresh) ArincGpsCopy(r, a);
}

}  // namespace

uint32_t NavGetU32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void NavPutU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

bool NavRollSteerFlag(const NavSrcRec& rec) { return rec.abRollSteer[0] != 0; }
int32_t NavRollSteerValue(const NavSrcRec& rec) { return static_cast<int32_t>(NavGetU32(rec.abRollSteer + 1)); }
uint32_t NavRollSteerWord(const NavSrcRec& rec) { return NavGetU32(rec.abRollSteer + 5); }

void NavSetRollSteer(NavSrcRec& rec, bool on, int32_t value, uint32_t word) {
    rec.abRollSteer[0] = on ? 1 : 0;
    NavPutU32(rec.abRollSteer + 1, static_cast<uint32_t>(value));
    NavPutU32(rec.abRollSteer + 5, word);
}

bool NavSlotIsArinc(const NavSrcRec& rec) {
    const ptrdiff_t slot = &rec - G_NavSrc.rec;
    if (slot < 0 || slot > 2) return false;
    const uint8_t port = G_NavSrc.hdr.nPort[slot];
    return port < static_cast<uint8_t>(kSerialPorts) && G_Serial[port].nFunction == 5;
}

int32_t NavRound(double value) { return static_cast<int32_t>(value < 0 ? value - 0.5 : value + 0.5); }

int32_t NavSlotOfPort(uint32_t port) {
    if (port > 4) return -1;
    for (int32_t s = 0; s < 3; ++s)
        if (G_NavSrc.hdr.nPort[s] == port) return s;
    return -1;
}

uint16_t GetCdiScale(uint8_t phase) {
    switch (phase) {
    case 1: return 100;
    case 2: return 30;
    default: return 200;
    }
}

void UpdateNavSrc(int32_t arg) {
    if (arg < 0) return;
    const uint32_t port = static_cast<uint32_t>(arg);
    const int32_t slot = NavSlotOfPort(port);
    if (slot < 0) return;
    ++G_NavMergePasses;
    NavSrcRec& r = G_NavSrc.rec[slot];
    r.bInUse = 1;
    if (r.nCrsOverride != 0 && TicksElapsed(Now(), r.nCrsStamp, kNavOverrideTicks)) r.nCrsOverride = 0;
    switch (G_Serial[port].nFunction) {
    case 2: case 14: case 19: NmeaBranch(slot, port); break;
    case 4: RadioBranch(slot, port); break;
    case 5: ArincBranch(slot, port); break;
    case 6: case 8: case 22: AvtnBranch(slot, port); break;
    default: break;
    }
    if (G_Serial[port].nRxCount == 1) G_Serial[port].nRxCount = 0;
}
