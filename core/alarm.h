// Alarm manager.
#pragma once
#include <cstdint>

void AlarmInit();
void AlarmTask();

extern int32_t G_AlarmCur;   // slot of the current alarm, -1 none

// Acknowledges the current alarm (mode 2: from soft key 1).
void AlarmAck(int32_t mode);
