#include "platform/board.h"

#include <sys/mman.h>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>

namespace platform {

static Board* g_board = nullptr;

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

Board* Board::Create(TimeMode mode) {
    if (g_board) return nullptr;
    // Shared, so that the processes running the application see one board.
    void* mem = mmap(nullptr, sizeof(Board), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    if (mem == MAP_FAILED) return nullptr;
    g_board = new (mem) Board(mode);
    return g_board;
}

void Board::Destroy() {
    if (!g_board) return;
    g_board->CloseFlash();
    g_board->rtcChip_.CloseMemoryFile(g_board->now_);
    g_board->~Board();
    munmap(g_board, sizeof(Board));
    g_board = nullptr;
}

Board* Board::Current() { return g_board; }

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
    const Region map[] = {
        {0x0C000000, 0x100002, &display_},
        {0x40000000, kDmaBytes, &dma_},
        {0x40500000, kAc97Bytes, &ac97_},   // registers and, at 0x100000, the engine data port
        {0x40100000, 0x30, &ffUart_},
        {0x40200000, 0x30, &btUart_},
        {0x40700000, 0x30, &stUart_},
        {0x40900000, 0x10, &rtc_},
        {0x40A00000, 0x20, &osTimer_},
        {0x40301680, 0x28, &i2c_},
        {0x40B00000, 0x10, &misc_},     // PWM 0
        {0x40D00000, 0x18, &intc_},
        {0x40E00000, 0x6C, &gpio_},
        {0x40F00000, 0x40, &misc_},     // power manager
        {0x41100000, Mmc::kBytes, &mmc_},
        {0x41300000, 0x10, &misc_},     // clock manager
        {0x41400000, 0x30, &ssp_},
        {0x44000000, 0x100, &misc_},    // LCD controller
        {0x48000000, 0x80, &misc_},     // memory controller
        {Cs8900::kBase, Cs8900::kBytes, &cs8900_},
    };
    for (const Region& r : map) regions_[regionCount_++] = r;
    Device* timed[] = {&osTimer_, &rtc_, &gpio_, &btUart_, &stUart_, &ffUart_, &duart_, &mmc_, &hostEvents_, &dma_, &cs8900_};
    for (Device* d : timed) timed_[timedCount_++] = d;
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
    for (int i = 0; i < regionCount_; ++i) regions_[i].dev->Reset();
    duart_.Reset();
    std::memset(ram_, 0, sizeof ram_);
    startupFileDue_ = true;
    tfs_.Unmount();
    std::memset(handlers_, 0, sizeof handlers_);
    std::memset(cp15_, 0, sizeof cp15_);
    cpsr_ = kCpsrIrqDisable | kCpsrFiqDisable;
    inIrq_ = false;
    pendingStop_ = StopReason::None;
    rtc_.Start(now_);
    Reschedule();
}

// ---- time ---------------------------------------------------------------------

void Board::SetOscr(uint32_t value) {
    uint32_t offset = 0;
    Device* d = Route(0x40A00010, &offset);
    d->Write(offset, value, 4);
    Reschedule();
}

void Board::Sync() {
    uint64_t host = static_cast<uint64_t>(HostNs() - hostStartNs_);
    uint64_t t = hostStartTicks_ + host * kOsTimerHz / 1000000000ull;
    if (t > now_) now_ = t;
}

void Board::Advance(uint64_t ticks) {
    if (mode_ == TimeMode::Virtual) now_ += ticks;
    else Sync();
    if (now_ >= nextEvent_) RunDue();
    if (runEnd_ && now_ >= runEnd_ && pendingStop_ == StopReason::None) pendingStop_ = StopReason::RunEnd;
}

void Board::RunDue() {
    for (int i = 0; i < timedCount_; ++i) timed_[i]->Advance(now_);
    Reschedule();
}

void Board::Reschedule() {
    uint64_t next = UINT64_MAX;
    for (int i = 0; i < timedCount_; ++i) {
        uint64_t t = timed_[i]->NextEvent(now_);
        if (t < next) next = t;
    }
    nextEvent_ = next;
}

void Board::Spend(uint64_t ticks) {
    if (mode_ == TimeMode::Real) {
        timespec ts{static_cast<time_t>(ticks / kOsTimerHz),
                    static_cast<long>((ticks % kOsTimerHz) * 1000000000ull / kOsTimerHz)};
        nanosleep(&ts, nullptr);
    }
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

Device* Board::Route(uint32_t addr, uint32_t* offset) {
    for (int i = 0; i < regionCount_; ++i) {
        const Region& r = regions_[i];
        if (addr - r.base < r.size) {
            // The register file keeps several small blocks: it is keyed by address.
            *offset = (r.dev == &misc_) ? addr : addr - r.base;
            return r.dev;
        }
    }
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

uint32_t Board::Access(uint32_t addr, uint32_t value, int width, bool write) {
    Advance(kAccessTicks);
    uint32_t result = 0;
    uint32_t offset = 0;
    if (Device* d = Route(addr, &offset)) {
        if (write) {
            d->Write(offset, value, width);
            Reschedule();
        } else {
            result = d->Read(offset, width);
        }
    } else if (uint8_t* mem = Memory(addr, static_cast<uint32_t>(width))) {
        // Memory reached through the accessors: little-endian bytes; flash is read-only here.
        if (write && addr >= kFlashBytes) std::memcpy(mem, &value, static_cast<size_t>(width));
        else if (!write) std::memcpy(&result, mem, static_cast<size_t>(width));
    } else {
        LogUnclaimed(addr, write);
    }
    CheckStop();
    TakeInterrupt();
    return result;
}

void Board::Idle() {
    Advance(kIdleTicks);
    CheckStop();
    TakeInterrupt();
}

void Board::SetCpsr(uint32_t v) {
    cpsr_ = v;
    TakeInterrupt();
}

namespace {
// Leaves IRQ mode however the handler ends, as the exception return would.
struct IrqMode {
    bool& inIrq;
    uint32_t& cpsr;
    uint32_t saved;
    IrqMode(bool& in, uint32_t& c) : inIrq(in), cpsr(c), saved(c) {
        inIrq = true;
        cpsr |= kCpsrIrqDisable;
    }
    ~IrqMode() {
        cpsr = saved;
        inIrq = false;
    }
};
}  // namespace

void Board::TakeInterrupt() {
    if (inIrq_ || (cpsr_ & kCpsrIrqDisable) || !intc_.IrqAsserted() || !handlers_[kMonIrq]) return;
    IrqMode mode(inIrq_, cpsr_);
    ++irqsTaken_;
    handlers_[kMonIrq]();
}

void Board::RaiseException(int number) {
    MonHandler h = Handler(number);
    if (!h) return;
    if (number == kMonIrq) {
        IrqMode mode(inIrq_, cpsr_);
        h();
        return;
    }
    // Every exception entry disables IRQs; FIQ entry disables FIQs too.
    uint32_t saved = cpsr_;
    cpsr_ |= kCpsrIrqDisable | (number == kMonFiq ? kCpsrFiqDisable : 0);
    h();
    cpsr_ = saved;
}

void Board::BeginApplication() {
    // The monitor enters the application with interrupts disabled.
    cpsr_ = kCpsrIrqDisable | kCpsrFiqDisable;
    inIrq_ = false;
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

void Board::IdleInMonitor() {
    // The monitor takes no application interrupts; only time and the watchdog go on.
    std::memset(handlers_, 0, sizeof handlers_);
    for (;;) {
        Advance(mode_ == TimeMode::Virtual ? 3686 : 0);
        if (mode_ == TimeMode::Real) {
            timespec ts{0, 1000000};
            nanosleep(&ts, nullptr);
        }
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
