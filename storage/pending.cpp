// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/settings.h"
#include "storage/tfs.h"


// Until the settings file is read: both sectors get the image as it stands.
void ReadNVRamFile() {
    WriteNVRam(1);
    WriteNVRam(1);
}
void WriteNVRamFile() {}
void UpgradeNvram() {}
void FixConfig() {}
void RepairSystemKvc() {}
void WriteConfigFile() {}
int32_t WriteSystemKvd() { return 0; }
void ApplySettingKeys(int32_t) {}
