// Battery and line-power monitor.
#pragma once

void CheckBattery();
