#include "platform/duart.h"
#include "platform/board.h"

namespace platform {

constexpr uint32_t kLcrDlab = 0x80;

uint32_t Duart::Tpc(const Channel& c) const {
    // 10 bits a character at 115,200 / divisor bits per second.
    return 320 * (c.divisor ? c.divisor : 1);
}

uint32_t Duart::TicksPerChar(int channel) const { return Tpc(ch_[channel & 1]); }

void Duart::ResetChannel(Channel& c) {
    c.rxHead = c.rxCount = c.txHead = c.txCount = 0;
    c.lcr = 0;
    c.fcr = c.ier = c.spr = 0;
    c.divisor = 1;
    c.nextTx = c.nextRx = UINT64_MAX;
}

void Duart::Reset() {
    for (int i = 0; i < 2; ++i) {
        ResetChannel(ch_[i]);
        Wake(i);   // host input waiting across the reset keeps arriving
    }
}

void Duart::Wake(int channel) {
    Channel& c = ch_[channel & 1];
    if (c.nextRx == UINT64_MAX && (c.line.Pending() || c.line.InputBound())) c.nextRx = board_.Now() + Tpc(c);
}

uint8_t Duart::ReadReg(Channel& c, uint32_t reg) {
    switch (reg) {
    case 0:
        if (c.lcr & kLcrDlab) return static_cast<uint8_t>(c.divisor);
        if (c.rxCount == 0) return 0;
        {
            uint8_t b = c.rx[c.rxHead];
            c.rxHead = (c.rxHead + 1) % kFifo;
            --c.rxCount;
            return b;
        }
    case 1: return static_cast<uint8_t>((c.lcr & kLcrDlab) ? c.divisor >> 8 : c.ier);
    case 2: return c.rxCount ? 0x04 : 0x01;
    case 3: return static_cast<uint8_t>(c.lcr);
    case 5: return static_cast<uint8_t>((c.rxCount ? 1 : 0) | (c.txCount == 0 ? 0x60 : 0));
    case 7: return static_cast<uint8_t>(c.spr);
    case 8: return static_cast<uint8_t>(kFifo - c.txCount);
    case 9: return static_cast<uint8_t>(c.rxCount);
    default: return 0;
    }
}

void Duart::WriteReg(Channel& c, uint32_t reg, uint8_t value) {
    switch (reg) {
    case 0:
        if (c.lcr & kLcrDlab) {
            c.divisor = (c.divisor & 0xFF00) | value;
        } else if (c.txCount >= kFifo) {
            ++c.txOverflows;   // the firmware overran the transmit FIFO
        } else {
            c.tx[(c.txHead + c.txCount) % kFifo] = value;
            if (c.txCount++ == 0) c.nextTx = board_.Now() + Tpc(c);
        }
        break;
    case 1:
        if (c.lcr & kLcrDlab) c.divisor = (c.divisor & 0xFF) | value << 8;
        else c.ier = value;
        break;
    case 2:
        c.fcr = value;
        if (value & 2) c.rxHead = c.rxCount = 0;
        if (value & 4) {
            c.txHead = c.txCount = 0;
            c.nextTx = UINT64_MAX;
        }
        break;
    case 3: c.lcr = value; break;
    case 7: c.spr = value; break;
    default: break;
    }
}

uint16_t Duart::Exchange(uint16_t word) {
    Channel& c = ch_[(word >> 9) & 1];
    uint32_t reg = (word >> 11) & 0xF;
    uint16_t answer = 0;
    if (word & 0x8000) {
        answer = ReadReg(c, reg);
    } else {
        WriteReg(c, reg, static_cast<uint8_t>(word));
        board_.Schedule(NextEvent(board_.Now()));   // a byte to send starts its character time
    }
    return answer;
}

void Duart::Step(Channel& c, uint64_t now) {
    while (c.txCount > 0 && now >= c.nextTx) {
        c.line.Sent(c.tx[c.txHead], c.nextTx);
        c.txHead = (c.txHead + 1) % kFifo;
        --c.txCount;
        c.nextTx = c.txCount ? c.nextTx + Tpc(c) : UINT64_MAX;
        if (c.nextRx == UINT64_MAX && c.line.Pending()) c.nextRx = now + Tpc(c);   // a peer answered
    }
    while (c.nextRx <= now) {
        int v = c.line.Next(c.nextRx);
        if (v < 0) {
            c.nextRx = c.line.InputBound() ? now + Tpc(c) : UINT64_MAX;
            break;
        }
        if (c.rxCount < kFifo) {
            c.rx[(c.rxHead + c.rxCount) % kFifo] = static_cast<uint8_t>(v);
            ++c.rxCount;
        } else {
            ++c.rxOverruns;
        }
        c.nextRx += Tpc(c);
    }
}

void Duart::Advance(uint64_t now) {
    for (Channel& c : ch_) Step(c, now);
}

uint64_t Duart::NextEvent(uint64_t) const {
    uint64_t next = UINT64_MAX;
    for (const Channel& c : ch_) {
        if (c.nextTx < next) next = c.nextTx;
        if (c.nextRx < next) next = c.nextRx;
    }
    return next;
}

}  // namespace platform
