#include "core/rtc.h"

DateTime G_DateTime = {};
int8_t  G_UtcOffset = 0;
int32_t G_ClockFormat = 0;
