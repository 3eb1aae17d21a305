// Autopilot steering: the inputs, the two mode machines, the controller steps
// and the settings block of the image.
#include "nav/autopilot.h"

#include <cmath>
#include <cstdlib>

#include "core/audio.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "nav/arinc.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "storage/nvram.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/statusbar.h"

Autopilot G_Autopilot = {};
ApLateral& G_ApLateral = G_Autopilot.lat;
ApVertical& G_ApVertical = G_Autopilot.vert;

const char ApModeNames[7][16] = {"OFFLINE", "HDGBUG", "HNAV", "HARM", "ALTBUG", "VNAV", "VARM"};

// round(10 x atan(V x 3 deg/s / g)) tenths of a degree, V in knots (1852/3600 m/s).
const uint16_t ApBankLimitTable[251] = {
    0, 2, 3, 5, 6, 8, 9, 11, 13, 14, 16, 17, 19, 20, 22, 24, 25, 27, 28, 30, 31, 33,
    35, 36, 38, 39, 41, 42, 44, 46, 47, 49, 50, 52, 53, 55, 56, 58, 60, 61, 63, 64, 66, 67,
    69, 70, 72, 74, 75, 77, 78, 80, 81, 83, 84, 86, 87, 89, 90, 92, 94, 95, 97, 98, 100, 101,
    103, 104, 106, 107, 109, 110, 112, 113, 115, 116, 118, 119, 121, 122, 124, 125, 127, 128, 130, 131, 133, 134,
    136, 137, 139, 140, 142, 143, 145, 146, 148, 149, 151, 152, 154, 155, 156, 158, 159, 161, 162, 164, 165, 167,
    168, 170, 171, 172, 174, 175, 177, 178, 180, 181, 182, 184, 185, 187, 188, 189, 191, 192, 194, 195, 196, 198,
    199, 201, 202, 203, 205, 206, 208, 209, 210, 212, 213, 214, 216, 217, 218, 220, 221, 223, 224, 225, 227, 228,
    229, 231, 232, 233, 235, 236, 237, 238, 240, 241, 242, 244, 245, 246, 248, 249, 250, 252, 253, 254, 255, 257,
    258, 259, 260, 262, 263, 264, 266, 267, 268, 269, 271, 272, 273, 274, 276, 277, 278, 279, 280, 282, 283, 284,
    285, 287, 288, 289, 290, 291, 293, 294, 295, 296, 297, 299, 300, 301, 302, 303, 304, 306, 307, 308, 309, 310,
    311, 313, 314, 315, 316, 317, 318, 319, 320, 322, 323, 324, 325, 326, 327, 328, 329, 331, 332, 333, 334, 335,
    336, 337, 338, 339, 340, 341, 343, 344, 345};

// Settings block of the image (bytes 772..818).
constexpr uint32_t kNvApClimbRate = kNvApGains - 2;             // u16 ft/min
constexpr uint32_t kNvApLatKp     = kNvApGains + 2;             // u16 each
constexpr uint32_t kNvApLatKi     = kNvApGains + 4;
constexpr uint32_t kNvApLatKd     = kNvApGains + 6;
constexpr uint32_t kNvApVertKp    = kNvApGains + 8 + 2;         // the altitude-hold group
constexpr uint32_t kNvApVertKi    = kNvApGains + 8 + 4;
constexpr uint32_t kNvApVertKd    = kNvApGains + 8 + 6;
constexpr uint32_t kNvApSlewStep  = kNvApGains + 8 * 4 + 6;     // the pitch group's last word

