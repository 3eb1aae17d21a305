// The clock memory: the often-changed settings kept in the clock chip's
// battery-backed registers 10..54, shadowed in G_ClockMem by register number.
#pragma once
#include <cstdint>

constexpr int32_t kClockMemRegs  = 57;   // registers 0..56 in the shadow
constexpr int32_t kClockMemFirst = 10;
constexpr int32_t kClockMemCount = 45;   // registers 10..54

extern uint8_t G_ClockMem[kClockMemRegs];

// Loads registers 10..54 into the image and the records they mirror,
// repairing (and writing back) values out of range.
void ReadNVClock();
// Packs the image and the records into registers 10..54 and writes them.
void WriteNVClock();
// Writes the fields the settings image owns after a restore of the image,
// keeping every other register as the chip holds it.
void WriteNVClockImage();
// Writes the factory defaults, keeping the knob functions, the timer preset
// and the navigation field in 49..53 as the chip held them.
void SetDefaultClockMem();
