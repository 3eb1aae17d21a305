#include "core/battery.h"

#include <cstdio>

#include "core/alarm.h"
#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "platform/hw.h"
#include "storage/nvram.h"
#include "ui/knob.h"
#include "ui/statusbar.h"

uint32_t G_BatState = 0;
uint32_t G_BatPrevState = 0;
uint32_t G_BatCount = 0;
uint32_t G_BatOnBatTime = 0;
uint32_t G_BatAuthTime = 0;
uint32_t G_BatLevel = 0;
uint32_t G_BatWarnShown = 0;
uint32_t G_BatWarnKind = 0;
char     G_BatWarnText[128] = {};
uint32_t G_DimSaved = 0;
uint32_t G_DimSavedFlag = 0;

constexpr uint32_t GPSR0 = 0x40E00018;
constexpr uint32_t GPDR0 = 0x40E0000C;
constexpr uint32_t kGpio19Power = 1u << 19;

constexpr int32_t  kBatDim           = 50;        // percent, the most allowed on battery
constexpr int32_t  kFlyingSpeed      = 250;       // 0.1 kt
constexpr int32_t  kFlyingRpm        = 4000;
constexpr int32_t  kLowBatVolts      = 68;        // 0.1 V
constexpr uint32_t kNoDataTicks      = 18432000;  // 5 s
constexpr uint32_t kGroundTicks      = 1106968576;
constexpr uint32_t kOnBatLogTicks    = 221184000; // 60 s
constexpr uint32_t kShutdownWait     = 276450;    // 75 ms
constexpr uint32_t kWarnColour       = 0x0000FF;
constexpr int32_t  kRegBaroSetting   = 23;        // clock memory, i16

// ---- helpers --------------------------------------------------------------------------

static int32_t BatVolts() { return G_InstReading[kInstBattVolts].nValue; }

static void LogVolts(const char* what) {
    const int32_t v = BatVolts();
    DebugPrintf("%s %d.%0dV @%s\n", what, static_cast<int>(v / 10), static_cast<int>(v % 10 < 0 ? -(v % 10) : v % 10),
                FormatTime(4));
}

// Every change of state starts its own count.
static void SetState(uint32_t state) {
    G_BatState = state;
    G_BatCount = 0;
}

static void Redraw() {
    UpdateSoftKeys();
    G_RedrawReq = 1;
}

static void ShowWarning(const char* format, uint32_t seconds) {
    G_BatWarnShown = 1;
    G_BatWarnKind = 2;
    std::snprintf(G_BatWarnText, sizeof G_BatWarnText, format, static_cast<int>(seconds));
    G_StatusMsg.bShown = 1;
    G_StatusMsg.nColour = kWarnColour;
    std::snprintf(G_StatusMsg.szText, sizeof G_StatusMsg.szText, "%.63s", G_BatWarnText);
    G_RedrawReq = 1;
}

static void HideWarning() {
    G_BatWarnShown = 0;
    G_BatWarnKind = 0;
    G_StatusMsg.bShown = 0;
}

static bool AirFresh() { return G_AirData.nFresh >= 1; }
static bool EngineFresh() { return G_EngFresh >= 1; }

static int32_t ClockMemI16(int32_t reg) {
    uint8_t b[2] = {};
    ReadClockMem(b, reg, 2);
    return static_cast<int16_t>(b[0] | b[1] << 8);
}

// ---- line power -----------------------------------------------------------------------

static void LinePower() {
    if (G_DimSavedFlag == 1) {
        NvSetU32(kNvDimPercent, G_DimSaved);
        G_DimSavedFlag = 0;
        Redraw();
    }
    SetBacklight(static_cast<int32_t>(NvGetU32(kNvDimPercent)));
    if (G_BatLevel != 0) G_RedrawReq = 1;
    G_BatLevel = 0;
    G_BatCount = 0;
    if (G_BatState != 0)
        DebugPrintf("Resuming line power at %02d:%02d:%02d \n", static_cast<int>(G_DateTime.nHours),
                    static_cast<int>(G_DateTime.nMinutes), static_cast<int>(G_DateTime.nSeconds));
    G_BatState = 0;
    if (G_BatWarnShown == 1) {
        HideWarning();
        Redraw();
    }
}

// ---- on battery -----------------------------------------------------------------------

static void LimitBacklight() {
    const uint32_t dim = NvGetU32(kNvDimPercent);
    if (dim < static_cast<uint32_t>(kBatDim) + 1 || (G_DemoFlags & kDemoAll)) {
        SetBacklight(static_cast<int32_t>(dim));
        return;
    }
    G_DimSaved = dim;
    G_DimSavedFlag = 1;
    NvSetU32(kNvDimPercent, kBatDim);
    SetBacklight(kBatDim);
    Redraw();
}

static void Grace() {
    if (++G_BatCount <= kBatGraceCalls) {
        if (G_BatWarnShown) HideWarning();
        return;
    }
    const bool slow = !AirFresh() || G_InstReading[kInstAirspeed].nValue < kFlyingSpeed;
    const bool idle = !EngineFresh() || G_InstReading[kInstRpm].nValue < kFlyingRpm;
    SetState(slow && idle ? 1 : 3);
    G_BatOnBatTime = ReadOsTimer();
    LogVolts("ON BAT PWR");
}

static void CountDown(const char* format, const char* endLine) {
    ShowWarning(format, (kBatCountdown - G_BatCount) / 20);
    G_BatAuthTime = ReadOsTimer();
    if (++G_BatCount >= kBatCountdown) {
        LogVolts(endLine);
        SetState(2);
    }
}

