// The engine monitor's second share: scan, RPM, calibration files, timers,
// and the engine data outputs.
#pragma once
#include <cstdint>

extern int32_t  G_EngFresh;      // 40 on fresh data, counted down every 25 ms
extern uint32_t G_EngScanStep;   // multiplexer group of the staggered scan

struct Fadec {
    uint32_t nPresent;           // 1 while a FADEC port is active
    uint32_t nFunction;          // the port's function code, 9 or 10
    uint32_t nMessages;          // good messages since start
    uint32_t nBadCrc;            // messages refused for their checksum
    uint32_t nLastStamp;         // OS-timer count of the last good message
    uint32_t nStatus;            // the FADEC's status byte: bit 0 lane A, bit 1 lane B fault
};
extern Fadec G_Fadec;
// The FADEC message: marker, sequence, status, 20 readings, CRC-16.
constexpr int32_t kFadecMsgBytes = 50;
constexpr int32_t kFadecFields = 20;
constexpr int32_t kPageFadec = 20;
// CRC-16 (polynomial 0x1021, start 0xFFFF, no reflection) of the FADEC message.
uint16_t FadecCrc(const uint8_t* bytes, int32_t count);

extern int32_t  G_EngineRunCount;     // seconds the engine has run; 0 stopped
extern uint32_t G_EngineTimerStamp;   // OS-timer count of the last timer step

struct EngineDataFrame {
    uint32_t nStamp;             // OS-timer count of the last send
    uint32_t nRebuild;           // 1: build a new frame before the next send
    uint8_t  abFrame[73];
};
// The 73-byte engine data frame: marker, sequence, validity mask, instruments
// 9..40 as 16-bit values, additive checksum.
constexpr int32_t kEngFrameFirstInst = 9, kEngFrameInsts = 32;
extern EngineDataFrame G_EngineDataFrame;

// FADEC port callbacks; the set-up marks the FADEC present in G_Fadec with
// its function code.
void FadecMsgFrame(uint32_t port);
void ParseFadecMsg(uint8_t* msg, int32_t length, uint32_t port);
void SetFadecPresent(uint32_t function);
void InitEngineDataMsg();
// Engine CSV stream state (set up for the port of function 13).
struct EngineCsvStream {
    uint32_t nStamp;
    uint32_t nSetUp;
    char     szCfg[32];
    uint32_t nCfgLen;
    uint32_t nCfgSent;
    char     szHdr[128];
    uint32_t nHdrLen;
    char     szData[192];
    uint32_t nDataLen;
    uint32_t nCycle;             // 0..14: the header goes with cycle 0
};
extern EngineCsvStream G_EngineCsv;
void SendEngineCsvHeader();
void BuildEngineCsvData();
// Appends "%04X\r\n" of the 16-bit byte sum; the new length.
uint32_t AppendCsvChecksum(char* line, uint32_t len, uint32_t size);

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
// One step of the staggered scan; 1 after the steps that reload freshness.
uint32_t UpdateInstReadingsStep();
// Engine timers: the running totals are loaded from the NVRAM image at boot
// and after the timers are edited.
void LoadEngineTimers();
// Today's time restarts when the stored day differs from the clock's.
void ClearTodayIfNewDay();
void ResetDemoEngine();

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
// HORSEPWR.KVD: ENABLE shows the percent-power gauge; the engine's rated
// power, two manifold pressures (tenths of inHg) and, per RPM row, the power
// at each of them. Rows are {hp at the low MAP, hp at the high MAP, RPM},
// keyed by the third word, RPM rising.
constexpr int32_t kHpRows = 8;
struct HorsepowerCfg {
    int32_t nEnable;
    int32_t nRatedHp;            // whole hp
    int32_t nLowMap, nHighMap;   // tenths of inHg
    int32_t nCount;              // rows in use, 2..8 (fewer: no percent power)
    int32_t row[kHpRows][3];     // whole hp, whole hp, whole RPM
};
extern HorsepowerCfg G_HorsepowerCfg;
// Fills the key tables with HORSEPWR.KVD's lines; the line count.
int32_t FormatHorsepowerTable();
// Writes HORSEPWR.KVD under its pop-ups; 0 when written.
int32_t SaveHorsepowerTable();
// The percent-power gauge and the FADEC status page on the engine page.
void DrawHpGauge();
void FadecStatusPage();
// The elevator and aileron trim indicators: laid out with the engine page
// (and on the aux pane) and drawn in the current pane.
void InitTrimGauge();
void DrawTrimGauge();
// The RPM reading (instrument 10) from the pulse period.
void CalcRpm();
// EGT, TIT and CHT calibration keys of EGTCHT.KVC from the tables just read.
void ParseEgtChtCal();
// Writes EGTCHT.KVC under its pop-ups; 0 when written, else the writer's code.
int32_t SaveEgtChtCal();
