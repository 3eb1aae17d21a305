// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "engine/engine.h"
#include "engine/fuelcomp.h"
#include "engine/layout.h"
#include "engine/tanks.h"

void BuildEngineDataMsg() { ++G_PendingCalls[kPcBuildEngineDataMsg]; }
void LoadEgtChtCal() {}
void LoadHorsepowerTable() {}
void FadecMsgFrame(uint32_t) {}
void ParseFadecMsg(uint8_t*, int32_t, uint32_t) {}
void InitEngineDataMsg() {}
void CalcPercentPower() {}
void ParseEgtChtCal() {}
void SaveEgtChtCal() {}
HorsepowerCfg G_HorsepowerCfg = {};
void DrawHpGauge() {}
void FadecStatusPage() {}
void InitTrimGauge() {}
void DrawTrimGauge() {}