static void SaveFieldAltitude() {
    const int32_t field = ClockMemI16(kRegFieldAlt);
    if (G_AirData.nIas < kFlyingSpeed && field == kFieldAltUnset) {
        StoreClockRegI16(kRegFieldAlt, G_AirData.nBaroAlt);
        DebugPrintf("BARO: Saving Field: Alt=%d, Baro=%d\n", static_cast<int>(G_AirData.nBaroAlt),
                    static_cast<int>(G_AirData.nBaroSetting));
    } else {
        DebugPrintf("BARO: Retaining Field: Alt=%d, Baro=%d\n", static_cast<int>(field),
                    static_cast<int>(ClockMemI16(kRegBaroSetting)));
    }
    DelayTicks(kShutdownWait);
}

[[noreturn]] static void SwitchOff() {
    SaveFieldAltitude();
    SetKnobFunc(&G_Knob0, G_Knob0.nFunction);
    const DateTime& d = G_DateTime;
    DebugPrintf("*** SYSTEM SHUTDOWN %02d-%02d-%02d at %02d:%02d:%02d ***\n", static_cast<int>(d.nMonth),
                static_cast<int>(d.nDay), static_cast<int>(d.nYear % 100), static_cast<int>(d.nHours),
                static_cast<int>(d.nMinutes), static_cast<int>(d.nSeconds));
    DelayTicks(kShutdownWait);
    DebugPrintf("======================================================\n\n");
    DelayTicks(kShutdownWait);
    KickWatchdog(1);
    HwWrite32(GPSR0, kGpio19Power);
    HwWrite32(GPDR0, HwRead32(GPDR0) | kGpio19Power);
    // The supply is cut here; should it stay on, the watchdog resets the board.
    for (;;) IdleHook();
}

static void EnterConfirmed() {
    LogVolts("BAT OP USER AUTH");
    HideWarning();
    G_BatCount = 0;
    Redraw();
    G_BatAuthTime = ReadOsTimer();
    if (G_AlarmCur == kInstMainVolts) {
        AlarmAck(1);
    } else {
        AlarmSlot& a = G_AlarmTable[kInstMainVolts];
        a.nActive = 0;
        a.nRaiseStamp = 0;
        a.nMode = static_cast<uint32_t>(G_InstCfg[kInstMainVolts].nAudio);
    }
}

static void Confirmed() {
    if (G_BatPrevState != 3) EnterConfirmed();
    const uint32_t now = ReadOsTimer();
    if (!EngineFresh() && !AirFresh()) {
        if (TicksElapsed(now, G_BatAuthTime, kNoDataTicks)) SetState(1);
    } else if (G_InstReading[kInstRpm].nValue < kFlyingRpm && G_AirData.nIas < kFlyingSpeed) {
        if (TicksElapsed(now, G_BatAuthTime, kGroundTicks)) SetState(1);
    } else {
        G_BatAuthTime = now;
    }
    const int32_t v = BatVolts();
    if (G_BatState == 3 && v < kLowBatVolts && v != 0) SetState(4);
    if (TicksElapsed(now, G_BatOnBatTime, kOnBatLogTicks)) {
        G_BatOnBatTime = now;
        LogVolts("ON BAT PWR");
    }
}

static void IconLevel() {
    const InstCfg& c = G_InstCfg[kInstBattVolts];
    const int32_t v = BatVolts();
    uint32_t level = 1;
    if (v > c.nYellowLow + (c.nYellowLow - c.nRedLow)) level = 4;
    else if (v > c.nYellowLow) level = 3;
    else if (v > c.nRedLow) level = 2;
    if (level != G_BatLevel) G_RedrawReq = 1;
    G_BatLevel = level;
}

void CheckBattery() {
    const bool onBattery =
        G_InstAd[kInstMainVolts].nAdValue < kBatLowAd && G_InstAd[kInstAuxVolts].nAdValue < kBatLowAd;
    if (!onBattery) {
        LinePower();
        G_BatPrevState = G_BatState;
        return;
    }
    LimitBacklight();
    switch (G_BatState) {
    case 0: Grace(); break;
    case 1: CountDown("WARNING POWERING DOWN IN %d SEC, PRESS ANY KEY TO CONTINUE  ", "BAT NO AUTH SHUTDOWN"); break;
    case 2: SwitchOff();
    case 3: Confirmed(); break;
    case 4: CountDown("WARNING!  LOW BATTERY, POWERING DOWN IN %d SECONDS.", "BAT LOW BAT SHUTDOWN"); break;
    default: SetState(0); break;
    }
    G_BatPrevState = G_BatState;
    IconLevel();
}

// ---- the status-bar symbol ------------------------------------------------------------

void DrawBatteryIcon() {
    constexpr int x = 15, y = 1425;
    static const GUI_Point outline[] = {{0, -1}, {2, -1}, {2, -2}, {6, -2}, {6, -1}, {8, -1}, {8, 13}, {0, 13}};
    constexpr int n = static_cast<int>(sizeof outline / sizeof outline[0]);
    static const uint32_t colour[5] = {0, 2, 14, 5, 5};
    static const int bars[5][4] = {{}, {10}, {7, 10}, {4, 7, 10}, {1, 4, 7, 10}};
    GUI_SetColorIndex(0);
    GUI_FillPolygon(outline, n, x, y);
    const uint32_t level = G_BatLevel;
    if (level == 0 || level > 4) return;
    GUI_SetColorIndex(colour[level]);
    GUI_SetPenSize(2);
    for (uint32_t i = 0; i < level; ++i) GUI_DrawLine(x, y + bars[level][i], x + 8, y + bars[level][i]);
    GUI_SetColorIndex(31);
    GUI_SetPenSize(1);
    GUI_DrawPolygon(outline, n, x, y);
    GUI_DrawLine(17, y - 1, 21, y - 1);
}