namespace {

constexpr float kInterceptGain = 4.5f;
constexpr int32_t kBankSpeedMin = 80, kBankSpeedMax = 250;

uint32_t Now() { return ReadOsTimer(); }

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

void AvgAdd(ApAverage& a, int32_t v) {
    a.nSample[a.nNext] = v;
    a.nNext = (a.nNext + 1) % kApAvgWindow;
    if (a.nCount < kApAvgWindow) ++a.nCount;
    int64_t sum = 0;
    for (int32_t i = 0; i < a.nCount; ++i) sum += a.nSample[i];
    a.nValue = static_cast<int32_t>(sum / a.nCount);
}

// "2 s since start", latched once passed so that the OS timer's wrap cannot
// make the window look open again.
bool LatStarted() {
    if (!G_Autopilot.bStarted && TicksElapsed(Now(), G_ApLateral.nStartStamp, kApStartTicks)) G_Autopilot.bStarted = 1;
    return G_Autopilot.bStarted != 0;
}

bool VertStarted() {
    if (!G_Autopilot.bVertStarted && TicksElapsed(Now(), G_ApVertical.nStartStamp, kApStartTicks))
        G_Autopilot.bVertStarted = 1;
    return G_Autopilot.bVertStarted != 0;
}

// Within the 5 s after a capture or hold stamp; a stamp is used once and
// cleared when it runs out, so an old one cannot look recent after a wrap.
bool WithinHold(uint8_t& hold, uint32_t& stamp) {
    if (!hold) return false;
    if (!TicksElapsed(Now(), stamp, kApHoldTicks)) return true;
    hold = 0;
    stamp = 0;
    return false;
}

const NavSrcRec& Slot() { return G_NavSrc.rec[G_ApLateral.nSlot < kNavSlots ? G_ApLateral.nSlot : kNavNoneSlot]; }
bool HaveSlot() { return G_ApLateral.nSlot <= kNavMapSlot; }
bool Bit(uint8_t flags, uint8_t bit) { return (flags & bit) != 0; }

bool GpsFix(const NavSrcRec& r) { return Bit(r.nGpsFlagsA, kNavGpsValid); }
bool GpsVertical(const NavSrcRec& r) { return GpsFix(r) && Bit(r.nGpsFlagsA, kNavGpsVertical); }
bool GpsLateral(const NavSrcRec& r) { return GpsFix(r) && Bit(r.nGpsFlagsA, kNavGpsDtkValid); }
bool NavData(const NavSrcRec& r) { return Bit(r.nRadioFlagsA, kNavRadioValid); }
bool NavValid(const NavSrcRec& r) { return Bit(r.nRadioFlagsB, kNavRadioCdiValid); }
bool NavGlide(const NavSrcRec& r) { return NavData(r) && Bit(r.nRadioFlagsA, kNavRadioGsValid); }
bool NavLoc(const NavSrcRec& r) { return Bit(r.nRadioFlagsA, kNavRadioLoc); }

uint8_t StoredLat() { return G_NVRam[kNvNavMode]; }
uint8_t StoredVert() { return G_NVRam[kNvApVertMode]; }
void StoreLat(uint8_t m) {
    G_NVRam[kNvNavMode] = m;
    G_RedrawReq = 1;
}
void StoreVert(uint8_t m) {
    G_NVRam[kNvApVertMode] = m;
    G_RedrawReq = 1;
}

const char* ModeName(uint32_t m) { return m < 7 ? ApModeNames[m] : "?"; }

// The GPS vertical deviation and its full scale: an ARINC-fed slot carries
// label 117 (feet), the others the vertical sentence's two bytes.
int32_t GpsVertDev(const NavSrcRec& r, int32_t* scale) {
    if (NavSlotIsArinc(r)) {
        *scale = 100;
        return ArincBnr(NavGetU32(r.abVertGuide), 11);   // 1 ft
    }
    *scale = static_cast<int8_t>(r.abVertGuide[1]);
    if (*scale <= 0) *scale = 100;
    return static_cast<int8_t>(r.abVertGuide[0]);
}

// OFFLINE's lateral state (mode left to the caller).
void LatOff() {
    ApLateral& l = G_ApLateral;
    l.bRollSteer = 0;
    l.nTrackUsed = l.nTargetCrs = l.nCurHeading;
    l.nIntercept = 0;
    l.bCaptureHold = 0;
    l.bEngaged = 0;
}

// HNAV on a GPS slot.
void LatHnavGps(const NavSrcRec& r) {
    ApLateral& l = G_ApLateral;
    if (!GpsFix(r)) {
        l.bRollSteer = 0;
        l.nTrackUsed = l.nTargetCrs = l.nCurTrack;
        l.nIntercept = 0;
        if (!WithinHold(l.bCaptureHold, l.nCaptureStamp)) l.bEngaged = 0;
        return;
    }
    if (NavRollSteerFlag(r)) {
        l.bRollSteer = 1;
        l.nRollSteer = NavRollSteerValue(r);
        l.nRollSteerWord = NavRollSteerWord(r);
        l.nTrackUsed = l.nTargetCrs = l.nCurTrack;
        l.nIntercept = ApRound(l.nRollSteer * 0.1);
        ApSetLateralMode(kApHnav);
        return;
    }
    if (Bit(r.nGpsFlagsA, kNavGpsDtkValid)) {
        l.bRollSteer = 0;
        l.nTrackUsed = l.nCurTrack;
        l.nTargetCrs = l.nDesiredCrs;
        l.nIntercept = ApRound(l.nXtkDev * static_cast<double>(l.fGpsGain));
        ApSetLateralMode(kApHnav);
        return;
    }
    l.nTrackUsed = l.nCurTrack;
    l.nIntercept = 0;
    if (WithinHold(l.bCaptureHold, l.nCaptureStamp)) {
        l.bEngaged = 1;
        l.nTargetCrs = l.nCurTrack;
    } else {
        l.bEngaged = 0;
    }
}

float NavGain(const NavSrcRec& r) { return NavLoc(r) ? G_ApLateral.fLocGain : G_ApLateral.fVorGain; }

void LatHnav() {
    ApLateral& l = G_ApLateral;
    l.nMode = kApHnav;
    if (!HaveSlot()) {
        LatOff();
        return;
    }
    const NavSrcRec& r = Slot();
    if (r.nType == 1) {
        LatHnavGps(r);
    } else if (r.nType == 2) {
        l.nTrackUsed = l.nCurTrack;
        l.nTargetCrs = l.nDesiredCrs;
        l.nIntercept = 0;
        ApSetLateralMode(kApHnav);
        l.bEngaged = 1;
        if (NavValid(r)) l.nIntercept = ApRound(l.nXtkDev * static_cast<double>(NavGain(r)));
    } else {
        LatOff();
    }
}

void LatHarm() {
    ApLateral& l = G_ApLateral;
    l.bRollSteer = 0;
    const NavSrcRec& r = Slot();
    const bool limits = std::abs(l.nXtkDev) <= 79 && std::abs(HeadingDiff(l.nDesiredCrs, l.nCurTrack)) <= 449;
    bool capture = false;
    float gain = l.fGpsGain;
    if (HaveSlot() && r.nType == 1) {
        capture = GpsLateral(r) && limits;
    } else if (HaveSlot() && r.nType == 2) {
        capture = NavData(r) && NavValid(r) && limits;
        gain = NavGain(r);
    }
    if (!capture) {
        ApSetLateralMode(kApHarm);
        return;
    }
    l.nTrackUsed = l.nCurTrack;
    l.nTargetCrs = l.nDesiredCrs;
    l.nIntercept = ApRound(l.nXtkDev * static_cast<double>(gain));
    ApSetLateralMode(kApHnav);
}

void BankLimits() {
    const int32_t limit = ApBankLimit(G_AirData.nTas);
    G_ApLateral.nMaxBank = limit;
    G_ApLateral.nMinBank = -limit;
}

// Step 5 of the rate: towards the setting, or down while a speed limit holds.
void RateStep() {
    ApVertical& v = G_ApVertical;
    const int32_t setting = std::abs(static_cast<int32_t>(NvGetU16(kNvApClimbRate)));
    const bool tooFast = v.nTas >= G_NVRam[kNvApMaxSpd] && v.nAltError < 0;
    const bool tooSlow = v.nTas <= G_NVRam[kNvApMinSpd] && v.nAltError > 0;
    if (!tooFast && !tooSlow) {
        const int32_t d = v.nRateInUse - setting;
        if (d > 99) v.nRateInUse -= 100;
        else if (d > 9) v.nRateInUse -= 10;
        else if (d < -99) v.nRateInUse += 100;
        else if (d < -9) v.nRateInUse += 10;
        return;
    }
    const int32_t cap = std::abs(static_cast<int32_t>(v.fCmdLimited));
    if (v.nRateInUse > cap) v.nRateInUse = cap;
    if (v.nRateInUse > 99) v.nRateInUse -= 100;
    else if (v.nRateInUse > 9) v.nRateInUse -= 10;
}

// The glide path's ground speed: the map slot's, else TAS, else 1.25 x VS1.
int32_t GlideRate() {
    const int32_t mapGs = G_NavSrc.rec[kNavMapSlot].nGroundSpeed;   // tenths of a knot
    double knots;
    if (mapGs > 250) knots = mapGs * 0.1;
    else if (G_AirData.nTas >= 251) knots = G_AirData.nTas * 0.1;
    else knots = 1.25 * G_AirspeedCfg.nVs1;
    return ApRound(knots * -5.31);
}

void VertVnav() {
    ApVertical& v = G_ApVertical;
    v.nMode = kApVnav;
    const NavSrcRec& r = Slot();
    const bool latNav = G_ApLateral.nMode == kApHnav;
    if (HaveSlot() && r.nType == 1) {
        v.bNavGlide = 0;
        if (latNav && GpsVertical(r)) {
            v.bGpsGlide = 1;
            ApSetVerticalMode(kApVnav);
            v.nLostCount = 0;
        } else if (WithinHold(v.bHold, v.nHoldStamp)) {
            ++v.nLostCount;
        } else {
            v.nLostCount = 0;
            ApSetVerticalMode(kApVarm);
        }
    } else if (HaveSlot() && r.nType == 2) {
        v.bGpsGlide = 0;
        if (latNav && NavGlide(r)) {
            v.bNavGlide = 1;
            ApSetVerticalMode(kApVnav);
            v.nLostCount = 0;
        } else if (WithinHold(v.bHold, v.nHoldStamp)) {
            if (++v.nLostCount < 5) RamLogPrintf("Lost VOR Vertical@%s\n", FormatTime(4));
        } else {
            ApSetVerticalMode(kApVarm);
            v.nLostCount = 0;
        }
    } else {
        ApSetVerticalMode(kApVarm);
        v.nLostCount = 0;
    }
}

void VertVarm() {
    ApVertical& v = G_ApVertical;
    v.nLostCount = 0;
    const NavSrcRec& r = Slot();
    const bool latNav = G_ApLateral.nMode == kApHnav;
    if (HaveSlot() && latNav && r.nType == 1 && GpsVertical(r) && std::abs(v.nVertDev) <= 79) {
        v.bGpsGlide = 1;
        ApSetVerticalMode(kApVnav);
    } else if (HaveSlot() && latNav && r.nType == 2 && NavGlide(r) && std::abs(v.nVertDev) <= 4) {
        v.bNavGlide = 1;
        ApSetVerticalMode(kApVnav);
    } else {
        ApSetVerticalMode(kApVarm);
    }
}

// The +-100 ft/min floor beyond the dead band of the altitude (or minimums) error.
float AltitudeCommand(int32_t error) {
    float cmd = PidStep(G_ApVertical.pid, static_cast<float>(error), 0.0f, 0.0f);
    if (error < -5 && cmd > -100.0f) cmd = -100.0f;
    if (error >= 6 && cmd < 100.0f) cmd = 100.0f;
    return cmd;
}

bool EfisPaneShown() {
    switch (G_CurPage) {
    case 2: case 3: case 5: case 6: case 9: case 10: case 13: case 17: case 19: case 30: case 34: return true;
    default: return false;
    }
}

void Minimums() {
    ApVertical& v = G_ApVertical;
    v.nMinimumsStamp = Now();
    if (EfisPaneShown())
        ShowPopupMsg(22, G_EfisLayout.nCenterX - 105, G_EfisLayout.nCenterY - 110, kApHoldTicks, " MINIMUMS ");
    PlaySound(15);
    v.bMinimums = 1;
}

// Mode 5's command; false when the glide path's own rate is flown as is.
void VnavCommand(float& cmd) {
    ApVertical& v = G_ApVertical;
    if (!v.bMinimums && v.nAltitude > v.nMinimums + 200) {
        const double kp = v.pid.fKp;
        const int32_t r = v.nGlideRate + ApRound(-0.01 * v.nVertDev * v.nGlideRate * kp);
        v.nRate = Clamp(r, -1500, 0);
        cmd = static_cast<float>(v.nRate);
        return;
    }
    if (!v.bMinimums) Minimums();
    v.nRate = v.nMinError > 0 ? v.nRateInUse : v.nGlideRate;
    cmd = AltitudeCommand(v.nMinError);
}

void Slew() {
    ApVertical& v = G_ApVertical;
    v.fVsError = static_cast<float>(v.nVsi) - v.fCmdLimited;
    const float step = static_cast<float>(NvGetU16(kNvApSlewStep)) * 0.001f;
    const float ref = static_cast<float>(v.nPitch);
    const float err = std::fabs(0.4f * v.fVsError);
    v.fSlewHi = ref + 600.0f;
    v.fSlewLo = ref - 600.0f;
    v.fSlewErrHi = ref + err;
    v.fSlewErrLo = ref - err;
    if (v.fPitchCmd > v.fSlewErrHi) v.fPitchCmd = v.fSlewErrHi;
    else if (v.fPitchCmd < v.fSlewErrLo) v.fPitchCmd = v.fSlewErrLo;
    else v.fPitchCmd += v.fVsError >= 0 ? -step : step;
    if (v.fPitchCmd > v.fSlewHi) v.fPitchCmd = v.fSlewHi;
    if (v.fPitchCmd < v.fSlewLo) v.fPitchCmd = v.fSlewLo;
}

}  // namespace

