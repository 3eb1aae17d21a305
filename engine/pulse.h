// RPM and fuel-flow pulse inputs (GPIO72 and GPIO71), time-stamped by the
// GPIO interrupt, and the readings computed from them in the main loop.
#pragma once
#include <cstdint>

#include "core/util.h"

struct RpmPulse {
    uint32_t   nStamp;            // OS-timer count of the last edge
    uint32_t   nPeriod;           // last measured period, us
    uint32_t   nMinPeriod;        // acceptance window, us (strict)
    uint32_t   nMaxPeriod;
    uint32_t   nSpare0;
    int32_t    nRejects;          // consecutive periods outside the window
    uint32_t   nRefillReq;        // 1: the handler refills the average before its next sample
    int32_t    nFiltAcc;          // smoothing accumulator (RPM << S)
    int32_t    nFiltered;         // smoothed RPM
    RunningAvg avg;               // accepted periods, us
    uint32_t   nSkip;             // 1: the next edge only refreshes the stamp
    uint32_t   nWriteInProgress;  // hold: set around the main loop's NVRAM write
    uint32_t   nEdges;
};
static_assert(sizeof(RpmPulse) == 2068);
extern RpmPulse G_RpmPulse;

struct FuelFlowPulse {
    uint32_t   nStart;            // injection start (or last edge), OS-timer count
    uint8_t    bArmed;            // an injection start is marked and not measured
    uint8_t    pad[3];
    uint32_t   nEnd;
    uint32_t   nOpen;             // ticks
    uint32_t   nNetOpen;          // ticks, less the injector delay
    uint32_t   nDelay;            // injector delay, ticks
    RunningAvg openAvg;           // net open times, 25 samples
    uint32_t   nCount;            // pulses or measured injections
    uint32_t   nSkip;             // 1: ignore the next edge
    RunningAvg flow25;
    RunningAvg flow10;
    uint32_t   nSuspend;          // not 0: injector timing paused
    uint32_t   nSpare;
    double     dFuelPerPulse;     // tenths of a gallon
    // Fuel counted by the handler and not yet moved into the NVRAM totals;
    // only the main loop moves it, with the edge interrupt masked.
    double     dPendingUsed;
};
extern FuelFlowPulse G_FuelFlowPulse;

// Pulses per two revolutions from the stored code (0 or less reads as 2).
float   RpmP2(int32_t code);
int32_t RpmN(int32_t code);

void InitRpm();
void RpmPulseIsr(uint32_t count);
// An interrupt hold spans the current pulse interval: it must not be used.
void MarkRpmPulseDisturbed();
// The RPM reading (instrument 10) from the mean period.
void CalcRpm();

void InitFuelFlow();
void FuelFlowPulseIsr(uint32_t count);
// The FUEL_FLOW reading from the pulse counts or the injector open time.
void CalcFuelFlow();
// Moves the fuel counted by the handler into the NVRAM totals (main loop).
void FoldFuelTotals();
// Fuel used and remaining including what the handler counted since the last fold.
double FuelUsed();
double FuelRemaining();
// FUEL_COMP's used and remaining readings from those totals, halves away from zero.
void RefreshFuelCompReading();
