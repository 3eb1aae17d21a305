// What the instruments know of their records' health, decided in one place
// so that every instrument shows stale data the same way.
#pragma once
#include <cstdint>

// The attitude is live while the AHRS record is fresh and not failed.
bool AhrsAttitudeLive();
// The heading: the attitude live and the magnetometer not in error.
bool AhrsHeadingLive();
// Air data: fresh while the freshness countdown runs.
bool AirDataLive();
// The status monitor's attitude state (AhrsAttState: 0 normal, 1 stale,
// 2 hard failure, 3 fault, 4 miscompare) and magnetometer flag (AhrsMagFlag).
int32_t AhrsAttitudeState();
int32_t AhrsMagState();