int32_t ApRound(double v) { return SaturateI32(v < 0 ? v - 0.5 : v + 0.5); }

int32_t HeadingDiff(int32_t a, int32_t b) {
    int32_t d = a - b;
    if (d > 1800) d -= 3600;
    else if (d < -1799) d += 3600;
    return d;
}

int32_t ApBankLimit(int32_t tasTenths) {
    const int32_t knots = Clamp(ApRound(tasTenths * 0.1), kBankSpeedMin, kBankSpeedMax);
    return ApBankLimitTable[knots] * 10;
}

float PidStep(ApPid& pid, float error, float integralError, float derivativeError) {
    pid.nStamp = Now();
    pid.fP = error * pid.fKp;
    pid.fInteg += integralError * pid.fKi;
    if (pid.fInteg < pid.fIntegMin) pid.fInteg = pid.fIntegMin;
    if (pid.fInteg > pid.fIntegMax) pid.fInteg = pid.fIntegMax;
    pid.fI = pid.fInteg;
    pid.fD = derivativeError * pid.fKd;
    pid.fOutput = pid.fP;
    return pid.fP;
}

// ---- settings ---------------------------------------------------------------------------------

void DefaultApSettings() {
    G_NVRam[kNvApVertMode] = kApVarm;
    G_NVRam[kNvNavMode] = kApHarm;
    G_NVRam[kNvApMinSpd] = 80;
    G_NVRam[kNvApMaxSpd] = 250;
    NvSetU16(kNvApClimbRate, 500);
    NvSetU16(kNvApLatKp, 100);
    NvSetU16(kNvApLatKi, 0);
    NvSetU16(kNvApLatKd, 500);
    NvSetU16(kNvApVertKp, 5000);
    NvSetU16(kNvApVertKi, 0);
    NvSetU16(kNvApSlewStep, 500);
}

