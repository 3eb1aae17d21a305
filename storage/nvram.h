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
constexpr uint32_t kNvStoredPage   = 24;    // page shown at the last shutdown
constexpr uint32_t kNvDimLevel     = 32;
constexpr uint32_t kNvLastLat      = 44;    // last position, degrees x 10000
constexpr uint32_t kNvLastLon      = 48;
constexpr uint32_t kNvNavMode      = 773;   // byte

extern uint32_t G_NVRamSector;   // flash sector holding the newest image

void    ReadNVRam();
int32_t WriteNVRam(int32_t force);   // result of the last flash write, negative on failure
void    WriteNVRamFile();
