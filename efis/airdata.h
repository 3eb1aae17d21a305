// Air data: the air-data record and its 25 ms sampling cycle, the baro
// setting, the altitude-encoder sentences, the air-data files and the demo
// air-data source.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/adc.h"
#include "core/util.h"

#pragma pack(push, 1)
struct AirData {
    int32_t    nIas;              // +0   tenths of a knot
    int32_t    nTas;              // +4   tenths of a knot, never negative
    int32_t    nBaroAlt;          // +8   indicated altitude, ft: pressure altitude + baro offset
    int32_t    nPressAlt;         // +12  ft, 29.921 inHg datum
    int32_t    nDensityAlt;       // +16  ft
    int32_t    nBaroAltOffset;    // +20  ft, from BaroAltOffset
    int32_t    nVs;               // +24  ft/min, -3850..3850
    int32_t    nVsAvg;            // +28  mean of the last 60 vertical speeds
    int32_t    nStallArmIas;      // +32  tenths of a knot: the stall alarm is armed above it
    int32_t    nStallIas;         // +36  the IAS the stall alarm compares with it
    uint16_t   nWingPressure;     // +40  wing pressure, tenths of a psf (0 at or below 0)
    uint8_t    reserved[10];      // +42..51
    int32_t    nBaroSetting;      // +52  thousandths of an inHg
    int32_t    nOat;              // +56  tenths of a degree F
    uint8_t    bOatValid;         // +60
    uint8_t    nFresh;            // +61  40 on fresh data, counted down every 25 ms
    uint8_t    bNetState[3];      // +62..64 cleared by every local step
    uint8_t    pad[3];            // +65..67 not carried, not written
    uint8_t    scratch[28];       // +68..95
    AvgCirc    history;           // +96  pressure altitude with its sample stamps
    RunningAvg vsAvg;             // +4104
};
#pragma pack(pop)
static_assert(sizeof(AvgCirc) == 4008);
static_assert(sizeof(AirData) == 6124);
static_assert(offsetof(AirData, nTas) == 4 && offsetof(AirData, nBaroAlt) == 8 && offsetof(AirData, nPressAlt) == 12);
static_assert(offsetof(AirData, nDensityAlt) == 16 && offsetof(AirData, nBaroAltOffset) == 20);
static_assert(offsetof(AirData, nVs) == 24 && offsetof(AirData, nVsAvg) == 28 && offsetof(AirData, nStallArmIas) == 32);
static_assert(offsetof(AirData, nBaroSetting) == 52 && offsetof(AirData, nOat) == 56);
static_assert(offsetof(AirData, bOatValid) == 60 && offsetof(AirData, nFresh) == 61 && offsetof(AirData, bNetState) == 62);
static_assert(offsetof(AirData, scratch) == 68 && offsetof(AirData, history) == 96 && offsetof(AirData, vsAvg) == 4104);
extern AirData G_AirData;

constexpr uint32_t kAirDataLinkBytes = 65;   // the part the display link carries
constexpr uint8_t  kAirFreshLoad = 40;       // 1 s of 25 ms steps
constexpr int32_t  kVsLimit = 3850;          // ft/min
constexpr int32_t  kBaroStdSetting = 29921;

// Airspeed limits in knots (AIRDATA.KVD): the autopilot holds its speeds
// within them and the airspeed bands are drawn from them.
struct AirspeedCfg {
    int32_t nVs0;     // stall, flaps down (bottom of the white arc)
    int32_t nVs1;     // stall, clean (bottom of the green arc)
    int32_t nVfe;     // top of the white arc
    int32_t nVno;     // top of the green arc
    int32_t nVne;     // red line
};
extern AirspeedCfg G_AirspeedCfg;

// ---- sampling --------------------------------------------------------------------------------
void InitAirdata();
void PrimeAirdata();
void AirdataSampleStep();
// Converts one air-data channel 0..6; 7 and above do nothing.
void ConvertAirChannel(int32_t channel);
void ReadAltitudeChannel();
void ReadAirspeedChannel();
void CalcTas();
void CalcDensityAlt();
void CalcVsi();
void InitOatInstrument();
// The state of the 8-step cycle (0..7), for the tests and the demo source.
uint32_t& AirdataCycleState();
// Half away from zero, through single precision, saturating.
int32_t RoundHalfAwayF(double v);

// ---- baro setting and the altitude encoder ---------------------------------------------------
// The altitude offset in feet for a baro setting in thousandths of inHg.
int32_t BaroAltOffset(int32_t baroSetting);
int32_t BaroFromFieldAlt(int32_t fieldAlt);
void    InitBaro();
void    SendAltitudeOutput(uint32_t port);
// The encoder sentence of a port function for a pressure altitude, with its
// carriage return; false (and an empty line) for another function.
bool    FormatAltitudeSentence(uint32_t function, int32_t pressAlt, char* out, int32_t size);

// ---- files -----------------------------------------------------------------------------------
void LoadAirdataCal();
void WriteAirdataCal();
// AIRDATA.KVD: applies the keys just read; writes the file.
void ParseAirdataFile();
void WriteAirdataFile();
void RepairSystemKvd();
// The OAT input when the air data are not installed but the engine is.
void ReadOatChannel();

// ---- demo source and the pane ---------------------------------------------------------------
void DemoAirdataStep();
void DrawAirDataPane();
// The outside air temperature box on the page being drawn.
void DrawOat();
void CalcWind();
