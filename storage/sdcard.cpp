#include "storage/sdcard.h"

SDCardState G_SDCard = {};
DFS_VolInfo G_SdVolInfo = {};
