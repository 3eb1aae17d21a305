// The main key handler: key codes and knob deltas become page, menu, bug
// and setting changes on the normal pages.
#include <cstring>

#include "core/alarm.h"
#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "efis/efis.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/engine.h"
#include "engine/lean.h"
#include "gui/gui.h"
#include "core/irq.h"
#include "map/charts.h"
#include "map/goto.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapfile.h"
#include "map/waypoints.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "platform/hw.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/knobadjust.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "setup/setup.h"
#include "ui/statusbar.h"

constexpr uint32_t GPSR2 = 0x40E00020;
constexpr uint32_t GPCR2 = 0x40E0002C;
constexpr uint32_t kGpio66 = 1u << 2;
constexpr uint32_t kSaveTicks = 3686400;

static bool Installed(int stream) { return G_NetStreamCfg[stream].INST != 0; }
static KnobRecord* Left() { return &G_Knob0; }

static void ToMenu(uint32_t state) { G_MenuState = state; }

static void ReturnToLastPage() {
    G_CurPage = G_LastPage;
    G_MenuState = 0;
    ResetKnobAllow();
    InitScreenConfig();
}

static void ToggleNv(uint32_t offset, int32_t reg, int32_t bit) {
    const uint32_t v = Toggle01(NvGetU32(offset));
    NvSetU32(offset, v);
    if (bit < 0) StoreClockReg(reg, static_cast<uint8_t>(v));
    else StoreClockBit(reg, bit, v);
}

static uint32_t ToggleWord(uint32_t& word, int32_t reg, int32_t bit) {
    word = Toggle01(word);
    StoreClockBit(reg, bit, word);
    return word;
}

static void SavingPause() {
    ShowPopupMsg(0xFFFFFF, 320, 240, kSaveTicks, "Saving...");
    DelayTicks(kSaveTicks);
}

static void SaveScreenList() {
    WriteNVRam(1);
    WriteNVRam(1);
    StoreClockReg(37, static_cast<uint8_t>(NvGetU32(kNvScreenEnable)));
}

// ---- soft key 1 ---------------------------------------------------------------------------

static void KeyOneBackStep() {
    switch (G_MenuState) {
    case 0:
        ResetKnobAllow();
        GetNextScreen();
        InitScreenConfig();
        break;
    case 2: case 3: case 4: case 6: case 24: ToMenu(0); ResetKnobAllow(); break;
    case 32: case 33: ToMenu(3); SetKnobFunc(Left(), 0); break;
    case 34: ReturnToLastPage(); break;
    case 42: case 43: case 45: ToMenu(4); ResetKnobAllow(); break;
    case 62: case 63: case 622: case 632: case 633:
        ToMenu(6);
        ResetKnobAllow();
        G_Nearest.nMode = 0;
        G_WptDb.nPageFlags &= ~0x13u;
        InitScreenConfig();
        G_MapPane.nRedraw = 1;
        break;
    case 64: ToMenu(6); ResetKnobAllow(); break;
    case 243: ToMenu(24); G_ClockEdit = 10; break;
    case 422: ToMenu(42); break;
    case 423: ToMenu(42); SetKnobFunc(Left(), 0); break;
    case 425: case 4253:
        if (G_MenuState == 4253) G_Aoa.nInflightCal = 0;
        ToMenu(G_MenuState == 425 ? 42 : 425);
        G_ClockEdit = 10;
        SetKnobFunc(Left(), 0);
        break;
    case 435: ToMenu(43); ResetKnobAllow(); break;
    case 452: ToMenu(45); ResetKnobAllow(); break;
    case 642: ToMenu(64); break;
    case 4222: ToMenu(422); SetKnobFunc(Left(), 0); break;
    case 4225: case 42254: SaveScreenList(); ReturnToLastPage(); break;
    case 4522: case 4523: ToMenu(452); ResetKnobAllow(); SetKnobFunc(Left(), 0); break;
    case 42224: ReturnToLastPage(); HwWrite32(GPCR2, kGpio66); break;
    case 42225: ToMenu(4222); SetKnobFunc(Left(), 0); break;
    default: ReturnToLastPage(); HwWrite32(GPCR2, kGpio66); break;
    }
    NvSetU32(kNvScreenConfig, static_cast<uint32_t>(G_CurPage));
    if (G_CurPage != kPageSplash) StoreClockReg(17, static_cast<uint8_t>(G_CurPage));
}

