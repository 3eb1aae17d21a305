#include "platform/gpio.h"
#include "platform/board.h"

namespace platform {

constexpr int kPowerOffPin = 19;

uint32_t Gpio::Read(uint32_t offset, int) {
    uint32_t b = (offset % 0x0C) / 4;
    if (offset >= 0x54) {
        uint32_t i = (offset - 0x54) / 4;
        return i < 6 ? afr_[i] : 0;
    }
    switch (offset / 0x0C) {
    case 0: return (out_[b] & dir_[b]) | (in_[b] & ~dir_[b]);   // GPLR
    case 1: return dir_[b];
    case 2: case 3: return 0;                                   // GPSR, GPCR are write-only
    case 4: return rise_[b];
    case 5: return fall_[b];
    case 6: return edge_[b];
    default: return 0;
    }
}

void Gpio::Write(uint32_t offset, uint32_t value, int) {
    uint32_t b = (offset % 0x0C) / 4;
    if (offset >= 0x54) {
        uint32_t i = (offset - 0x54) / 4;
        if (i < 6) afr_[i] = value;
        return;
    }
    uint32_t before = out_[b] & dir_[b];
    switch (offset / 0x0C) {
    case 0: break;                            // levels are read-only
    case 1: dir_[b] = value; break;
    case 2: out_[b] |= value; break;
    case 3: out_[b] &= ~value; break;
    case 4: rise_[b] = value; break;
    case 5: fall_[b] = value; break;
    case 6: edge_[b] &= ~value; break;
    default: break;
    }
    OutputsChanged(b, before);
    UpdateLines();
}

void Gpio::OutputsChanged(uint32_t bank, uint32_t before) {
    uint32_t after = out_[bank] & dir_[bank];
    uint32_t rose = after & ~before;
    if (bank == kPowerOffPin / 32 && (rose >> (kPowerOffPin % 32)) & 1)
        board_.RequestStop(StopReason::PowerOff);
}

// What the host drives on the inputs, and its scheduled changes, outlive a reset.
void Gpio::Reset() {
    for (int b = 0; b < 3; ++b) out_[b] = dir_[b] = rise_[b] = fall_[b] = edge_[b] = 0;
    for (uint32_t& a : afr_) a = 0;
    UpdateLines();
}

void Gpio::PowerOn() {
    Reset();
    // Inputs idle high (pull-ups); a held button pulls its pin low.
    for (int b = 0; b < 3; ++b) in_[b] = ~held_[b];
    queued_ = 0;
}

void Gpio::ReleaseHolds() {
    for (int pin = 0; pin < 96; ++pin)
        if ((held_[pin / 32] >> (pin % 32)) & 1) SetInput(pin, true);
    held_[0] = held_[1] = held_[2] = 0;
}

void Gpio::ApplyInputs(uint32_t bank, uint32_t levels) {
    uint32_t changed = in_[bank] ^ levels;
    uint32_t rising = changed & levels, falling = changed & ~levels;
    edge_[bank] |= (rising & rise_[bank]) | (falling & fall_[bank]);
    in_[bank] = levels;
    UpdateLines();
}

void Gpio::SetInput(int pin, bool level) {
    if (pin < 0 || pin >= 96) return;
    uint32_t b = static_cast<uint32_t>(pin) / 32, bit = 1u << (pin % 32);
    ApplyInputs(b, level ? (in_[b] | bit) : (in_[b] & ~bit));
}

bool Gpio::ScheduleInput(uint64_t at, int pin, bool level) {
    if (queued_ >= kQueue || pin < 0 || pin >= 96) return false;
    // Kept in time order; equal times keep the order they were given in.
    int i = queued_++;
    while (i > 0 && queue_[i - 1].at > at) {
        queue_[i] = queue_[i - 1];
        --i;
    }
    queue_[i] = {at, pin, level};
    board_.Reschedule();
    return true;
}

bool Gpio::SetPulseTrain(int pin, uint64_t start, uint64_t period, uint64_t high) {
    if (pin < 0 || pin >= 96) return false;
    Train* slot = nullptr;
    for (Train& t : trains_)
        if (t.period && t.pin == pin) slot = &t;
    if (!slot)
        for (Train& t : trains_)
            if (!slot && !t.period) slot = &t;
    if (!slot) return false;
    if (period == 0) {
        *slot = {};
        SetInput(pin, false);
    } else {
        if (high == 0 || high >= period) high = period / 2 ? period / 2 : 1;
        *slot = {pin, period, high, start, false};
        SetInput(pin, false);
    }
    board_.Reschedule();
    return true;
}

void Gpio::Advance(uint64_t now) {
    for (Train& t : trains_) {
        while (t.period && t.next <= now) {
            t.level = !t.level;
            SetInput(t.pin, t.level);
            t.next += t.level ? t.high : t.period - t.high;
        }
    }
    int done = 0;
    while (done < queued_ && queue_[done].at <= now) {
        SetInput(queue_[done].pin, queue_[done].level);
        ++done;
    }
    if (done == 0) return;
    for (int i = done; i < queued_; ++i) queue_[i - done] = queue_[i];
    queued_ -= done;
}

uint64_t Gpio::NextEvent(uint64_t) const {
    uint64_t next = queued_ ? queue_[0].at : UINT64_MAX;
    for (const Train& t : trains_)
        if (t.period && t.next < next) next = t.next;
    return next;
}

bool Gpio::Level(int pin) const {
    if (pin < 0 || pin >= 96) return false;
    uint32_t b = static_cast<uint32_t>(pin) / 32, bit = 1u << (pin % 32);
    return ((dir_[b] & bit) ? out_[b] : in_[b]) & bit;
}

bool Gpio::IsOutput(int pin) const {
    return pin >= 0 && pin < 96 && ((dir_[pin / 32] >> (pin % 32)) & 1);
}

uint32_t Gpio::AltFunction(int pin) const {
    if (pin < 0 || pin >= 96) return 0;
    return (afr_[pin / 16] >> ((pin % 16) * 2)) & 3;
}

void Gpio::UpdateLines() {
    ic_.SetLine(kIrqGpio0, edge_[0] & 1);
    ic_.SetLine(kIrqGpio1, edge_[0] & 2);
    ic_.SetLine(kIrqGpioX, (edge_[0] & ~3u) || edge_[1] || (edge_[2] & 0x1FFFF));   // GPIO 2..80
}

}  // namespace platform
