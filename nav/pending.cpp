// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"

void SetNavSrcKinds() {}
void FindNavSources() {}
void UpdateNavSrc(int32_t) { ++G_PendingCalls[kPcUpdateNavSrc]; }
void DemoNavCtrl(uint32_t) {}
void RestartDemoNav() {}
uint16_t GetCdiScale(uint8_t) { return 0; }
void SendAviationOutput(uint32_t) {}
void SendArincFrame(uint32_t) { ++G_PendingCalls[kPcSendArincFrame]; }
void ApVerticalTick() {}
void ApLateralTick() {}
void ApUpdateNav() {}
void ApUpdateAhrs() {}
void SendNavObs(int32_t, int32_t) {}
void LoadApSettings() {}
void DefaultApSettings() {}
// No receiver decoders yet: their messages are dropped.
void ParseNmeaMsg(uint8_t*, int32_t, uint32_t) {}
void ParseVorMsg(uint8_t*, int32_t, uint32_t) {}
void ParseArincMsg(uint8_t*, int32_t, uint32_t) {}
void ParseAvaiationMsg(uint8_t*, int32_t, uint32_t) {}
void ClearNmeaGpsSlot() {}
void ClearVorRadio() {}
void ClearAvtnGps() {}
