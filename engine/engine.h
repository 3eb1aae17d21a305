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

// FADEC port callbacks; the set-up marks the FADEC present in G_Fadec with
// its function code.
void FadecMsgFrame(uint32_t port);
void ParseFadecMsg(uint8_t* msg, int32_t length, uint32_t port);
void SetFadecPresent(uint32_t function);
void InitEngineDataMsg();
void SendEngineCsvHeader();

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

// Percent power through the horsepower table; the result words follow a
// leading word: validity (low byte), second value, value.
struct PercentPower {
    int32_t nLead;
    int32_t nValid;
    int32_t nValue2;
    int32_t nValue;
};
extern PercentPower G_PercentPower;
void CalcPercentPower();
// The RPM reading (instrument 10) from the pulse period.
void CalcRpm();
// EGT, TIT and CHT calibration keys of EGTCHT.KVC from the tables just read.
void ParseEgtChtCal();
// Writes EGTCHT.KVC.
void SaveEgtChtCal();
