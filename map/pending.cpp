// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "map/map.h"
#include "map/mapqueue.h"

void CancelGoto() { G_GotoActive = {}; }
void ChartPageDraw() {}
void MapBlitInfoBoxes() {}
// Until the map page draws, its cycle only keeps the data around the
// reference position loaded.
void MapPageRun(int32_t) {
    MapLoadAround(G_MapHeader.nRefLon >> 18, G_MapHeader.nRefLat >> 18, G_MapHeader, G_MapSquares, G_VecSquares);
}
void NearestAirportsUpdate() {}
void NavUpdate() {}
void MapDrawAirspace(const uint8_t*, const uint8_t*) {}
