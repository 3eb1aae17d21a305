#include "core/boot.h"

uint32_t G_CalRestart = 0;
uint32_t G_RebootCount = 0;
NetStreamCfg G_NetStreamCfg[kNetStreams] = {};
