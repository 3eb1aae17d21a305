#include "storage/nvram.h"

uint8_t G_NVRam[kNVRamSize] = {};

uint32_t NvGetU32(uint32_t offset) {
    if (offset > kNVRamSize - 4) return 0;
    return uint32_t{G_NVRam[offset]} | uint32_t{G_NVRam[offset + 1]} << 8 |
           uint32_t{G_NVRam[offset + 2]} << 16 | uint32_t{G_NVRam[offset + 3]} << 24;
}

void NvSetU32(uint32_t offset, uint32_t value) {
    if (offset > kNVRamSize - 4) return;
    for (uint32_t i = 0; i < 4; ++i) G_NVRam[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

uint32_t G_NVRamSector = 62;
