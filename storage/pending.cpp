// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/fat.h"
#include "storage/nvram.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"
#include "storage/tfs.h"

void ScreenDump() {}

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
void MountSDCard() {}
void PollSDCard() {}
uint32_t DFS_OpenFile(DFS_VolInfo*, const char*, uint8_t, uint8_t*, DFS_FileInfo*) { return DFS_ERRMISC; }
void DataStoreInit() {}
void DataStoreRecord() {}
int32_t LoadLogChannels() { return 0; }
void WriteLogCfgSD() {}
void WriteEngineLogRec(int32_t) {}
