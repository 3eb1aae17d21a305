// Register and memory access of the board, as the firmware sees it.
// Every access is also a point where board time passes and a pending
// interrupt may be taken, as it could on the target between two instructions.
#pragma once
#include <cstdint>

uint8_t  HwRead8(uint32_t addr);
uint16_t HwRead16(uint32_t addr);
uint32_t HwRead32(uint32_t addr);
void     HwWrite8(uint32_t addr, uint8_t value);
void     HwWrite16(uint32_t addr, uint16_t value);
void     HwWrite32(uint32_t addr, uint32_t value);

// Host pointer to `len` bytes of a board memory (flash window at 0, display
// frame memory at 0x0C200000, DMA-visible RAM at 0xA0800000, see
// platform/dma.h); nullptr when the range is not memory.
uint8_t* HwMemory(uint32_t addr, uint32_t len);

// One round of a busy-wait: time passes and interrupts are taken.
void HwIdle();
// A wait that nothing but time ends before the OS-timer count reaches
// `count`: board time moves on to that count or to the next device event
// (a match, a byte on a line, the display engine finishing), whichever is
// first, and interrupts are taken. Nothing is done on the target.
void HwIdleUntil(uint32_t count);
