#include "storage/sdcard.h"

SDCardState G_SDCard = {};
