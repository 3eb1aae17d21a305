// External display controller: 16-bit registers at 0x0C000000 and frame
// memory at 0x0C200000 (640 x 1638 bytes, 8 bits per pixel). For now the
// page-flip registers; the 2D engine and palette come with the graphics.
#pragma once
#include "platform/device.h"

namespace platform {

class Board;

constexpr uint32_t kFrameWidth  = 640;
constexpr uint32_t kFrameHeight = 1638;
constexpr uint32_t kFrameBytes  = kFrameWidth * kFrameHeight;

class Display final : public Device {
public:
    explicit Display(const Board& board) : board_(board) {}
    // Offsets: control 0x14 (16 then 17 latches the start), status 0x3A (bit 7 ready
    // to flip), start low 0x42 / high 0x44 in 16-bit words
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;

    // 60 Hz refresh; ready to flip during the vertical blank of each frame.
    static constexpr uint32_t kFrameTicks = 61440;
    static constexpr uint32_t kBlankTicks = 5530;      // 1.5 ms
    bool ReadyToFlip() const;
    uint32_t ShownStartBytes() const { return shownStart_ * 2; }
    uint32_t Flips() const { return flips_; }
    uint8_t* Memory() { return memory_; }
private:
    const Board& board_;
    uint16_t regs_[0x100]{};
    uint32_t shownStart_ = 0;    // latched display start, 16-bit words
    uint32_t flips_ = 0;
    uint8_t  memory_[kFrameBytes]{};
};

}  // namespace platform
