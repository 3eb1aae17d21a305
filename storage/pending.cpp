// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "storage/nvram.h"
#include "storage/nvramfile.h"
#include "storage/screendump.h"

void ScreenDump() {}

// Until the settings file is read: both sectors get the image as it stands.
void ReadNVRamFile() {
    WriteNVRam(1);
    WriteNVRam(1);
}
void WriteNVRamFile() {}

// Records of the navigation, map, knob and air-data modules that the clock
// memory mirrors, until those modules land.
#include "storage/clockmem.h"

NavSrcHeader G_NavSrc = {};
uint32_t G_MapPvtOn = 0, G_MapIntsOn = 0, G_DistUnits = 0, G_MapZoom = 0, G_MapViewMode = 0, G_NexradOn = 0,
         G_MapAirOn = 0, G_MapShowEngine = 0;
uint32_t G_KnobPushSel = 0;
int32_t  G_BaroSetting = 29921;
void BaroAltOffset() {}
