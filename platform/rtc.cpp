#include "platform/rtc.h"
#include "platform/ostimer.h"

namespace platform {

constexpr uint32_t kRtsrAl = 1, kRtsrHz = 2, kRtsrAle = 4, kRtsrHze = 8;

uint32_t Rtc::Read(uint32_t offset, int) {
    switch (offset) {
    case 0x00: return count_;
    case 0x04: return alarm_;
    case 0x08: return status_;
    case 0x0C: return trim_;
    default:   return 0;
    }
}

void Rtc::Write(uint32_t offset, uint32_t value, int) {
    switch (offset) {
    case 0x00: count_ = value; break;
    case 0x04: alarm_ = value; break;
    case 0x08: status_ = (status_ & ~(value & (kRtsrAl | kRtsrHz))) | (value & (kRtsrAle | kRtsrHze)); break;
    case 0x0C: trim_ = value; break;
    default: break;
    }
    UpdateLines();
}

void Rtc::Reset() {
    count_ = alarm_ = status_ = trim_ = 0;
    nextSecond_ = UINT64_MAX;
    UpdateLines();
}

void Rtc::Start(uint64_t now) { nextSecond_ = now + kOsTimerHz; }

void Rtc::Advance(uint64_t now) {
    while (now >= nextSecond_) {
        ++count_;
        status_ |= kRtsrHz;
        if (count_ == alarm_) status_ |= kRtsrAl;
        nextSecond_ += kOsTimerHz;
    }
    UpdateLines();
}

void Rtc::UpdateLines() {
    ic_.SetLine(kIrqRtcHz, (status_ & kRtsrHz) && (status_ & kRtsrHze));
    ic_.SetLine(kIrqRtcAlarm, (status_ & kRtsrAl) && (status_ & kRtsrAle));
}

}  // namespace platform
