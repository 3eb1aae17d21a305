// The navigation-source merge: each external source's protocol record into
// its slot of G_NavSrc, with ageing, validity and the clear rule.
#pragma once
#include <cstdint>

#include "nav/navsrc.h"

constexpr uint32_t kNavOverrideTicks = 11059200;   // course override: 3 s
constexpr uint32_t kNavTimeoutTicks  = 36864000;   // sentence time-out, clear delay: 10 s
constexpr uint32_t kNavRouteTicks    = 73728000;   // route time-out: 20 s
constexpr uint32_t kNavObsResendTicks = 368600;    // course resend to the radio: 0.1 s
constexpr uint32_t kNavAvtnClearPasses = 6;
constexpr int16_t  kNavNoAltitude    = 0x7FFF;

extern uint32_t G_NavInvalidCount[kNavSlots];   // passes in a row with invalid data
extern uint32_t G_NavValidCount[kNavSlots];     // valid passes since the slot was last cleared
extern uint32_t G_NavInvalidSince[kNavSlots];   // first invalid pass of the current run
extern uint32_t G_NavMergePasses;                // merges run for a source slot

// The slot (0..2) of a source port, or -1.
int32_t NavSlotOfPort(uint32_t port);
// Rounds half away from zero.
int32_t NavRound(double value);