static void SoftKeyOne() {
    G_KeyEvent = 0;
    if (G_AlarmAckHold) return;
    if (G_AlarmCur >= 0 && G_AlarmCur < 52) {
        SendRemoteUserEvent(1, static_cast<uint32_t>(G_AlarmCur), 0);
        AlarmAck(2);
        G_AlarmAckHold = 1;
        G_AlarmAckTime = ReadOsTimer();
        return;
    }
    KeyOneBackStep();
}

// ---- soft keys 2..5 ------------------------------------------------------------------------

static void ToAuxPages() {
    SetKnobFunc(Left(), kKnobDim);
    G_LastPage = G_CurPage;
    switch (G_CurPage) {
    case 1: G_CurPage = 12; break;
    case 2: case 5: G_CurPage = 13; break;
    case 3: case 6: case 9: G_CurPage = 10; break;
    case 4: G_CurPage = 14; break;
    case 7: G_CurPage = 16; break;
    case 8: G_CurPage = 15; break;
    default: G_CurPage = 11; break;
    }
    AuxPageKeys(kAuxPageOpen);   // lays the configuration out first
}

static void TopLevel(int32_t key, int32_t code) {
    const int32_t p = G_CurPage;
    switch (key) {
    case 2:
        if (code == 18) {
            TimerReset();
        } else if (!MapPaneShown()) {
            ToMenu(2);
            G_ClockEdit = 20;
            if (G_TimerDir < 0) SetKnobFunc(Left(), kKnobTimer);
        } else {
            ToMenu(6);
        }
        break;
    case 3:
        if (Installed(kStreamEngine) && p != 2 && p != 5 && (!(p == 7 || p == 8) || G_MapShowEngine)) {
            ToMenu(3);
            SetKnobFunc(Left(), 0);
        }
        break;
    case 4:
        if ((Installed(kStreamAhrs) || Installed(kStreamAir)) && p != 1 && (!(p == 7 || p == 8) || G_MapAirOn)) {
            ToMenu(4);
            ResetKnobAllow();
        }
        break;
    case 5: ToAuxPages(); break;
    default: break;
    }
}

static void KnobListKey() {
    if (G_CurPage >= 30 && G_CurPage <= 33) {
        ToMenu(42254);
        ResetKnobAllow();
        SetKnobFunc(Left(), kKnobKnobLst);
        G_KnobListSide = 0;
        G_CurPage += 4;
    } else {
        ToMenu(4225);
        SetKnobFunc(Left(), kKnobPageLst);
        G_CurPage = 30;
    }
}

static void BackToPageList() {
    if (G_KnobListSide == 1 || !G_Knob1.bPresent) {
        ToMenu(4225);
        ResetKnobAllow();
        SetKnobFunc(Left(), kKnobPageLst);
        G_CurPage = (G_CurPage >= 34 && G_CurPage <= 37) ? G_CurPage - 4 : 30;
    } else {
        G_KnobListSide = 1;
    }
}

static void SaveKnobLists() {
    SavingPause();
    NvSetU32(kNvKnobListLeft, NvGetU32(kNvKnobListLeft) | 0xFFFFFC00u);
    NvSetU32(kNvKnobListRight, NvGetU32(kNvKnobListRight) | 0xFFFFFC00u);
    WriteNVRam(1);
    WriteNVRam(1);
}

static void SavePageList() {
    SavingPause();
    const uint32_t mask = NvGetU32(kNvScreenEnable) & G_ScreenAvail;
    NvSetU32(kNvScreenEnable, mask);
    if (mask != 0) SaveScreenList();
    else CheckScreenAvail(0);
}

