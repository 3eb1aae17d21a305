// Configuration files: key tables, repair and version upgrade.
#pragma once
#include <cstdint>

extern uint32_t G_CfgCount;
void UpgradeNvram();
void FixConfig();
void RepairSystemKvc();

// The shared file-image buffer: whoever uses it owns it until its call returns.
constexpr uint32_t kFlashBufBytes = 310000;
extern uint8_t FlashBuf[kFlashBufBytes];
