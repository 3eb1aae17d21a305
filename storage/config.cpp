#include "storage/config.h"

uint32_t G_CfgCount = 0;
uint8_t FlashBuf[kFlashBufBytes];
