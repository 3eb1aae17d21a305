// The instrument tables shared by every measured instrument (index 0..47).
#pragma once
#include <cstdint>

#include "engine/instad.h"

constexpr int kInstSensorTemp = 1;
constexpr int kInstBattVolts = 4;
constexpr int kInstMainVolts = 5;
constexpr int kInstOat = 6;
constexpr int kInstAuxVolts = 7;
constexpr int kInstRpm = 10;
constexpr int kInstElevTrim = 23;
constexpr int kInstAilTrim = 24;
constexpr int kInstFlapAng = 25;
constexpr int kInstThermoTemp = 44;
constexpr int kInstEngineMsg = 47;

#pragma pack(push, 1)
struct InstReading {            // carried whole by the display link
    int32_t  nValue;
    int32_t  nValue2;
    uint8_t  bValid;
    int32_t  nPercent;
    uint8_t  reserved[4];
    uint32_t nColour;
    char     szText[8];
};
#pragma pack(pop)
static_assert(sizeof(InstReading) == 29);

struct InstCfg {
    int32_t nWord[13];          // limits and options; word 12 holds the options
};
static_assert(sizeof(InstCfg) == 52);
constexpr int kInstCfgShiftAdj = 6;
constexpr int kInstCfgEnable = 10;
constexpr int kInstCfgOptions = 12;

// Instrument names, also the first half of the settings keys "NAME.FIELD".
extern const char InstrumentNames[kInstruments][16];

extern InstReading G_InstReading[kInstruments];
extern InstCfg     G_InstCfg[kInstruments];

// The engine type of the engine information record (0..8).
int32_t EngineType();
// EGT probes of the engine information record.
int32_t EngineEgtProbes();
// Calibration curve: selects the segment for an A/D value, then its slope and
// intercept convert; the temperature-correction points of a probe input.
void    SetInstCalSegment(int32_t inst, int32_t x, int32_t column);
float   InstActiveSlope(int32_t inst);
float   InstActiveIntercept(int32_t inst);
int32_t InstTempCalAd(int32_t inst);
int32_t InstHiTempSlope(int32_t inst);
int32_t InstLowTempSlope(int32_t inst);

void InitInstReadings();
void LogEngineInfo();
