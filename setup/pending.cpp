// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "setup/setup.h"

// Weight and balance: the pages, the aircraft file and its picture.
void DrawBalancePage(int32_t) {}
void DrawStationsPage(int32_t) {}
void ReadAircraftFile() {}
void WriteAircraftFile() {}
void LoadAircraftBitmap() {}

// Screens of the administrator settings whose modules are not written yet:
// nothing opens and the list redraws itself.
void FileTransferScreen() {}
void MaintenanceMenu() {}
void DiagnosticsMenu() {}
