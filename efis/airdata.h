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
};
extern AirData G_AirData;

void AirdataSampleStep();
void DemoAirdataStep();
void DrawAirDataPane();
void InitAirdata();
void LoadAirdataCal();
void WriteAirdataCal();
void WriteAirdataFile();
// AOA.KVC keys from the tables just read.
void ReadAoaFile();
void ReadOatChannel();
// Converts one air-data channel 0..6 into its reading.
void ConvertAirChannel(int32_t channel);
void RepairSystemKvd();
void SendAltitudeOutput(uint32_t port);
void CalcWind();
// The altitude offset in feet for a baro setting in thousandths of inHg.
int32_t BaroAltOffset(int32_t baroSetting);
