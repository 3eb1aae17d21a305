// RPM and fuel-flow pulse inputs, time-stamped by the GPIO interrupt.
#pragma once
#include <cstdint>

void RpmPulseIsr(uint32_t count);
void FuelFlowPulseIsr(uint32_t count);
// An interrupt hold spans the current pulse interval: it must not be used.
void MarkRpmPulseDisturbed();

struct RpmPulse {
    uint32_t nDisturbed;         // an interrupt hold spanned the current interval
    uint32_t nCount;             // pulses seen; 5 or more: the engine runs
    uint32_t nWriteInProgress;   // 1 around the main loop's NVRAM write
};
extern RpmPulse G_RpmPulse;

void InitFuelFlow();
// The FUEL_FLOW reading from the pulse counts or the injector open time.
void CalcFuelFlow();
