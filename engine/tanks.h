// Fuel tanks TANK_1..TANK_4: their calibration in two columns (ground,
// flight) and the running average of each tank's A/D samples.
#pragma once
#include <cstdint>

#include "core/util.h"

constexpr int kTanks = 4;
constexpr int kTankPoints = 15;

struct TankPoint {
    int32_t nDisplay;            // tenths of a gallon
    int32_t nAdGround;
    int32_t nAdFlight;
};
struct TankSegment {
    float   fSlope;
    float   fIntercept;
    int32_t nStartAd;
};
struct TankRecord {
    int32_t     nCount;                      // points, 1..15
    TankPoint   point[kTankPoints];
    int32_t     nStopAd[2];                  // ground, flight; 0 = none
    int32_t     nStopPoint[2];
    TankSegment segment[2][kTankPoints];
    RunningAvg  avg;                         // the tank's A/D samples; nMean first
};
static_assert(sizeof(TankRecord) == 2580);

extern TankRecord G_TankTable[kTanks];

// The level flag (1: held at the stop point) for a tank instrument and an
// A/D mean; makes the tank's segment active in its gauge record.
int32_t TankLevelFromAd(int32_t inst, int32_t ad);
void    ParseTanksCal();
void    LoadTanksCal();
// Writes TANKS.KVC.
void    SaveTanksCal();
