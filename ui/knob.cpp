#include "ui/knob.h"

#include <cmath>

#include "core/boot.h"
#include "ui/buttons.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "map/map.h"
#include "map/waypoints.h"
#include "nav/navsrc.h"
#include "nav/vorradio.h"
#include "net/net.h"
#include "platform/hw.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

KnobRecord G_Knob0 = {};
KnobRecord G_Knob1 = {};
uint32_t   G_KnobPushSel = 0;

constexpr uint32_t GPLR2 = 0x40E00008;
constexpr uint32_t GRER2 = 0x40E00038;
constexpr uint32_t GEDR2 = 0x40E00050;
constexpr uint32_t kPinPhaseB = 64, kPinPhaseA = 65;
constexpr uint32_t kGpio65 = 1u << 1;
constexpr int32_t kBaroStandard = 29921;
constexpr int32_t kAltMin = -1000, kAltMax = 25000;

KnobRecord& KnobOf(int32_t knob) { return knob == 0 ? G_Knob0 : G_Knob1; }

static bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }

// ---- settings helpers ------------------------------------------------------------

int32_t RoundHalfAway(float value) { return static_cast<int32_t>(value < 0 ? value - 0.5f : value + 0.5f); }

uint32_t Toggle01(uint32_t value) { return value <= 1 ? 1 - value : 0; }

void StoreClockReg(int32_t reg, uint8_t value) {
    if (reg < kClockMemFirst || reg >= kClockMemRegs) return;
    G_ClockMem[reg] = value;
    WriteClockMem(&G_ClockMem[reg], reg, 1);
}

void StoreClockRegI16(int32_t reg, int32_t value) {
    if (reg < kClockMemFirst || reg + 1 >= kClockMemRegs) return;
    G_ClockMem[reg] = static_cast<uint8_t>(value);
    G_ClockMem[reg + 1] = static_cast<uint8_t>(value >> 8);
    WriteClockMem(&G_ClockMem[reg], reg, 2);
}

void StoreClockBit(int32_t reg, int32_t bit, uint32_t on) {
    if (reg < kClockMemFirst || reg >= kClockMemRegs) return;
    const uint8_t m = static_cast<uint8_t>(1u << bit);
    StoreClockReg(reg, static_cast<uint8_t>(on ? (G_ClockMem[reg] | m) : (G_ClockMem[reg] & ~m)));
}

void SendRemoteUserEvent(uint32_t code, uint32_t arg0, uint32_t arg1) {
    G_RemoteUserDat.nCode = code;
    G_RemoteUserDat.nArg[0] = arg0;
    G_RemoteUserDat.nArg[1] = arg1;
    NET_SendUdpType(9);
}

// ---- course ----------------------------------------------------------------------

void AdjustNavCourse(int32_t value, int32_t absolute) {
    const uint32_t slot = G_NavSrc.hdr.nCrsSlot;
    if (slot > static_cast<uint32_t>(kNavMapSlot)) return;
    NavSrcRec& r = G_NavSrc.rec[slot];
    if (r.nType != 1 && r.nType != 2) return;
    // Packed fields: read and write by value, never through a reference.
    const int32_t now = r.nType == 1 ? r.nCourse : r.nObs;
    const int32_t c = absolute != 0 ? value : now + value;
    const auto course = static_cast<int16_t>(((c % 360) + 360) % 360);
    if (r.nType == 1) r.nCourse = course;
    else r.nObs = course;
    r.nCrsOverride = r.nType;
    r.nCrsStamp = ReadOsTimer();
    if (r.nType == 2) SendNavObs(static_cast<int32_t>(slot), course);
    G_RemoteUserDat.nCode = 7;
    G_RemoteUserDat.nArg[0] = static_cast<uint32_t>(course);
    G_RemoteUserDat.nArg[1] = slot;
    G_RemoteUserDat.nArg[2] = r.nType;
    NET_SendUdpType(9);
}

