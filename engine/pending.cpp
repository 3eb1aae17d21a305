// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "engine/engine.h"
#include "engine/enginecfg.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/pulse.h"

void RpmPulseIsr(uint32_t) {}
void FuelFlowPulseIsr(uint32_t) {}
void MarkRpmPulseDisturbed() {}
void InitFuelFlow() {}
void InitInstReadings() {}
void LogEngineInfo() {}
void LoadEngineSettings() {}
void LoadEngineCal() {}
void LoadTanksCal() {}
void CalcFuelComputer() {}
void SnapshotFuelState() {}
void BuildEngineDataMsg() { ++G_PendingCalls[kPcBuildEngineDataMsg]; }
void ClearEngineReadings() {}
void DemoEngineStep() {}
void DrawEngineGauges() {}
void InitRpm() {}
void LoadEgtChtCal() {}
void LoadHorsepowerTable() {}
void LogEngineStartStop() { ++G_PendingCalls[kPcLogEngineStartStop]; }
void SendEngineCsvData() {}
void UpdateEngineTimers() {}
void UpdateInstReadingsStep() { ++G_PendingCalls[kPcUpdateInstReadingsStep]; }
void FadecMsgFrame(uint32_t) {}
void ParseFadecMsg(uint8_t*, int32_t, uint32_t) {}
void SetFadecPresent(uint32_t) {}
void InitEngineDataMsg() {}
void SendEngineCsvHeader() {}
// No calibration yet: A/D counts convert one to one.
int32_t EngineType() { return 0; }
int32_t EngineEgtProbes() { return 4; }
void    SetInstCalSegment(int32_t, int32_t, int32_t) {}
float   InstActiveSlope(int32_t) { return 1.0f; }
float   InstActiveIntercept(int32_t) { return 0.0f; }
int32_t InstTempCalAd(int32_t) { return 0; }
int32_t InstHiTempSlope(int32_t) { return 0; }
int32_t InstLowTempSlope(int32_t) { return 0; }
