// The emulated board: bus, devices, time, interrupt delivery, the monitor's
// state and the events that stop the application (restart, reset, exit,
// power-off). The board lives in one block of memory shared with the
// processes that run the application, so it outlives each application start.
#pragma once
#include <cstdint>
#include "platform/ac97.h"
#include "platform/cpu.h"
#include "platform/cs8900.h"
#include "platform/device.h"
#include "platform/display.h"
#include "platform/dma.h"
#include "platform/flash.h"
#include "platform/gpio.h"
#include "platform/hostevents.h"
#include "platform/i2c.h"
#include "platform/intc.h"
#include "platform/mmc.h"
#include "platform/monitor.h"
#include "platform/ostimer.h"
#include "platform/rtc.h"
#include "platform/ssp.h"
#include "platform/rtcchip.h"
#include "platform/tfs.h"
#include "platform/uart.h"

namespace platform {

enum class TimeMode : uint8_t { Virtual, Real };

enum class StopReason : uint8_t {
    None,
    AppRestart,     // "call $ENTRYPOINT": fresh application, board kept
    AppExit,        // mon_appexit: the board idles in the monitor
    WatchdogReset,  // board reset: devices and monitor RAM reset
    PowerOff,       // GPIO19 driven high
    RunEnd,         // the host's --run-for time is over
};
const char* StopReasonName(StopReason r);

// Raised from inside a platform call; the firmware never catches it.
struct BoardStop {
    StopReason reason;
    int status;     // mon_appexit's status
};

// Virtual time: what each access and each idle round costs, in OS-timer ticks.
constexpr uint64_t kAccessTicks = 1;
constexpr uint64_t kIdleTicks   = 16;
// A firmware that has only polled for kPollQuietAccesses accesses (reads
// that change nothing, of the OS timer and at least one other register; no
// write, no interrupt, no device event) is waiting for time to pass: its
// next read of the OS timer moves time on to the next device event, at most
// kPollStepTicks (0.1 ms) ahead. While it goes on polling it moves on again
// every kPollRepeatAccesses (about one pass of the main loop), so a deadline
// that the firmware keeps to itself is seen about one step late at most.
constexpr uint32_t kPollQuietAccesses  = 64;
constexpr uint32_t kPollRepeatAccesses = 16;
constexpr uint64_t kPollStepTicks      = 368;

// The host's monotonic clock and sleep, as real time uses them; tests put a
// simulated host in their place.
struct HostClock {
    int64_t (*nowNs)();
    void    (*sleepNs)(int64_t ns);
};

struct EnvVar {
    char name[32];
    char value[128];
};

class Board {
public:
    static constexpr int kEnvSlots = 48;

    // Creates the board in memory that child processes share; one board per process.
    static Board* Create(TimeMode mode);
    static void Destroy();
    static Board* Current() { return current_; }

    // Persistent state and configuration.
    bool OpenFlash(const char* path) { tfs_.Unmount(); return flash_.Open(path); }
    void CloseFlash() { tfs_.Unmount(); flash_.Close(); }
    Flash& flash() { return flash_; }
    Tfs& tfs() { return tfs_; }
    // The clock chip's memory and time mirrored in a file (beside the flash
    // file); a new file starts at `firstTime` (see RtcChip). In virtual time
    // the clock moves with board time only, also between runs.
    bool OpenClockMemory(const char* path, int64_t firstTime = RtcChip::kHostClock) {
        return rtcChip_.OpenMemoryFile(path, now_, firstTime, mode_ == TimeMode::Real);
    }
    bool SetFactoryEnv(const char* name, const char* value);

    // Power-on and board reset: devices to their reset state, monitor RAM cleared.
    void PowerOn();
    void Reset();

    // Time.
    uint64_t Now() const { return now_; }
    uint32_t Oscr() const { return osTimer_.Count(now_); }
    void SetRunEnd(uint64_t ticks);   // 0: no end
    TimeMode Mode() const { return mode_; }
    // From now on board time moves with the board's own work, held back to
    // the host clock (real) or not (virtual), going on from the present count.
    void SetTimeMode(TimeMode mode);
    // Virtual time only: move the OS-timer count (tests start near the wrap).
    void SetOscr(uint32_t value);
    // Real time: the host clock that board time may not pass, from now on
    // starting at the present board time.
    void SetHostClock(const HostClock& clock);

    // Firmware-facing operations (through hw.h, cpu.h, monitor.h).
    uint32_t Access(uint32_t addr, uint32_t value, int width, bool write);
    uint8_t* Memory(uint32_t addr, uint32_t len);
    void     Idle();
    // A wait that ends when the OS-timer count reaches `count`: time moves to
    // then or to the next device event, whichever comes first.
    void     IdleUntil(uint32_t count);
    uint32_t Cpsr() const { return cpsr_; }
    void     SetCpsr(uint32_t v);
    // Board time that passes inside a monitor call: no interrupts are taken.
    void     Spend(uint64_t ticks);
    // A device has work due at board time `at` (a write armed a match, started
    // a transfer or changed a rate): the next event is brought forward to it.
    void     Schedule(uint64_t at) { if (at < nextEvent_) nextEvent_ = at; }
    // Every device asked again for its next event (host input, resets).
    void     Reschedule();

