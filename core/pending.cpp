// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/audio.h"
#include "core/discrete.h"
#include "core/draw.h"
#include "core/serial.h"

uint32_t ReadDiscreteInputs() { return G_DiscreteIn.nState; }
void UartPortService(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t) {}
void DuartRx(uint32_t) {}
void DuartTx(uint32_t) {}
// Until the fonts and the sound player land: nothing is drawn or played.
int32_t DrawTextF(uint32_t, int32_t, int32_t, int32_t, int32_t, const char*, ...) { return 0; }
int32_t PlaySound(int32_t) { return 0; }

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
