#include "platform/i2c.h"
#include "platform/board.h"

namespace platform {

// Control bits.
constexpr uint32_t kStart = 1, kStop = 2, kAckNak = 4, kTransfer = 8;
constexpr uint32_t kScle = 0x20, kUnitEnable = 0x40, kTxEmptyIe = 0x100, kRxFullIe = 0x200, kBusErrIe = 0x400;
constexpr uint32_t kUnitReset = 0x4000;
// Status bits.
constexpr uint32_t kReadMode = 1, kNakSeen = 2, kUnitBusy = 4, kBusBusy = 8, kTxEmpty = 0x40, kRxFull = 0x80,
                   kBusError = 0x400;
constexpr uint32_t kStatusClearable = 0x7E0;

uint32_t I2c::Read(uint32_t offset, int) {
    switch (offset) {
    case 0x00: return 3;   // SDA and SCL high
    case 0x08: return idbr_;
    case 0x10: return icr_;
    case 0x18: return isr_ | (busHeld_ ? kBusBusy : 0);
    case 0x20: return isar_;
    default:   return 0;
    }
}

void I2c::Write(uint32_t offset, uint32_t value, int) {
    switch (offset) {
    case 0x08: idbr_ = value & 0xFF; break;
    case 0x10:
        if (value & kUnitReset) {
            icr_ = value;
            isr_ = 0;
            addressed_ = reading_ = false;
            break;
        }
        icr_ = value & ~kTransfer;
        if ((value & kTransfer) && (value & kUnitEnable) && (value & kScle)) Transfer(value);
        break;
    case 0x18: isr_ &= ~(value & kStatusClearable); break;
    case 0x20: isar_ = value & 0x7F; break;
    default: break;
    }
    UpdateLine();
}

void I2c::Reset() {
    idbr_ = icr_ = isr_ = isar_ = 0;
    addressed_ = reading_ = false;
    UpdateLine();
}

void I2c::Transfer(uint32_t control) {
    uint64_t now = board_.Now();
    if (control & kStart) {
        isr_ |= kUnitBusy;
        bool read = idbr_ & 1;
        if ((idbr_ >> 1) == RtcChip::kAddress && chip_.Silent()) {
            icr_ |= kTransfer;   // no acknowledge ever comes: the transfer never ends
            return;
        }
        addressed_ = (idbr_ >> 1) == RtcChip::kAddress && chip_.Start(read, now);
        reading_ = read;
        isr_ = (isr_ & ~(kReadMode | kNakSeen)) | (read ? kReadMode : 0);
        if (addressed_) isr_ |= kTxEmpty;
        else isr_ |= kTxEmpty | kNakSeen | kBusError;
    } else if (addressed_ && chip_.Silent()) {
        icr_ |= kTransfer;
        return;
    } else if (reading_) {
        idbr_ = addressed_ ? chip_.ReadByte(now) : 0xFF;
        isr_ = (isr_ & ~kNakSeen) | kRxFull | ((control & kAckNak) ? kNakSeen : 0);
    } else if (addressed_) {
        chip_.WriteByte(static_cast<uint8_t>(idbr_), now);
        isr_ = (isr_ & ~kNakSeen) | kTxEmpty;
    } else {
        isr_ |= kTxEmpty | kNakSeen | kBusError;
    }
    if (control & kStop) {
        if (addressed_) chip_.Stop();
        addressed_ = false;
        isr_ &= ~(kUnitBusy | kReadMode);
    }
}

void I2c::UpdateLine() {
    bool level = ((isr_ & kTxEmpty) && (icr_ & kTxEmptyIe)) || ((isr_ & kRxFull) && (icr_ & kRxFullIe)) ||
                 ((isr_ & kBusError) && (icr_ & kBusErrIe));
    ic_.SetLine(kIrqI2c, level);
}

}  // namespace platform
