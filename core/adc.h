// Signal filters and voltage sampling: the windowed rate estimator and the
// round-robin of the three supply voltages.
#pragma once
#include <cstdint>

constexpr int32_t kAvgCircSlots = 500;

struct AvgCirc {
    int32_t  nLen;                    // window in samples, 1..500
    int32_t  nIdx;                    // next slot written
    uint32_t anTime[kAvgCircSlots];   // the caller's clock
    int32_t  anValue[kAvgCircSlots];
};

void   AvgCircInit(AvgCirc* avg, int32_t length, int32_t value, uint32_t time);
void   AvgCircAdd(AvgCirc* avg, int32_t value, uint32_t time);
// Value units per unit of the time stamps between the newest sample and
// the one a window back (a window of 500 reaches the oldest kept sample).
double AvgCircSlope(const AvgCirc* avg);

void SampleAdcStep();
void SampleVoltChannel(int32_t inst);
void PrimeVoltChannels();
