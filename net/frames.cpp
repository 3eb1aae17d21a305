#include "net/frames.h"

#include <cstring>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "net/checksum.h"
#include "net/cs8900.h"
#include "platform/hw.h"

NetRing G_NetRing = {};

namespace {

constexpr uint32_t kRxPollFrames = 9;
constexpr uint32_t kMinFrame = 30;

alignas(64) uint8_t s_rxStaging[kNetSlotBytes];
alignas(64) uint8_t s_txStaging[kNetSlotBytes];

struct TxState {
    uint32_t bPending;
    uint32_t nStamp;         // OS-timer count of the command
    uint16_t nCmd, nLength;
    uint8_t* pSlot;
    uint16_t nBusSt;
};
TxState s_tx;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

void SetOffsets(FrameDesc* d) {
    d->nEth = kEthHeaderAt;
    d->nIp = kIpHeaderAt;
    d->nUdp = kUdpHeaderAt;
    d->nTcp = kTcpHeaderAt;
    d->nArp = kArpAt;
    d->nApp = kAppHeaderAt;
    d->nPayload = kPayloadAt;
}

bool Keep(const uint8_t* frame, uint32_t length) {
    if (length < kMinFrame || length >= kCsBadLength) return false;
    if (std::memcmp(frame + 6, G_CsMac, 6) == 0) return false;
    const uint16_t type = Be16(frame + 12);
    if (type == 0x0806) return true;
    return type == 0x0800 && IpHeaderChecksumGood(frame + kIpHeaderAt, length - kIpHeaderAt);
}

uint32_t Next(uint32_t i, uint32_t n) { return (i + 1) % n; }

// The abandoned frame's line names it by its content.
void LogAbandoned(uint8_t* slot) {
    const uint8_t* f = SlotFrame(slot);
    const char* t = FormatTime(4);
    if (Be16(f + 12) != 0x0800) {
        DebugPrintf("NET: Tx Flush Arp @%s\n", t);
        return;
    }
    const uint8_t* ip = f + kIpHeaderAt;
    const int id = Be16(ip + 4);
    if (ip[9] == 17) {
        DebugPrintf("NET: Tx Flush IpId:%d, BS:%04x, UdpType:%d, UdpSeq:%d @%s\n", id, s_tx.nBusSt,
                    f[kAppHeaderAt + 3], static_cast<int>(f[kAppHeaderAt + 6] | f[kAppHeaderAt + 7] << 8), t);
    } else if (ip[9] == 6) {
        const uint8_t* tcp = f + kTcpHeaderAt;
        DebugPrintf("NET: Tx Flush IpId:%d, BS:%04x, SPort:%d DPort:%d, len:%d @%s\n", id, s_tx.nBusSt, Be16(tcp),
                    Be16(tcp + 2), static_cast<int>(SlotDesc(slot)->nLength), t);
    } else {
        DebugPrintf("NET: Tx Flush Unkown packet Type @%s\n", t);
    }
}

void StartFrame(uint8_t* slot) {
    CS_WriteTxFrame(SlotFrame(slot), SlotDesc(slot)->nLength);
}

}  // namespace

void NET_ClearRings() {
    std::memset(&G_NetRing, 0, sizeof G_NetRing);
    std::memset(&s_tx, 0, sizeof s_tx);
}

void NET_RxPoll() {
    for (uint32_t i = 0; i < kRxPollFrames; ++i) {
        uint8_t* frame = SlotFrame(s_rxStaging);
        const uint32_t length = CS_Receive(frame);
        if (length == 0) return;
        if (i >= 5) DebugPrintf("Net: RxPacket backup i:%d\n", static_cast<int>(kRxPollFrames - i));
        if (!Keep(frame, length)) continue;
        if (Next(G_NetRing.nRxWr, kNetRxSlots) == G_NetRing.nRxRd) {
            DebugPrintf("ERROR: Rx Buf Overflow, wIdx:%d, rIdx:%d, Reset @%s\n", static_cast<int>(G_NetRing.nRxWr),
                        static_cast<int>(G_NetRing.nRxRd), FormatTime(4));
            return;
        }
        FrameDesc* d = SlotDesc(s_rxStaging);
        d->nLength = length;
        d->nAlignOffset = 0;
        SetOffsets(d);
        const uint32_t w = G_NetRing.nRxWr % kNetRxSlots;
        std::memcpy(G_NetRing.abRx[w], s_rxStaging, kNetSlotBytes);
        G_NetRing.nRxWr = Next(w, kNetRxSlots);
    }
}

int32_t NET_TxFlush() {
    if (s_tx.bPending) {
        // Re-read every tick: a late Rdy4TxNOW still sends the frame.
        s_tx.nBusSt = CS_ReadPP(kPpBusSt);
        if (s_tx.nBusSt & kBusStRdy4TxNow) {
            s_tx.bPending = 0;
            StartFrame(s_tx.pSlot);
        } else if (static_cast<uint32_t>(HwRead32(OSCR) - s_tx.nStamp) >= kNetTxAbandonTicks) {
            CS_Init();
            LogAbandoned(s_tx.pSlot);
            s_tx.bPending = 0;
        }
        return 0;
    }
    if (G_NetRing.nTxRd == G_NetRing.nTxWr) return 0;
    uint8_t* slot = G_NetRing.abTx[G_NetRing.nTxRd % kNetTxSlots];
    G_NetRing.nTxRd = Next(G_NetRing.nTxRd % kNetTxSlots, kNetTxSlots);
    const uint32_t length = SlotDesc(slot)->nLength;
    if (length > kNetMaxTxFrame) {
        DebugPrintf("ERROR: TxPacket Too Big:%d @%s\n", static_cast<int>(length), FormatTime(4));
        return -1;
    }
    s_tx.nCmd = kTxCmdAfterAll;
    s_tx.nLength = static_cast<uint16_t>(length);
    HwWrite16(kCsTxCmd, s_tx.nCmd);
    HwWrite16(kCsTxLength, s_tx.nLength);
    s_tx.bPending = 1;
    s_tx.nStamp = HwRead32(OSCR);
    s_tx.pSlot = slot;
    s_tx.nBusSt = CS_ReadPP(kPpBusSt);
    if (s_tx.nBusSt & kBusStRdy4TxNow) {
        s_tx.bPending = 0;
        StartFrame(slot);
    }
    return 0;
}

uint8_t* NET_AllocTxBuffer() {
    FrameDesc* d = SlotDesc(s_txStaging);
    d->nAlignOffset = 0;   // the staging slot is aligned, so the frame needs no move
    SetOffsets(d);
    return s_txStaging;
}

void NET_GetNextTxPacket() {
    const uint32_t length = SlotDesc(s_txStaging)->nLength;
    // Refused here, so a long frame is never copied over its slot.
    if (length > kNetMaxTxFrame) {
        DebugPrintf("ERROR: TxPacket Too Big:%d @%s\n", static_cast<int>(length), FormatTime(4));
        return;
    }
    const uint32_t w = G_NetRing.nTxWr % kNetTxSlots;
    if (Next(w, kNetTxSlots) == G_NetRing.nTxRd) {
        DebugPrintf("ERROR: NET_GetNextTxPacket, FULL rPkt:%d, wPkt:%d @%s\n", static_cast<int>(G_NetRing.nTxRd),
                    static_cast<int>(G_NetRing.nTxWr), FormatTime(4));
        return;
    }
    std::memcpy(G_NetRing.abTx[w], s_txStaging, kNetDescBytes + length);
    G_NetRing.nTxWr = Next(w, kNetTxSlots);
}
