#include "platform/display.h"
#include "platform/board.h"

namespace platform {

bool Display::ReadyToFlip() const { return (board_.Now() % kFrameTicks) < kBlankTicks; }

uint32_t Display::Read(uint32_t offset, int) {
    if (offset == 0x3A) return (regs_[0x3A / 2] & ~0x80u) | (ReadyToFlip() ? 0x80u : 0u);
    return offset / 2 < 0x100 ? regs_[offset / 2] : 0;
}

void Display::Write(uint32_t offset, uint32_t value, int) {
    if (offset / 2 >= 0x100) return;
    uint16_t before = regs_[offset / 2];
    regs_[offset / 2] = static_cast<uint16_t>(value);
    // Control going from 16 to 17 latches the display start.
    if (offset == 0x14 && before == 16 && value == 17) {
        shownStart_ = regs_[0x42 / 2] | (static_cast<uint32_t>(regs_[0x44 / 2]) << 16);
        ++flips_;
    }
}

void Display::Reset() {
    for (uint16_t& r : regs_) r = 0;
    shownStart_ = 0;
    flips_ = 0;
    // Frame memory keeps what the monitor left in it.
}

}  // namespace platform
