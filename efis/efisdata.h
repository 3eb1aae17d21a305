// What the instruments know of their records' health, decided in one place
// so that every instrument shows stale data the same way.
#pragma once
#include <cstdint>

// The attitude is live while the AHRS record is fresh.
bool AhrsAttitudeLive();
// The heading is live as the attitude is.
bool AhrsHeadingLive();
// Air data: fresh while the freshness countdown runs.
bool AirDataLive();
// The AHRS attitude state (0 normal, 1 stale, 2 hard failure, 3 fault,
// 4 cross-check miscompare) and magnetometer flag (0 none, 1 align, 2 error).
int32_t AhrsAttitudeState();
int32_t AhrsMagState();
