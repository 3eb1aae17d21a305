// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/audio.h"
#include "core/discrete.h"
#include "core/pending.h"
#include "core/rtc.h"
#include "core/timefmt.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/util.h"

uint32_t G_PendingCalls[kPcCount] = {};

uint32_t ReadDiscreteInputs() { return G_DiscreteIn.nState; }
void DrawDiscreteInputs() {}
int32_t InitAudio() { return 0; }
int32_t PlaySound(int32_t) { return 0; }