    // Monitor.
    char*      GetEnv(const char* name);
    // The variables set since the monitor started (its RAM); their number.
    int        RamVariables(EnvVar* out, int max) const;
    // True once after power-on or a reset: the monitor's start-up file is due.
    bool       TakeStartupFileDue() { const bool due = startupFileDue_; startupFileDue_ = false; return due; }
    int        SetEnv(const char* name, const char* value);
    MonHandler Handler(int number) const { return (number >= 0 && number < 8) ? handlers_[number] : nullptr; }
    void       SetHandler(int number, MonHandler h);
    [[noreturn]] void Stop(StopReason reason, int status = 0);
    void       RequestStop(StopReason reason);   // taken at the end of the current access
    // The monitor's start-up after power-on or a reset: true while the TFS
    // file BOOTSTOP holds the application back (the board then idles in the monitor).
    bool StartupStopped();
    // After mon_appexit: idle in the monitor until the watchdog or the run end stops the board.
    [[noreturn]] void IdleInMonitor();
    StopReason LastStop() const { return lastStop_; }
    int        ExitStatus() const { return exitStatus_; }

    // Devices, for the host and tests.
    Gpio& gpio() { return gpio_; }
    HostEvents& hostEvents() { return hostEvents_; }
    OsTimer& osTimer() { return osTimer_; }
    InterruptController& intc() { return intc_; }
    Rtc& rtc() { return rtc_; }
    RtcChip& rtcChip() { return rtcChip_; }
    I2c& i2c() { return i2c_; }
    Display& display() { return display_; }
    Mmc& mmc() { return mmc_; }
    Uart& uart(int port);            // on-chip ports 0, 1, 3
    Ssp& ssp() { return ssp_; }
    Duart& duart() { return duart_; }   // channel A is port 2, B port 4
    AirAdc& airAdc() { return airAdc_; }
    EngineAdc& engineAdc() { return engineAdc_; }
    Ac97& ac97() { return ac97_; }
    Dma& dma() { return dma_; }
    Cs8900& cs8900() { return cs8900_; }
    // The host side of serial port 0..4.
    SerialLine& serialLine(int port);
    // Host input for a port, received at the port's pace; false when it does not fit.
    bool SerialInput(int port, const void* data, int n, uint8_t errors = 0);
    RegisterFile& misc() { return misc_; }
    uint32_t Cp15(uint32_t crn) const { return cp15_[crn & 15]; }
    void RecordCp15(uint32_t crn, uint32_t value) { cp15_[crn & 15] = value; }
    uint32_t IrqsTaken() const { return irqsTaken_; }
    bool InIrq() const { return inIrq_; }

    // Tests and the host: runs an installed handler as the processor would
    // on that exception (an injected fault).
    void RaiseException(int number);
    // The state the monitor gives each start of the application.
    void BeginApplication();

private:
    Board(TimeMode mode);
    // How a region's registers are reached, and what reading them does (for
    // the poll detector).
    enum RegionFlags : uint8_t {
        kReadsPure      = 1,   // a read changes nothing in the device
        kClock          = 2,   // the OS timer: where a poll waits for time
        kKeyedByAddress = 4,   // the register file: offsets are whole addresses
    };
    struct Region { uint32_t base, size; Device* dev; uint8_t flags; };
    // Accesses are routed by their megabyte: one region, none, or several to scan.
    static constexpr int kRouteSlots = 4096;
    static constexpr uint8_t kRouteScan = 0xFF;
    const Region* Route(uint32_t addr) const;
    const Region* RouteScan(uint32_t addr) const;
    void BuildRoutes();
    uint64_t AccessTicks(const Region& r, bool write);
    uint64_t PollStep();
    uint32_t AccessOther(uint32_t addr, uint32_t value, int width, bool write);
    // After each access: a stop asked for, then a pending interrupt.
    void AfterAccess() {
        if (pendingStop_ != StopReason::None) [[unlikely]] CheckStop();
        if (IrqDue()) [[unlikely]] TakeInterrupt();
    }
    void Unquiet() { quiet_ = 0; quietPolled_ = false; }
    void ResetAll();
    // Time moves by what the firmware does in both modes; real time only
    // holds it back so that it never runs ahead of the host clock.
    void Advance(uint64_t ticks) {
        now_ += ticks;
        if (mode_ == TimeMode::Real && now_ > hostSeen_) [[unlikely]] HoldBack();
        if (now_ >= nextEvent_) [[unlikely]] RunDue();
    }
    void Wait(uint64_t ticks);   // an idle stretch: real time sleeps through what is ahead of the host
    void StartHostClock();
    uint64_t HostTicks() const;  // the host clock in OS-timer ticks
    void HoldBack();             // real time: until the host clock reaches board time
    uint64_t HoldFor(uint64_t ticks);
    void HostPause(uint64_t ahead) const;
    void RunDue();
    bool IrqDue() const { return (intc_.Active() & irqGate_) != 0; }
    void UpdateIrqGate();
    void TakeInterrupt();
    void CheckStop();
    void LogUnclaimed(uint32_t addr, bool write);
    class IrqMode;

