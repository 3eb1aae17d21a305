// A/D readings of the instruments and the voltage sampling round-robin.
#pragma once
#include <cstdint>

int32_t ReadAdc(int32_t inst);   // the instrument's new filtered A/D value
void    SampleAdcStep();         // one step, every 25 ms from the main loop
