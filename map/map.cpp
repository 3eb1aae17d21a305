#include "map/map.h"

WptDb G_WptDb = {};
GotoActive G_GotoActive = {};
uint32_t G_MapPvtOn = 0, G_MapIntsOn = 0, G_MapAirOn = 0, G_NexradOn = 0, G_MapShowEngine = 0;
uint32_t G_MapTerrOn = 1;   // "TERR ON" at start
uint32_t G_MapZoom = 0;
uint32_t G_MapViewMode = 0;
uint32_t G_DistUnits = 0;
uint32_t G_MapDisplayFlags = 0;
NearestList G_Nearest = {};

uint32_t G_MapLonScale = 0x40000;
uint32_t G_MapLonScaleInv = 0x40000;
