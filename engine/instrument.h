// The instrument tables shared by every measured instrument (index 0..47).
#pragma once
#include <cstdint>

constexpr int kInstruments = 48;
constexpr int kInstBattVolts = 4;
constexpr int kInstSensorTemp = 1;
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
constexpr int kInstCfgOptions = 12;

struct InstAd {
    int32_t nWord[15];          // A/D state; word 8 the filtered value, 14 its stamp
};
static_assert(sizeof(InstAd) == 60);
constexpr int kInstAdValue = 8;

extern InstReading G_InstReading[kInstruments];
extern InstCfg     G_InstCfg[kInstruments];
extern InstAd      G_InstAd[kInstruments];

void InitInstReadings();
void LogEngineInfo();