// After a course change: the demonstration source takes the course at once;
// a real source merges again (the map slot and "none" have no port to merge).
void FollowCourse() {
    const uint32_t slot = G_NavSrc.hdr.nCrsSlot;
    if (slot > static_cast<uint32_t>(kNavMapSlot)) return;
    NavSrcRec& r = G_NavSrc.rec[slot];
    if (G_DemoFlags & kDemoNav) {
        r.nObs = r.nCourse;
        r.nDesiredTrack = static_cast<int16_t>(r.nCourse * 10);
        return;
    }
    if (slot < static_cast<uint32_t>(kNavMapSlot)) UpdateNavSrc(G_NavSrc.hdr.nPort[slot]);
}

// ---- encoder and acceleration -------------------------------------------------------

void InitKnobs() {
    G_Knob0 = {};
    G_Knob0.nKnob = 0;
    G_Knob0.bPresent = 1;
    G_Knob0.nFunction = kKnobDim;
    G_Knob0.nMainFunction = kKnobDim;
    G_Knob0.nPhaseBReg = GPLR2;
    G_Knob0.nPhaseBMask = 1u << (kPinPhaseB - 64);
    G_Knob1 = {};
    G_Knob1.nKnob = 1;
    SetPinMode(kPinPhaseB, false, 0);
    SetPinMode(kPinPhaseA, false, 0);
    HwWrite32(GRER2, HwRead32(GRER2) | kGpio65);
    HwWrite32(GEDR2, kGpio65);
    IntEnable(kIntGpio);
}

int32_t ReadKnobDelta(int32_t knob) {
    KnobRecord& k = KnobOf(knob);
    const int32_t count = k.nSteps;
    k.nSteps = 0;
    if (count == 0 || k.nStepInterval >= kKnobRestTicks) return 0;
    const int32_t sign = count > 0 ? 1 : -1;
    if (k.nStepInterval < kKnobFastTicks) return 19 * sign;
    if (k.nStepInterval < kKnobMediumTicks) return 9 * sign;
    return count;
}

// ---- function choice --------------------------------------------------------------------

void ShowKnobMenu(KnobRecord* knob) {
    knob->bMenuVisible = 1;
    knob->nMenuShown = ReadOsTimer();
}

void SetKnobFunc(KnobRecord* knob, int32_t f) {
    if (f > 9) {
        if (f < 32) knob->nAllowMask |= 1u << f;
        if (knob->nFunction >= 2 && knob->nFunction <= 9) knob->nMainFunction = knob->nFunction;
    } else if (f >= 2) {
        knob->nMainFunction = f;
    }
    knob->nFunction = f;
    if (f < 2 || f > 9 || (G_MenuState != 0 && G_MenuState != 6)) return;
    uint8_t r51 = G_ClockMem[51];
    if (knob->nKnob == 0) {
        r51 = static_cast<uint8_t>((r51 & 0xF0) | f);
        DebugPrintf("LFT KNOB FUNC:%d\n", static_cast<int>(f));
    } else {
        r51 = static_cast<uint8_t>((r51 & 0x0F) | f << 4);
        DebugPrintf("RHT KNOB FUNC:%d\n", static_cast<int>(f));
    }
    StoreClockReg(51, r51);
}

static bool AuxPage(int32_t page) { return page >= 10 && page <= 16; }

// Functions a knob may be given now: its allowed mask with ZOOM where a map
// pane is shown and DIM on the auxiliary pages.
static uint32_t OfferedMask(const KnobRecord& k) {
    uint32_t allow = k.nAllowMask;
    if (MapPaneShown()) allow |= 1u << kKnobZoom;
    if (AuxPage(G_CurPage)) allow |= 1u << kKnobDim;
    return allow;
}

uint32_t KnobListWord(int32_t knob) {
    return NvGetU32(knob == 0 ? kNvKnobListLeft : kNvKnobListRight) | 0xFFFFFC00u;
}

int32_t NextKnobFunc(int32_t knob) {
    KnobRecord& k = KnobOf(knob);
    const int32_t dir = k.nDelta < 0 ? -1 : 1;
    const uint32_t accept = KnobListWord(knob) & OfferedMask(k);
    int32_t f = k.nFunction;
    for (int tries = 0; tries < 30; ++tries) {
        f += dir;
        if (G_KnobPushSel == 0) {
            if (f > kKnobFunctions) f = 1;
            if (f < 1) f = kKnobFunctions;
        } else if (f > kKnobFunctions || f < 1) {
            break;
        }
        if (accept & (1u << f)) {
            SetKnobFunc(&k, f);
            ShowKnobMenu(&k);
            if (f == kKnobZoom) G_MapPane.nRedraw = 1;
            break;
        }
    }
    return k.nFunction;
}

