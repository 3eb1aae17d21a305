// Call counts kept by the pending entries that the boot and the main loop
// call, so that tests can see when they ran; each goes with its entry.
#pragma once
#include <cstdint>

enum PendingCall : uint32_t {
    kPcUpdateInstReadingsStep,
    kPcLogEngineStartStop,
    kPcCount
};
extern uint32_t G_PendingCalls[kPcCount];

