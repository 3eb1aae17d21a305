// OS timer, delays and the watchdog. All time is the free-running 32-bit
// count at 3,686,400 Hz; every interval test is a wrap-aware difference.
#pragma once
#include <cstdint>

constexpr uint32_t kTicksPerSecond = 3686400;   // OS timer rate
constexpr uint32_t kTicksPerMs     = 3686;

// Registers.
constexpr uint32_t OSMR0 = 0x40A00000;
constexpr uint32_t OSMR1 = 0x40A00004;
constexpr uint32_t OSMR2 = 0x40A00008;
constexpr uint32_t OSMR3 = 0x40A0000C;
constexpr uint32_t OSCR  = 0x40A00010;
constexpr uint32_t OSSR  = 0x40A00014;
constexpr uint32_t OWER  = 0x40A00018;
constexpr uint32_t OIER  = 0x40A0001C;

// The longest deadline that fits the 32-bit count.
constexpr int32_t kWatchdogMaxSeconds = 1165;

extern uint32_t G_ElapsedRef;    // reference stamp of ElapsedMs; zeroed at every boot pass

void     InitOsTimer();
uint32_t ReadOsTimer();
// Note: these wrap with the count (about 1,165 s); take differences only.
uint32_t GetMsTime();
uint32_t GetUsTime();
uint32_t ElapsedMs();
void     DelayTicks(uint32_t n);
void     InitWatchdog();
void     KickWatchdog(int32_t seconds);

// Wrap-aware: true once more than `interval` ticks have passed since `stamp`.
inline bool TicksElapsed(uint32_t now, uint32_t stamp, uint32_t interval) {
    return static_cast<uint32_t>(now - stamp) > interval;
}