static void SyncBugs() {
    NavSrcHeader& h = G_NavSrc.hdr;
    h.nHdgBug = static_cast<int16_t>(SyncHeadingBug());
    StoreClockRegI16(31, h.nHdgBug);
    SendRemoteUserEvent(9, static_cast<uint32_t>(h.nHdgBug), 0);
    h.nAltBug = static_cast<int16_t>(SyncAltitude50(G_AirData.nBaroAlt));
    StoreClockRegI16(33, h.nAltBug);
    SendRemoteUserEvent(10, static_cast<uint32_t>(h.nAltBug), 0);
    h.nMinAltBug = h.nAltBug;
    StoreClockRegI16(49, h.nMinAltBug);
    SendRemoteUserEvent(23, static_cast<uint32_t>(h.nMinAltBug), 0);
    h.nSpeedBug = static_cast<int16_t>(SyncSpeedBug());
    StoreClockRegI16(38, h.nSpeedBug);
    SendRemoteUserEvent(12, static_cast<uint32_t>(h.nSpeedBug), 0);
}

static void ToggleBugShown(int32_t bit) {
    G_NavSrc.hdr.nFlags0 ^= static_cast<uint8_t>(1u << bit);
    StoreClockBit(12, bit, (G_NavSrc.hdr.nFlags0 >> bit) & 1u);
    if (bit == 5) {
        const uint32_t on = (G_NavSrc.hdr.nFlags0 >> 5) & 1u;
        G_NavSrc.hdr.nFlags1 = static_cast<uint8_t>(on ? (G_NavSrc.hdr.nFlags1 | 0x10) : (G_NavSrc.hdr.nFlags1 & ~0x10));
        StoreClockBit(12, 7, on);
    }
}

static void MapOptionToggled() {
    G_MapPane.nRedraw = 1;
    G_RedrawReq = 1;
}

// ---- navigation and autopilot keys ---------------------------------------------------------

// From `slot` upward, the first source that is selectable and valid; slot 4 (none)
// when there is none up to it.
static uint8_t FirstUsableSlot(uint32_t slot) {
    for (uint32_t s = slot; s < static_cast<uint32_t>(kNavNoneSlot); ++s) {
        const NavSrcRec& r = G_NavSrc.rec[s];
        if (r.nKind != kNavKindNone && r.bInUse) return static_cast<uint8_t>(s);
    }
    return kNavNoneSlot;
}

static void StepCourseSource() {
    NavSrcHeader& h = G_NavSrc.hdr;
    h.nCrsSlot = FirstUsableSlot((h.nCrsSlot + 1u) % kNavSlots);
    SelectCrsSource();
    SendRemoteUserEvent(17, h.nCrsSlot, h.nBrgSlot);
}

static void StepBearingSource() {
    NavSrcHeader& h = G_NavSrc.hdr;
    const uint32_t next = h.nBrgSlot + 1u;
    h.nBrgSlot = FirstUsableSlot(next > static_cast<uint32_t>(kNavNoneSlot) ? 0 : next);
    SelectBrgSource();
    SendRemoteUserEvent(17, h.nCrsSlot, h.nBrgSlot);
}

// The CDI mode of a GPS-course source steps AUTO, GPS, NAV; the other display
// hears of it three times, as it may miss one event.
static void StepCdiMode() {
    NavSrcHeader& h = G_NavSrc.hdr;
    if (h.nCrsSlot >= kNavSlots) return;
    switch (G_NavSrc.rec[h.nCrsSlot].nKind) {
    case 1: case 4: case 7: case 9: {
        const uint32_t mode = (((h.nFlags0 >> kNavHdrPhaseShift) & 3u) + 1) % 3;
        h.nFlags0 = static_cast<uint8_t>((h.nFlags0 & ~(3u << kNavHdrPhaseShift)) | mode << kNavHdrPhaseShift);
        StoreClockReg(12, static_cast<uint8_t>((G_ClockMem[12] & ~0x0Cu) | mode << 2));
        h.nCdiChangeTime = ReadOsTimer();
        for (int i = 0; i < 3; ++i) SendRemoteUserEvent(19, mode, h.nCrsSlot);
        break;
    }
    default: break;   // the approach mode of the other sources lives with their receivers
    }
    WriteNVRam(1);
}

