// The ground-track ring of the map.
#include "map/tracklog.h"

#include <cstring>

#include "core/ostimer.h"
#include "nav/navsrc.h"
#include "platform/hw.h"

TrackLog G_TrackLog = {};
static uint32_t s_lastOffer = 0;

constexpr uint32_t kTrackInterval = 10 * kTicksPerSecond;   // 36,864,000 ticks
constexpr int16_t kTrackMinSpeed = 50;                       // tenths of a knot: 5.0 kt does not move

void TrackClear() { std::memset(&G_TrackLog, 0, sizeof G_TrackLog); }

void TrackAddPoint(float lat, float lon) {
    const uint32_t now = HwRead32(OSCR);
    if (now - s_lastOffer <= kTrackInterval) return;
    s_lastOffer = now;
    const uint8_t slot = G_NavSrc.hdr.nMapSrcSlot;
    if (slot >= kNavSlots) return;
    const NavSrcRec& rec = G_NavSrc.rec[slot];
    if (static_cast<uint16_t>(rec.nGroundSpeed) <= kTrackMinSpeed || !(rec.nGpsFlagsA & kNavGpsValid)) return;
    TrackLog& t = G_TrackLog;
    t.points[t.nWrite % kTrackPoints] = {static_cast<int32_t>(lat * 262144.0f), static_cast<int32_t>(lon * 262144.0f)};
    t.nWrite = (t.nWrite + 1) % kTrackPoints;
    if (t.nWrite == t.nRead) t.nRead = (t.nRead + 1) % kTrackPoints;
}
