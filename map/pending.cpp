// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "map/map.h"

void CancelGoto() { G_GotoActive = {}; }
void ChartPageDraw() {}
void MapBlitInfoBoxes() {}
void MapInit() {}
void MapPageRun(int32_t) {}
void MapQueueProcess() { ++G_PendingCalls[kPcMapQueueProcess]; }
void NavUpdate() {}
void TrackAddPoint(float, float) {}
