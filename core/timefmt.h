// Time of day as text, from the processor's RTC counter, and the pilot's
// timer: counting up, or down from a preset kept in clock memory with a
// sound when it reaches zero.
#pragma once
#include <cstdint>

constexpr int32_t kTimerMax       = 5940;   // 99 minutes
constexpr int32_t kRegTimerPreset = 52;     // u16 in registers 52..53
constexpr int32_t kTimerSound     = 17;

extern int32_t  G_TimerSec;
extern uint32_t G_TimerRun;
extern int32_t  G_TimerDir;      // +1 up, -1 down

uint32_t RtcSeconds();
uint32_t RtcMinutes();
uint32_t RtcHours();

// 1 local, 2 UTC, 4 log stamp with milliseconds, 5 date and time, 6 24-hour,
// 7 uptime, any other 12-hour. Kinds 0..3 and 4..7 each share one buffer
// that the next call of the group overwrites.
const char* FormatTime(int32_t kind);
void FormatClockLine(int32_t x, int32_t y);

void TimerInit();
void TimerStart();
void TimerStop();
void TimerAdjust(int32_t delta);
void TimerSet(int32_t value);
void TimerToggleDir();
void TimerReset();
void TimerTick();
void FormatTimerDisplay(int32_t x, int32_t y);
