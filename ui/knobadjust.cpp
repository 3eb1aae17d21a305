#include "ui/knobadjust.h"

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/airdata.h"
#include "engine/instrument.h"
#include "map/charts.h"
#include "map/map.h"
#include "map/waypoints.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "setup/setup.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "net/net.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

constexpr int32_t kBaroMin = 27500, kBaroMax = 31500;
constexpr int32_t kAltMin = -1000, kAltMax = 25000;

static int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : v > hi ? hi : v; }

int32_t SpeedStep(int32_t delta, int32_t fast, int32_t medium, int32_t slow) {
    const int32_t r = delta % 2;
    if (delta % 19 == 0) return r * fast;
    if (delta % 9 == 0) return r * medium;
    return r * slow;
}

static void AdjustDim(int32_t delta) {
    int32_t level = static_cast<int32_t>(NvGetU32(kNvDimPercent));
    if (delta <= 0) level -= level <= 19 ? 5 : 10;
    else level += level <= 9 ? 5 : 10;
    level = Clamp(level, 0, 100);
    NvSetU32(kNvDimPercent, static_cast<uint32_t>(level));
    StoreClockReg(28, static_cast<uint8_t>(level));
    SendRemoteUserEvent(21, static_cast<uint32_t>(level), 0);
    G_RedrawReq = 1;
}

// The UNITS setting of an instrument (0 for numbers outside the table).
int32_t InstDisplayUnits(int32_t inst) {
    return (inst >= 0 && inst < kInstruments) ? G_InstCfg[inst].nUnits : 0;
}

// A step given in the instrument's display unit, in its internal unit.
static int32_t InternalStep(int32_t inst, int32_t step) {
    return RoundHalfAway(FromDisplayUnits(inst, static_cast<float>(step)));
}

static void AdjustBaro(int32_t delta) {
    const int32_t units = InstDisplayUnits(kInstAltitude);
    const int32_t step = (delta % 2) * ((units == 2 || units == 3) ? 30 : 10);
    const int32_t baro = Clamp(G_AirData.nBaroSetting + step, kBaroMin, kBaroMax);
    G_AirData.nBaroSetting = baro;
    StoreClockRegI16(23, baro);
    SendRemoteUserEvent(2, static_cast<uint32_t>(baro), 0);
    G_AirData.nBaroAltOffset = BaroAltOffset(baro);
}

static void AdjustHdg(int32_t delta) {
    NavSrcHeader& h = G_NavSrc.hdr;
    h.nHdgBug = static_cast<int16_t>(((h.nHdgBug + SpeedStep(delta, 15, 5, 1)) % 360 + 360) % 360);
    StoreClockRegI16(31, h.nHdgBug);
    SendRemoteUserEvent(9, static_cast<uint32_t>(h.nHdgBug), 0);
    ApUpdateNav();
}

static void AdjustAlt(int32_t delta) {
    NavSrcHeader& h = G_NavSrc.hdr;
    int32_t bug = h.nAltBug + InternalStep(kInstAltitude, SpeedStep(delta, 500, 200, 100));
    bug = RoundHalfAway(static_cast<float>(bug) * 0.01f) * 100;
    bug = Clamp(bug, kAltMin, kAltMax);
    h.nAltBug = static_cast<int16_t>(bug);
    StoreClockRegI16(33, bug);
    h.nBugChangeTime = ReadOsTimer();
    SendRemoteUserEvent(10, static_cast<uint32_t>(bug), 0);
    ApUpdateNav();
}

static void AdjustMinAlt(int32_t delta) {
    NavSrcHeader& h = G_NavSrc.hdr;
    const int32_t grid = delta % 19 == 0 ? 200 : delta % 9 == 0 ? 50 : 10;
    int32_t bug = h.nMinAltBug;
    if (bug % grid != 0) bug = bug / grid * grid;   // toward zero onto the grid
    bug = Clamp(bug + InternalStep(kInstAltitude, SpeedStep(delta, 200, 50, 10)), kAltMin, kAltMax);
    h.nMinAltBug = static_cast<int16_t>(bug);
    StoreClockRegI16(49, bug);
    h.nBugChangeTime = ReadOsTimer();
    SendRemoteUserEvent(23, static_cast<uint32_t>(bug), 0);
    ApUpdateNav();
}

static void AdjustSpd(int32_t delta) {
    NavSrcHeader& h = G_NavSrc.hdr;
    const int32_t bug = Clamp(h.nSpeedBug + InternalStep(kInstAirspeed, SpeedStep(delta, 10, 5, 1)), 0, 500);
    h.nSpeedBug = static_cast<int16_t>(bug);
    StoreClockRegI16(38, bug);
    SendRemoteUserEvent(12, static_cast<uint32_t>(bug), 0);
}

