// Clock memory: the settings kept in the clock chip's battery-backed registers.
#pragma once

void ReadNVClock();
