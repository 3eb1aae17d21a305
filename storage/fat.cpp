#include "storage/fat.h"

DFS_VolInfo G_SdVolInfo = {};
