// A device on the board's bus: its registers by offset, its reset, and the
// time-driven work it does as board time passes.
#pragma once
#include <cstdint>

namespace platform {

class Device {
public:
    virtual ~Device() = default;
    // width is 1, 2 or 4 bytes
    virtual uint32_t Read(uint32_t offset, int width) = 0;
    virtual void     Write(uint32_t offset, uint32_t value, int width) = 0;
    virtual void     Reset() = 0;
    // Time-driven devices: do what is due at `now` and say when next work is due.
    virtual void     Advance(uint64_t /*now*/) {}
    virtual uint64_t NextEvent(uint64_t /*now*/) const { return UINT64_MAX; }
};

// Registers written once that need no behaviour: kept so they read back.
class RegisterFile final : public Device {
public:
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    uint32_t Get(uint32_t offset) const;
private:
    static constexpr int kSlots = 32;
    uint32_t offsets_[kSlots]{};
    uint32_t values_[kSlots]{};
    int      used_ = 0;
};

}  // namespace platform
