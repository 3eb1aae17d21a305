// The AHRS status monitor: the freshness countdown, the status word turned
// into attitude and magnetometer states with colours, rate-limited fault
// lines, and the cross-check against the other display's attitude.
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"

AhrsRecord G_RemoteAhrs = {};
uint32_t G_RemoteAhrsSeen = 0;

namespace {

constexpr uint32_t kLogGapTicks = 110592000;   // 30 s
constexpr uint32_t kAidingLinesPerEpisode = 5;
constexpr uint32_t kBitHardFailure = 1u << 0, kBitFault = 1u << 3, kBitMagDynon = 1u << 9;
constexpr uint32_t kBitAidingOff = 1u << 7, kBitAlgorithm = 1u << 10, kBitMagError = 1u << 15;
constexpr uint32_t kBitsMagAlign = 0x7000;   // bits 12..14

// A log line limited to one per 30 s; the first one is never held back.
struct LimitedLine {
    bool bLogged = false;
    uint32_t nStamp = 0;
    uint32_t nCount = 0;
    bool Due(uint32_t now) const { return !bLogged || TicksElapsed(now, nStamp, kLogGapTicks); }
    void Mark(uint32_t now) {
        bLogged = true;
        nStamp = now;
        ++nCount;
    }
};

enum XcState : uint32_t { kXcAgree = 0, kXcOffline = 1, kXcMiscompare = 2 };

LimitedLine s_hardFailure, s_aidingOff, s_magError;
bool s_alignLogged = false;
uint32_t s_xc = kXcAgree;

void SetAtt(AhrsAttState state, uint32_t colour) {
    G_AhrsState.nAttState = state;
    G_AhrsState.nAttColour = colour;
}

void SetMag(AhrsMagFlag flag, uint32_t colour) {
    G_AhrsState.nMagFlag = flag;
    G_AhrsState.nMagColour = colour;
}

// The last step of both rule sets: the cross-check decides.
void CrossCheckState() {
    if (G_AhrsState.nXcEnable == 0) SetAtt(kAttNormal, kAhrsWhite);
    else if (AHRS_XC() != 0) SetAtt(kAttMiscompare, kAhrsYellow);
    else SetAtt(kAttNormal, kAhrsWhite);
}

void DynonRules(bool stale, uint32_t status) {
    if (stale) SetAtt(kAttStale, kAhrsYellow);
    else if (status & (kBitAlgorithm | kBitFault)) SetAtt(kAttFault, kAhrsRed);
    else CrossCheckState();
    SetMag(kMagNone, (stale || (status & kBitMagDynon)) ? kAhrsRed : kAhrsWhite);
}

void XbowRules(bool stale, uint32_t status) {
    const uint32_t now = ReadOsTimer();
    if (stale) {
        SetAtt(kAttStale, kAhrsRed);
    } else if (status & kBitHardFailure) {
        SetAtt(kAttHardFailure, kAhrsRed);
        if (s_hardFailure.Due(now)) {
            s_hardFailure.Mark(now);
            DebugPrintf("ERROR: AHRS Stat:0x%04X, Hard Failure Reported\n", static_cast<unsigned>(status));
        }
    } else if (status & kBitAlgorithm) {
        SetAtt(kAttFault, kAhrsRed);
    } else {
        CrossCheckState();
    }
    if (status & kBitAidingOff) {
        if (s_aidingOff.nCount < kAidingLinesPerEpisode && s_aidingOff.Due(now)) {
            s_aidingOff.Mark(now);
            DebugPrintf("ERROR: AHRS Stat:0x%04X, Aiding Disabled Reported @%02d:%02d:%02d\n",
                        static_cast<unsigned>(status), static_cast<int>(G_DateTime.nHours),
                        static_cast<int>(G_DateTime.nMinutes), static_cast<int>(G_DateTime.nSeconds));
        }
    } else {
        s_aidingOff = {};   // a new episode may log again at once
    }
    if (stale) {
        SetMag(kMagNone, kAhrsRed);
    } else if (status & kBitMagError) {
        SetMag(kMagError, kAhrsRed);
        if (s_magError.Due(now)) {
            s_magError.Mark(now);
            DebugPrintf("ERROR: AHRS Stat:0x%04X, External Mag Error Reported\n", static_cast<unsigned>(status));
        }
    } else if (!(status & kBitsMagAlign)) {
        SetMag(kMagNone, kAhrsWhite);
    } else {
        SetMag(kMagAlignRequired, kAhrsWhite);
        if (!s_alignLogged) {
            s_alignLogged = true;
            DebugPrintf("ERROR: AHRS Stat:0x%04X, External Mag Align Required\n", static_cast<unsigned>(status));
        }
    }
}

// Heading difference wrapped into -1799..1800, as a magnitude.
int32_t HeadingDiff(int32_t a, int32_t b) {
    int32_t d = (a - b) % 3600;
    if (d > 1800) d -= 3600;
    if (d <= -1800) d += 3600;
    return d < 0 ? -d : d;
}

}  // namespace

bool AhrsHeadingUsable() { return G_AhrsState.nMagColour != kAhrsRed; }

void CheckAhrsStatus() {
    const bool stale = G_Ahrs.nFresh <= 0;
    if (!stale) --G_Ahrs.nFresh;
    if (G_Ahrs.nType != 0) DynonRules(stale, G_Ahrs.nStatus);
    else XbowRules(stale, G_Ahrs.nStatus);
}

uint32_t AHRS_XC() {
    if (G_AhrsState.nXcEnable == 0) return 0;
    if (G_RemoteAhrs.nFresh < 1) {
        if (s_xc != kXcOffline) {
            s_xc = kXcOffline;
            DebugPrintf("AHRS_XC: Remote Offline @%s\n", FormatTime(4));
        }
        return 1;
    }
    --G_RemoteAhrs.nFresh;
    const AhrsRecord& l = G_Ahrs;
    const AhrsRecord& r = G_RemoteAhrs;
    // 64-bit differences: a remote record is foreign input.
    const int64_t dp = static_cast<int64_t>(l.nPitch) - r.nPitch;
    const int64_t dr = static_cast<int64_t>(l.nRoll) - r.nRoll;
    const bool agree = (dp <= 500 && dp >= -500) && (dr <= 50 && dr >= -50) &&
                       HeadingDiff(l.nHeading % 3600, r.nHeading % 3600) <= 150;
    if (agree) {
        s_xc = kXcAgree;
        return 0;
    }
    if (s_xc != kXcMiscompare) {
        s_xc = kXcMiscompare;
        DebugPrintf("AHRS_XC: P(%d,%d), R(%d,%d), H(%d,%d)@%s\n", static_cast<int>(l.nPitch),
                    static_cast<int>(r.nPitch), static_cast<int>(l.nRoll), static_cast<int>(r.nRoll),
                    static_cast<int>(l.nHeading), static_cast<int>(r.nHeading), FormatTime(4));
    }
    return 1;
}