// The map's position and course sources; slot 3 is the map's own.
static void StepMapSource() {
    NavSrcHeader& h = G_NavSrc.hdr;
    int32_t src = h.nMapSrcSlot, crs = h.nMapCrsSlot;
    if (src != kNavMapSlot) {
        src = NextGpsSlot(src, 1);
        crs = src == kNavMapSlot ? NextGpsSlot(kNavMapSlot, 0) : src;
    } else if (G_NavSrc.rec[0].reserved0 < 2) {
        crs = NextGpsSlot(crs, 0);
        src = crs;
    } else if (NextGpsSlot(crs, 1) == kNavMapSlot) {
        crs = NextGpsSlot(kNavMapSlot, 0);
        src = crs;
    } else {
        crs = NextGpsSlot(crs, 0);
    }
    h.nMapSrcSlot = static_cast<uint8_t>(src);
    h.nMapCrsSlot = static_cast<uint8_t>(crs);
    G_NavSrc.rec[kNavMapSlot].nPort = G_NavSrc.rec[crs].nPort;
    h.MAP_LATLON_PORT = G_NavSrc.rec[crs].nPort;
    StoreClockReg(47, static_cast<uint8_t>(src));
    StoreClockReg(48, static_cast<uint8_t>(crs));
    DebugPrintf("NAV: mapSrc:%d, mapCrs:%d\n", static_cast<int>(crs), static_cast<int>(src));
    SendRemoteUserEvent(18, static_cast<uint32_t>(crs), static_cast<uint32_t>(src));
}

// ---- the map's waypoint menus ---------------------------------------------------------------

// STOPNAV: the GOTO ends here and on the other display.
static void StopNav() {
    ToMenu(6);
    ResetKnobAllow();
    G_Nearest.nMode = 0;
    CancelGoto();
    SendRemoteUserEvent(16, 0, 0);
}

// GOTO: a direct leg to the waypoint selected in the list or the FIND box.
static void GoToSelection() {
    if (!G_MapEnabled || !MapLoaded()) return;
    G_Nearest.nMode = 0;
    G_WptDb.nPageFlags &= ~(kWptGoto | kWptChartView);
    StartGoto();
    NavUpdate();
    G_MapPane.nRedraw = kMapFrameNow;
    ToMenu(6);
    ResetKnobAllow();
    InitScreenConfig();
}

// "NRST": the nearest airports, stepped with the knob.
static void OpenNearestList() {
    if (!MapLoaded() || !G_MapEnabled) return;
    NearestAirportsUpdate();
    ToMenu(62);
    SetKnobFunc(Left(), kKnobNrst);
    G_MapPane.nRedraw = kMapFrameSkip;
}

// ---- chart pages ------------------------------------------------------------------------------

// The selected waypoint's identifier, trailing blanks dropped: the chart's name.
static void SelectedWaypointId(char (&id)[kWptIdBytes + 1]) {
    const uint8_t* src = G_WptDb.abAirport + 16;          // airport identifier
    if (G_WptDb.nSelKind == kWptNavaid) src = G_WptDb.abNavaid + 12;
    else if (G_WptDb.nSelKind == kWptFix) src = G_WptDb.abFix + 12;
    std::memcpy(id, src, kWptIdBytes);
    id[kWptIdBytes] = 0;
    for (int i = kWptIdBytes - 1; i >= 0 && (id[i] == ' ' || id[i] == 0); --i) id[i] = 0;
}

static bool ChartShown() { return G_Chart.bLoaded && (G_WptDb.nPageFlags & kWptChartView); }

static void ChartViewOn() {
    G_WptDb.nPageFlags |= kWptChartView;
    SetKnobFunc(Left(), kKnobPanVer);
}

// "CHART" in the waypoint menus: the selected waypoint's chart at its current page.
static void OpenChart() {
    char id[kWptIdBytes + 1];
    SelectedWaypointId(id);
    ChartFileLoad(id);
    if (!G_Chart.bLoaded || !ChartLoad(G_Chart.nPage)) return;
    G_SavedMenuState = G_MenuState;
    ToMenu(633);
    ChartViewOn();
}

// "PREV" loads the page before (not below the first) even without the view;
// "NEXT" only while a chart is shown, and a failure changes nothing.
static void ChartPrevKey() {
    if (ChartLoad(G_Chart.nPage > 0 ? G_Chart.nPage - 1 : 0)) ChartViewOn();
}

