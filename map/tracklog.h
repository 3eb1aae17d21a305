// The aircraft's recent ground track: a ring of positions, one at most every
// 10 s while the aircraft moves with a valid fix.
#pragma once
#include <cstdint>

#include "map/mapmath.h"

constexpr uint32_t kTrackPoints = 1200;   // holds at most 1199
struct TrackLog {
    uint32_t nRead;     // oldest point
    uint32_t nWrite;    // next free slot
    MapPoint points[kTrackPoints];
};
extern TrackLog G_TrackLog;

void TrackClear();
void TrackAddPoint(float lat, float lon);
