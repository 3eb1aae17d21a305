// Battery and line-power monitor: on battery the backlight is limited, and
// the unit either keeps running (in flight, or confirmed by a key) or counts
// down and switches itself off; a low battery also counts down.
#pragma once
#include <cstdint>

// 0 line power, 1 on battery with the switch-off count-down, 2 switch off
// now, 3 on battery with operation confirmed, 4 low-battery count-down.
extern uint32_t G_BatState;
extern uint32_t G_BatPrevState;
extern uint32_t G_BatCount;       // calls in the current state
extern uint32_t G_BatOnBatTime;   // last "ON BAT PWR" line
extern uint32_t G_BatAuthTime;    // reference of the confirmed state's time-outs
extern uint32_t G_BatLevel;       // icon: 0 none (line power), 1..4 bars
extern uint32_t G_BatWarnShown;
extern uint32_t G_BatWarnKind;    // 2 while a count-down warning is shown
extern char     G_BatWarnText[128];
extern uint32_t G_DimSaved;       // backlight level when battery operation began
extern uint32_t G_DimSavedFlag;

constexpr int32_t  kBatLowAd       = 1500;   // both supplies below: on battery
constexpr uint32_t kBatCountdown   = 600;    // calls: 30 s at the frame rate
constexpr uint32_t kBatGraceCalls  = 41;
constexpr int32_t  kRegFieldAlt    = 0x23;   // clock memory, i16; 0x7FFF unset
constexpr int32_t  kFieldAltUnset  = 0x7FFF;

// One step, every frame block and in the menu loops.
void CheckBattery();
// The status-bar symbol for G_BatLevel, in the bar's off-screen strip.
void DrawBatteryIcon();
