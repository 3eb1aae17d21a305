// The instrument model: 48 numbered instruments, each keyed into four
// parallel tables (settings, calibration curve, A/D state, live reading),
// the piecewise-linear calibration and the conversion of one input.
#pragma once
#include <cstdint>

#include "engine/instad.h"

// Instrument numbers used by name elsewhere.
constexpr int kInstAltitude   = 0;
constexpr int kInstSensorTemp = 1;
constexpr int kInstAirspeed   = 3;
constexpr int kInstBattVolts  = 4;
constexpr int kInstMainVolts  = 5;
constexpr int kInstOat        = 6;
constexpr int kInstAuxVolts   = 7;
constexpr int kInstVertSpeed  = 8;
constexpr int kInstFuelComp   = 9;
constexpr int kInstRpm        = 10;
constexpr int kInstManifold   = 11;
constexpr int kInstFuelFlow   = 13;
constexpr int kInstAmpsShunt  = 14;
constexpr int kInstAmpsHall   = 15;
constexpr int kInstOilTemp    = 17;
constexpr int kInstCarbTemp   = 18;
constexpr int kInstTank1      = 19;
constexpr int kInstTank4      = 22;
constexpr int kInstElevTrim   = 23;
constexpr int kInstAilTrim    = 24;
constexpr int kInstFlapAng    = 25;
constexpr int kInstEgt1       = 26;
constexpr int kInstEgt6       = 31;
constexpr int kInstTit1       = 32;
constexpr int kInstTit2       = 33;
constexpr int kInstCht1       = 34;
constexpr int kInstCht6       = 39;
constexpr int kInstHp         = 40;
constexpr int kInstThermoTemp = 44;
constexpr int kInstCoolTemp   = 47;
constexpr int kInstEngineMsg  = kInstCoolTemp;   // the reading sent with the engine stream's event

constexpr int kInstNameBytes = 16;
extern const char InstrumentNames[kInstruments][kInstNameBytes];

// Settings of one instrument, in the order of InstFieldNames (the keys of
// ENGINE.KVD). Some instruments give a slot another meaning under its own key.
constexpr int kInstFields = 13;
struct InstCfg {
    int32_t nMax;
    int32_t nRedHigh;
    int32_t nYellowHigh;
    int32_t nYellowLow;
    int32_t nRedLow;
    int32_t nMin;
    int32_t nShiftAdj;     // display-unit offset; RPM pulses per 2 revs, FUEL_FLOW K factor ...
    int32_t nScaleFctr;    // FUEL_FLOW injector delay
    int32_t nScaleApply;
    int32_t nUnits;
    int32_t nEnable;       // 0: the reading is always invalid
    int32_t nAudio;
    int32_t nGaugeType;    // FUEL_FLOW sensor type
};
static_assert(sizeof(InstCfg) == kInstFields * 4);
enum InstField {
    kFldMax, kFldRedHigh, kFldYellowHigh, kFldYellowLow, kFldRedLow, kFldMin, kFldShiftAdj,
    kFldScaleFctr, kFldScaleApply, kFldUnits, kFldEnable, kFldAudio, kFldGaugeType,
};
// 13 field names, then "NUM_CAL_PTS" (the calibration key of G_InstCal).
extern const char InstFieldNames[kInstFields + 1][kInstNameBytes];
// A field by its index 0..12.
int32_t& InstCfgField(InstCfg& cfg, int field);

constexpr int kCalPoints = 24;
struct CalPoint {
    int32_t nDisplay;
    int32_t nAd;
};
struct CalSegment {
    float   fSlope;
    float   fIntercept;
    int32_t nStartAd;
};
struct InstCal {
    int32_t    nNumPts;          // 2..24 once the segments are built
    int32_t    nTempCalAd;       // reference A/D value at which the points were taken
    int32_t    nHiTempSlope;     // percent of counts per count, reference above nTempCalAd
    int32_t    nLowTempSlope;    // the same, reference at or below it
    CalPoint   point[kCalPoints];
    CalSegment segment[kCalPoints];
};
static_assert(sizeof(InstCal) == 124 * 4);

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

struct EngInfo {
    int32_t nEgtCount;
    int32_t nChtCount;
    int32_t nTitCount;           // 0..2
    int32_t nSpare3;
    int32_t nHotEgt;             // instrument of the hottest EGT
    int32_t nEgtSel;             // second EGT selection (the coldest)
    int32_t nSpare6;
    int32_t bEngInfoSet;         // 1 once LogEngineInfo has run
    int32_t nEngineType;         // 0..8, STD_4CYL .. M14_9CYL
    int32_t nLayoutScale[3];     // percent
};

constexpr int32_t kEngStd4 = 0, kEngStd6 = 1, kEngRotax912 = 2, kEngRotax914 = 3, kEngJabiru4 = 4,
                  kEngJabiru6 = 5, kEngSubaru4 = 6, kEngSubaru6 = 7, kEngM14 = 8;
constexpr int32_t kEngineTypes = 9;

extern InstReading G_InstReading[kInstruments];
extern InstCfg     G_InstCfg[kInstruments];
extern InstCal     G_InstCal[kInstruments];
extern EngInfo     G_EngInfo;

// Rebuilds the segments of an instrument's curve from its points.
void CalcInstCalSlopes(int32_t inst);
// Makes the segment holding x active in the instrument's gauge record;
// column 1 searches the A/D values, any other the display values.
void SetInstCalSegment(int32_t inst, int32_t x, int32_t column);
// The standard conversion of an A/D value through the instrument's curve,
// with or without its SHIFT_ADJ offset, rounded half up. False when the
// curve cannot give a value there (equal A/D points, out of range).
bool ConvertInstAd(int32_t inst, int32_t ad, bool withShift, int32_t* value);
void UpdateInstReading(int32_t inst);
void InitInstReadings();
void LogEngineInfo();
// Index of the segment holding x in rows of three words keyed by the third;
// -1 below two rows.
int32_t FindSegmentIndex(const int32_t (*table)[3], int32_t count, int32_t x);
int32_t MapGaugeFont(int32_t font, int32_t large);
