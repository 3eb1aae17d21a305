#include "ui/keys.h"

uint32_t G_MenuState = 0;
uint32_t G_LastKeySec = 0;
uint32_t G_ClockSyncReq = 0;
uint32_t G_DemoIdleReq = 0;
uint32_t G_ClockEdit = 10;
uint32_t G_AlarmAckHold = 0;
uint32_t G_AlarmAckTime = 0;
uint32_t G_ListCursor = 0;
uint32_t G_KnobListSide = 0;
uint32_t G_SavedMenuState = 0;
uint32_t G_EditHour = 0;
uint32_t G_EditMinute = 0;
uint32_t G_MagAlignStep = 0;