static void ChartNextKey() {
    if (ChartShown() && ChartLoad(G_Chart.nPage + 1)) G_WptDb.nPageFlags |= kWptChartView;
}

// Right and left with the knob on a chart function: the neighbouring page;
// a page that does not load takes the chart view away.
static void ChartPageKey(int32_t step) {
    SetKnobFunc(Left(), kKnobPanVer);
    const bool shown = ChartShown();
    G_WptDb.nPageFlags &= ~kWptChartView;
    if (!shown) return;
    const uint32_t page = step > 0 ? G_Chart.nPage + 1 : G_Chart.nPage > 0 ? G_Chart.nPage - 1 : 0;
    if (ChartLoad(page)) ChartViewOn();
}

// Up and down with the knob on a chart function: one knob step of the pan.
static void ChartPanKey(int32_t delta) {
    SetKnobFunc(Left(), kKnobPanVer);
    G_Knob0.nDelta = delta;
    KnobAdjust(0);
    G_Knob0.nDelta = 0;
}

// Autopilot modes in NVRAM: lateral off, HDG, ARM, NAV; vertical off, ALT, ARM.
static void StepApMode(uint32_t offset, const uint8_t (&next)[8]) {
    G_NVRam[offset] = next[G_NVRam[offset] & 7u];
    WriteNVRam(1);
}