static uint32_t AllowedFunctions() {
    uint32_t mask = 1u << kKnobDim | 1u << kKnobCrs;
    const uint8_t shown = G_NavSrc.hdr.nFlags0;
    if (Installed(kStreamAir)) {
        mask |= 1u << kKnobBaro | 1u << kKnobVspd;
        if (shown & 0x20) mask |= 1u << kKnobAlt;
        if (G_NavSrc.hdr.nFlags1 & 0x10) mask |= 1u << kKnobMinAlt;
        if (shown & 0x40) mask |= 1u << kKnobSpd;
    }
    if (Installed(kStreamAhrs) && (shown & 0x10)) mask |= 1u << kKnobHdg;
    if (Installed(kStreamMap)) mask |= 1u << kKnobZoom;
    return mask;
}

void ResetKnobAllow() {
    for (KnobRecord* k : {&G_Knob0, &G_Knob1}) {
        k->nFunction = k->nMainFunction;
        k->bSelecting = 0;
        k->nAllowMask = AllowedFunctions();
    }
    DebugPrintf("ResetKnobAllow: %04X\n", static_cast<unsigned>(G_Knob0.nAllowMask));
    G_Knob1.nAllowMask = 0;
    G_Knob1.nFunction = 0;
}

// ---- push ----------------------------------------------------------------------------

static void SelectionPush(KnobRecord& k) {
    const uint32_t now = ReadOsTimer();
    if (!k.bSelecting) {
        k.bSelecting = 1;
        k.nSelectTime = now;
        ShowKnobMenu(&k);
    } else if (G_KnobPushSel == 1) {
        k.bSelecting = 0;
    } else if (TicksElapsed(now, k.nSelectTime, kKnobSelectGuard)) {
        k.nSelectTime = now;
        NextKnobFunc(static_cast<int32_t>(k.nKnob));
    }
}

void KnobPress(int32_t knob) {
    G_KeyEvent = 0;
    KnobRecord& k = KnobOf(knob);
    if (knob == 0) {
        switch (G_MenuState) {
        case 64:
            G_MapViewMode ^= 2u;
            StoreClockReg(13, static_cast<uint8_t>((G_ClockMem[13] & 0xCF) | (G_MapViewMode & 3u) << 4));
            G_MapPane.nRedraw = 1;
            return;
        case 642:
            G_DistUnits = (G_DistUnits + 1) % 3;
            StoreClockReg(11, static_cast<uint8_t>((G_ClockMem[11] & 0x3F) | G_DistUnits << 6));
            G_MapPane.nRedraw = 1;
            return;
        case 24:
            G_ClockEdit = (G_ClockEdit + 1) % 6;
            return;
        case 42:
            if (Installed(kStreamAhrs) && G_CurPage != 4) SetKnobFunc(&k, k.nFunction == kKnobPadj ? 0 : kKnobPadj);
            return;
        case 63:
            WptIdCursorMove(1);
            return;
        case 3:
            if (G_CurPage >= 1 && G_CurPage <= 9) {
                OpenPageList();
            } else if (k.bSelecting) {
                k.bSelecting = 0;
            } else {
                k.bSelecting = 1;
                k.nSelectTime = ReadOsTimer();
                ShowKnobMenu(&k);
            }
            return;
        case 422: case 622: case 632:
            return;
        default:
            break;
        }
    }
    SelectionPush(k);
}

// ---- long push ---------------------------------------------------------------------------

int32_t SyncHeadingBug() {
    const int32_t adj = static_cast<int32_t>(NvGetU32(kNvHeadingAdj));
    int32_t bug = RoundHalfAway(static_cast<float>((G_Ahrs.nHeading + adj) % 3600) / 10.0f);
    if (bug < 0) bug += 360;
    if (bug > 359) bug -= 360;
    return bug;
}

