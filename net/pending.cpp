// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "net/net.h"

void NET_InitPacketTable() {}
int32_t NET_CheckUdp(uint8_t*) {
    ++G_PendingCalls[kPcNetCheckUdp];
    return 0;
}
void NET_ProcessUdp(uint8_t*) {}
void TCP_Receive(uint8_t*) { ++G_PendingCalls[kPcTcpReceive]; }
void NET_SendUdpType(int32_t type) {
    switch (type) {
    case 14: ++G_PendingCalls[kPcNetRec14]; break;
    case 15: ++G_PendingCalls[kPcNetRec15]; break;
    case 16: ++G_PendingCalls[kPcNetRec16]; break;
    case 19: ++G_PendingCalls[kPcNetRec19]; break;
    default: break;
    }
}
void TCP_Abort(uint32_t) {}
