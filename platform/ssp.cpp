#include "platform/ssp.h"

namespace platform {

constexpr uint32_t kCr0Enable = 0x80;
constexpr uint32_t kSrTnf = 0x04, kSrRne = 0x08;
constexpr int kCsDuart = 50, kCsEngine = 70, kCsAir = 73;
constexpr int kMuxBit0 = 67;

bool Ssp::Selected(int pin) const { return gpio_.IsOutput(pin) && !gpio_.Level(pin); }

void Ssp::Frame(uint16_t word) {
    const bool duart = Selected(kCsDuart), engine = Selected(kCsEngine), air = Selected(kCsAir);
    const int n = duart + engine + air;
    uint16_t answer = 0xFFFF;   // nothing drives the receive line
    uint8_t dev = 0;
    if (n > 1) {
        ++collisions_;
        dev = 0xFF;
    } else if (duart) {
        answer = duart_.Exchange(word);
        dev = 1;
    } else if (engine) {
        uint32_t code = 0;
        for (int b = 0; b < 3; ++b)
            if (gpio_.Level(kMuxBit0 + b)) code |= 1u << b;
        answer = engine_.Exchange(word, code);
        dev = 2;
    } else if (air) {
        answer = air_.Exchange(word);
        dev = 3;
    } else {
        ++unselected_;
    }
    logWord_[frames_ % kLog] = word;
    logDev_[frames_ % kLog] = dev;
    ++frames_;
    if (rxCount_ < kRxFifo) rx_[(rxHead_ + rxCount_++) % kRxFifo] = answer;
}

uint32_t Ssp::Read(uint32_t offset, int) {
    switch (offset) {
    case 0x00: return cr0_;
    case 0x04: return cr1_;
    case 0x08: return kSrTnf | (rxCount_ ? kSrRne : 0);   // frames complete at once: never busy
    case 0x10: {
        if (rxCount_ == 0) return 0;
        uint16_t v = rx_[rxHead_];
        rxHead_ = (rxHead_ + 1) % kRxFifo;
        --rxCount_;
        return v;
    }
    case 0x2C: return psp_;
    default: return 0;
    }
}

void Ssp::Write(uint32_t offset, uint32_t value, int) {
    switch (offset) {
    case 0x00:
        cr0_ = value;
        if (!(value & kCr0Enable)) rxHead_ = rxCount_ = 0;
        break;
    case 0x04: cr1_ = value; break;
    case 0x10:
        if (cr0_ & kCr0Enable) Frame(static_cast<uint16_t>(value));
        break;
    case 0x2C: psp_ = value; break;
    default: break;
    }
}

void Ssp::Reset() {
    cr0_ = cr1_ = psp_ = 0;
    rxHead_ = rxCount_ = 0;
    // The converters' inputs are the aircraft's, set by the host: they survive a reset.
}

int Ssp::CopyLog(uint16_t* words, uint8_t* device, int max) const {
    uint32_t kept = frames_ < static_cast<uint32_t>(kLog) ? frames_ : kLog;
    if (kept > static_cast<uint32_t>(max)) kept = static_cast<uint32_t>(max);
    for (uint32_t i = 0; i < kept; ++i) {
        words[i] = logWord_[(frames_ - kept + i) % kLog];
        device[i] = logDev_[(frames_ - kept + i) % kLog];
    }
    return static_cast<int>(kept);
}

}  // namespace platform
