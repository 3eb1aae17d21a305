// The SD card record, mount and polling, and the copies of single files
// between the monitor's flash file system and the card.
#pragma once
#include <cstdint>

#include "storage/fat.h"

// The live engine log's block (the pending text lives elsewhere).
struct EngineLogBlock {
    char         szName[13];
    uint8_t      scratch[512];
    uint32_t     nCount;
    DFS_FileInfo file;
};

struct SDCardState {
    int32_t        nState;      // -1 failed, 0 no card, 2 mounted
    uint32_t       nActivity;   // card-activity mark, also the screen-dump gate
    uint32_t       nLogging;    // 1 while an engine log is open
    uint8_t        scratch[512];
    DFS_DirInfo    dir;         // scratch points at the sector above
    DFS_DirEnt     dirent;
    EngineLogBlock log;
};
extern SDCardState G_SDCard;

// The mounted card volume handed to the FAT calls.
extern DFS_VolInfo G_SdVolInfo;

constexpr int32_t kSdMounted = 2;
constexpr int32_t kSdNoCard  = 0;
constexpr int32_t kSdFailed  = -1;

// Map file status codes written on mount, removal and failure.
constexpr uint32_t kMapNoMapOnCard = 3;
constexpr uint32_t kMapInsertCard  = 4;
constexpr uint32_t kMapCardBad     = 5;

// CopyFileSD operations and results.
constexpr int32_t kCopyBackup  = 1;   // TFS to card
constexpr int32_t kCopyRestore = 2;   // card to TFS
constexpr int32_t kCopyDelete  = 3;   // from TFS
constexpr int32_t kCopyNoCard  = -23;
constexpr int32_t kCopyWriteProtect = 2;   // a BACKUP to a write-protected card

// Mounts a present card: state 2 on success. At the boot screen this also
// declares the card detected, so the first poll does not mount it again.
void MountSDCard();
// Follows insertion, removal and failed mounts; every main-loop pass.
void PollSDCard();
// A BACKUP to a card whose CSD says write-protected is refused before the
// card is touched (kCopyWriteProtect); a RESTORE of MONRC keeps the
// monitor's "e" flag, so its start-up file still runs.
int32_t CopyFileSD(int32_t fileId, int32_t extId, int32_t op, const char* name);
// The files of the card's root and CHARTS directories in columns right of
// x 210 from row y down, scrolled by NEXT/PREV and the left knob, until
// RETURN; the card is polled meanwhile.
void ListSDCard(int32_t y);