static void SoftKeys2to5(int32_t code) {
    const int32_t key = code > 16 ? code - 16 : code;
    const bool ahrs = Installed(kStreamAhrs) && G_CurPage != 4;
    switch (G_MenuState * 10 + static_cast<uint32_t>(key)) {
    case 2: case 3: case 4: case 5: TopLevel(key, code); break;
    case 22: if (G_TimerRun) TimerStop(); else TimerStart(); break;
    case 23: TimerReset(); break;
    case 24: ToMenu(24); G_ClockEdit = 10; SetKnobFunc(Left(), 0); break;
    case 25:
        TimerToggleDir();
        if (G_TimerDir < 0) SetKnobFunc(Left(), kKnobTimer);
        else ResetKnobAllow();
        break;
    case 242:
        G_ClockFormat = (G_ClockFormat + 1) % 3;
        NvSetU32(kNvClockFormat, static_cast<uint32_t>(G_ClockFormat));
        StoreClockReg(16, static_cast<uint8_t>(G_ClockFormat));
        break;
    case 243:
        if (G_ClockEdit == 10) {
            G_ClockEdit = 0;
            SetKnobFunc(Left(), kKnobClock);
            G_EditHour = G_DateTime.nHours;
            G_EditMinute = G_DateTime.nMinutes;
        } else {
            G_DateTime.nHours = G_EditHour;
            G_DateTime.nMinutes = G_EditMinute;
            SetRtcTime();
            G_ClockEdit = 10;
            SetKnobFunc(Left(), 0);
        }
        break;
    case 244: G_ClockSyncReq = 1; break;
    case 32: ToMenu(32); SetKnobFunc(Left(), kKnobFuel); NvSetU32(kNvFuelAdjust, 0); break;
    case 33: if (LeanAssistAvailable()) { ToMenu(33); ResetKnobAllow(); } break;
    case 34:
        if (G_Fadec.nPresent != 0) {
            ToMenu(34);
            G_LastPage = G_CurPage;
            G_CurPage = 20;
            InitScreenConfig();
        }
        break;
    case 35: ToggleNv(kNvOatUnits, 10, 1); break;
    case 322: NvSetU32(kNvFuelCompMode, (NvGetU32(kNvFuelCompMode) + 1) % 7);
              StoreClockReg(18, static_cast<uint8_t>(NvGetU32(kNvFuelCompMode)));
              CalcFuelComputer(); break;
    case 323: FuelCompFill(2); break;
    case 324: FuelCompFill(4); break;
    case 325: FuelCompAdjust(); break;
    case 332:
        if (!LeanAssistAvailable()) {
            NvSetU32(kNvCylGaugeType, 0);
        } else {
            ToggleNv(kNvCylGaugeType, 11, 5);
            InitScreenConfig();
        }
        break;
    case 333: LeanAssistKey(); InitScreenConfig(); break;
    case 334: PeakResetKey(); break;
    case 42: ToMenu(42); SetKnobFunc(Left(), 0); break;
    case 43: if (ahrs) ToMenu(43); break;
    case 44: ToMenu(2); G_ClockEdit = 20; if (G_TimerDir < 0) SetKnobFunc(Left(), kKnobTimer); break;
    case 45: ToMenu(45); break;
    case 422: ToMenu(422); SetKnobFunc(Left(), 0); break;
    case 423: if (ahrs) ToMenu(423); break;
    case 424: ToggleNv(kNvOatUnits, 10, 1); break;
    case 425:
        if (Installed(kStreamAoa) && NvGetU32(kNvAoaGaugeOn)) {
            ToMenu(425);
            SetKnobFunc(Left(), 0);
        }
        break;
    case 4222: if (ahrs) { ToMenu(4222); SetKnobFunc(Left(), 0); } break;
    case 4223: ToggleNv(kNvTargetType, 15, -1); break;
    case 4224: if (ahrs) ToggleNv(kNvWindsGaugeOn, 11, 0); break;
    case 4225: OpenPageList(); break;
    case 4232:
        NvSetU32(kNvGMeterMax, static_cast<uint32_t>(G_Ahrs.nLoadFactor));
        NvSetU32(kNvGMeterMin, static_cast<uint32_t>(G_Ahrs.nLoadFactor));
        WriteNVRam(1);
        WriteNVRam(1);
        SendRemoteUserEvent(14, NvGetU32(kNvGMeterMin), NvGetU32(kNvGMeterMax));
        break;
    case 4233: ToggleNv(kNvGMeterOn, 10, 5); break;
    case 4253:
        if (G_NetStreamCfg[kStreamAir].INST != 2) {
            ToMenu(4253);
            SetKnobFunc(Left(), 0);
            G_Aoa.nInflightCal = 1;
        }
        break;
    case 42532: AoaInflightCal(2); break;
    case 42533: AoaInflightCal(3); break;
    case 4252: {
        const uint32_t v = 2 * NvGetU32(kNvAoaGaugeOn) + NvGetU32(kNvAoaDeclutterOn);
        const uint32_t a = (v <= 2) ? 1 : 0, b = (v == 1 || v == 2) ? 1 : 0;
        NvSetU32(kNvAoaGaugeOn, a);
        NvSetU32(kNvAoaDeclutterOn, b);
        StoreClockBit(10, 7, a);
        StoreClockBit(10, 6, b);
        break;
    }
    case 42222: SetKnobFunc(Left(), kKnobHadj); break;
    case 42223: SetKnobFunc(Left(), kKnobRadj); break;
    case 42224:
        G_LastPage = G_CurPage;
        G_CurPage = kPageMagAlign;
        ToMenu(42224);
        G_MagAlignStep = 0;
        InitScreenConfig();
        break;
    case 42225: if (NvGetU32(kNvAdminUser)) ToMenu(42225); break;
    case 422252: if (NvGetU32(kNvAdminUser)) ToggleNv(kNvAhrsDebug, 10, 2); break;
    case 422255: if (NvGetU32(kNvAdminUser)) G_AhrsState.nAiding = Toggle01(G_AhrsState.nAiding); break;
    case 422243: {
        const uint32_t n = G_MagAlignStep + 1;
        if (n == 2 || n == 4 || n == 10) {
            HwWrite32(GPSR2, kGpio66);
            G_MagAlignStep = n;
        } else if (n <= 1) {
            G_MagAlignStep = n;
        } else if (n == 13) {
            G_MagAlignStep = 1;
        }
        break;
    }
    case 432: StepCourseSource(); break;
    case 433: StepBearingSource(); break;
    case 434: StepCdiMode(); break;
    case 435: ToMenu(435); break;
    case 4352: ToggleBugShown(4); break;
    case 4353: ToggleBugShown(5); break;
    case 4354: ToggleBugShown(6); break;
    case 4355: SyncBugs(); break;
    case 452: ToMenu(452); SetKnobFunc(Left(), 0); break;
    case 453: {
        static const uint8_t kLateral[8] = {1, 3, 0, 2, 0, 0, 0, 0};
        StepApMode(kNvNavMode, kLateral);
        break;
    }
    case 454: {
        static const uint8_t kVertical[8] = {4, 0, 0, 0, 6, 0, 0, 0};
        StepApMode(kNvApVertMode, kVertical);
        break;
    }
    case 455:
        G_Autopilot.bFlightDirector = static_cast<uint8_t>(Toggle01(G_Autopilot.bFlightDirector));
        StoreClockBit(10, 0, G_Autopilot.bFlightDirector);
        DrawEfisStatic();
        break;
    case 4522: ToMenu(4522); SetKnobFunc(Left(), 0); break;
    case 4523: ToMenu(4523); SetKnobFunc(Left(), 0); break;
    case 4524: SetKnobFunc(Left(), kKnobMin); break;
    case 4525: SetKnobFunc(Left(), kKnobMax); break;
    case 45222: case 45232: SetKnobFunc(Left(), kKnobRollAlt); break;
    case 45223: case 45233: SetKnobFunc(Left(), kKnobLocGs); break;
    case 45234: SetKnobFunc(Left(), kKnobFdGain); break;
    case 42252: G_ListCursor = (G_ListCursor + 1) % 7; break;
    case 42254: KnobListKey(); break;
    case 42255: SavePageList(); break;
    case 422542: G_ListCursor = (G_ListCursor + 1) % 9; break;
    case 422543: ToggleWord(G_KnobPushSel, 11, 3); break;
    case 422544: BackToPageList(); break;
    case 422545: SaveKnobLists(); break;
    case 62: OpenNearestList(); break;
    case 63: DirectTo(); break;
    case 622: case 632: G_SavedMenuState = G_MenuState; WptPageOpen(); break;
    case 6222: case 6322: if (G_WptDb.nSelKind == kWptAirport && G_WptDb.bMetarPage) WptPageSelect(); break;
    case 624: case 634: StopNav(); break;
    case 625: case 635: case 6225: case 6325: case 6335: GoToSelection(); break;
    case 64: ToMenu(64); SetKnobFunc(Left(), 0); break;
    case 65: ToAuxPages(); break;
    case 642: ToMenu(642); SetKnobFunc(Left(), 0); break;
    case 643: G_MapTerrOn = Toggle01(G_MapTerrOn); break;   // the value only: no redraw of the map
    case 644: ToggleWord(G_NexradOn, 13, 6); MapOptionToggled(); break;
    case 645: StepMapSource(); break;
    case 623: case 633: case 6223: case 6323: OpenChart(); break;
    case 6333: ChartPrevKey(); break;
    case 6334: ChartNextKey(); break;
    case 6422: ToggleWord(G_MapPvtOn, 11, 2); MapOptionToggled(); break;
    case 6423: ToggleWord(G_MapIntsOn, 11, 4); MapOptionToggled(); break;
    case 6424: ToggleWord(G_MapAirOn, 13, 7); InitScreenConfig(); MapOptionToggled(); break;
    case 6425:
        ToggleWord(G_MapShowEngine, 14, 0);
        if (G_CurPage == 7 && !G_MapShowEngine) { G_CurPage = 8; InitScreenConfig(); }
        else if (G_CurPage == 8 && G_MapShowEngine && Installed(kStreamEngine)) { G_CurPage = 7; InitScreenConfig(); }
        MapOptionToggled();
        break;
    default: break;
    }
}

