// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/boot.h"
#include "core/pending.h"
#include "platform/monitor.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/spi.h"
#include "setup/setup.h"

// Leaving calibration mode at once, as calibration mode itself leaves.
void CalibrationMode() { ++G_PendingCalls[kPcCalibrationMode], G_CalRestart = 0, mon_setenv("REBOOT", "1"); }
void DrawCalTitle() {}
void DrawAuxPage() {}
void AuxPageKeys(int32_t) { ++G_PendingCalls[kPcAuxPageKeys]; }
void ReadChecklistFile() {}
void ReadAircraftFile() {}
void WriteAircraftFile() {}
void ReadMaintFile() {}
void LoadAircraftBitmap() {}
int32_t ReadInstrumentRaw(int32_t inst) {
    SetAdcChannelMode(inst);
    DelayTicks(kTickTicks);
    return ReadAdc(inst);
}
