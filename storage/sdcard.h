// The SD card record, mount and polling.
#pragma once
#include <cstdint>

#include "storage/fat.h"

struct SDCardState {
    int32_t  nState;       // -1 failed, 0 no card, 2 mounted
    uint32_t nActivity;    // card-activity mark, also the screen-dump gate
    uint32_t nLogging;     // 1 while an engine log is open
};
extern SDCardState G_SDCard;

// The mounted card volume handed to the FAT calls.
extern DFS_VolInfo G_SdVolInfo;

constexpr int32_t kSdMounted = 2;

void MountSDCard();
void PollSDCard();