namespace {
uint16_t Bounded(uint32_t at, uint16_t bound) {
    if (NvGetU16(at) > bound) NvSetU16(at, bound);
    return NvGetU16(at);
}
}  // namespace

void LoadApSettings() {
    // A new image has never held the block: speeds of 0 and 0 kt are no one's choice.
    if (G_NVRam[kNvApMinSpd] == 0 && G_NVRam[kNvApMaxSpd] == 0) DefaultApSettings();
    if (G_NVRam[kNvNavMode] > kApHarm) G_NVRam[kNvNavMode] = kApOffline;
    const uint8_t vm = G_NVRam[kNvApVertMode];
    if (vm != kApOffline && (vm < kApAltBug || vm > kApVarm)) G_NVRam[kNvApVertMode] = kApOffline;
    const uint16_t latKp = Bounded(kNvApLatKp, 2000), latKi = Bounded(kNvApLatKi, 1000);
    const uint16_t latKd = Bounded(kNvApLatKd, 1000);
    const uint16_t vertKp = Bounded(kNvApVertKp, 12000), vertKi = Bounded(kNvApVertKi, 1000);
    const uint16_t rate = Bounded(kNvApClimbRate, 1500);

    ApLateral& l = G_ApLateral;
    ApVertical& v = G_ApVertical;
    // Lateral gains are hundredths of a degree of bank per degree of heading
    // error: x 10 before the tick's division by 100 of a tenths-by-tenths product.
    l.pid.fKp = static_cast<float>(latKp) * 10.0f;
    l.pid.fKi = static_cast<float>(latKi) * 0.001f;
    l.pid.fKd = static_cast<float>(latKd) * 0.001f;
    l.fGpsGain = kInterceptGain;
    l.fVorGain = kInterceptGain;
    l.fLocGain = kInterceptGain * static_cast<float>(latKd) * 0.001f;
    v.pid.fKp = static_cast<float>(vertKp) * 0.001f;   // ft/min per foot
    v.pid.fKi = static_cast<float>(vertKi) * 0.001f;
    v.pid.fKd = static_cast<float>(NvGetU16(kNvApVertKd)) * 0.001f;

    DebugPrintf("INFO: AP Settings SPEED: Max:%d, Min:%d\n", G_NVRam[kNvApMaxSpd], G_NVRam[kNvApMinSpd]);
    DebugPrintf("INFO: AP Settings LATERAL: Roll:%d.%02d, Loc:%d.%02d\n", latKp / 100, latKp % 100,
                latKd / 1000, latKd % 1000 / 10);
    DebugPrintf("INFO: AP Settings VERTICAL: Alt:%d.%02d, Rate:%d\n", vertKp / 1000, vertKp % 1000 / 10, rate);

    const uint32_t now = Now();
    l.nStartStamp = now;
    v.nStartStamp = now;
    G_Autopilot.bStarted = 0;
    G_Autopilot.bVertStarted = 0;
    l.bCaptureHold = 0;
    l.nCaptureStamp = 0;
    v.bHold = 0;
    v.nHoldStamp = 0;
    v.bMinimums = 0;
}

