// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "wx/wx.h"

void TrafficDemoTargets() { ++G_PendingCalls[kPcTrafficDemoTargets]; }
void WxRecvTask() { ++G_PendingCalls[kPcWxRecvTask]; }
void TrafficRxMsg(uint8_t*, int32_t, uint32_t) {}

char G_WxText[kWxTextBytes];
void WxDecodeStep() { ++G_PendingCalls[kPcWxDecodeStep]; }
void WxTfrParseXml(const char*, uint32_t) {}
void WxMetarMarkAirports() {}
