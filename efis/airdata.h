// Air data: sampling, conversion and the altitude-encoder outputs.
#pragma once
#include <cstdint>

struct AirData {
    int32_t  nIas;               // 0.1 kt
    int32_t  nBaroAlt;           // ft
    int32_t  nVs;                // ft/min
    int32_t  nOat;               // 0.1 F
    int32_t  nBaroSetting;       // 0.001 inHg
    int32_t  nBaroAltOffset;     // ft
    int32_t  nAoaRef1;           // compared by the angle-of-attack alarm
    int32_t  nAoaRef2;
    uint16_t nWingPressure;
    int32_t  nFresh;             // 40 on fresh data, counted down every 25 ms
    int32_t  nDensityAlt;        // ft
    uint8_t  bOatValid;          // 1 while the OAT input lies in its window
};
extern AirData G_AirData;

// Angle of attack as the alarm manager reads it.
struct AoaState {
    int32_t nAoa;            // on the segment scale; 24 and above is a stall warning
    int32_t nSpare;
    int32_t nAlarmHold;      // the stall alarm is raised only while 0
    int32_t nInflightCal;    // 1 while the in-flight calibration menu is open
};
extern AoaState G_Aoa;

void AirdataSampleStep();
void DemoAirdataStep();
void DrawAirDataPane();
void InitAirdata();
void LoadAirdataCal();
void WriteAirdataCal();
// AIRDATA.KVD: applies the keys just read; writes the file.
void ParseAirdataFile();
void WriteAirdataFile();
// AOA.KVC written from the angle-of-attack settings.
void WriteAoaFile();
// AOA.KVC keys from the tables just read.
void ReadAoaFile();
void ReadOatChannel();
// The outside air temperature box on the page being drawn.
void DrawOat();
// Converts one air-data channel 0..6 into its reading.
void ConvertAirChannel(int32_t channel);
void RepairSystemKvd();
void SendAltitudeOutput(uint32_t port);
void CalcWind();
// The altitude offset in feet for a baro setting in thousandths of inHg.
int32_t BaroAltOffset(int32_t baroSetting);