// ---- inputs -----------------------------------------------------------------------------------

void ApUpdateNav() {
    ApLateral& l = G_ApLateral;
    ApVertical& v = G_ApVertical;
    const uint8_t hdr = G_NavSrc.hdr.nCrsSlot;
    l.nSlot = hdr <= kNavMapSlot ? hdr : static_cast<uint8_t>(kNavNoneSlot);
    l.bBusy = v.bBusy = 1;

    l.bRollSteerAvail = 0;
    const int32_t first = SelectGpsSlot(l.nSlot);
    for (int32_t i = 0; i < 3; ++i) {
        const NavSrcRec& g = G_NavSrc.rec[(first + i) % 3];
        if (!NavRollSteerFlag(g)) continue;
        l.nRollSteer = NavRollSteerValue(g);
        l.nRollSteerWord = NavRollSteerWord(g);
        l.bRollSteerAvail = 1;
        break;
    }

    const NavSrcRec& r = Slot();
    l.nHdgBug = G_NavSrc.hdr.nHdgBug * 10;
    if (GpsFix(r)) {
        l.nCurTrack = r.nTrackMag;
        l.nLat = SaturateI32(static_cast<double>(r.fLat) * 262144.0);
        l.nLon = SaturateI32(static_cast<double>(r.fLon) * 262144.0);
    } else {
        l.nCurTrack = l.nCurHeading;
    }
    l.nDesiredCrs = l.nHdgBug;
    l.nXtkDev = 0;
    v.nVertDev = 0;
    l.nGroundSpeed = r.nGroundSpeed;
    AvgAdd(l.gsAvg, l.nGroundSpeed);

    if (HaveSlot() && r.nType == 2) {
        l.nDesiredCrs = r.nObs * 10;
        if (NavValid(r)) {
            l.nXtkDev = Clamp(r.nCdi, -100, 100);
            v.nVertDev = -Clamp(r.nVertDev, -100, 100);
        }
    } else if (HaveSlot() && r.nType == 1 && GpsFix(r)) {
        l.nDesiredCrs = r.nDesiredTrack;
        const uint8_t phase = static_cast<uint8_t>((G_NavSrc.hdr.nFlags0 >> kNavHdrPhaseShift) & 3u);
        const int32_t fullScale = r.nCdiFullScale != 0 ? r.nCdiFullScale : GetCdiScale(phase);
        l.nXtkDev = Clamp(r.nCrossTrack * 100 / fullScale, -100, 100);
        int32_t scale = 100;
        const int32_t dev = GpsVertDev(r, &scale);
        v.nVertDev = Clamp(dev * -100 / scale, -100, 100);
    }
    ApLateralModeUpdate();
    ApVerticalModeUpdate();
    l.bBusy = v.bBusy = 0;
}

