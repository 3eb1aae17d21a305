// Engine bar gauges, and the EGT searches the instrument update uses.
#pragma once
#include <cstdint>

#include "engine/lean.h"

void LayoutBarGauge(int32_t inst);
// mode 0: static parts into the background; 1: marker and value; 2: red cross.
void DrawBarGauge(int32_t inst, int32_t mode);
void DrawEngineBarGauges();
// Formats the reading's text as the bar gauges show it.
void FormatBarText(int32_t inst);
