// Services of this folder whose modules are not written yet, and services of
// other subsystems that this folder calls before they exist (core/pending.h):
// the least that keeps the unit running.
#include "core/discrete.h"
#include "core/pending.h"

uint32_t ReadDiscreteInputs() { return G_DiscreteIn.nState; }

// Devices on the serial ports: no decoder yet, so their messages are dropped.
void SyncDynonMsg(uint32_t) {}
void ParseDynonMsg(uint8_t*, int32_t, uint32_t) {}
void SyncXbowMsg(uint32_t) {}
void ParseXbow500Msg(uint8_t*, int32_t, uint32_t) {}
void ParseNmeaMsg(uint8_t*, int32_t, uint32_t) {}
void ParseVorMsg(uint8_t*, int32_t, uint32_t) {}
void ParseArincMsg(uint8_t*, int32_t, uint32_t) {}
void ParseAvaiationMsg(uint8_t*, int32_t, uint32_t) {}
void TrafficRxMsg(uint8_t*, int32_t, uint32_t) {}
void FadecMsgFrame(uint32_t) {}
void ParseFadecMsg(uint8_t*, int32_t, uint32_t) {}
void InitEngineDataMsg() {}
void SendEngineCsvHeader() {}
void ClearNmeaGpsSlot() {}
void ClearVorRadio() {}
void ClearAvtnGps() {}
void SetFadecPresent(uint32_t) {}

const char* FormatTime(int32_t) { return "00:00:00.000"; }

uint8_t FlashBuf[kFlashBufBytes];

// Instrument model: no calibration yet, so A/D counts convert one to one.
int32_t EngineType() { return 0; }
void    SetInstCalSegment(int32_t, int32_t, int32_t) {}
float   InstActiveSlope(int32_t) { return 1.0f; }
float   InstActiveIntercept(int32_t) { return 0.0f; }
int32_t InstShiftAdj(int32_t) { return 0; }
int32_t InstTempCalAd(int32_t) { return 0; }
int32_t InstHiTempSlope(int32_t) { return 0; }
int32_t InstLowTempSlope(int32_t) { return 0; }
void    SetInstReading(int32_t, int32_t, uint8_t) {}
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/start.h"
#include "core/syslog.h"
#include "core/util.h"
#include "platform/hw.h"

// Until the boot passes land: bring up the timer, handlers, logs and the
// tick, and keep the watchdog fed once a second.
int AppMain(int, char**) {
    InitOsTimer();
    InstallHandlers();
    IrqStateInit();
    InitWatchdog();
    SysLogOpen();
    InitRamLog(0);
    DebugPrintf("INFO: Application started\n");
    EnableRtcTick();
    HwWrite32(OSMR0, ReadOsTimer() + 18432);
    HwWrite32(OIER, HwRead32(OIER) | 1);
    IntEnable(kIntOsTimer0);
    for (;;) {
        if (G_SecondTick) {
            G_SecondTick = 0;
            KickWatchdog(10);
            if (G_UptimeSec % 60 == 0) DebugPrintf("INFO: Up %d sec\n", static_cast<int>(G_UptimeSec));
        }
        IdleHook();
    }
}