void ApUpdateAhrs() {
    ApLateral& l = G_ApLateral;
    ApVertical& v = G_ApVertical;
    l.bBusy = 1;
    l.nCurRoll = G_Ahrs.nRoll * 10;
    l.nHdgBug = G_NavSrc.hdr.nHdgBug * 10;
    l.nCurHeading = ((G_Ahrs.nHeading % 3600) + 3600) % 3600;
    AvgAdd(l.bugErr, HeadingDiff(l.nHdgBug, l.nCurHeading));
    l.nBugErrAvg = Clamp(l.bugErr.nValue, -300, 300);
    l.nYawRate = G_Ahrs.nYawRate;
    ApLateralModeUpdate();
    l.bBusy = 0;

    v.bBusy = 1;
    v.nTas = static_cast<int32_t>(G_AirData.nTas * 0.1);
    v.nVsi = G_AirData.nVs;
    AvgAdd(v.vsiAvg, v.nVsi);
    v.nPitch = G_Ahrs.nPitch;
    v.nPitchRate = G_Ahrs.nPitchRate;
    v.nGlideRate = GlideRate();
    v.nAltitude = G_AirData.nBaroAlt;
    ApTakeAltBug();
    v.nMinimums = G_NavSrc.hdr.nMinAltBug;
    v.nMinError = v.nMinimums - v.nAltitude;
    const uint32_t now = Now();
    if (TicksElapsed(now, v.nRateStepStamp, kTicksPerSecond)) {
        v.nRateStepStamp = now;
        RateStep();
    }
    ApVerticalModeUpdate();
    v.bBusy = 0;
}

