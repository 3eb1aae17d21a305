// Configuration files: key tables, repair and version upgrade.
#pragma once
#include <cstdint>

extern uint32_t G_CfgCount;
void UpgradeNvram();
void FixConfig();
void RepairSystemKvc();
