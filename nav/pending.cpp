// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"

void SendAviationOutput(uint32_t) {}
void SendArincFrame(uint32_t) { ++G_PendingCalls[kPcSendArincFrame]; }
void ApVerticalTick() {}
void ApLateralTick() {}
void ApUpdateNav() {}
void LoadApSettings() {}
void DefaultApSettings() {}
// No receiver decoders yet: their messages are dropped.
void ParseVorMsg(uint8_t*, int32_t, uint32_t) {}
void ParseArincMsg(uint8_t*, int32_t, uint32_t) {}
void ParseAvaiationMsg(uint8_t*, int32_t, uint32_t) {}
void ClearVorRadio() {}
void ClearAvtnGps() {}
