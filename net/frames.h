// The receive and transmit frame rings between the 1 ms tick, which polls the
// controller, and the main loop, which runs the protocols.
#pragma once
#include <cstdint>

constexpr uint32_t kNetRxSlots   = 256;
constexpr uint32_t kNetTxSlots   = 256;
constexpr uint32_t kNetSlotBytes = 1600;
constexpr uint32_t kNetDescBytes = 64;                            // descriptor at the head of a slot
constexpr uint32_t kNetFrameBytes = kNetSlotBytes - kNetDescBytes; // the frame area behind it
constexpr uint32_t kNetMaxTxFrame = 1512;                         // longer frames are refused
constexpr uint32_t kNetTxAbandonTicks = 18433;                    // 5 ms without Rdy4TxNOW

// Offsets of the headers in a frame, from its first byte.
constexpr uint16_t kEthHeaderAt = 0;
constexpr uint16_t kIpHeaderAt  = 14;
constexpr uint16_t kArpAt       = 14;
constexpr uint16_t kUdpHeaderAt = kIpHeaderAt + 20;
constexpr uint16_t kTcpHeaderAt = kIpHeaderAt + 20;
constexpr uint16_t kAppHeaderAt = kUdpHeaderAt + 8;   // the display link's header
constexpr uint16_t kPayloadAt   = kAppHeaderAt + 14;

// A slot's descriptor. The headers are found by offsets from the slot's
// frame area, so the descriptor never holds an address.
#pragma pack(push, 1)
struct FrameDesc {
    uint32_t nLength;        // frame bytes
    uint32_t nAlignOffset;   // transmit staging only
    uint16_t nEth, nIp, nUdp, nTcp, nArp, nApp, nPayload;
    uint8_t  reserved[kNetDescBytes - 22];
};
#pragma pack(pop)
static_assert(sizeof(FrameDesc) == kNetDescBytes);

struct NetRing {
    uint8_t  abRx[kNetRxSlots][kNetSlotBytes];
    uint32_t nRxWr;              // written by the tick
    uint32_t nRxRd;              // advanced by the main loop
    uint8_t  abTx[kNetTxSlots][kNetSlotBytes];
    uint32_t nTxWr;              // written by the main loop
    uint32_t nTxRd;              // advanced by the tick
};
extern NetRing G_NetRing;

// A slot's descriptor and its frame.
inline FrameDesc* SlotDesc(uint8_t* slot) { return reinterpret_cast<FrameDesc*>(slot); }
inline uint8_t*   SlotFrame(uint8_t* slot) { return slot + kNetDescBytes; }

void NET_ClearRings();
// From the 1 ms tick: up to nine received frames into the receive ring.
void NET_RxPoll();
// From the 1 ms tick: starts at most one queued frame; -1 for an oversized one.
int32_t NET_TxFlush();
// The transmit staging slot (one: queue a frame before building the next).
uint8_t* NET_AllocTxBuffer();
// Queues the staging frame; its descriptor's length must be set.
void NET_GetNextTxPacket();
