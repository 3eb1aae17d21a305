// The main loop: the one thread of the system. Each pass runs the every-pass
// work and whatever periodic work is due by wrap-aware OS-timer differences.
#pragma once
#include <cstdint>

// Periods in OS-timer ticks.
constexpr uint32_t kAdcPeriod       = 92160;     // 25 ms
constexpr uint32_t kAirdataPeriod   = 92160;
constexpr uint32_t kAhrsPeriod      = 147456;    // 40 ms
constexpr uint32_t kEnginePeriod    = 92160;
constexpr uint32_t kTrafficPeriod   = 3686400;   // 1 s
constexpr uint32_t kNavSlotPeriod   = 368640;    // 100 ms
constexpr uint32_t kNavRecPeriod    = 246962;    // 67 ms
constexpr uint32_t kEngFramePeriod  = 460750;    // 125 ms
constexpr uint32_t kCsvPeriod       = 184320;    // 50 ms
constexpr uint32_t kFramePeriod     = 184320;    // 50 ms
constexpr uint32_t kSlowRecPeriod   = 921500;    // 250 ms
constexpr uint32_t kAlarmPeriod     = 1843000;   // 0.5 s
constexpr uint32_t kArincPeriod     = 184320;    // 50 ms per port
constexpr uint32_t kShutdownWait    = 3686400;   // 1 s
constexpr uint32_t kNavGpsTimeout   = 36864000;  // 10 s
constexpr uint32_t kNavRouteTimeout = 73728000;  // 20 s

// Longest data-log interval whose period in ticks still fits a wrap-aware difference.
constexpr uint32_t kDataLogMaxSeconds = 1165;

constexpr uint32_t kEngFrameBytes = 73;

// Runs until G_CalRestart becomes 1, then shuts the network side down and returns.
void MainLoop();
