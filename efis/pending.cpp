// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "efis/efis.h"

AhrsRecord G_RemoteAhrs = {};
uint32_t G_RemoteAhrsSeen = 0;

void ApplyAttitudeAdjust(AhrsRecord*, const uint8_t*) {}

void CheckAhrsStatus() { ++G_PendingCalls[kPcCheckAhrsStatus]; }
void DemoAhrsStep() {}
void SendAhrsAiding() {}
void DrawAhrsDiagPage() {}
void MagAlignProcedure() {}
// No AHRS decoder yet: its messages are dropped.
void SyncDynonMsg(uint32_t) {}
void ParseDynonMsg(uint8_t*, int32_t, uint32_t) {}
void SyncXbowMsg(uint32_t) {}
void ParseXbow500Msg(uint8_t*, int32_t, uint32_t) {}
