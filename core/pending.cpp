// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "core/rtc.h"
#include "core/timefmt.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/util.h"

uint32_t G_PendingCalls[kPcCount] = {};

