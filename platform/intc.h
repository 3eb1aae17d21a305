// Interrupt controller: level-style sources, a mask, all routed to IRQ.
#pragma once
#include "platform/device.h"

namespace platform {

// Source bits used on this board.
constexpr uint32_t kIrqGpio0    = 8;
constexpr uint32_t kIrqGpio1    = 9;
constexpr uint32_t kIrqGpioX    = 10;   // GPIO 2..80
constexpr uint32_t kIrqI2c      = 18;
constexpr uint32_t kIrqStUart   = 20;
constexpr uint32_t kIrqBtUart   = 21;
constexpr uint32_t kIrqFfUart   = 22;
constexpr uint32_t kIrqOsTimer0 = 26;   // .. 29 for matches 1..3
constexpr uint32_t kIrqRtcHz    = 30;
constexpr uint32_t kIrqRtcAlarm = 31;

class InterruptController final : public Device {
public:
    // Offsets: ICIP 0x00, ICMR 0x04, ICLR 0x08, ICFP 0x0C, ICPR 0x10, ICCR 0x14
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;

    // A device drives its line; the pending bit follows the line, masked or not.
    void SetLine(uint32_t bit, bool level);
    uint32_t Pending() const { return pending_; }
    uint32_t Mask() const { return mask_; }
    bool IrqAsserted() const { return active_ != 0; }
    // The sources pending, unmasked and routed to IRQ: kept up to date, as
    // the board checks it after every access.
    uint32_t Active() const { return active_; }
private:
    void Update() { active_ = pending_ & mask_ & ~level_; }
    uint32_t pending_ = 0, mask_ = 0, level_ = 0, control_ = 0;
    uint32_t active_ = 0;
};

}  // namespace platform
