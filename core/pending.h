// Call counts kept by the pending entries that the boot and the main loop
// call, so that tests can see when they ran; each goes with its entry.
#pragma once
#include <cstdint>

enum PendingCall : uint32_t {
    kPcAirdataSampleStep,
    kPcUpdateInstReadingsStep,
    kPcCheckAhrsStatus,
    kPcTrafficDemoTargets,
    kPcSendArincFrame,
    kPcWxRecvTask,
    kPcLogEngineStartStop,
    kPcWxDecodeStep,
    kPcAuxPageKeys,
    kPcNetRec14,
    kPcNetRec15,
    kPcNetRec16,
    kPcNetRec19,
    kPcNetCheckUdp,
    kPcTcpReceive,
    kPcCount
};
extern uint32_t G_PendingCalls[kPcCount];

