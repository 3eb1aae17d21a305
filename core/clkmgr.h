// The processor's clock manager, shared by the drivers that switch their unit's clock on.
#pragma once
#include <cstdint>

constexpr uint32_t CKEN = 0x41300004;   // clock enables
