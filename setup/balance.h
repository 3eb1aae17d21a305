// Weight and balance: the aircraft description, its loading stations and
// design CG range (AIRCRAFT.KVD), the aircraft picture (AIRCRAFT.KVB), the
// totals and CGs computed from them, and the two pages that show and edit
// them. The file services are declared in setup.h, the pages in auxpages.h.
#pragma once
#include <cstdint>

constexpr int kWbStations = 12;          // station 0 empty aircraft, 1 minimum fuel, 2.. loading
constexpr int kWbFirstLoad = 2;
constexpr int kWbTextBytes = 96;
constexpr int kWbLiquidUnitsBytes = 4;   // at most 3 characters

struct WbItem {
    char    DESC[kWbTextBytes];      // "TANK1".."TANK4" for the fuel tanks
    int32_t QUANTITY;                // weight units, or liquid units for a liquid station
    float   LENGTH;                  // arm, length units
    char    TYPE[kWbTextBytes];      // first letter L or l: liquid
    int32_t X, Y;                    // where the quantity is written on the picture
};
struct WbItemList {
    WbItem   item[kWbStations];
    uint32_t nCount;                 // stations read
};
extern WbItemList G_WbItems;

struct AircraftRecord {
    char    AIRCRAFT[kWbTextBytes];
    float   DESIGN_CG_LOWER, DESIGN_CG_UPPER;
    int32_t CG_LOWER_X, CG_UPPER_X;  // picture x of the two limits
    int32_t MAX_GROSS_WEIGHT;
    float   LIQUID_DENSITY;          // weight units per liquid unit
    char    WEIGHT_UNITS[kWbTextBytes];
    char    LENGTH_UNITS[kWbTextBytes];
    char    LIQUID_UNITS[kWbLiquidUnitsBytes];
};
extern AircraftRecord G_Aircraft;

// Selections of the two pages and the field edited on the station editor
// (1 quantity, 3 arm, 5 X, 6 Y).
extern uint32_t G_WbSel;
extern uint32_t G_WbCfgSel;
extern uint32_t G_WbCfgField;

// Stations read, never more than the list holds.
uint32_t WbStationCount();
bool     WbIsLiquid(const WbItem& item);
// The capacity in whole fuel units of a station named TANK1..TANK4 (any
// case); 0 for other stations and for a tank without a maximum (no limit).
int32_t  WbTankCapacity(const WbItem& item);

// The loading as the weight-and-balance page shows it; every product in
// single precision, liquid weights truncated, as the unit computes them.
struct WbTotals {
    int32_t nFuelQuantity;     // liquid units
    int32_t nFuelWeight;
    int32_t nPayload;
    int32_t nTakeoffWeight;
    float   fFullCg;
    float   fMinFuelWeight;
    float   fMinCg;
    bool    bWeightOk;         // take-off weight at most the maximum gross weight
    bool    bFullCgOk;         // inside the design CG range
    bool    bMinCgOk;
};
WbTotals WbCompute();

// A value with one decimal or with two, rounded half away from zero first
// and signed by the value ("-0.5", "85.4", "6.00").
void FormatTenths(char* out, int32_t size, float value);
void FormatHundredths(char* out, int32_t size, float value);

// Checks an AIRCRAFT.KVB image of `size` bytes; 0 when it can be loaded,
// else the log line that refuses it.
const char* CheckAircraftBitmap(const uint8_t* file, uint32_t size);
