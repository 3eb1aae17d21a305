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

// Roll steering in slot bytes 96..104: flag, value (hundredths of a degree,
// i32) and the GPS's raw label-121 word (u32), little-endian.
bool     NavRollSteerFlag(const NavSrcRec& rec);
int32_t  NavRollSteerValue(const NavSrcRec& rec);
uint32_t NavRollSteerWord(const NavSrcRec& rec);
void     NavSetRollSteer(NavSrcRec& rec, bool on, int32_t value, uint32_t word);
uint32_t NavGetU32(const uint8_t* p);
void     NavPutU32(uint8_t* p, uint32_t v);
// The slot is fed by an ARINC 429 adapter port (its GPS part carries the
// label-117 word in bytes 62..65).
bool     NavSlotIsArinc(const NavSrcRec& rec);
