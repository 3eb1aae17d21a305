#include "core/start.h"

#include "platform/monitor.h"

// Zero-initialised data is fresh at every start: the board starts each run
// of the application in a new image.
void AppStart() {
    int result = AppMain(0, nullptr);
    mon_appexit(result);
}
