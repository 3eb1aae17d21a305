// The engine monitor's second share: scan, RPM, calibration files, timers,
// and the engine data outputs.
#pragma once
#include <cstdint>

extern int32_t  G_EngFresh;      // 40 on fresh data, counted down every 25 ms
extern uint32_t G_EngScanStep;   // multiplexer group of the staggered scan

struct EngineDataFrame {
    uint32_t nStamp;             // OS-timer count of the last send
    uint32_t nRebuild;           // 1: build a new frame before the next send
    uint8_t  abFrame[73];
};
extern EngineDataFrame G_EngineDataFrame;

void BuildEngineDataMsg();
void ClearEngineReadings();
void DemoEngineStep();
void DrawEngineGauges();
void InitRpm();
void LoadEgtChtCal();
void LoadHorsepowerTable();
void LogEngineStartStop();
void SendEngineCsvData();
void UpdateEngineTimers();
void UpdateInstReadingsStep();
