// Weather link and traffic as the boot and the main loop reach them.
#pragma once
#include <cstdint>

struct WxState {
    uint32_t nProducts;          // sent as the first argument of user event 32
};
extern WxState  G_Wx;
extern uint32_t G_WxConn;        // weather TCP connection, 0 = none

constexpr uint32_t kWxMaster = 1;
constexpr uint32_t kWxSlave  = 2;

void TrafficDemoTargets();
// Parse callback of the DLE-framed traffic ports.
void TrafficRxMsg(uint8_t* msg, int32_t length, uint32_t port);
void WxOpenListeners();
void WxRecvTask();
