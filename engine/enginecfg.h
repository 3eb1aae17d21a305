// Engine settings files: ENGINE.KVD (limits and options of instruments
// 9..47 and the engine type) and ENGINE.KVC (calibration points).
#pragma once
#include <cstdint>

#include "engine/instrument.h"

extern const char EngineTypeNames[kEngineTypes][kInstNameBytes];

void    LoadEngineSettings();
void    ParseEngineSettings();
// Fills the key and value tables with the file's lines; the line count.
int32_t FormatEngineSettings();
// The result of the write: 0, or the file writer's failure code.
int32_t SaveEngineSettings();
void    LoadEngineCal();
int32_t SaveEngineCal();