static void AdjustVspd(int32_t delta) {
    const int32_t limit = Clamp(NvGetU16(kNvVspdLimit) + (delta % 2) * 100, 100, 1500);
    NvSetU16(kNvVspdLimit, static_cast<uint16_t>(limit));
    SendRemoteUserEvent(22, static_cast<uint32_t>(limit), 0);
}

static void AdjustZoom(int32_t delta) {
    if (!MapPaneShown()) return;
    G_MapZoom = static_cast<uint32_t>(Clamp(static_cast<int32_t>(G_MapZoom) + delta % 2, 0, 12));
    StoreClockReg(13, static_cast<uint8_t>((G_ClockMem[13] & 0xF0) | G_MapZoom));
    G_MapPane.nRedraw = 1;
}

static void AdjustFuel(int32_t delta) {
    int32_t pending = static_cast<int32_t>(NvGetU32(kNvFuelAdjust));
    if (InstDisplayUnits(kInstFuelFlow) == 1) {
        pending += delta * 5;
        if (pending % 5 != 0) pending = RoundTo5(static_cast<float>(pending));
    } else {
        pending += delta;
    }
    NvSetU32(kNvFuelAdjust, static_cast<uint32_t>(pending));
    G_RedrawReq = 1;
}

static void AdjustClock(int32_t delta) {
    const int32_t step = delta % 2;
    switch (G_ClockEdit) {
    case 0: G_EditHour = static_cast<uint32_t>(Clamp(static_cast<int32_t>(G_EditHour) + step, 0, 23)); break;
    case 1: G_EditMinute = static_cast<uint32_t>(Clamp(static_cast<int32_t>(G_EditMinute) + step, 0, 59)); break;
    case 2: G_DateTime.nMonth = static_cast<uint32_t>(Clamp(static_cast<int32_t>(G_DateTime.nMonth) + step, 1, 12)); break;
    case 3: G_DateTime.nDay = static_cast<uint32_t>(Clamp(static_cast<int32_t>(G_DateTime.nDay) + step, 1, 31)); break;
    case 4: G_DateTime.nYear = static_cast<uint32_t>(Clamp(static_cast<int32_t>(G_DateTime.nYear) + delta, 2000, 3000)); break;
    case 5: G_UtcOffset = static_cast<int8_t>(Clamp(G_UtcOffset + step, kUtcOffsetMin, kUtcOffsetMax)); break;
    default: break;
    }
}

// Pitch, heading and roll adjustments: the full delta, held within +-limit.
static void AdjustTrim(uint32_t offset, int32_t reg, int32_t limit, uint32_t event, int32_t delta) {
    const int32_t v = Clamp(static_cast<int32_t>(NvGetU32(offset)) + delta, -limit, limit);
    NvSetU32(offset, static_cast<uint32_t>(v));
    StoreClockRegI16(reg, v);
    SendRemoteUserEvent(event, static_cast<uint32_t>(v), 0);
    G_RedrawReq = 1;
}

// Autopilot speeds are u8 knots: computed wide and clamped, never wrapped.
static void AdjustApSpeed(uint32_t offset, int32_t delta) {
    const int32_t floor = 0;     // 1.25 x VS1 once the airspeed configuration is loaded
    const int32_t ceiling = 255; // VNO (minimum) or VNE (maximum) likewise
    G_NVRam[offset] = static_cast<uint8_t>(Clamp(G_NVRam[offset] + delta, floor, ceiling));
    G_RedrawReq = 1;
    SendRemoteUserEvent(24, G_NVRam[kNvApMinSpd], G_NVRam[kNvApMaxSpd]);
}

static void SendGainBlock(uint32_t event, uint32_t block) {
    const uint32_t at = kNvApGains + block * 8;
    G_RemoteUserDat.nCode = event;
    const uint32_t order[4] = {1, 2, 3, 0};
    for (int i = 0; i < 4; ++i) G_RemoteUserDat.nArg[i] = NvGetU16(at + order[i] * 2);
    NET_SendUdpType(9);
}

static void AdjustGain(uint32_t block, uint32_t word, uint32_t limit, const char* name, uint32_t event,
                       int32_t delta) {
    const uint32_t at = kNvApGains + block * 8 + word * 2;
    const uint32_t g = KnobStepClamp(NvGetU16(at), (delta % 2) * 10, limit, 0);
    NvSetU16(at, static_cast<uint16_t>(g));
    DebugPrintf("USER: Adjust %s: %d.%02d\n", name, static_cast<int>(static_cast<float>(g) * 0.001f),
                RoundHalfAway(static_cast<float>(g) * 0.1f) % 100);
    SendGainBlock(event, block);
}

