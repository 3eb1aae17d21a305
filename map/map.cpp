#include "map/map.h"

WptDb G_WptDb = {};
uint32_t G_MapLonScale = 0x40000;
uint32_t G_MapLonScaleInv = 0x40000;
