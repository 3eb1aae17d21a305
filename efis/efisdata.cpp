#include "efis/efisdata.h"

#include "efis/ahrs.h"
#include "efis/airdata.h"

// A stale record or a hard failure shows no attitude; a fault or a
// miscompare keeps it, under the standby box.
bool AhrsAttitudeLive() {
    const uint8_t s = G_AhrsState.nAttState;
    return G_Ahrs.nFresh > 0 && s != kAttStale && s != kAttHardFailure;
}
// The heading also needs a magnetometer that is not in error.
bool AhrsHeadingLive() { return AhrsAttitudeLive() && AhrsHeadingUsable(); }
bool AirDataLive() { return G_AirData.nFresh > 0; }

int32_t AhrsAttitudeState() { return G_AhrsState.nAttState; }
int32_t AhrsMagState() { return G_AhrsState.nMagFlag; }
