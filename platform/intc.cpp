#include "platform/intc.h"

namespace platform {

uint32_t InterruptController::Read(uint32_t offset, int) {
    switch (offset) {
    case 0x00: return active_;                      // ICIP
    case 0x04: return mask_;                        // ICMR
    case 0x08: return level_;                       // ICLR
    case 0x0C: return pending_ & mask_ & level_;    // ICFP
    case 0x10: return pending_;                     // ICPR
    case 0x14: return control_;                     // ICCR
    default:   return 0;
    }
}

void InterruptController::Write(uint32_t offset, uint32_t value, int) {
    switch (offset) {
    case 0x04: mask_ = value; break;
    case 0x08: level_ = value; break;
    case 0x14: control_ = value & 1; break;
    default: break;   // pending bits follow their sources
    }
    Update();
}

void InterruptController::Reset() {
    pending_ = mask_ = level_ = control_ = 0;
    Update();
}

void InterruptController::SetLine(uint32_t bit, bool level) {
    if (level) pending_ |= 1u << bit;
    else pending_ &= ~(1u << bit);
    Update();
}

}  // namespace platform
