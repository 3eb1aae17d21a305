// The SD card record.
#pragma once
#include <cstdint>

struct SDCardState {
    int32_t  nState;       // -1 failed, 0 no card, 2 mounted
    uint32_t nActivity;    // card-activity mark, also the screen-dump gate
};
extern SDCardState G_SDCard;
