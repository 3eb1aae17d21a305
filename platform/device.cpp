#include "platform/device.h"

namespace platform {

uint32_t RegisterFile::Read(uint32_t offset, int width) {
    (void)width;
    return Get(offset);
}

void RegisterFile::Write(uint32_t offset, uint32_t value, int width) {
    (void)width;
    for (int i = 0; i < used_; ++i) {
        if (offsets_[i] == offset) {
            values_[i] = value;
            return;
        }
    }
    if (used_ < kSlots) {
        offsets_[used_] = offset;
        values_[used_++] = value;
    }
}

void RegisterFile::Reset() { used_ = 0; }

uint32_t RegisterFile::Get(uint32_t offset) const {
    for (int i = 0; i < used_; ++i)
        if (offsets_[i] == offset) return values_[i];
    return 0;
}

}  // namespace platform
