// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "engine/bargauge.h"
#include "engine/engine.h"
#include "engine/enginecfg.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "engine/pulse.h"
#include "engine/tanks.h"

void RpmPulseIsr(uint32_t) {}
void FuelFlowPulseIsr(uint32_t) {}
void MarkRpmPulseDisturbed() {}
void InitFuelFlow() {}
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
void CalcRpm() {}
void CalcFuelFlow() {}
void CalcPercentPower() {}
void ParseEgtChtCal() {}
void SaveEgtChtCal() {}
void ParseTanksCal() {}
void SaveTanksCal() {}
// No tank calibration yet: the tank's A/D mean shows one to one, never held.
int32_t TankLevelFromAd(int32_t inst, int32_t) {
    if (inst >= 0 && inst < kInstruments) {
        G_GaugeLayout[inst].fActiveSlope = 1.0f;
        G_GaugeLayout[inst].fActiveIntercept = 0.0f;
    }
    return 0;
}
int32_t FindHottestEgt() { return kInstEgt1; }
int32_t FindColdestEgt() { return kInstEgt1; }
