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
