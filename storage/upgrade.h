// Boot-time repair of the configuration files and the upgrade of settings
// stored by older software versions.
#pragma once
#include <cstdint>

// The running version, stamped into the image after an upgrade.
constexpr uint32_t kSwMajor = 7;
constexpr uint32_t kSwMinor = 5;
constexpr uint32_t kSwBugFix = 0;

void UpgradeNvram();
// Reads and applies SYSTEM.KVD and makes its stream, port and input settings consistent.
void FixConfig();
void RepairSystemKvc();
// Writes SYSTEM.KVD from the variables; 0 or the writer's failure code.
int32_t WriteSystemKvd();
// Writes SYSTEM.KVC from the voltage calibration.
void WriteConfigFile();
