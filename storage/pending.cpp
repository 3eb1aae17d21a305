// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/nvram.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"
#include "storage/tfs.h"

void ScreenDump() {}
void ReadNVRam() {}
int32_t WriteNVRam(int32_t) { return ++G_PendingCalls[kPcWriteNVRam], 0; }
void WriteNVRamFile() {}
void ReadNVClock() {}
void TFS_Defrag(int32_t) {}
void UpgradeNvram() {}
void FixConfig() {}
void RepairSystemKvc() {}
void MountSDCard() {}
void PollSDCard() {}
void DataStoreInit() {}
void DataStoreRecord() {}
int32_t LoadLogChannels() { return 0; }
void WriteLogCfgSD() {}
void WriteEngineLogRec(int32_t) {}
