#include "net/tcp.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "net/checksum.h"
#include "net/frames.h"
#include "net/ipv4.h"

TcpConn  G_TcpConn[kTcpConns] = {};
uint16_t G_TcpEphemeral = kTcpFirstEphemeral;

namespace {

constexpr uint32_t kIdleAckSec   = 4;       // an idle peer's segment is always answered
constexpr int32_t  kAckRange     = 40000;   // an acknowledgement further off aborts
constexpr uint32_t kDupAckLimit  = 3;
constexpr uint32_t kOosLogs      = 3;
constexpr uint32_t kClosingIdleSec = 60;    // a closing record silent this long is freed
constexpr uint32_t kMaxSegment   = 1513;    // header and data must stay below
constexpr uint8_t  kMssOption[4] = {0x02, 0x04, 0x05, 0x78};   // MSS 1400

uint32_t s_oosLogs;
uint32_t s_openings;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
uint32_t Be32(const uint8_t* p) {
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
void PutBe32(uint8_t* p, uint32_t v) {
    PutBe16(p, v >> 16);
    PutBe16(p + 2, v);
}

// Sequence numbers wrap: compare by their signed difference.
int32_t SeqDiff(uint32_t a, uint32_t b) { return static_cast<int32_t>(a - b); }

uint32_t RingOffset(const TcpConn* c, uint32_t seq) { return (seq - c->nIss - 1) % kTcpRingBytes; }
uint32_t Unsent(const TcpConn* c) { return (c->nRingWr - c->nRingRd) % kTcpRingBytes; }
uint32_t Outstanding(const TcpConn* c) { return (c->nRingWr - c->nRingUna) % kTcpRingBytes; }
uint32_t DataEnd(const TcpConn* c) { return c->nSndUna + Outstanding(c); }
bool FinSent(const TcpConn* c) {
    return c->nState == kTcpFinSent || c->nState == kTcpLastAck || c->nState == kTcpFinAcked ||
           c->nState == kTcpClosing;
}
bool Sends(uint32_t state) { return state == kTcpEstablished || state == kTcpPeerFinAcked; }
bool FinMayFollow(uint32_t state) {
    return state == kTcpEstablished || state == kTcpPeerFin || state == kTcpPeerFinAcked;
}

struct Segment {
    const uint8_t* ip;
    const uint8_t* tcp;
    const uint8_t* data;
    uint32_t seq, ack, length;
    uint16_t window;
    uint8_t  flags;
};

Segment Parse(uint8_t* slot) {
    Segment s;
    s.ip = SlotFrame(slot) + kIpHeaderAt;
    s.tcp = s.ip + 20;
    const uint32_t header = (s.tcp[kTcpOffset] >> 4) * 4u;
    s.data = s.tcp + header;
    s.length = Be16(s.ip + kIpTotalLen) - 20u - header;
    s.seq = Be32(s.tcp + kTcpSeq);
    s.ack = Be32(s.tcp + kTcpAck);
    s.window = Be16(s.tcp + kTcpWin);
    s.flags = s.tcp[kTcpFlags];
    return s;
}

void LogIp(const char* text, const uint8_t* ip, const char* tail) {
    DebugPrintf("%s%u:%u:%u:%u%s", text, ip[0], ip[1], ip[2], ip[3], tail);
}

// What one call decided, for the segment it may send.
struct Work {
    bool needAck = false;
    bool abort = false;
    bool close = false;
    bool synAck = false;    // the segment carried SYN and ACK
    bool syn = false;       // the segment carried SYN
};

void AckArrived(TcpConn* c, uint32_t ack, Work& w) {
    c->bMaySend = 1;
    if (c->nState == kTcpSynRcvd && ack == c->nIss + 1) {
        // The handshake is complete whether or not anything is sent now.
        DebugPrintf("NET: sse\n");
        c->nState = kTcpEstablished;
    }
    const int32_t off = SeqDiff(ack, c->nSndNxt);
    if (off > kAckRange || off < -kAckRange) {
        DebugPrintf("NET: aoobr\n");
        w.abort = true;
        return;
    }
    const bool finAcked = FinSent(c) && ack == c->nSndNxt + 1;
    if (c->nState == kTcpFinSent && finAcked) c->nState = kTcpFinAcked;
    if (c->nState == kTcpLastAck && finAcked) c->nState = kTcpClosed;
    // The acknowledged point moves forward, never past the queued data.
    const uint32_t end = DataEnd(c);
    if (SeqDiff(ack, c->nSndUna) > 0 && SeqDiff(ack, end + (FinSent(c) ? 1 : 0)) <= 0) {
        c->nSndUna = SeqDiff(ack, end) > 0 ? end : ack;
        c->nRingUna = RingOffset(c, c->nSndUna);
        if (SeqDiff(c->nSndUna, c->nSndNxt) > 0) c->nSndNxt = c->nSndUna;
    }
    c->nDupAcks = ack == c->nLastAck ? c->nDupAcks + 1 : 0;
    c->nLastAck = ack;
    if (c->nDupAcks > kDupAckLimit) {
        // Repeated: what follows the acknowledged point is sent again.
        if (SeqDiff(ack, c->nSndUna) >= 0 && SeqDiff(ack, end) <= 0) c->nSndNxt = ack;
        c->nDupAcks = 0;
    }
    if (Sends(c->nState)) c->nRingRd = RingOffset(c, c->nSndNxt);
}

// Data from the segment; non-zero when the callback ends the processing.
int32_t TakeData(TcpConn* c, const Segment& s) {
    const uint32_t end = s.seq + s.length;
    if (SeqDiff(end, c->nRcvNxt) > 0 && SeqDiff(c->nRcvNxt, s.seq) >= 0) {
        const uint32_t fresh = end - c->nRcvNxt;
        if (fresh < s.length) DebugPrintf("NET: sb(%d/%d)\n", static_cast<int>(s.length), static_cast<int>(fresh));
        c->nRcvNxt = end;
        if (c->fpReceive && c->fpReceive(c, s.data + (s.length - fresh), fresh, kTcpRxLimit) != 0) return 1;
    } else if (SeqDiff(c->nRcvNxt, end) > 0) {
        DebugPrintf("NET: sm(%u/%u)\n", c->nRcvNxt, end);
    }
    return 0;
}

void PeerFin(TcpConn* c, Work& w) {
    switch (c->nState) {
    case kTcpEstablished: c->nState = kTcpPeerFin; break;
    case kTcpFinSent: c->nState = kTcpLastAck; break;
    case kTcpFinAcked: c->nState = kTcpClosing; break;
    default: return;
    }
    ++c->nRcvNxt;
    // Our FIN follows once the queue is sent, so the record is freed.
    c->bClosePending = 1;
    w.needAck = true;
}

// A close or an abort before anything else is sent.
bool Request(TcpConn* c, Work& w) {
    if (w.abort && (c->nState == kTcpOpenReq || c->nState == kTcpListen)) {
        c->nState = kTcpClosed;   // no peer to tell
        return false;
    }
    if (!w.close) return true;
    switch (c->nState) {
    case kTcpListen:
    case kTcpOpenReq: c->nState = kTcpClosed; return false;
    case kTcpSynSent: w.abort = true; break;
    case kTcpSynRcvd:
    case kTcpEstablished:
    case kTcpPeerFin:
    case kTcpPeerFinAcked: c->bClosePending = 1; break;
    default: break;
    }
    return true;
}

uint32_t CopyRing(const TcpConn* c, uint8_t* out, uint32_t n) {
    const uint32_t first = n < kTcpRingBytes - c->nRingRd ? n : kTcpRingBytes - c->nRingRd;
    std::memcpy(out, c->abRing + c->nRingRd, first);
    std::memcpy(out + first, c->abRing, n - first);
    return n;
}

void Transmit(TcpConn* c, uint8_t flags, uint32_t seq, bool mss, uint32_t dataLength) {
    uint8_t* slot = NET_AllocTxBuffer();
    const uint32_t header = mss ? 24 : 20;
    const uint32_t tcpLength = header + dataLength;
    NET_BuildEthHeader(slot, c->abRemoteMac, kEtherTypeIp);
    NET_BuildIpHeader(slot, c->abRemoteIp, tcpLength, kIpProtoTcp);
    uint8_t* ip = SlotFrame(slot) + kIpHeaderAt;
    PutBe16(ip + kIpFragment, 0x4000);   // don't fragment
    PutBe16(ip + kIpChecksumAt, IpChecksum(ip));
    uint8_t* tcp = ip + 20;
    PutBe16(tcp + kTcpSrcPort, c->nLocalPort);
    PutBe16(tcp + kTcpDstPort, c->nRemotePort);
    PutBe32(tcp + kTcpSeq, seq);
    PutBe32(tcp + kTcpAck, c->nRcvNxt);
    tcp[kTcpOffset] = static_cast<uint8_t>((header / 4) << 4);
    tcp[kTcpFlags] = flags;
    PutBe16(tcp + kTcpWin, kTcpWindow);
    PutBe16(tcp + kTcpSum, 0);
    PutBe16(tcp + kTcpUrgent, 0);
    if (mss) std::memcpy(tcp + 20, kMssOption, sizeof kMssOption);
    if (dataLength) CopyRing(c, tcp + header, dataLength);
    PutBe16(tcp + kTcpSum, TcpChecksum(ip, tcpLength));
    SlotDesc(slot)->nLength = kIpHeaderAt + 20 + tcpLength;
    NET_GetNextTxPacket();
}

// Builds and queues the one segment this call sends, if any.
void Reply(TcpConn* c, const Work& w, bool keepAlive) {
    const uint32_t state = c->nState;
    const bool dataDue = Sends(state) && c->bMaySend && Unsent(c) > 0;
    const bool finDue = c->bClosePending && FinMayFollow(state) && Unsent(c) <= kTcpMaxData &&
                        (Unsent(c) == 0 || dataDue);
    if (!w.needAck && state != kTcpOpenReq && !w.abort && !dataDue && !finDue && state != kTcpPeerFin &&
        !(state == kTcpSynRcvd && w.syn)) {
        return;
    }
    if (w.abort) {
        Transmit(c, kTcpRst, c->nSndNxt, false, 0);
        c->nState = kTcpClosed;
        return;
    }
    uint8_t flags = kTcpAckBit;
    uint32_t seq = keepAlive ? c->nSndNxt - 1 : c->nSndNxt;
    bool mss = false;
    uint32_t n = 0;
    switch (state) {
    case kTcpOpenReq:
        flags = kTcpSyn;
        mss = true;
        break;
    case kTcpSynSent:
        if (!w.synAck) return;   // nothing to acknowledge yet
        break;
    case kTcpSynRcvd:
        if (w.syn) {
            flags = kTcpSyn | kTcpAckBit;
            seq = c->nIss;   // a repeated SYN gets the same SYN-ACK
            c->nSndNxt = c->nIss + 1;
        }
        break;
    default: break;
    }
    if (dataDue) {
        n = Unsent(c) < kTcpMaxData ? Unsent(c) : kTcpMaxData;
        flags |= kTcpPsh;
        c->bMaySend = 0;
        c->nLastDataLen = n;
    }
    const bool fin = finDue && n == Unsent(c);
    if (fin || state == kTcpFinSent || state == kTcpLastAck) flags |= kTcpFin;   // ours, again if it was lost
    Transmit(c, flags, seq, mss, n);
    c->nSndNxt += n;
    c->nRingRd = (c->nRingRd + n) % kTcpRingBytes;
    if (fin) {
        c->bClosePending = 0;
        c->nState = state == kTcpEstablished ? kTcpFinSent : kTcpLastAck;
        return;
    }
    switch (state) {
    case kTcpOpenReq:
        c->nState = kTcpSynSent;
        c->nSynStamp = ReadOsTimer();
        break;
    case kTcpSynSent:
        c->nState = kTcpEstablished;
        LogIp("NET: TCP connection established ", c->abRemoteIp, "");
        DebugPrintf(" port: %u\n", c->nRemotePort);
        break;
    case kTcpPeerFin: c->nState = kTcpPeerFinAcked; break;
    case kTcpClosing: c->nState = kTcpClosed; break;
    default: break;
    }
}

TcpConn* FreeRecord() {
    for (int32_t i = kTcpConns - 1; i >= 0; --i) {
        if (G_TcpConn[i].nState == kTcpFree || G_TcpConn[i].nState == kTcpClosed) return &G_TcpConn[i];
    }
    return nullptr;
}

}  // namespace

TcpConn* TCP_OpenConnection(const uint8_t* remoteIp, const uint8_t* remoteMac, uint16_t port, uint16_t localPort,
                            TcpRxFn callback, int32_t mode) {
    // Past 65535 the counter starts over at the first ephemeral port, never
    // at 0 or at a listener's port.
    if (++G_TcpEphemeral == 0) G_TcpEphemeral = kTcpFirstEphemeral;
    TcpConn* c = FreeRecord();
    if (!c) {
        if (s_oosLogs < kOosLogs) {
            ++s_oosLogs;
            DebugPrintf("NET: oos\n");
        }
        return nullptr;
    }
    std::memset(c, 0, sizeof *c);
    c->nOpening = ++s_openings;
    c->nState = kTcpOpenReq;
    c->nLastActivity = G_UptimeSec;
    c->fpReceive = callback;
    if (mode != 1 && mode != 2) {
        c->nLocalPort = c->nRemotePort = port;
        c->nState = kTcpListen;
        return c;
    }
    std::memcpy(c->abRemoteIp, remoteIp, 4);
    std::memcpy(c->abRemoteMac, remoteMac, 6);
    c->nRemotePort = port;
    c->nLocalPort = G_TcpEphemeral;
    std::srand(ReadOsTimer());
    c->nIss = c->nSndNxt = static_cast<uint32_t>(std::rand()) % 1000000u;
    c->nSndUna = c->nIss + 1;
    c->nLastAck = c->nIss;
    c->nOpenStamp = ReadOsTimer();
    if (mode == 2) {
        c->nLocalPort = localPort;
        c->nState = kTcpSynRcvd;
        return c;
    }
    TCP_ProcessSegment(c, nullptr, 0);
    return c;
}

TcpConn* TCP_Accept(TcpConn* listener, uint8_t* slot) {
    DebugPrintf("NET: ncc\n");
    const uint8_t* frame = SlotFrame(slot);
    const Segment s = Parse(slot);
    TcpConn* c = TCP_OpenConnection(s.ip + kIpSrc, frame + 6, Be16(s.tcp + kTcpSrcPort), listener->nLocalPort,
                                    listener->fpReceive, 2);
    if (!c) {
        DebugPrintf("NET: ncff\n");
        return nullptr;
    }
    c->nIrs = s.seq;
    c->nRcvNxt = s.seq + 1;
    return c;
}

bool TCP_StillOpening(const TcpConn* conn, uint32_t opening) { return conn && conn->nOpening == opening; }

uint32_t TCP_TxSpace(const TcpConn* conn) { return kTcpMaxPending - Outstanding(conn); }

int32_t TCP_Send(TcpConn* conn, const void* bytes, uint32_t count) {
    if (!conn) return 3;
    const uint32_t state = conn->nState;
    const bool open = state == kTcpOpenReq || state == kTcpSynSent || state == kTcpSynRcvd || state == kTcpEstablished;
    if (!open || conn->bClosePending) return 3;
    if (TCP_TxSpace(conn) < count) {
        DebugPrintf("NET: sbf\n");
        TCP_Abort(conn);
        return 1;
    }
    const uint8_t* src = static_cast<const uint8_t*>(bytes);
    const uint32_t first = count < kTcpRingBytes - conn->nRingWr ? count : kTcpRingBytes - conn->nRingWr;
    std::memcpy(conn->abRing + conn->nRingWr, src, first);
    std::memcpy(conn->abRing, src + first, count - first);
    conn->nRingWr = (conn->nRingWr + count) % kTcpRingBytes;
    if (state == kTcpEstablished) {
        if (conn->bMaySend) TCP_ProcessSegment(conn, nullptr, 0);
    } else {
        DebugPrintf("NET: aswec\n");
    }
    return 2;
}

void TCP_KeepAlive(TcpConn* conn) { TCP_ProcessSegment(conn, nullptr, kTcpDoKeepAlive); }
void TCP_Close(TcpConn* conn) { TCP_ProcessSegment(conn, nullptr, kTcpDoClose); }
void TCP_Abort(TcpConn* conn) { TCP_ProcessSegment(conn, nullptr, kTcpDoAbort); }

void TCP_Receive(uint8_t* slot) {
    const uint8_t* ip = SlotFrame(slot) + kIpHeaderAt;
    if (std::memcmp(ip + kIpDst, G_OwnIp, 4) != 0) {
        LogIp("NET: rip ", ip + kIpDst, "\n");
        return;
    }
    const uint32_t total = Be16(ip + kIpTotalLen);
    const uint32_t header = total >= 40 ? (ip[20 + kTcpOffset] >> 4) * 4u : 0;
    if (header < 20 || 20 + header > total || total - 20 >= kMaxSegment) {
        DebugPrintf("NET: tptb\n");
        return;
    }
    if (TcpChecksum(SlotFrame(slot) + kIpHeaderAt, total - 20) != Be16(ip + 20 + kTcpSum)) {
        DebugPrintf("NET: bc\n");
        return;
    }
    const Segment s = Parse(slot);
    const uint16_t srcPort = Be16(s.tcp + kTcpSrcPort), dstPort = Be16(s.tcp + kTcpDstPort);
    TcpConn* listener = nullptr;
    for (TcpConn& c : G_TcpConn) {
        if (c.nState == kTcpFree || c.nState == kTcpClosed) continue;
        if (c.nState != kTcpListen && c.nLocalPort == dstPort && c.nRemotePort == srcPort &&
            std::memcmp(c.abRemoteIp, ip + kIpSrc, 4) == 0) {
            TCP_ProcessSegment(&c, slot, 0);
            return;
        }
        if (!listener && c.nState == kTcpListen && c.nLocalPort == dstPort && (s.flags & 0x3F) == kTcpSyn) {
            listener = &c;
        }
    }
    if (listener) TCP_ProcessSegment(listener, slot, 0);
}

void TCP_ProcessSegment(TcpConn* conn, uint8_t* slot, uint32_t request) {
    if (!conn || conn->nState == kTcpClosed || conn->nState == kTcpFree) return;
    Work w;
    w.needAck = (request & kTcpDoKeepAlive) != 0;
    w.abort = (request & kTcpDoAbort) != 0;
    w.close = (request & kTcpDoClose) != 0;
    if (slot) {
        const Segment s = Parse(slot);
        if (static_cast<uint32_t>(G_UptimeSec - conn->nLastActivity) > kIdleAckSec || s.length > 0) w.needAck = true;
        conn->nLastActivity = G_UptimeSec;
        if (conn->nState == kTcpListen) {
            if ((s.flags & 0x3F) != kTcpSyn) return;
            conn = TCP_Accept(conn, slot);
            if (!conn) return;
        }
        if (s.flags & kTcpRst) {
            DebugPrintf("TCP: Reset Recieved\n");
            conn->nState = kTcpClosed;
            return;
        }
        conn->nPeerWindow = s.window;
        if (s.flags & kTcpAckBit) AckArrived(conn, s.ack, w);
        if (conn->nState == kTcpClosed) return;
        if (s.flags & kTcpSyn) {
            if (conn->nState == kTcpEstablished) {
                w.abort = true;
            } else {
                conn->nIrs = s.seq;
                conn->nRcvNxt = s.seq + 1;
                if (s.flags & kTcpAckBit) conn->nSndNxt = s.ack;
                w.needAck = true;
                w.syn = true;
                w.synAck = (s.flags & kTcpAckBit) != 0;
            }
        } else if (!w.abort && s.length > 0 && (Sends(conn->nState) || conn->nState == kTcpFinSent ||
                                                conn->nState == kTcpFinAcked)) {
            // The data first, then a FIN behind it.
            if (TakeData(conn, s) != 0) return;
            if (conn->nState == kTcpClosed || conn->nState == kTcpFree) return;
        }
        if (!w.abort && (s.flags & kTcpFin)) {
            w.needAck = true;   // a repeated FIN is answered again
            if (conn->nRcvNxt == s.seq + s.length) PeerFin(conn, w);
        }
    }
    if (conn->nState == kTcpListen && !w.abort && !w.close) {
        DebugPrintf("NET: lsnh\n");
        return;
    }
    if (!Request(conn, w)) return;
    if (w.needAck && !w.abort && (request & kTcpDoKeepAlive) && conn->nState < kTcpEstablished) return;
    Reply(conn, w, (request & kTcpDoKeepAlive) != 0);
}

void TCP_Tick() {
    const uint32_t now = ReadOsTimer();
    for (TcpConn& c : G_TcpConn) {
        if (c.nState == kTcpSynSent) {
            if (static_cast<uint32_t>(now - c.nOpenStamp) >= kTcpSynGiveUpTicks) {
                LogIp("NET: no SYN-ACK from ", c.abRemoteIp, "\n");
                TCP_Abort(&c);
            } else if (static_cast<uint32_t>(now - c.nSynStamp) >= kTcpSynRetryTicks) {
                c.nState = kTcpOpenReq;   // the SYN again, same ISS
                TCP_ProcessSegment(&c, nullptr, 0);
            }
            continue;
        }
        const bool closing = c.nState == kTcpFinSent || c.nState == kTcpFinAcked || c.nState == kTcpLastAck ||
                             c.nState == kTcpPeerFinAcked || c.nState == kTcpClosing;
        if (closing && static_cast<uint32_t>(G_UptimeSec - c.nLastActivity) > kClosingIdleSec) c.nState = kTcpClosed;
    }
}

void TCP_ResetLogs() { s_oosLogs = 0; }
