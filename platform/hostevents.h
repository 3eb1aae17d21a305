// Timed host input (a script's button presses, knob turns, screenshots and
// later kinds): a board-time queue kept in the board's shared memory, so that
// it reaches whichever process runs the application and survives its
// restarts. The host loads it before power-on; the kinds and what they do
// belong to the host, which installs the function that applies them.
#pragma once
#include <cstdint>
#include "platform/device.h"

namespace platform {

class Board;

struct HostEvent {
    uint64_t at;       // board time in OS-timer ticks
    int32_t  kind;     // the host's own numbering
    int32_t  arg[3];
};

using HostEventFn = void (*)(Board& board, const HostEvent& event);

class HostEvents final : public Device {
public:
    static constexpr int kCapacity = 8192;
    explicit HostEvents(Board& board) : board_(board) {}
    uint32_t Read(uint32_t, int) override { return 0; }
    void     Write(uint32_t, uint32_t, int) override {}
    void     Reset() override {}      // the script outlives board resets
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    void SetHandler(HostEventFn fn) { apply_ = fn; }
    // Inserted in time order (stable for equal times); false when full.
    bool Add(const HostEvent& event);
    int  Pending() const { return count_ - next_; }
private:
    Board& board_;
    HostEventFn apply_ = nullptr;
    HostEvent events_[kCapacity]{};
    int count_ = 0;
    int next_ = 0;
};

}  // namespace platform
