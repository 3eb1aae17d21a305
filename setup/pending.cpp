// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "setup/setup.h"

void DrawAuxPage() {}
void AuxPageKeys(int32_t) { ++G_PendingCalls[kPcAuxPageKeys]; }
void ReadChecklistFile() {}
void ReadAircraftFile() {}
void WriteAircraftFile() {}
void ReadMaintFile() {}
void LoadAircraftBitmap() {}

// Screens of the list whose modules are not written yet: nothing opens and
// the list redraws itself.
void AdminSettingsScreen() {}
