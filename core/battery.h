// Battery and line-power monitor.
#pragma once
#include <cstdint>

// 0 line power, 1 on battery with the switch-off count-down, 2 switch off
// now, 3 on battery with operation confirmed, 4 low-battery count-down.
extern uint32_t G_BatState;

void CheckBattery();
