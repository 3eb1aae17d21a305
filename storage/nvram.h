// The NVRAM settings image kept in RAM (stored in flash by its owner).
#pragma once
#include <cstdint>

constexpr uint32_t kNVRamSize = 988;
extern uint8_t G_NVRam[kNVRamSize];

// Byte offsets of the fields read here.
constexpr uint32_t kNvSerialDebugOn = 28;

// Fields may sit at odd offsets: read and written bytewise, little-endian.
uint32_t NvGetU32(uint32_t offset);
void     NvSetU32(uint32_t offset, uint32_t value);
