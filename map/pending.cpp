// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "map/layers.h"
#include "map/map.h"
#include "map/mapqueue.h"

void CancelGoto() { G_GotoActive = {}; }
void ChartPageDraw() {}
void NavUpdate() {}