// ---- page groups ------------------------------------------------------------------------

// One step (3 x zoom + 10 pixels) from the own-ship point, in the key's
// direction, becomes the map's centre for the pan hold.
static void MapMoveKey(int32_t code) {
    const int32_t step = 3 * static_cast<int32_t>(G_MapZoom) + 10;
    static const int32_t kDx[4] = {0, 0, 1, -1}, kDy[4] = {-1, 1, 0, 0};
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    MapPoint centre;
    MapScreenToLatLon(own.x + kDx[code - 8] * step, own.y + kDy[code - 8] * step,
                      MapPoint{G_MapFrame.nRefLat, G_MapFrame.nRefLon}, &centre);
    MapPanTo(centre.nLat, centre.nLon);
}

static void DirectionKey(int32_t code) {
    static const int32_t kQuick[4] = {kKnobHdg, kKnobBaro, kKnobAlt, kKnobMinAlt};
    const int32_t f = G_Knob0.nFunction;
    if (f == kKnobPanVer || f == kKnobPanLat) {
        if (code == 8 || code == 9) ChartPanKey(code == 8 ? -1 : 1);
        else ChartPageKey(code == 10 ? 1 : -1);
        return;
    }
    if (f == kKnobZoom) {
        if (MapPaneShown() && G_MapEnabled) MapMoveKey(code);
        return;
    }
    if (f == kKnobDirect) {
        if (code == 10 || code == 11) WptIdCursorMove(code == 10 ? 1 : -1);
        return;
    }
    if (f >= 1 && f <= 9 && f != kKnobZoom) SetKnobFunc(Left(), kQuick[code - 8]);
}

