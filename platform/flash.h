// NOR flash: 64 sectors of 128 KB backed by a host file; erased bytes are
// 0xFF and programming only clears bits.
#pragma once
#include <cstdint>

namespace platform {

constexpr uint32_t kFlashSectorBytes = 0x20000;
constexpr uint32_t kFlashSectorCount = 64;
constexpr uint32_t kFlashBytes = kFlashSectorBytes * kFlashSectorCount;

class Flash {
public:
    // Maps the file, creating it erased when missing; false with errno on failure.
    bool Open(const char* path);
    void Close();
    bool IsOpen() const { return data_ != nullptr; }
    uint8_t* Data() { return data_; }
    int  Erase(uint32_t sector);                                   // 0 or -1
    int  Program(uint32_t offset, const uint8_t* src, uint32_t n); // 0, or -1 when out of range or a bit would need setting
    // Tests: the operation after `ops` more is torn by a power cut (a write
    // keeps its first half, an erase reaches half the sector) and returns
    // kPowerCut; the caller stops the board. A negative count disarms.
    static constexpr int kPowerCut = -2;
    void ArmPowerCut(int32_t ops) { cutAfter_ = ops; }
    // Tests: the next `ops` operations fail (-1) and change nothing.
    void FailNext(int32_t ops) { failOps_ = ops; }
    // Durations of the operations in OS-timer ticks.
    static constexpr uint64_t kEraseTicks = 2580480;   // 0.7 s per sector
    static constexpr uint64_t kProgramTicksPer32 = 74; // 20 us per 32 bytes
private:
    int  Fault();   // 0, -1 or kPowerCut for the operation being made
    uint8_t* data_ = nullptr;
    int32_t cutAfter_ = -1;
    int32_t failOps_ = 0;
};

}  // namespace platform
