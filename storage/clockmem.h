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
// Writes the factory defaults, keeping the knob functions, the timer preset
// and the navigation field in 49..53 as the chip held them.
void SetDefaultClockMem();

// ---- settings of other subsystems that the clock memory mirrors ------------
// Defined in storage/pending.cpp until their owners' modules land; each owner
// then takes its record over with at least these fields.

struct NavSrcHeader {
    uint8_t nFlags1;       // display flags (bits 0..6 mirrored in register 12)
    uint8_t nFlags2;       // bit 2 and 3 follow bits 4/5 of nFlags1; bit 4 mirrored in register 12 bit 7
    uint8_t nCrsSlot;      // course source (HSI and autopilot)
    uint8_t nBrgSlot;      // bearing source
    uint8_t nEfisSlot;     // EFIS source box
    uint8_t nMapSlot;      // map source
    int16_t nHdgBug;       // degrees 0..359
    int16_t nAltBug;       // feet, a multiple of 10
    int16_t nAltBugNext;   // the field that follows the altitude bug
    int16_t nSpdBug;       // 0..500
};
extern NavSrcHeader G_NavSrc;

extern uint32_t G_MapPvtOn, G_MapIntsOn, G_DistUnits, G_MapZoom, G_MapViewMode, G_NexradOn, G_MapAirOn,
    G_MapShowEngine;
extern uint32_t G_KnobPushSel;
extern int32_t  G_BaroSetting;   // inHg x 1000
void BaroAltOffset();            // recomputes the altitude offset from the baro setting
