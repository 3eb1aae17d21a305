#include "efis/efisdata.h"

#include "efis/ahrs.h"
#include "efis/airdata.h"

bool AhrsAttitudeLive() { return G_Ahrs.nFresh > 0; }
bool AhrsHeadingLive() { return AhrsAttitudeLive(); }
bool AirDataLive() { return G_AirData.nFresh > 0; }

// The status monitor's states take over here once it fills G_AhrsState;
// until then a record without fresh data counts as stale.
int32_t AhrsAttitudeState() { return AhrsAttitudeLive() ? 0 : 1; }
int32_t AhrsMagState() { return 0; }
