// TCP for a handful of long-lived connections on the local segment: ten
// records, each with a 64 KB send ring and no receive buffer (received data
// goes straight to the record's callback). At most one data segment is sent
// per acknowledgement; lost data is sent again after repeated
// acknowledgements. Main loop only.
#pragma once
#include <cstdint>

constexpr int32_t  kTcpConns        = 10;
constexpr uint32_t kTcpRingBytes    = 65536;
constexpr uint32_t kTcpMaxPending   = 65535;   // one less than the ring: full and empty differ
constexpr uint32_t kTcpMaxData      = 1300;    // data bytes per segment
constexpr uint16_t kTcpWindow       = 65530;
constexpr uint16_t kTcpFirstEphemeral = 41123;
constexpr uint32_t kTcpRxLimit      = 200000;  // the limit handed to callbacks
constexpr uint32_t kTcpSynRetryTicks = 3 * 3686400;    // an unanswered SYN is sent again
constexpr uint32_t kTcpSynGiveUpTicks = 20 * 3686400;  // and given up

// TCP header fields, offsets from its first byte.
constexpr uint32_t kTcpSrcPort = 0, kTcpDstPort = 2, kTcpSeq = 4, kTcpAck = 8, kTcpOffset = 12, kTcpFlags = 13,
                   kTcpWin = 14, kTcpSum = 16, kTcpUrgent = 18;
constexpr uint8_t kTcpFin = 0x01, kTcpSyn = 0x02, kTcpRst = 0x04, kTcpPsh = 0x08, kTcpAckBit = 0x10;

enum TcpState : uint32_t {
    kTcpFree        = 0,
    kTcpOpenReq     = 1,    // active open requested
    kTcpListen      = 2,
    kTcpSynSent     = 3,
    kTcpSynRcvd     = 4,    // accepted from a listener
    kTcpEstablished = 5,
    kTcpFinSent     = 6,
    kTcpFinAcked    = 7,
    kTcpPeerFin     = 8,
    kTcpLastAck     = 9,    // our FIN after the peer's, waiting for its acknowledgement
    kTcpPeerFinAcked = 10,  // the peer closed first; our side still sends what is queued
    kTcpClosing     = 11,   // the peer's FIN after our FIN was acknowledged
    kTcpClosed      = 12,   // free for reuse
};

// ProcessSegment requests.
constexpr uint32_t kTcpDoAbort = 1, kTcpDoKeepAlive = 2, kTcpDoClose = 4;

struct TcpConn;
// Received bytes for the user; a non-zero result ends the segment's processing.
using TcpRxFn = int32_t (*)(TcpConn* conn, const uint8_t* data, uint32_t length, uint32_t limit);

// A connection record. Held in memory only.
struct TcpConn {
    uint32_t nState;
    uint32_t reserved0;
    uint32_t nDupAcks;
    uint32_t nLastAck;
    uint32_t nLastActivity;      // G_UptimeSec
    uint32_t nLastDataLen;
    uint32_t nIss;
    uint32_t nIrs;
    uint32_t nSndNxt;
    uint32_t nRcvNxt;
    uint32_t nPeerWindow;        // kept, not used
    uint16_t nLocalPort;
    uint16_t nRemotePort;
    TcpRxFn  fpReceive;
    uint8_t  abRemoteIp[4];
    uint8_t  abRemoteMac[6];
    uint8_t  abRing[kTcpRingBytes];
    uint32_t nRingRd;            // ring offset of SND.NXT
    uint32_t nRingUna;           // ring offset of the oldest unacknowledged byte
    uint32_t nRingWr;
    uint32_t bClosePending;      // the FIN follows once the ring is sent
    uint32_t nSndUna;            // oldest unacknowledged sequence number
    uint32_t bMaySend;           // an acknowledgement came since the last data segment
    uint32_t nOpenStamp;         // OS timer of the first SYN
    uint32_t nSynStamp;          // OS timer of the last SYN
    uint32_t nOpening;           // counts every opening of any record
};

extern TcpConn  G_TcpConn[kTcpConns];
extern uint16_t G_TcpEphemeral;

// Mode 1 active open to `port`; mode 2 a connection accepted by a listener;
// any other mode a listener on `port`. Null when no record is free.
TcpConn* TCP_OpenConnection(const uint8_t* remoteIp, const uint8_t* remoteMac, uint16_t port, uint16_t localPort,
                            TcpRxFn callback, int32_t mode);
TcpConn* TCP_Accept(TcpConn* listener, uint8_t* slot);
// A record once closed is taken by the next opening: a user that keeps a
// record keeps its `nOpening` too and asks this before using the record again.
bool     TCP_StillOpening(const TcpConn* conn, uint32_t opening);
// 2 queued, 1 refused (the ring is full: the connection is aborted),
// 3 never to be sent (no connection, or closing).
int32_t  TCP_Send(TcpConn* conn, const void* bytes, uint32_t count);
uint32_t TCP_TxSpace(const TcpConn* conn);
void     TCP_KeepAlive(TcpConn* conn);
void     TCP_Close(TcpConn* conn);
void     TCP_Abort(TcpConn* conn);
void     TCP_Receive(uint8_t* slot);
void     TCP_ProcessSegment(TcpConn* conn, uint8_t* slot, uint32_t request);
// From the main loop: sends an unanswered SYN again, gives up a silent open.
void     TCP_Tick();
// The test hook for the per-run log throttles.
void     TCP_ResetLogs();
