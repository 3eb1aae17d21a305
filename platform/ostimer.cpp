#include "platform/ostimer.h"
#include "platform/board.h"

namespace platform {

// True when the count passed `match` on its way from `from` (exclusive) to `to`.
static bool Crossed(uint32_t from, uint32_t to, uint32_t match) {
    return static_cast<uint32_t>(match - from - 1) < static_cast<uint32_t>(to - from);
}

uint32_t OsTimer::Read(uint32_t offset, int) {
    uint64_t now = board_.Now();
    switch (offset) {
    case 0x00: case 0x04: case 0x08: case 0x0C: return match_[offset / 4];
    case 0x10: return Count(now);
    case 0x14: return status_;
    case 0x18: return wdEnable_;
    case 0x1C: return irqEnable_;
    default:   return 0;
    }
}

void OsTimer::Write(uint32_t offset, uint32_t value, int) {
    uint64_t now = board_.Now();
    Advance(now);   // what was due before this write happened first
    switch (offset) {
    case 0x00: case 0x04: case 0x08: case 0x0C: match_[offset / 4] = value; break;
    case 0x10:
        base_ = now - value;
        last_ = value;
        break;
    case 0x14: status_ &= ~(value & 0xF); break;
    case 0x18: wdEnable_ |= value & 1; break;   // once set, only a reset clears it
    case 0x1C: irqEnable_ = value & 0xF; break;
    default: break;
    }
    UpdateLines();
    board_.Schedule(NextEvent(now));
}

void OsTimer::Reset() {
    base_ = board_.Now();
    last_ = 0;
    for (uint32_t& m : match_) m = 0;
    status_ = wdEnable_ = irqEnable_ = 0;
    UpdateLines();
}

void OsTimer::Advance(uint64_t now) {
    uint32_t count = Count(now);
    if (count == last_) return;
    for (int k = 0; k < 4; ++k) {
        if (!Crossed(last_, count, match_[k])) continue;
        status_ |= 1u << k;
        if (k == 3 && (wdEnable_ & 1)) board_.RequestStop(StopReason::WatchdogReset);
    }
    last_ = count;
    UpdateLines();
}

// When the count next reaches a match after the count last looked at;
// a match it has passed since then is due at once.
uint64_t OsTimer::NextEvent(uint64_t now) const {
    const uint64_t since = static_cast<uint32_t>(Count(now) - last_);
    uint64_t next = UINT64_MAX;
    for (uint32_t m : match_) {
        uint64_t d = static_cast<uint32_t>(m - last_);
        if (d == 0) d = 1ull << 32;
        const uint64_t at = d <= since ? now : now + (d - since);
        if (at < next) next = at;
    }
    return next;
}

void OsTimer::UpdateLines() {
    for (uint32_t k = 0; k < 4; ++k)
        ic_.SetLine(kIrqOsTimer0 + k, ((status_ & irqEnable_) >> k) & 1);
}

}  // namespace platform
