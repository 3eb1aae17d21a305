// The battery-backed real-time clock chip on I2C address 0x68: BCD time
// registers 0..6 (bit 7 of the seconds halts the oscillator), a control
// register 7 and battery-backed memory in registers 8..63, reached through a
// register pointer that the first byte of a write sets and every byte moves
// on. The chip keeps time from the board's clock; its memory and time can be
// mirrored in a file so that they outlive the host program.
#pragma once
#include <climits>
#include <cstdint>

namespace platform {

class RtcChip {
public:
    static constexpr uint8_t kAddress = 0x68;
    static constexpr int kRegs = 64;
    enum class Battery { Good, DeadZeros, DeadOnes, DeadRandom };

    // I2C target side, with the board time in OS-timer ticks.
    bool    Start(bool read, uint64_t now);   // false: the chip does not answer
    void    WriteByte(uint8_t b, uint64_t now);
    uint8_t ReadByte(uint64_t now);
    void    Stop();
    bool    Silent() const { return silent_; }

    // Host and tests.
    void    SetSilent(bool silent) { silent_ = silent; }
    void    FailReads(int count) { failReads_ = count; }   // the next `count` reads go unanswered
    void    SetTime(int year, int month, int day, int dayOfWeek, int h, int m, int s, uint64_t now);
    void    SetFromHostClock(uint64_t now);   // the host's local time
    uint8_t Reg(int reg, uint64_t now);       // the register as a read would see it
    void    SetReg(int reg, uint8_t value, uint64_t now);
    // The battery ran flat: memory lost, oscillator halted at 2000-01-01.
    void    KillBattery(Battery mode, uint64_t now);
    // Mirrors the chip in a file: an existing file gives the memory and the
    // time; a new one takes `firstTime` (seconds since 1970, as broken-down
    // time), or the host's local time when that is kHostClock. With
    // `runsWithHost` the clock ran on while the host program was not
    // running; without it (virtual time) it goes on from where the last run
    // left it, so that it moves with board time only. False with errno on
    // failure.
    static constexpr int64_t kHostClock = INT64_MIN;
    bool    OpenMemoryFile(const char* path, uint64_t now, int64_t firstTime = kHostClock, bool runsWithHost = true);
    // The time of a new file: false unless "YYYY-MM-DDTHH:MM:SS" names a
    // time the chip can hold (years 2000..2099).
    static bool ParseTime(const char* text, int64_t* secs);
    void    CloseMemoryFile(uint64_t now);

private:
    struct Persist;
    void    Latch(uint64_t now);      // time registers from the running clock
    void    Rebase(uint64_t now);     // the running clock from the time registers
    void    Save(uint64_t now);
    uint8_t  regs_[kRegs]{};
    int64_t  secs_ = 0;               // the chip's time at baseTick_, seconds since 1970 as broken-down time
    uint64_t baseTick_ = 0;
    uint8_t  pointer_ = 0;
    bool     first_ = false;          // the next written byte sets the pointer
    bool     silent_ = false;
    int      failReads_ = 0;
    bool     initialised_ = false;
    Persist* file_ = nullptr;
};

}  // namespace platform
