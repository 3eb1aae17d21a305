#include "ui/keys.h"

uint32_t G_MenuState = 0;
uint32_t G_LastKeySec = 0;
uint32_t G_ClockSyncReq = 0;
uint32_t G_DemoIdleReq = 0;
uint32_t G_ClockEdit = 10;
