#include "platform/rtcchip.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/ostimer.h"

namespace platform {

// The file beside the flash file: the memory and the clock's offset from the
// host clock, so that the clock runs on between runs.
struct RtcChip::Persist {
    uint32_t magic;
    uint32_t spare;
    int64_t  offsetFromHost;   // chip seconds minus host local seconds
    uint8_t  regs[kRegs];
};
constexpr uint32_t kPersistMagic = 0x31435452;

constexpr uint8_t kHalt = 0x80;

static uint8_t ToBcd(int v) { return static_cast<uint8_t>((v / 10) << 4 | (v % 10)); }
static int FromBcd(uint8_t v) { return (v >> 4) * 10 + (v & 15); }

static int64_t HostLocalSeconds() {
    time_t t = time(nullptr);
    tm local{};
    localtime_r(&t, &local);
    return static_cast<int64_t>(timegm(&local));
}

void RtcChip::Latch(uint64_t now) {
    if (!initialised_) SetTime(2015, 1, 1, 5, 0, 0, 0, now);
    if (regs_[0] & kHalt) return;
    int64_t elapsed = static_cast<int64_t>((now - baseTick_) / kOsTimerHz);
    time_t t = static_cast<time_t>(secs_ + elapsed);
    tm c{};
    gmtime_r(&t, &c);
    int days = static_cast<int>((secs_ + elapsed) / 86400 - secs_ / 86400);
    regs_[0] = ToBcd(c.tm_sec);
    regs_[1] = ToBcd(c.tm_min);
    regs_[2] = ToBcd(c.tm_hour);
    regs_[4] = ToBcd(c.tm_mday);
    regs_[5] = ToBcd(c.tm_mon + 1);
    regs_[6] = ToBcd(c.tm_year % 100);
    // The weekday is a counter of its own, moved on at each midnight.
    int dow = (regs_[3] & 7) ? (regs_[3] & 7) : 1;
    regs_[3] = static_cast<uint8_t>((dow - 1 + days) % 7 + 1);
    secs_ += elapsed;
    baseTick_ += static_cast<uint64_t>(elapsed) * kOsTimerHz;
}

void RtcChip::Rebase(uint64_t now) {
    tm c{};
    c.tm_sec = FromBcd(regs_[0] & 0x7F);
    c.tm_min = FromBcd(regs_[1] & 0x7F);
    c.tm_hour = FromBcd(regs_[2] & 0x3F);
    c.tm_mday = FromBcd(regs_[4] & 0x3F);
    c.tm_mon = FromBcd(regs_[5] & 0x1F) - 1;
    c.tm_year = FromBcd(regs_[6]) + 100;
    secs_ = static_cast<int64_t>(timegm(&c));
    baseTick_ = now;
}

void RtcChip::Save(uint64_t now) {
    if (!file_) return;
    Latch(now);
    std::memcpy(file_->regs, regs_, kRegs);
    file_->offsetFromHost = secs_ - HostLocalSeconds();
}

void RtcChip::SetTime(int year, int month, int day, int dayOfWeek, int h, int m, int s, uint64_t now) {
    initialised_ = true;
    regs_[0] = ToBcd(s);
    regs_[1] = ToBcd(m);
    regs_[2] = ToBcd(h);
    regs_[3] = static_cast<uint8_t>(dayOfWeek);
    regs_[4] = ToBcd(day);
    regs_[5] = ToBcd(month);
    regs_[6] = ToBcd(year % 100);
    Rebase(now);
    Save(now);
}

// Broken-down time of `secs` as the chip's registers: weekday 1 is Sunday.
static void SetFromSeconds(RtcChip& chip, int64_t secs, uint64_t now) {
    const time_t t = static_cast<time_t>(secs);
    tm c{};
    gmtime_r(&t, &c);
    chip.SetTime(c.tm_year + 1900, c.tm_mon + 1, c.tm_mday, c.tm_wday + 1, c.tm_hour, c.tm_min, c.tm_sec, now);
}

void RtcChip::SetFromHostClock(uint64_t now) { SetFromSeconds(*this, HostLocalSeconds(), now); }

bool RtcChip::ParseTime(const char* text, int64_t* secs) {
    int year = 0, month = 0, day = 0, h = 0, m = 0, s = 0, used = 0;
    if (std::sscanf(text, "%4d-%2d-%2dT%2d:%2d:%2d%n", &year, &month, &day, &h, &m, &s, &used) != 6 ||
        text[used] != '\0' || used != 19)
        return false;
    if (year < 2000 || year > 2099 || month < 1 || month > 12 || day < 1 || h > 23 || m > 59 || s > 59 || h < 0 ||
        m < 0 || s < 0)
        return false;
    tm c{};
    c.tm_year = year - 1900;
    c.tm_mon = month - 1;
    c.tm_mday = day;
    c.tm_hour = h;
    c.tm_min = m;
    c.tm_sec = s;
    const time_t t = timegm(&c);
    tm back{};
    gmtime_r(&t, &back);
    if (back.tm_mday != day) return false;   // 31 April, 29 February of a common year
    *secs = static_cast<int64_t>(t);
    return true;
}

uint8_t RtcChip::Reg(int reg, uint64_t now) {
    if (reg < 0 || reg >= kRegs) return 0;
    if (reg < 7) Latch(now);
    return regs_[reg];
}

void RtcChip::SetReg(int reg, uint8_t value, uint64_t now) {
    if (reg < 0 || reg >= kRegs) return;
    if (reg < 7) {
        Latch(now);
        regs_[reg] = value;
        Rebase(now);
    } else {
        if (!initialised_) Latch(now);
        regs_[reg] = value;
    }
    Save(now);
}

void RtcChip::KillBattery(Battery mode, uint64_t now) {
    uint32_t seed = 0x2545F491;
    for (int r = 8; r < kRegs; ++r) {
        seed = seed * 1103515245u + 12345u;
        regs_[r] = mode == Battery::DeadZeros ? 0x00 : mode == Battery::DeadOnes ? 0xFF : static_cast<uint8_t>(seed >> 16);
    }
    SetTime(2000, 1, 1, 1, 0, 0, 0, now);
    regs_[0] = kHalt;
    Save(now);
}

bool RtcChip::Start(bool read, uint64_t now) {
    if (silent_) return false;
    if (read && failReads_ > 0) {
        --failReads_;
        return false;
    }
    first_ = !read;
    if (read) Latch(now);
    return true;
}

void RtcChip::WriteByte(uint8_t b, uint64_t now) {
    if (first_) {
        first_ = false;
        pointer_ = static_cast<uint8_t>(b % kRegs);
        Latch(now);   // a time read that follows sees the time of this moment
        return;
    }
    SetReg(pointer_, b, now);
    pointer_ = static_cast<uint8_t>((pointer_ + 1) % kRegs);
}

uint8_t RtcChip::ReadByte(uint64_t now) {
    (void)now;
    uint8_t v = regs_[pointer_];   // time registers were latched at the start
    pointer_ = static_cast<uint8_t>((pointer_ + 1) % kRegs);
    return v;
}

void RtcChip::Stop() { first_ = false; }

bool RtcChip::OpenMemoryFile(const char* path, uint64_t now, int64_t firstTime, bool runsWithHost) {
    CloseMemoryFile(now);
    int fd = open(path, O_RDWR | O_CREAT, 0644);
    if (fd < 0) return false;
    struct stat st{};
    bool fresh = fstat(fd, &st) == 0 && st.st_size == 0;
    if ((!fresh && st.st_size != static_cast<off_t>(sizeof(Persist))) || (fresh && ftruncate(fd, sizeof(Persist)) != 0)) {
        close(fd);
        errno = fresh ? errno : EINVAL;
        return false;
    }
    void* m = mmap(nullptr, sizeof(Persist), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (m == MAP_FAILED) return false;
    Persist* p = static_cast<Persist*>(m);
    if (fresh || p->magic != kPersistMagic) {
        std::memset(p, 0, sizeof *p);
        p->magic = kPersistMagic;
        file_ = p;
        std::memset(regs_ + 8, 0, kRegs - 8);
        if (firstTime == kHostClock) SetFromHostClock(now);
        else SetFromSeconds(*this, firstTime, now);
        return true;
    }
    std::memcpy(regs_, p->regs, kRegs);
    initialised_ = true;
    Rebase(now);
    if (runsWithHost && !(regs_[0] & kHalt)) {
        // The clock ran on while the host program was not running.
        int64_t target = HostLocalSeconds() + p->offsetFromHost;
        int days = static_cast<int>(target / 86400 - secs_ / 86400);
        int dow = (regs_[3] & 7) ? (regs_[3] & 7) : 1;
        regs_[3] = static_cast<uint8_t>(((dow - 1 + days) % 7 + 7) % 7 + 1);
        secs_ = target;
    }
    file_ = p;
    Save(now);
    return true;
}

void RtcChip::CloseMemoryFile(uint64_t now) {
    if (!file_) return;
    Save(now);
    msync(file_, sizeof(Persist), MS_SYNC);
    munmap(file_, sizeof(Persist));
    file_ = nullptr;
}

}  // namespace platform
