// Flash sector erase and write through the monitor, with application
// interrupts held off for the duration of the call.
#pragma once
#include <cstdint>

constexpr uint32_t kFlashSectorBytes = 0x20000;   // 128 KB sectors

int32_t FlashErase(int32_t sector);                                  // negative on failure
int32_t FlashWrite(uint32_t address, const void* data, uint32_t length); // negative on failure

// The flash read directly, as mapped at address 0 of the board.
const uint8_t* FlashPtr(uint32_t address, uint32_t length);
