// Alarm manager.
#pragma once
#include <cstdint>

void AlarmInit();
void AlarmTask();
