#include "storage/clockmem.h"

uint8_t G_ClockMem[kClockMemRegs] = {};