    static inline Board* current_ = nullptr;
    // What every access touches comes first, together.
    TimeMode mode_;
    uint64_t now_ = 0;
    uint64_t nextEvent_ = 0;
    uint64_t runEnd_ = 0;
    uint64_t hostSeen_ = 0;      // the host clock as last read: board time up to it needs no look
    int64_t  hostStartNs_ = 0;
    uint64_t hostStartTicks_ = 0;
    HostClock hostClock_;
    uint32_t cpsr_ = kCpsrIrqDisable | kCpsrFiqDisable;
    uint32_t cp15_[16]{};
    bool     inIrq_ = false;
    // All ones while an interrupt can be taken (IRQ bit clear, not in the
    // handler, a handler installed): one AND with the controller's word decides.
    uint32_t irqGate_ = 0;
    uint32_t quiet_ = 0;         // accesses since the firmware last did more than poll
    bool     quietPolled_ = false;   // ... among them a register other than the clock
    uint32_t irqsTaken_ = 0;
    StopReason pendingStop_ = StopReason::None;
    StopReason lastStop_ = StopReason::None;
    int      exitStatus_ = 0;
    static constexpr int kRegions = 20;
    Region regions_[kRegions + 1]{};    // 0 is empty: no address falls in it
    int regionCount_ = 0;
    uint8_t routes_[kRouteSlots]{};     // region index by megabyte, or kRouteScan

    InterruptController intc_;
    OsTimer osTimer_;
    Gpio gpio_;
    HostEvents hostEvents_;
    Rtc rtc_;
    Uart btUart_, stUart_, ffUart_;
    Duart duart_;
    AirAdc airAdc_;
    EngineAdc engineAdc_;
    Ssp ssp_;
    Display display_;
    RegisterFile misc_;
    RtcChip rtcChip_;
    I2c i2c_;
    Flash flash_;
    Tfs tfs_;
    Mmc mmc_;
    Ac97 ac97_;
    Dma dma_;
    Cs8900 cs8900_;
    // DMA-visible RAM (see dma.h); left as mapped, like RAM at power-on.
    alignas(16) uint8_t dmaRam_[kDmaRamBytes];
    Device* timed_[16]{};
    int timedCount_ = 0;

    MonHandler handlers_[8]{};
    EnvVar ram_[kEnvSlots]{};        // monitor RAM: variables set by mon_setenv
    bool startupFileDue_ = false;
    EnvVar factory_[kEnvSlots]{};    // factory variables, kept in flash on the target
    uint32_t unclaimed_[32]{};
    int unclaimedCount_ = 0;
};

// ---- the access path, inline where the accessors call it -----------------

inline const Board::Region* Board::Route(uint32_t addr) const {
    const uint8_t slot = routes_[addr >> 20];
    if (slot == kRouteScan) [[unlikely]] return RouteScan(addr);
    const Region& r = regions_[slot];
    return addr - r.base < r.size ? &r : nullptr;
}

// What an access costs in board time. A run of reads that change nothing is
// the firmware polling; once it is long enough, reading the clock is where
// the firmware waits, and time moves on (see kPollQuietAccesses).
inline uint64_t Board::AccessTicks(const Region& r, bool write) {
    if (write || !(r.flags & kReadsPure)) {
        Unquiet();
    } else if (!(r.flags & kClock)) {
        ++quiet_;
        quietPolled_ = true;
    } else if (quiet_ < kPollQuietAccesses || !quietPolled_ || inIrq_) {
        ++quiet_;
    } else {
        return PollStep();
    }
    return kAccessTicks;
}

// The path every register access takes; the rest is kept out of its way.
inline uint32_t Board::Access(uint32_t addr, uint32_t value, int width, bool write) {
    const Region* r = Route(addr);
    if (!r) [[unlikely]] return AccessOther(addr, value, width, write);
    Advance(AccessTicks(*r, write));
    const uint32_t offset = (r->flags & kKeyedByAddress) ? addr : addr - r->base;
    uint32_t result = 0;
    if (write) r->dev->Write(offset, value, width);
    else result = r->dev->Read(offset, width);
    AfterAccess();
    return result;
}


}  // namespace platform
