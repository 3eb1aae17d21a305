// What one knob delta does to the value of the knob's current function.
#pragma once
#include <cstdint>

// Speed step: a multiple of 19 takes the fast step, of 9 the medium one,
// any other delta the slow one; each times the delta's remainder by 2.
int32_t SpeedStep(int32_t delta, int32_t fast, int32_t medium, int32_t slow);
void    KnobAdjust(int32_t knob);
