// Time texts for log lines and the count-down timer.
#pragma once
#include <cstdint>

// Pointer to a static text; kind 4 is "hh:mm:ss.mmm", the stamp after "@".
const char* FormatTime(int32_t kind);
void TimerInit();
void TimerTick();
