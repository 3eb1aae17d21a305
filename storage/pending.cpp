// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "storage/screendump.h"

void ScreenDump() {}
