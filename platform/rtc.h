// The processor's RTC: a seconds counter with the 1 Hz status and interrupt.
#pragma once
#include "platform/device.h"
#include "platform/intc.h"

namespace platform {

class Rtc final : public Device {
public:
    explicit Rtc(InterruptController& ic) : ic_(ic) {}
    // Offsets: RCNR 0x00, RTAR 0x04, RTSR 0x08 (AL 1, HZ 2 write-1-clear; ALE 4, HZE 8), RTTR 0x0C
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override { (void)now; return nextSecond_; }
    void     Start(uint64_t now);
private:
    void UpdateLines();
    InterruptController& ic_;
    uint64_t nextSecond_ = UINT64_MAX;
    uint32_t count_ = 0, alarm_ = 0, status_ = 0, trim_ = 0;
};

}  // namespace platform
