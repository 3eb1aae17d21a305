#include "core/ostimer.h"

#include "core/syslog.h"
#include "core/util.h"
#include "platform/hw.h"

uint32_t G_ElapsedRef = 0;

constexpr uint32_t kWatchdogBootTicks = 92160000;   // 25 s
constexpr uint32_t kWatchdogResetNow  = 19;

void InitOsTimer() {
    HwWrite32(OSCR, 0);
    HwWrite32(OSMR0, 0);
    HwWrite32(OSMR1, 0);
    HwWrite32(OSMR2, 0);
    HwWrite32(OSMR3, 0);
    HwWrite32(OSSR, 15);
}

uint32_t ReadOsTimer() { return HwRead32(OSCR); }

// count / 3686.4 and count / 3.6864, in integers.
uint32_t GetMsTime() { return static_cast<uint32_t>(uint64_t{ReadOsTimer()} * 10 / 36864); }
uint32_t GetUsTime() { return static_cast<uint32_t>(uint64_t{ReadOsTimer()} * 10000 / 36864); }

uint32_t ElapsedMs() {
    uint32_t d = ReadOsTimer() - G_ElapsedRef;
    return static_cast<uint32_t>(uint64_t{d} * 10 / 36864);
}

// Each round is the idle hook of the wait; as the wait's end is known, the
// board's time moves straight on to it (or to the next device event).
void DelayTicks(uint32_t n) {
    uint32_t start = ReadOsTimer();
    while (static_cast<uint32_t>(ReadOsTimer() - start) < n) HwIdleUntil(start + n);
}

void InitWatchdog() {
    HwWrite32(OSMR3, ReadOsTimer() + kWatchdogBootTicks);
    HwWrite32(OWER, 1);
}

void KickWatchdog(int32_t seconds) {
    uint32_t left = HwRead32(OSMR3) - ReadOsTimer();
    if (left < kTicksPerSecond) DebugPrintf("WD Reset @%dms\n", static_cast<int>(left / kTicksPerMs));
    if (seconds > kWatchdogMaxSeconds) {
        // A longer deadline would wrap past the count and fire far too early.
        DebugPrintf("WARNING: KickWatchdog(%d) clamped to %d sec\n", static_cast<int>(seconds),
                    static_cast<int>(kWatchdogMaxSeconds));
        seconds = kWatchdogMaxSeconds;
    }
    if (seconds > 0) {
        HwWrite32(OSMR3, ReadOsTimer() + static_cast<uint32_t>(seconds) * kTicksPerSecond);
        return;
    }
    HwWrite32(OSMR3, ReadOsTimer() + kWatchdogResetNow);
    for (;;) IdleHook();   // the watchdog resets the board within microseconds
}
