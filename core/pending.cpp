// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include <cstdarg>
#include <cstdio>

#include "core/alarm.h"
#include "core/audio.h"
#include "core/battery.h"
#include "core/discrete.h"
#include "core/pending.h"
#include "core/rtc.h"
#include "core/timefmt.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/util.h"

uint32_t G_PendingCalls[kPcCount] = {};
char     G_DrawnText[kDrawnTexts][128] = {};
uint32_t G_DrawnTextCount = 0;

uint32_t ReadDiscreteInputs() { return G_DiscreteIn.nState; }
void DrawDiscreteInputs() {}
void AlarmInit() {}
void AlarmTask() { ++G_PendingCalls[kPcAlarmTask]; }
int32_t InitAudio() { return 0; }
int32_t PlaySound(int32_t) { return 0; }
void CheckBattery() {}

// Keeps the drawn texts so that tests can read them until the fonts land.
int32_t DrawTextF(uint32_t, int32_t, int32_t, int32_t x, int32_t, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(G_DrawnText[G_DrawnTextCount++ % kDrawnTexts], sizeof G_DrawnText[0], format, args);
    va_end(args);
    return x;
}
