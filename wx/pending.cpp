// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "wx/products.h"
#include "wx/wx.h"

void TrafficDemoTargets() { ++G_PendingCalls[kPcTrafficDemoTargets]; }
void TrafficRxMsg(uint8_t*, int32_t, uint32_t) {}
void TrafficDrawOverlay(const ChartPageEntry*, GUI_Point, GUI_Point) {}
// The radar image is dropped until its decoder lands.
void WxNexradDecode(const uint8_t*, uint32_t) {}
