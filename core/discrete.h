// Discrete inputs GPIO74..76, debounced by the 1 ms tick.
#pragma once
#include <cstdint>

struct DiscreteInputs {
    uint32_t nState;    // debounced state bits of the three inputs
};
extern DiscreteInputs G_DiscreteIn;

uint32_t ReadDiscreteInputs();   // the new state, from the tick
