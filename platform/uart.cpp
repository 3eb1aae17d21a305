#include "platform/uart.h"
#include "platform/board.h"

#include <unistd.h>

namespace platform {

constexpr uint32_t kLcrDlab = 0x80;
constexpr uint32_t kIerTie = 0x02, kIerUue = 0x40;
constexpr uint32_t kLsrTdrq = 0x20, kLsrTemt = 0x40;
constexpr int kFifo = 64;

uint32_t Uart::TicksPerChar() const {
    // 10 bits a character at 921,600 / divisor bits per second.
    uint32_t d = divisor_ ? divisor_ : 1;
    return 40 * d;
}

uint32_t Uart::Read(uint32_t offset, int) {
    switch (offset) {
    case 0x00: return (lcr_ & kLcrDlab) ? (divisor_ & 0xFF) : 0;   // no receiver input yet
    case 0x04: return (lcr_ & kLcrDlab) ? (divisor_ >> 8) & 0xFF : ier_;
    case 0x08: {
        uint32_t fifo = (fcr_ & 1) ? 0xC0 : 0;
        bool txWants = (ier_ & kIerTie) && txCount_ <= kFifo / 2;
        return fifo | (txWants ? 0x02 : 0x01);
    }
    case 0x0C: return lcr_;
    case 0x10: return mcr_;
    case 0x14: {
        uint32_t lsr = 0;
        if (txCount_ <= kFifo / 2) lsr |= kLsrTdrq;
        if (txCount_ == 0) lsr |= kLsrTemt;
        return lsr;
    }
    case 0x18: return 0;
    case 0x1C: return spr_;
    case 0x20: return isr_;
    default:   return 0;
    }
}

void Uart::Write(uint32_t offset, uint32_t value, int) {
    value &= 0xFF;
    switch (offset) {
    case 0x00:
        if (lcr_ & kLcrDlab) divisor_ = (divisor_ & 0xFF00) | value;
        else Transmit(static_cast<uint8_t>(value));
        break;
    case 0x04:
        if (lcr_ & kLcrDlab) divisor_ = (divisor_ & 0xFF) | (value << 8);
        else ier_ = value;
        break;
    case 0x08:
        fcr_ = value;
        if (value & 4) {   // transmit FIFO reset
            txCount_ = 0;
            nextDrain_ = UINT64_MAX;
        }
        break;
    case 0x0C: lcr_ = value; break;
    case 0x10: mcr_ = value; break;
    case 0x1C: spr_ = value; break;
    case 0x20: isr_ = value; break;
    default: break;
    }
    UpdateLines();
}

void Uart::Reset() {
    txHead_ = txCount_ = 0;
    nextDrain_ = UINT64_MAX;
    // As the monitor leaves its console: 115,200 bps, 8N1, FIFOs on, unit enabled.
    ier_ = kIerUue;
    lcr_ = 3;
    mcr_ = spr_ = isr_ = 0;
    fcr_ = 1;
    divisor_ = 8;
    UpdateLines();
}

void Uart::Transmit(uint8_t byte) {
    if (txCount_ >= kFifo) return;   // overrun: the byte is lost, as on the part
    txFifo_[(txHead_ + txCount_) % kFifo] = byte;
    if (txCount_++ == 0) nextDrain_ = board_.Now() + TicksPerChar();
}

void Uart::Advance(uint64_t now) {
    while (txCount_ > 0 && now >= nextDrain_) {
        uint8_t b = txFifo_[txHead_];
        txHead_ = (txHead_ + 1) % kFifo;
        --txCount_;
        sentTail_[sent_ % kKeep] = static_cast<char>(b);
        ++sent_;
        if (hostFd_ >= 0) {
            ssize_t n = write(hostFd_, &b, 1);
            (void)n;   // a closed host side loses output, as an unplugged cable would
        }
        nextDrain_ = txCount_ ? nextDrain_ + TicksPerChar() : UINT64_MAX;
    }
    UpdateLines();
}

uint64_t Uart::NextEvent(uint64_t) const { return nextDrain_; }

int Uart::CopySent(char* dst, int max) const {
    uint32_t kept = sent_ < static_cast<uint32_t>(kKeep) ? sent_ : kKeep;
    if (kept > static_cast<uint32_t>(max)) kept = static_cast<uint32_t>(max);
    for (uint32_t i = 0; i < kept; ++i) dst[i] = sentTail_[(sent_ - kept + i) % kKeep];
    return static_cast<int>(kept);
}

void Uart::UpdateLines() {
    bool txWants = (ier_ & kIerTie) && txCount_ <= kFifo / 2;
    ic_.SetLine(irqBit_, (ier_ & kIerUue) && txWants);
}

}  // namespace platform