static void MainGroup(int32_t code) {
    if (code >= 8 && code <= 11) DirectionKey(code);
    else if (code == 6 || code == 7) KnobPress(code - 6);
    else if (code == 22 || code == 23) KnobPushSync(code - 22);
    else if (code == 1 || code == 17) SoftKeyOne();
    else if ((code >= 2 && code <= 5) || (code >= 18 && code <= 21)) SoftKeys2to5(code);
}

static void LiabilityPage(int32_t code) {
    if (code != 3) return;
    SendRemoteUserEvent(13, 0, 0);
    G_CurPage = G_LastPage;
    GUI_SelectScreen();
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(0, 0, 639, 959);
    InitBaro();
    InitScreenConfig();
    G_Autopilot.bOutput = Installed(kStreamAhrs) ? 1 : 0;
    if (G_DemoFlags & kDemoNav) G_DemoIdleReq = 1;
}

static void AuxKeyOne() {
    if (G_AlarmCur >= 0 && G_AlarmCur < 52) {
        AlarmAck(2);
        return;
    }
    switch (G_MenuState) {
    case kMenuMaintLogs: G_MenuState = kMenuMaint; break;
    case kMenuDataLog: case kMenuSysLog: case kMenuUpdate: G_MenuState = kMenuMaintLogs; break;
    default: ReturnToLastPage(); break;
    }
}

// The auxiliary pages take their keys and the left knob as one step either
// way; true when the screen is to be redrawn for a knob step.
static bool AuxGroup(int32_t code) {
    if (code == 1 || code == 17) AuxKeyOne();
    else if ((code >= 2 && code <= 7) || (code >= 18 && code <= 23)) AuxPageKeys(code);
    if (G_Knob0.nDelta == 0) return false;
    AuxPageKeys(G_Knob0.nDelta < 1 ? -1 : 1);
    G_Knob0.nDelta = 0;
    return true;
}

void MainKeyHandler() {
    const int32_t code = G_KeyEvent;
    if (code == 0 && G_Knob0.nDelta == 0 && G_Knob1.nDelta == 0) return;
    G_LastKeySec = G_UptimeSec;
    bool redraw = false;
    if (code != 0) {
        DebugPrintf("B%d S%d M%d K%d @%s\n", static_cast<int>(code), static_cast<int>(G_CurPage),
                    static_cast<int>(G_MenuState), static_cast<int>(G_Knob0.nFunction), FormatTime(4));
        redraw = true;
    }
    const int32_t p = G_CurPage;
    if ((p >= 1 && p <= 9) || p == 17 || p == 20 || (p >= 30 && p <= 37)) {
        MainGroup(code);
        if (G_Knob0.nDelta != 0) {
            KnobAdjust(0);
            redraw = true;
        }
        if (G_Knob1.nDelta != 0) {
            KnobAdjust(1);
            redraw = true;
        }
    } else if (p >= 10 && p <= 16) {
        if (AuxGroup(code)) redraw = true;
    } else if (p == kPageSplash) {
        LiabilityPage(code);
    }
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    if (redraw || G_RedrawReq) RedrawScreen();
}
