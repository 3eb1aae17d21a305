#include "storage/screendump.h"

#include "core/irq.h"
#include "platform/monitor.h"

uint32_t G_ScreenDumpReq = 0;
uint32_t G_ScreenDumpBusy = 0;

int32_t DeleteScreenDumps() {
    AppIntsOffRestore(0);
    mon_docommand("tfs rm SCREEN*.KVB", 0);
    const int32_t r = mon_docommand("tfs rm SS*.KVB", 0);
    AppIntsOffRestore(1);
    return r;
}
