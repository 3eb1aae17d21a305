// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "engine/pulse.h"

void RpmPulseIsr(uint32_t) {}
void FuelFlowPulseIsr(uint32_t) {}
void MarkRpmPulseDisturbed() {}
