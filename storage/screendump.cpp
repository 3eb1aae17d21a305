#include "storage/screendump.h"

uint32_t G_ScreenDumpReq = 0;
uint32_t G_ScreenDumpBusy = 0;
