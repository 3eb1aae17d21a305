// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/adc.h"
#include "core/alarm.h"
#include "core/audio.h"
#include "core/battery.h"
#include "core/discrete.h"
#include "core/pending.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/timefmt.h"

uint32_t G_PendingCalls[kPcCount] = {};

uint32_t ReadDiscreteInputs() { return G_DiscreteIn.nState; }
void DrawDiscreteInputs() {}
void UartPortService(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void DuartRx(uint32_t) {}
void DuartTx(uint32_t) {}
void InitSerialPorts() {}
int32_t SerialPrintf(uint32_t port, const char*, ...) { return static_cast<int32_t>(port); }
int32_t SerialWrite(uint32_t port, const uint8_t*, int32_t) { return static_cast<int32_t>(port); }
int32_t SerialTxService(uint32_t) { return 0; }
void InitSsp() {}
int32_t ReadAdc(int32_t) { return 0; }
void SampleAdcStep() {}
void AlarmInit() {}
void AlarmTask() { ++G_PendingCalls[kPcAlarmTask]; }
int32_t InitAudio() { return 0; }
void CheckBattery() {}
void I2cInit() {}
int32_t GetRtcTime() { return 0; }
int32_t WriteClockMem(uint8_t*, int32_t, int32_t) { return 0; }
void InitPwm() {}
void SetBacklight(int32_t) {}
const char* FormatTime(int32_t) { return "00:00:00.000"; }
void TimerInit() {}
void TimerTick() {}
