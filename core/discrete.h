// Discrete inputs GPIO74..76, debounced by the 1 ms tick.
#pragma once
#include <cstdint>

constexpr int kDiscreteInputs = 3;

struct DiscreteInput {
    uint32_t nMode;       // 0 none, 2 counting
    uint32_t nInvert;
    uint32_t nCount;      // seconds active, in counting mode
    uint32_t nLimit;
    uint32_t nAlarm;
    char     szLabel[12];
};

struct DiscreteInputs {
    uint32_t nState;      // debounced state bits of the three inputs (bit 0 = input 1)
    DiscreteInput input[kDiscreteInputs];
};
extern DiscreteInputs G_DiscreteIn;

uint32_t ReadDiscreteInputs();   // the new state, from the tick
void     DrawDiscreteInputs();
