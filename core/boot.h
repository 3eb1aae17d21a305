// Boot state shared with the interrupt layer and the main loop.
#pragma once
#include <cstdint>

extern uint32_t G_CalRestart;     // 1: the next boot pass enters calibration mode
extern uint32_t G_RebootCount;    // processor faults counted in the monitor variable REBOOT

// One record per data stream; stream n uses UDP port 50000 + n.
struct NetStreamCfg {
    uint32_t INST;      // 0 none, 1 own input, 2 from the network
    uint32_t NET;       // 1 sent to the other display, 2 taken from it
    uint32_t DSRC;      // 0 own sensors, 1 FADEC, 2 network, 3 demo
    uint32_t FileOk;
    uint32_t nFlag;
    uint32_t Port;
};
static_assert(sizeof(NetStreamCfg) == 24);

constexpr int kNetStreams   = 11;
constexpr int kStreamAir    = 0;
constexpr int kStreamAhrs   = 1;
constexpr int kStreamEngine = 3;
extern NetStreamCfg G_NetStreamCfg[kNetStreams];