// A tenth of the window's height a step; the chart page is loaded again with
// the offset, which its window then holds within the page.
static void PanChart(int32_t delta) {
    constexpr int32_t kPanMax = 2 * kChartWindowHeight;
    const bool shown = G_Chart.bLoaded && (G_WptDb.nPageFlags & kWptChartView);
    if (!shown) {
        G_WptDb.nPageFlags &= ~kWptChartView;
        return;
    }
    const int32_t step = (delta % 2) * RoundHalfAway(kChartWindowHeight * 0.1f);
    G_Chart.nScrollY = Clamp(G_Chart.nScrollY + step, 0, kPanMax);
    if (!ChartLoad(G_Chart.nPage)) {
        G_WptDb.nPageFlags &= ~kWptChartView;
        SetKnobFunc(&G_Knob0, kKnobNone);
    }
}

static void AdjustListBit(uint32_t offset, int32_t delta) {
    const uint32_t bit = 1u << ((G_ListCursor + 1) & 31);
    const uint32_t v = NvGetU32(offset);
    NvSetU32(offset, delta <= 0 ? (v & ~bit) : (v | bit));
}

static void AdjustFunction(KnobRecord& k, int32_t delta) {
    switch (k.nFunction) {
    case kKnobDim: AdjustDim(delta); break;
    case kKnobBaro: AdjustBaro(delta); break;
    case kKnobCrs:
        AdjustNavCourse(SpeedStep(delta, 15, 5, 1), 0);
        FollowCourse();
        break;
    case kKnobHdg: AdjustHdg(delta); break;
    case kKnobAlt: AdjustAlt(delta); break;
    case kKnobMinAlt: AdjustMinAlt(delta); break;
    case kKnobSpd: AdjustSpd(delta); break;
    case kKnobVspd: AdjustVspd(delta); break;
    case kKnobZoom: AdjustZoom(delta); break;
    case kKnobFuel: AdjustFuel(delta); break;
    case kKnobTimer: TimerAdjust(delta == 19 ? 9 : delta == -19 ? -9 : delta); break;
    case kKnobClock: AdjustClock(delta); break;
    case kKnobPadj: AdjustTrim(kNvPitchAdj, 19, 300, 5, delta); break;
    case kKnobHadj: AdjustTrim(kNvHeadingAdj, 21, 300, 6, delta); break;
    case kKnobRadj: AdjustTrim(kNvRollAdj, 29, 50, 8, delta); break;
    case kKnobMin: AdjustApSpeed(kNvApMinSpd, delta); break;
    case kKnobMax: AdjustApSpeed(kNvApMaxSpd, delta); break;
    case kKnobRollAlt:
        if (G_MenuState == 4522) AdjustGain(0, 1, 2000, "ROLLGAIN", 26, delta);
        else if (G_MenuState == 4523) AdjustGain(1, 1, 12000, "ALTGAIN", 27, delta);
        break;
    case kKnobLocGs:
        if (G_MenuState == 4522) AdjustGain(0, 3, 1000, "LOCGAIN", 26, delta);
        else if (G_MenuState == 4523) AdjustGain(3, 3, 10000, "GSGAIN", 29, delta);
        break;
    case kKnobFdGain:
        if (G_MenuState == 4523) AdjustGain(4, 3, 5000, "FDGAIN", 30, delta);
        break;
    case kKnobNrst: NearestSelectStep(delta); break;
    case kKnobDirect: WptFindKnob(delta); break;
    case kKnobInfo: WptInfoKnob(delta); break;
    case kKnobPageLst: AdjustListBit(kNvScreenEnable, delta); break;
    case kKnobKnobLst: AdjustListBit(G_KnobListSide == 1 ? kNvKnobListRight : kNvKnobListLeft, delta); break;
    case kKnobPanVer: PanChart(delta); break;
    default: break;   // DATE, IMAX and PAN LAT do nothing here
    }
}

void KnobAdjust(int32_t knob) {
    KnobRecord& k = KnobOf(knob);
    if (k.bSelecting && G_KnobPushSel == 1) {
        const uint32_t now = ReadOsTimer();
        if (TicksElapsed(now, k.nSelectTime, kKnobSelectGuard)) {
            k.nSelectTime = now;
            NextKnobFunc(knob);
        }
    } else {
        AdjustFunction(k, k.nDelta);
    }
    k.nDelta = 0;
}