void ApTakeAltBug() {
    ApVertical& v = G_ApVertical;
    const int32_t bug = G_NavSrc.hdr.nAltBug;
    if (bug != v.nAltBug) v.nPitchRef = v.nPitch;
    v.nAltBug = bug;
    v.nAltError = bug - v.nAltitude;
}

// ---- lateral ----------------------------------------------------------------------------------

void ApLateralModeUpdate() {
    ApLateral& l = G_ApLateral;
    if (LatStarted()) l.nReqMode = StoredLat();
    switch (l.nReqMode) {
    case kApOffline:
        LatOff();
        l.nMode = kApOffline;
        break;
    case kApHdgBug: ApSetLateralMode(kApHdgBug); break;
    case kApHnav: LatHnav(); break;
    case kApHarm: LatHarm(); break;
    default: ApSetLateralMode(kApOffline); break;
    }
    if (l.nMode == kApHdgBug) {
        if (l.bEngaged) {
            l.nTrackUsed = l.nTargetCrs = l.nCurTrack;
            l.nIntercept = l.nBugErrAvg;
        } else {
            l.nTrackUsed = l.nTargetCrs = l.nCurHeading;
            l.nIntercept = 0;
        }
    }
    l.nIntercept = Clamp(l.nIntercept, -300, 300);
    l.nHdgError = l.bEngaged
                      ? Clamp(HeadingDiff((l.nTargetCrs + l.nIntercept + 3600 * 2) % 3600, l.nTrackUsed), -450, 450)
                      : 0;
    BankLimits();
}

void ApSetLateralMode(uint8_t mode) {
    ApLateral& l = G_ApLateral;
    const uint8_t old = l.nMode;
    switch (mode) {
    case kApOffline:
        l.bRollSteer = 0;
        l.bCaptureHold = 0;
        l.nTrackUsed = l.nTargetCrs = l.nCurHeading;
        l.bEngaged = 0;
        l.nMode = kApOffline;
        if (StoredLat() != kApOffline && LatStarted()) StoreLat(kApOffline);
        break;
    case kApHdgBug:
    case kApHarm:
        l.bRollSteer = 0;
        l.bCaptureHold = 0;
        if (G_NavSrc.hdr.nFlags0 & kNavHdrHdgSteer) {
            l.nMode = kApHdgBug;
            l.bEngaged = 1;
        } else {
            l.nTrackUsed = l.nTargetCrs = l.nCurHeading;
            l.bEngaged = 0;
            l.nMode = kApOffline;
        }
        break;
    case kApHnav:
        l.nMode = kApHnav;
        l.bEngaged = 1;
        l.bCaptureHold = 1;
        l.nCaptureStamp = Now();
        if (StoredLat() != kApHnav && LatStarted()) StoreLat(kApHnav);
        break;
    default: break;
    }
    if (l.nMode != old)
        DebugPrintf("INFO: AP Lateral Mode switch from %s to %s @%s\n", ModeName(old), ModeName(mode), FormatTime(4));
}

void ApLateralTick() {
    ApLateral& l = G_ApLateral;
    const uint32_t now = Now();
    if (!TicksElapsed(now, l.nTickStamp, kApTickTicks)) return;
    l.nTickStamp = now;
    if (!l.bEngaged) {
        l.nRollCmd = 0;
        return;
    }
    if (l.bRollSteer) {
        l.nRollCmd = l.nRollSteer;
        return;
    }
    const float e = static_cast<float>(l.nHdgError);
    l.nRollCmd = Clamp(ApRound(PidStep(l.pid, e, e, 0.0f) / 100.0), l.nMinBank, l.nMaxBank);
}

// ---- vertical ---------------------------------------------------------------------------------

void ApVerticalModeUpdate() {
    ApVertical& v = G_ApVertical;
    if (VertStarted()) {
        if (StoredLat() == kApOffline && StoredVert() != kApOffline) StoreVert(kApOffline);
        v.nReqMode = StoredVert();
    }
    switch (v.nReqMode) {
    case kApAltBug:
        ApSetVerticalMode(kApAltBug);
        v.nLostCount = 0;
        break;
    case kApVnav: VertVnav(); break;
    case kApVarm: VertVarm(); break;
    default:
        ApSetVerticalMode(kApOffline);
        v.nLostCount = 0;
        break;
    }
}

