// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "core/pending.h"
#include "net/net.h"

uint16_t CS_ReadPP(uint16_t) { return 0; }   // no link
void CS_WritePP(uint16_t, uint16_t) {}
void NET_RxPoll() {}
void NET_TxFlush() {}
void NET_ProcessRx(uint8_t*) {}
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
// No stack yet: the own address is all the rest of the unit uses.
void NET_Init() {
    for (int i = 0; i < 4; ++i) G_OwnIp[i] = static_cast<uint8_t>(G_NetIpLocal >> (24 - 8 * i));
}
