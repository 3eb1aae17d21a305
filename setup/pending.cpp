// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "setup/setup.h"

// Screens of the administrator settings whose modules are not written yet:
// nothing opens and the list redraws itself.
void FileTransferScreen() {}
void MaintenanceMenu() {}