void ApSetVerticalMode(uint8_t mode) {
    ApVertical& v = G_ApVertical;
    const uint8_t old = v.nMode;
    const bool altSteer = (G_NavSrc.hdr.nFlags0 & kNavHdrAltSteer) != 0;
    bool engaged = false;
    const auto clearFlags = [&v] { v.bMinimums = v.bHold = v.bGpsGlide = v.bNavGlide = 0; };
    switch (mode) {
    case kApAltBug:
        clearFlags();
        if (altSteer) {
            v.nMode = kApAltBug;
            v.bEngaged = 1;
            engaged = true;
        }
        break;
    case kApVnav:
        v.nMode = kApVnav;
        if (StoredVert() != kApVnav && VertStarted()) StoreVert(kApVnav);
        v.bEngaged = 1;
        v.bHold = 1;
        v.nHoldStamp = Now();
        engaged = true;
        break;
    case kApVarm:
        clearFlags();
        if (altSteer) {
            if (StoredVert() != kApVarm && VertStarted()) StoreVert(kApVarm);
            v.nMode = kApAltBug;   // the altitude bug is flown until capture
            v.bEngaged = 1;
            engaged = true;
        } else if (StoredVert() != kApOffline && VertStarted()) {
            StoreVert(kApOffline);
        }
        break;
    default:
        v.nMode = 0;
        v.bEngaged = 0;
        clearFlags();
        break;
    }
    if (!engaged) {
        v.nMode = kApOffline;
        v.bEngaged = 0;
    }
    if (v.nMode != old) {
        v.fPitchCmd = static_cast<float>(G_Ahrs.nPitch);
        DebugPrintf("INFO: AP Vertical Mode switch from %s to %s @%s\n", ModeName(old), ModeName(mode),
                    FormatTime(4));
    }
}

void ApVerticalTick() {
    ApVertical& v = G_ApVertical;
    const uint32_t now = Now();
    if (!TicksElapsed(now, v.nTickStamp, kApTickTicks)) return;
    v.nTickStamp = now;
    if (!v.bEngaged) {
        v.fPitchCmd = 0.0f;
        v.nVertCmd = 0;
        v.nPitchRef = 0;
        return;
    }
    float cmd = 0.0f;
    if (v.nMode == kApAltBug) {
        v.nRate = v.nAltError < 1 ? -v.nRateInUse : v.nRateInUse;
        cmd = AltitudeCommand(v.nAltError);
    } else if (v.nMode == kApVnav) {
        VnavCommand(cmd);
    } else {
        v.nRate = 0;
    }
    v.fCmdUnlimited = cmd;
    if (v.nRate < 0) v.fCmdLimited = cmd > static_cast<float>(v.nRate) ? cmd : static_cast<float>(v.nRate);
    else if (v.nRate > 0) v.fCmdLimited = cmd < static_cast<float>(v.nRate) ? cmd : static_cast<float>(v.nRate);
    else v.fCmdUnlimited = v.fCmdLimited = 0.0f;
    Slew();
    // The vertical-speed command is what the autopilot is sent (label 104, ft/min);
    // the slewed pitch command stays internal.
    v.nVertCmd = Clamp(static_cast<int32_t>(v.fCmdLimited), kApVertCmdMin, kApVertCmdMax);
}

// ---- annunciator --------------------------------------------------------------------------------

uint32_t ApLatAnnunColor() {
    const ApLateral& l = G_ApLateral;
    if (!l.bEngaged) return kApColourOff;
    if (l.nMode == kApHnav && !GpsFix(Slot()) && Slot().nType == 1) return kApColourHolding;
    if (l.nMode == kApHdgBug && StoredLat() == kApHarm) return kApColourArmed;
    return kApColourEngaged;
}

uint32_t ApVertAnnunColor() {
    const ApVertical& v = G_ApVertical;
    if (!v.bEngaged) return kApColourOff;
    if (v.nMode == kApVnav && !(v.bGpsGlide || v.bNavGlide)) return kApColourHolding;
    if (v.nMode == kApVnav && v.bHold && v.nLostCount > 0) return kApColourHolding;
    if (v.nMode == kApAltBug && StoredVert() == kApVarm) return kApColourArmed;
    return kApColourEngaged;
}