int32_t SyncAltitude50(int32_t altitude) {
    int32_t bug = altitude;
    if (altitude % 50 != 0) {
        bug = altitude / 50 * 50;   // truncated toward zero
        if (std::abs(altitude - bug) > 25) bug += altitude > bug ? 50 : -50;
    }
    if (bug < kAltMin) bug = kAltMin;
    if (bug > kAltMax) bug = kAltMax;
    return bug;
}



int32_t SyncSpeedBug() {
    int32_t bug = RoundHalfAway(static_cast<float>(G_AirData.nIas) / 10.0f);
    if (bug % 5 != 0) bug = RoundTo5(static_cast<float>(bug));
    if (bug < 0) bug = 0;
    if (bug > 500) bug = 500;
    return bug;
}

static void SyncDim() {
    const int32_t dim = static_cast<int32_t>(NvGetU32(kNvDimPercent));
    const int32_t level = (dim == 100 || (dim >= 1 && dim <= 49)) ? 0 : 100;
    NvSetU32(kNvDimPercent, static_cast<uint32_t>(level));
    StoreClockReg(28, static_cast<uint8_t>(level));
}

void KnobPushSync(int32_t knob) {
    KnobRecord& k = KnobOf(knob);
    if (k.bSelecting) {
        k.bSelecting = 0;
        return;
    }
    NavSrcHeader& h = G_NavSrc.hdr;
    switch (k.nFunction) {
    case kKnobDim:
        SyncDim();
        break;
    case kKnobBaro:
        G_AirData.nBaroSetting = kBaroStandard;
        StoreClockRegI16(23, kBaroStandard);
        SendRemoteUserEvent(2, kBaroStandard, 0);
        G_AirData.nBaroAltOffset = BaroAltOffset(kBaroStandard);
        break;
    case kKnobCrs:
        AdjustNavCourse(RoundHalfAway(static_cast<float>(G_Ahrs.nHeading) / 10.0f), 1);
        FollowCourse();
        break;
    case kKnobHdg:
        h.nHdgBug = static_cast<int16_t>(SyncHeadingBug());
        StoreClockRegI16(31, h.nHdgBug);
        SendRemoteUserEvent(9, static_cast<uint32_t>(h.nHdgBug), 0);
        break;
    case kKnobAlt: {
        int32_t bug = RoundHalfAway(static_cast<float>(G_AirData.nBaroAlt) * 0.01f) * 100;
        bug = bug < kAltMin ? kAltMin : bug > kAltMax ? kAltMax : bug;
        h.nAltBug = static_cast<int16_t>(bug);
        StoreClockRegI16(33, bug);
        SendRemoteUserEvent(10, static_cast<uint32_t>(bug), 0);
        break;
    }
    case kKnobMinAlt:
        h.nMinAltBug = static_cast<int16_t>(SyncAltitude50(G_AirData.nBaroAlt));
        StoreClockRegI16(49, h.nMinAltBug);
        SendRemoteUserEvent(23, static_cast<uint32_t>(h.nMinAltBug), 0);
        break;
    case kKnobSpd:
        h.nSpeedBug = static_cast<int16_t>(SyncSpeedBug());
        StoreClockRegI16(38, h.nSpeedBug);
        SendRemoteUserEvent(12, static_cast<uint32_t>(h.nSpeedBug), 0);
        break;
    case kKnobVspd: {
        int32_t vs = std::abs(G_AirData.nVs) / 100 * 100;
        NvSetU16(kNvVspdLimit, static_cast<uint16_t>(vs > 1500 ? 1500 : vs));
        break;
    }
    default:
        break;
    }
    G_RedrawReq = 1;
}

uint32_t KnobStepClamp(uint32_t value, int32_t delta, uint32_t max, uint32_t min) {
    uint32_t v;
    if (delta < 0 && static_cast<uint32_t>(-static_cast<int64_t>(delta)) >= value) v = 0;
    else v = value + static_cast<uint32_t>(delta);
    if (v > max) v = max;
    if (v < min) v = min;
    return v;
}
