// RPM and fuel-flow pulse inputs, time-stamped by the GPIO interrupt.
#pragma once
#include <cstdint>

void RpmPulseIsr(uint32_t count);
void FuelFlowPulseIsr(uint32_t count);
// An interrupt hold spans the current pulse interval: it must not be used.
void MarkRpmPulseDisturbed();
