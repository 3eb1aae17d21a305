// OS timer: 32-bit count at 3,686,400 Hz, four match registers, the
// watchdog on match 3.
#pragma once
#include "platform/device.h"
#include "platform/intc.h"

namespace platform {

constexpr uint32_t kOsTimerHz = 3686400;

class Board;

class OsTimer final : public Device {
public:
    OsTimer(Board& board, InterruptController& ic) : board_(board), ic_(ic) {}
    // Offsets: OSMR0..3 0x00..0x0C, OSCR 0x10, OSSR 0x14, OWER 0x18, OIER 0x1C
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    uint32_t Count(uint64_t now) const { return static_cast<uint32_t>(now - base_); }
    uint32_t Match(int n) const { return match_[n & 3]; }
    bool     WatchdogArmed() const { return (wdEnable_ & 1) != 0; }
private:
    void UpdateLines();
    Board& board_;
    InterruptController& ic_;
    uint64_t base_ = 0;        // board time at which the count was 0
    uint32_t last_ = 0;        // count at the last Advance: matches are seen in (last_, now]
    uint32_t match_[4]{};
    uint32_t status_ = 0, wdEnable_ = 0, irqEnable_ = 0;
};

}  // namespace platform
