// Screen dumps of the page just shown.
#pragma once
#include <cstdint>

extern uint32_t G_ScreenDumpReq;    // set by the user, served after the next flip
extern uint32_t G_ScreenDumpBusy;

void ScreenDump();
// Removes every screen dump from TFS; the monitor's result of the last removal.
int32_t DeleteScreenDumps();
