// The board's RAM map as addresses the firmware shows or stores. On the
// target the application is linked for system RAM, so a record's address is
// the same at every start; on the host the program lands wherever the host
// puts it. HwRamAddress gives the board address of a byte the firmware
// holds: the application image (its code, records and buffers) as if loaded
// at kAppImageBase, and the board's own memories at their bus addresses.
#pragma once
#include <cstdint>

// This board carries 128 MB of system RAM: the map's square and terrain
// caches and the 4.9 MB radar picture make the image's zeroed records alone
// over 48 MB, more than the 44 MB that 64 MB would leave above the DMA window.
constexpr uint32_t kSystemRamBase = 0xA0000000;
constexpr uint32_t kSystemRamBytes = 0x08000000;
// Above the DMA-visible window (0xA0800000..0xA13FFFFF), to the end of
// system RAM.
constexpr uint32_t kAppImageBase = 0xA1400000;
constexpr uint32_t kAppImageBytes = kSystemRamBase + kSystemRamBytes - kAppImageBase;

// The board address of `p`; 0 for host memory that has no place in the map
// (the stack, the host's own libraries).
uint32_t HwRamAddress(const void* p);
