#include "platform/uart.h"
#include "platform/board.h"

namespace platform {

constexpr uint32_t kLcrDlab = 0x80;
constexpr uint32_t kIerRavie = 0x01, kIerTie = 0x02, kIerRtoie = 0x10, kIerUue = 0x40;
constexpr uint32_t kLsrDr = 0x01, kLsrOe = 0x02, kLsrErrors = 0x1C, kLsrTdrq = 0x20, kLsrTemt = 0x40,
                   kLsrFifoErr = 0x80;
// A receive time-out is raised after this many idle character times.
constexpr uint64_t kTimeoutChars = 4;

uint32_t Uart::TicksPerChar() const {
    // 10 bits a character at 921,600 / divisor bits per second.
    uint32_t d = divisor_ ? divisor_ : 1;
    return 40 * d;
}

int Uart::RxTrigger() const {
    static constexpr int kLevels[4] = {1, 8, 16, 32};
    return kLevels[(fcr_ >> 6) & 3];
}

bool Uart::TimedOut(uint64_t now) const {
    return rxCount_ > 0 && now >= rxStamp_ + kTimeoutChars * TicksPerChar();
}

uint32_t Uart::Lsr() const {
    uint32_t lsr = 0;
    if (rxCount_ > 0) lsr |= kLsrDr | ((rxFifo_[rxHead_] >> 8) & kLsrErrors);
    if (overrun_) lsr |= kLsrOe;
    for (int i = 0; i < rxCount_; ++i)
        if (rxFifo_[(rxHead_ + i) % kFifo] >> 8) lsr |= kLsrFifoErr;
    if (txCount_ <= kFifo / 2) lsr |= kLsrTdrq;
    if (txCount_ == 0) lsr |= kLsrTemt;
    return lsr;
}

uint32_t Uart::Iir() const {
    uint32_t fifo = (fcr_ & 1) ? 0xC0 : 0;
    if ((ier_ & kIerRavie) && rxCount_ >= RxTrigger()) return fifo | 0x04;
    if ((ier_ & kIerRtoie) && TimedOut(board_.Now())) return fifo | 0x0C;
    if ((ier_ & kIerTie) && txCount_ <= kFifo / 2) return fifo | 0x02;
    return fifo | 0x01;
}

uint8_t Uart::PopRx() {
    if (rxCount_ == 0) return 0;
    uint8_t b = static_cast<uint8_t>(rxFifo_[rxHead_]);
    rxHead_ = (rxHead_ + 1) % kFifo;
    --rxCount_;
    rxStamp_ = board_.Now();
    return b;
}

uint32_t Uart::Read(uint32_t offset, int) {
    uint32_t v = 0;
    switch (offset) {
    case 0x00:
        if (lcr_ & kLcrDlab) {
            v = divisor_ & 0xFF;
        } else {
            v = PopRx();
            board_.Schedule(NextEvent(board_.Now()));   // the receive time-out restarts
        }
        break;
    case 0x04: v = (lcr_ & kLcrDlab) ? (divisor_ >> 8) & 0xFF : ier_; break;
    case 0x08: v = Iir(); break;
    case 0x0C: v = lcr_; break;
    case 0x10: v = mcr_; break;
    case 0x14:
        v = Lsr();
        overrun_ = false;   // cleared by reading the line status
        break;
    case 0x1C: v = spr_; break;
    case 0x20: v = isr_; break;
    default: break;
    }
    UpdateLines();
    return v;
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
        if (value & 2) rxHead_ = rxCount_ = 0;
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
    Wake();
    UpdateLines();
    // A byte to send, a new rate or a FIFO reset moves the next character time.
    board_.Schedule(NextEvent(board_.Now()));
}

void Uart::Reset() {
    txHead_ = txCount_ = 0;
    rxHead_ = rxCount_ = 0;
    overrun_ = false;
    nextDrain_ = UINT64_MAX;
    // As the monitor leaves its console: 115,200 bps, 8N1, FIFOs on, unit enabled.
    ier_ = kIerUue;
    lcr_ = 3;
    mcr_ = spr_ = isr_ = 0;
    fcr_ = 1;
    divisor_ = 8;
    nextRx_ = UINT64_MAX;
    Wake();   // host input waiting across the reset keeps arriving
    UpdateLines();
}

void Uart::Wake() {
    if (nextRx_ == UINT64_MAX && (line_.Pending() || line_.InputBound())) nextRx_ = board_.Now() + TicksPerChar();
}

void Uart::Transmit(uint8_t byte) {
    if (txCount_ >= kFifo) return;   // overrun: the byte is lost, as on the part
    txFifo_[(txHead_ + txCount_) % kFifo] = byte;
    if (txCount_++ == 0) nextDrain_ = board_.Now() + TicksPerChar();
}

// One character per character time from the host line; a full FIFO loses it.
void Uart::Receive(uint64_t now) {
    while (nextRx_ <= now) {
        int c = line_.Next(nextRx_);
        if (c < 0) {
            nextRx_ = line_.InputBound() ? now + TicksPerChar() : UINT64_MAX;
            return;
        }
        if (rxCount_ < kFifo) {
            rxFifo_[(rxHead_ + rxCount_) % kFifo] = static_cast<uint16_t>(c);
            ++rxCount_;
        } else {
            overrun_ = true;
            ++overruns_;
        }
        rxStamp_ = nextRx_;
        nextRx_ += TicksPerChar();
    }
}

void Uart::Advance(uint64_t now) {
    while (txCount_ > 0 && now >= nextDrain_) {
        uint8_t b = txFifo_[txHead_];
        txHead_ = (txHead_ + 1) % kFifo;
        --txCount_;
        line_.Sent(b, nextDrain_);
        nextDrain_ = txCount_ ? nextDrain_ + TicksPerChar() : UINT64_MAX;
        Wake();   // a peer on the line may answer
    }
    Receive(now);
    UpdateLines();
}

uint64_t Uart::NextEvent(uint64_t now) const {
    uint64_t next = nextDrain_ < nextRx_ ? nextDrain_ : nextRx_;
    if (rxCount_ > 0 && !TimedOut(now)) {
        uint64_t t = rxStamp_ + kTimeoutChars * TicksPerChar();
        if (t < next) next = t;
    }
    return next;
}

void Uart::UpdateLines() {
    ic_.SetLine(irqBit_, (ier_ & kIerUue) && (Iir() & 0x0F) != 0x01);
}

}  // namespace platform
