// GPIO bank: pins 0..95 in three 32-bit banks, levels, directions,
// set/clear, rising/falling edge detect, alternate functions.
#pragma once
#include "platform/device.h"
#include "platform/intc.h"

namespace platform {

class Board;

class Gpio final : public Device {
public:
    Gpio(Board& board, InterruptController& ic) : board_(board), ic_(ic) {}
    // Offsets (bank b = 0..2): GPLR 0x00+4b, GPDR 0x0C+4b, GPSR 0x18+4b, GPCR 0x24+4b,
    // GRER 0x30+4b, GFER 0x3C+4b, GEDR 0x48+4b (write 1 to clear), GAFR 0x54..0x68
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    // Host side: what drives an input pin (buttons pull low when held).
    void SetInput(int pin, bool level);
    // An input change at a given board time; false when the queue is full.
    bool ScheduleInput(uint64_t at, int pin, bool level);
    // A square pulse train on an input pin: rising every period ticks from
    // `start`, high for `high` ticks; period 0 stops it (the pin stays low).
    bool SetPulseTrain(int pin, uint64_t start, uint64_t period, uint64_t high);
    bool Level(int pin) const;           // the pin as seen on the board
    bool IsOutput(int pin) const;
    uint32_t AltFunction(int pin) const;
    // Inputs held at power-on (a button held while the unit starts).
    void HoldAtPowerOn(int pin) { if (pin >= 0 && pin < 96) held_[pin / 32] |= 1u << (pin % 32); }
    void ReleaseHolds();
    void PowerOn();
private:
    void ApplyInputs(uint32_t bank, uint32_t newLevels);
    void OutputsChanged(uint32_t bank, uint32_t before);
    void UpdateLines();
    Board& board_;
    InterruptController& ic_;
    uint32_t out_[3]{}, in_[3]{}, dir_[3]{}, rise_[3]{}, fall_[3]{}, edge_[3]{}, afr_[6]{};
    uint32_t held_[3]{};
    struct Pending { uint64_t at; int pin; bool level; };
    static constexpr int kQueue = 256;
    Pending queue_[kQueue]{};
    int queued_ = 0;
    struct Train { int pin; uint64_t period, high, next; bool level; };
    static constexpr int kTrains = 4;
    Train trains_[kTrains]{};
};

}  // namespace platform
