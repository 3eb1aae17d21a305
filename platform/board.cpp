#include "platform/board.h"

#include <sys/mman.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

namespace platform {


const char* StopReasonName(StopReason r) {
    switch (r) {
    case StopReason::None:          return "none";
    case StopReason::AppRestart:    return "application restart";
    case StopReason::AppExit:       return "return to the monitor";
    case StopReason::WatchdogReset: return "watchdog reset";
    case StopReason::PowerOff:      return "power off";
    case StopReason::RunEnd:        return "end of run";
    }
    return "?";
}

static int64_t HostNs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

static void HostSleepNs(int64_t ns) {
    timespec ts{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
    nanosleep(&ts, nullptr);
}

Board* Board::Create(TimeMode mode) {
    if (current_) return nullptr;
    // Shared, so that the processes running the application see one board.
    void* mem = mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED) return nullptr;
    current_ = new (mem) Board(mode);
    return current_;
}

void Board::Destroy() {
    if (!current_) return;
    current_->CloseFlash();
    current_->rtcChip_.CloseMemoryFile(current_->now_);
    current_->~Board();
    munmap(current_, sizeof(Board));
    current_ = nullptr;
}

Board::Board(TimeMode mode)
    : mode_(mode),
      osTimer_(*this, intc_),
      gpio_(*this, intc_),
      hostEvents_(*this),
      rtc_(intc_),
      btUart_(*this, intc_, kIrqBtUart),
      stUart_(*this, intc_, kIrqStUart),
      ffUart_(*this, intc_, kIrqFfUart),
      duart_(*this),
      ssp_(gpio_, duart_, airAdc_, engineAdc_),
      display_(*this),
      i2c_(*this, intc_, rtcChip_),
      tfs_(*this),
      mmc_(*this, gpio_),
      ac97_(*this),
      dma_(*this, ac97_),
      cs8900_(*this) {
    constexpr uint8_t kPure = kReadsPure, kMisc = kReadsPure | kKeyedByAddress;
    const Region map[] = {
        {0x0C000000, 0x100002, &display_, kPure},
        {0x40000000, kDmaBytes, &dma_, 0},
        {0x40500000, kAc97Bytes, &ac97_, 0},   // registers and, at 0x100000, the engine data port
        {0x40100000, 0x30, &ffUart_, 0},
        {0x40200000, 0x30, &btUart_, 0},
        {0x40700000, 0x30, &stUart_, 0},
        {0x40900000, 0x10, &rtc_, kPure},
        {0x40A00000, 0x20, &osTimer_, kPure | kClock},
        {0x40301680, 0x28, &i2c_, 0},
        {0x40B00000, 0x10, &misc_, kMisc},     // PWM 0
        {0x40D00000, 0x18, &intc_, kPure},
        {0x40E00000, 0x6C, &gpio_, kPure},
        {0x40F00000, 0x40, &misc_, kMisc},     // power manager
        {0x41100000, Mmc::kBytes, &mmc_, 0},
        {0x41300000, 0x10, &misc_, kMisc},     // clock manager
        {0x41400000, 0x30, &ssp_, 0},
        {0x44000000, 0x100, &misc_, kMisc},    // LCD controller
        {0x48000000, 0x80, &misc_, kMisc},     // memory controller
        {Cs8900::kBase, Cs8900::kBytes, &cs8900_, 0},
    };
    for (const Region& r : map) regions_[++regionCount_] = r;
    BuildRoutes();
    Device* timed[] = {&osTimer_, &rtc_,   &gpio_,       &btUart_, &stUart_, &ffUart_,  &duart_,
                       &mmc_,     &hostEvents_, &dma_,   &cs8900_, &display_};
    for (Device* d : timed) timed_[timedCount_++] = d;
    hostClock_ = HostClock{HostNs, HostSleepNs};
    hostStartNs_ = HostNs();
    airAdc_.Reset();
    engineAdc_.Reset();
    const char* defaults[][2] = {
        {"SERIALNUM", "51000001"}, {"ETHERADD", "00:50:c2:51:00:01"}, {"IPADD", "192.168.0.51"},
        {"MONITORBUILT", "Nov 12 2015"}, {"BASEBOARDREV", "C"}, {"BASEBOARDSN", "B0001"},
        {"ENGINEBOARDSN", "E0001"}, {"AHRSSERIALNUM", "A0001"},
    };
    for (auto& d : defaults) SetFactoryEnv(d[0], d[1]);
}

// ---- environment ----------------------------------------------------------

static EnvVar* FindVar(EnvVar* table, int n, const char* name) {
    for (int i = 0; i < n; ++i)
        if (table[i].name[0] && std::strcmp(table[i].name, name) == 0) return &table[i];
    return nullptr;
}

static int PutVar(EnvVar* table, int n, const char* name, const char* value) {
    if (!name || !name[0] || std::strlen(name) >= sizeof(EnvVar::name)) return -1;
    EnvVar* v = FindVar(table, n, name);
    if (!value) {
        if (v) v->name[0] = 0;
        return 0;
    }
    if (std::strlen(value) >= sizeof(EnvVar::value)) return -1;
    if (!v) v = FindVar(table, n, "");
    for (int i = 0; !v && i < n; ++i)
        if (!table[i].name[0]) v = &table[i];
    if (!v) return -1;
    std::snprintf(v->name, sizeof v->name, "%s", name);
    std::snprintf(v->value, sizeof v->value, "%s", value);
    return 0;
}

bool Board::SetFactoryEnv(const char* name, const char* value) {
    return PutVar(factory_, kEnvSlots, name, value) == 0;
}

char* Board::GetEnv(const char* name) {
    if (!name) return nullptr;
    EnvVar* v = FindVar(ram_, kEnvSlots, name);
    if (!v) v = FindVar(factory_, kEnvSlots, name);
    return v ? v->value : nullptr;
}

int Board::SetEnv(const char* name, const char* value) { return PutVar(ram_, kEnvSlots, name, value); }

int Board::RamVariables(EnvVar* out, int max) const {
    int n = 0;
    for (const EnvVar& v : ram_) {
        if (v.name[0] && n < max) out[n++] = v;
    }
    return n;
}

// ---- power and reset --------------------------------------------------------

void Board::PowerOn() {
    gpio_.PowerOn();
    ResetAll();
}

void Board::Reset() {
    // Buttons held at power-on are let go by the time the board resets.
    gpio_.ReleaseHolds();
    ResetAll();
}

void Board::ResetAll() {
    for (int i = 1; i <= regionCount_; ++i) regions_[i].dev->Reset();
    duart_.Reset();
    std::memset(ram_, 0, sizeof ram_);
    startupFileDue_ = true;
    tfs_.Unmount();
    std::memset(handlers_, 0, sizeof handlers_);
    std::memset(cp15_, 0, sizeof cp15_);
    cpsr_ = kCpsrIrqDisable | kCpsrFiqDisable;
    inIrq_ = false;
    UpdateIrqGate();
    Unquiet();
    pendingStop_ = StopReason::None;
    rtc_.Start(now_);
    Reschedule();
}

// ---- time ---------------------------------------------------------------------

void Board::SetRunEnd(uint64_t ticks) {
    runEnd_ = ticks;
    Reschedule();
}

void Board::SetOscr(uint32_t value) {
    osTimer_.Write(0x10, value, 4);
    Reschedule();
}

void Board::SetTimeMode(TimeMode mode) {
    if (mode == mode_) return;
    if (mode == TimeMode::Real) StartHostClock();
    mode_ = mode;
}

void Board::SetHostClock(const HostClock& clock) {
    hostClock_ = clock;
    StartHostClock();
}

// The host clock counts from the present board time on.
void Board::StartHostClock() {
    hostStartNs_ = hostClock_.nowNs();
    hostStartTicks_ = now_;
    hostSeen_ = now_;
}

// In two steps, so that a long run does not overflow the product.
uint64_t Board::HostTicks() const {
    const int64_t ns = hostClock_.nowNs() - hostStartNs_;
    const uint64_t n = ns > 0 ? static_cast<uint64_t>(ns) : 0;
    constexpr uint64_t kNsPerSecond = 1000000000;
    return hostStartTicks_ + n / kNsPerSecond * kOsTimerHz + n % kNsPerSecond * kOsTimerHz / kNsPerSecond;
}

// A short hold spins, as a host sleep would overshoot it; a long one sleeps
// in slices, so that host input is seen soon.
void Board::HostPause(uint64_t ahead) const {
    constexpr uint64_t kSpinTicks = kOsTimerHz / 50000;   // 20 us
    constexpr uint64_t kSliceTicks = kOsTimerHz / 1000;
    if (ahead < kSpinTicks) return;
    const uint64_t t = ahead < kSliceTicks ? ahead : kSliceTicks;
    hostClock_.sleepNs(static_cast<int64_t>(t * 1000000000ull / kOsTimerHz));
}

// Board time never passes the host clock: the board waits for it. A host
// stall leaves board time behind instead, and what the firmware does next
// catches up without waiting, event by event, never by a jump.
void Board::HoldBack() {
    for (;;) {
        hostSeen_ = HostTicks();
        if (now_ <= hostSeen_) break;
        HostPause(now_ - hostSeen_);
    }
    // The window's input arrives from the host process at any time.
    Schedule(hostEvents_.NextEvent(now_));
}

// Real time: an idle wait of `ticks` sleeps for the part of it that lies
// ahead of the host clock, none while board time lags. Host input that falls
// due meanwhile ends it early; the wait's length is returned.
uint64_t Board::HoldFor(uint64_t ticks) {
    for (;;) {
        Schedule(hostEvents_.NextEvent(now_));
        if (nextEvent_ < now_ + ticks) ticks = nextEvent_ > now_ ? nextEvent_ - now_ : kAccessTicks;
        hostSeen_ = HostTicks();
        if (now_ + ticks <= hostSeen_) return ticks;
        HostPause(now_ + ticks - hostSeen_);
    }
}

void Board::Wait(uint64_t ticks) {
    if (mode_ == TimeMode::Real) ticks = HoldFor(ticks);
    Advance(ticks);
}

void Board::RunDue() {
    Unquiet();
    for (int i = 0; i < timedCount_; ++i) timed_[i]->Advance(now_);
    if (runEnd_ && now_ >= runEnd_ && pendingStop_ == StopReason::None) pendingStop_ = StopReason::RunEnd;
    Reschedule();
}

void Board::Reschedule() {
    uint64_t next = runEnd_ ? runEnd_ : UINT64_MAX;
    for (int i = 0; i < timedCount_; ++i) {
        uint64_t t = timed_[i]->NextEvent(now_);
        if (t < next) next = t;
    }
    nextEvent_ = next;
}

void Board::Spend(uint64_t ticks) {
    Unquiet();
    // In steps shorter than the count's wrap, so that no match is passed over.
    constexpr uint64_t kStep = 1ull << 30;
    for (; ticks > kStep; ticks -= kStep) {
        Advance(kStep);
        CheckStop();
    }
    Advance(ticks);
    CheckStop();
}

// ---- access and interrupts ---------------------------------------------------

// Region 0 is empty: a megabyte without registers routes to it and misses.
void Board::BuildRoutes() {
    std::memset(routes_, 0, sizeof routes_);
    for (int i = 1; i <= regionCount_; ++i) {
        const Region& r = regions_[i];
        const uint32_t first = r.base >> 20, last = (r.base + (r.size - 1)) >> 20;
        for (uint32_t mb = first; mb <= last; ++mb) {
            uint8_t& slot = routes_[mb];
            slot = (slot == 0) ? static_cast<uint8_t>(i) : kRouteScan;
        }
    }
}

const Board::Region* Board::RouteScan(uint32_t addr) const {
    for (int i = 1; i <= regionCount_; ++i)
        if (addr - regions_[i].base < regions_[i].size) return &regions_[i];
    return nullptr;
}

uint8_t* Board::Memory(uint32_t addr, uint32_t len) {
    if (flash_.IsOpen() && addr < kFlashBytes && len <= kFlashBytes - addr) return flash_.Data() + addr;
    constexpr uint32_t kFrameBase = 0x0C200000;
    if (addr - kFrameBase < kFrameBytes && len <= kFrameBytes - (addr - kFrameBase))
        return display_.Memory() + (addr - kFrameBase);
    if (addr - kDmaRamBase < kDmaRamBytes && len <= kDmaRamBytes - (addr - kDmaRamBase))
        return dmaRam_ + (addr - kDmaRamBase);
    return nullptr;
}

void Board::LogUnclaimed(uint32_t addr, bool write) {
    for (int i = 0; i < unclaimedCount_; ++i)
        if (unclaimed_[i] == addr) return;
    if (unclaimedCount_ < 32) unclaimed_[unclaimedCount_++] = addr;
    std::fprintf(stderr, "board: unclaimed %s at 0x%08x\n", write ? "write" : "read", addr);
}

[[gnu::noinline]] uint64_t Board::PollStep() {
    // Polling goes on: the next step comes after about one more pass.
    quiet_ = kPollQuietAccesses - kPollRepeatAccesses;
    uint64_t ticks = kPollStepTicks;
    if (nextEvent_ > now_ && nextEvent_ - now_ < ticks) ticks = nextEvent_ - now_;
    if (ticks < kAccessTicks) ticks = kAccessTicks;
    return ticks;
}

// Memory reached through the accessors (little-endian bytes; flash is
// read-only here), or an address nothing claims.
uint32_t Board::AccessOther(uint32_t addr, uint32_t value, int width, bool write) {
    Unquiet();
    Advance(kAccessTicks);
    uint32_t result = 0;
    if (uint8_t* mem = Memory(addr, static_cast<uint32_t>(width))) {
        if (write && addr >= kFlashBytes) std::memcpy(mem, &value, static_cast<size_t>(width));
        else if (!write) std::memcpy(&result, mem, static_cast<size_t>(width));
    } else {
        LogUnclaimed(addr, write);
    }
    AfterAccess();
    return result;
}

void Board::Idle() {
    Unquiet();
    Advance(kIdleTicks);
    CheckStop();
    if (IrqDue()) TakeInterrupt();
}

void Board::IdleUntil(uint32_t count) {
    Unquiet();
    // A count already reached (or passed: more than half the count's range
    // away) ends the wait at once; time still moves on by one access.
    const uint32_t left = count - Oscr();
    uint64_t ticks = (left == 0 || left > 0x80000000u) ? kAccessTicks : left;
    if (nextEvent_ > now_ && nextEvent_ - now_ < ticks) ticks = nextEvent_ - now_;
    Wait(ticks);
    CheckStop();
    if (IrqDue()) TakeInterrupt();
}

void Board::SetCpsr(uint32_t v) {
    cpsr_ = v;
    Unquiet();
    UpdateIrqGate();
    if (IrqDue()) TakeInterrupt();
}

void Board::SetHandler(int number, MonHandler h) {
    if (number < 0 || number >= 8) return;
    handlers_[number] = h;
    UpdateIrqGate();
}

void Board::UpdateIrqGate() {
    const bool open = !inIrq_ && !(cpsr_ & kCpsrIrqDisable) && handlers_[kMonIrq];
    irqGate_ = open ? ~0u : 0u;
}

// Leaves IRQ mode however the handler ends, as the exception return would.
class Board::IrqMode {
public:
    explicit IrqMode(Board& b) : board_(b), saved_(b.cpsr_) {
        board_.inIrq_ = true;
        board_.cpsr_ |= kCpsrIrqDisable;
        board_.Unquiet();
        board_.UpdateIrqGate();
    }
    ~IrqMode() {
        board_.cpsr_ = saved_;
        board_.inIrq_ = false;
        board_.UpdateIrqGate();
    }
    IrqMode(const IrqMode&) = delete;
    IrqMode& operator=(const IrqMode&) = delete;
private:
    Board& board_;
    uint32_t saved_;
};

void Board::TakeInterrupt() {
    if (!IrqDue()) return;
    IrqMode mode(*this);
    ++irqsTaken_;
    handlers_[kMonIrq]();
}

void Board::RaiseException(int number) {
    MonHandler h = Handler(number);
    if (!h) return;
    if (number == kMonIrq) {
        IrqMode mode(*this);
        h();
        return;
    }
    // Every exception entry disables IRQs; FIQ entry disables FIQs too.
    uint32_t saved = cpsr_;
    cpsr_ |= kCpsrIrqDisable | (number == kMonFiq ? kCpsrFiqDisable : 0);
    UpdateIrqGate();
    h();
    cpsr_ = saved;
    UpdateIrqGate();
}

void Board::BeginApplication() {
    // The monitor enters the application with interrupts disabled.
    cpsr_ = kCpsrIrqDisable | kCpsrFiqDisable;
    inIrq_ = false;
    UpdateIrqGate();
    Unquiet();
    pendingStop_ = StopReason::None;
}

void Board::RequestStop(StopReason reason) {
    if (pendingStop_ == StopReason::None) pendingStop_ = reason;
}

void Board::CheckStop() {
    if (pendingStop_ == StopReason::None) return;
    StopReason r = pendingStop_;
    pendingStop_ = StopReason::None;
    Stop(r);
}

void Board::Stop(StopReason reason, int status) {
    lastStop_ = reason;
    exitStatus_ = status;
    throw BoardStop{reason, status};
}

bool Board::StartupStopped() {
    TfsFileInfo info{};
    return tfs_.Stat("BOOTSTOP", &info) == 0;
}

void Board::IdleInMonitor() {
    // The monitor takes no application interrupts; only time and the watchdog go on.
    std::memset(handlers_, 0, sizeof handlers_);
    UpdateIrqGate();
    for (;;) {
        // Nothing runs between device events: straight on to the next one.
        uint64_t ticks = kOsTimerHz / 1000;
        if (mode_ == TimeMode::Virtual && nextEvent_ > now_) ticks = nextEvent_ - now_;
        if (ticks > kOsTimerHz) ticks = kOsTimerHz;
        Wait(ticks);
        CheckStop();
    }
}

Uart& Board::uart(int port) {
    if (port == 0) return btUart_;
    if (port == 3) return ffUart_;
    return stUart_;
}

SerialLine& Board::serialLine(int port) {
    if (port == 2) return duart_.line(0);
    if (port == 4) return duart_.line(1);
    return uart(port).line();
}

bool Board::SerialInput(int port, const void* data, int n, uint8_t errors) {
    if (port < 0 || port > 4) return false;
    if (!serialLine(port).Push(static_cast<const uint8_t*>(data), n, errors)) return false;
    if (port == 2 || port == 4) duart_.Wake(port == 4);
    else uart(port).Wake();
    Reschedule();
    return true;
}

}  // namespace platform
