// Engine bar gauges and the EGT searches the instrument update uses.
#pragma once
#include <cstdint>

// Instrument numbers of the hottest and the coldest EGT shown.
int32_t FindHottestEgt();
int32_t FindColdestEgt();
