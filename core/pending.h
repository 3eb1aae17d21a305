// Services and records of other modules that the serial ports and the A/D
// sampling call before those modules exist. Declared here until their owners
// land (each then declares it in its own header), and defined until then in
// core/pending.cpp doing the least that keeps the unit running.
#pragma once
#include <cstdint>

// Device callbacks installed on the serial ports by function code.
void SyncDynonMsg(uint32_t port);
void ParseDynonMsg(uint8_t* msg, int32_t length, uint32_t port);
void SyncXbowMsg(uint32_t port);
void ParseXbow500Msg(uint8_t* msg, int32_t length, uint32_t port);
void ParseNmeaMsg(uint8_t* msg, int32_t length, uint32_t port);
void ParseVorMsg(uint8_t* msg, int32_t length, uint32_t port);
void ParseArincMsg(uint8_t* msg, int32_t length, uint32_t port);
void ParseAvaiationMsg(uint8_t* msg, int32_t length, uint32_t port);
void TrafficRxMsg(uint8_t* msg, int32_t length, uint32_t port);
void FadecMsgFrame(uint32_t port);
void ParseFadecMsg(uint8_t* msg, int32_t length, uint32_t port);
void InitEngineDataMsg();
void SendEngineCsvHeader();
// Receiver records cleared when a port takes up their function.
void ClearNmeaGpsSlot();     // the first slot of G_NmeaGps
void ClearVorRadio();        // G_VorRadio
void ClearAvtnGps();         // G_AvtnGps
void SetFadecPresent(uint32_t function);   // G_Fadec: present, function code

// Time texts; kind 4 is "hh:mm:ss.mmm".
const char* FormatTime(int32_t kind);

// The shared file image buffer.
constexpr uint32_t kFlashBufBytes = 310000;
extern uint8_t FlashBuf[kFlashBufBytes];

// Instrument model: engine type, calibration segments and readings.
int32_t EngineType();
void    SetInstCalSegment(int32_t inst, int32_t x, int32_t column);
float   InstActiveSlope(int32_t inst);
float   InstActiveIntercept(int32_t inst);
int32_t InstShiftAdj(int32_t inst);
int32_t InstTempCalAd(int32_t inst);
int32_t InstHiTempSlope(int32_t inst);
int32_t InstLowTempSlope(int32_t inst);
void    SetInstReading(int32_t inst, int32_t value, uint8_t valid);
