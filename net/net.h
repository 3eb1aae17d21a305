// Ethernet chip access and frame polling used by the 1 ms tick.
#pragma once
#include <cstdint>

constexpr uint16_t kPpLineStatus = 0x0134;   // bit 7: link
constexpr uint16_t kPpBufCfg     = 0x010A;

uint16_t CS_ReadPP(uint16_t reg);
void     CS_WritePP(uint16_t reg, uint16_t value);
void     NET_RxPoll();
void     NET_TxFlush();

constexpr uint32_t kNetRxSlots = 256;
constexpr uint32_t kNetSlotBytes = 1600;
constexpr uint32_t kNetTxSlots = 16;

struct NetRing {
    uint8_t  abRx[kNetRxSlots][kNetSlotBytes];
    uint32_t nRxWr;              // written by the tick
    uint32_t nRxRd;              // advanced by the main loop
    uint8_t  abTx[kNetTxSlots][kNetSlotBytes];
    uint32_t nTxWr;
    uint32_t nTxRd;
};
extern NetRing G_NetRing;

struct RemoteUserDat {           // display-link record 9
    uint32_t nCode;
    uint32_t nArg[4];
};
extern RemoteUserDat G_RemoteUserDat;

extern uint8_t  G_OwnIp[4];
extern uint32_t G_NetEnable;      // NET_ENABLE
extern uint32_t G_NetSerialShare; // NET_SERIAL_SHARE
extern uint32_t G_LinkRec22Done;
// NET_IP_ADR_LOCAL and NET_IP_ADR_OTHER: the first octet in the top byte.
extern uint32_t G_NetIpLocal;
extern uint32_t G_NetIpOther;

// Starts the network with the addresses from SYSTEM.KVD; may run more than once.
void NET_Init();

void NET_ProcessRx(uint8_t* slot);
void NET_SendUdpType(int32_t type);
void TCP_Abort(uint32_t connection);
