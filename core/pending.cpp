// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/alarm.h"
#include "core/battery.h"
#include "core/pending.h"
#include "core/rtc.h"
#include "core/timefmt.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/util.h"

uint32_t G_PendingCalls[kPcCount] = {};

int32_t G_AlarmCur = -1;
void AlarmInit() {}
void AlarmAck(int32_t) { G_AlarmCur = -1; }
void AlarmTask() { ++G_PendingCalls[kPcAlarmTask]; }
uint32_t G_BatState = 0;
void CheckBattery() {}
