// The weather receiver link. Receiver frames are `5A A5 | n (BE) | payload |
// ED ED`; product messages travel stuffed inside the 0xEA frames. Both come
// from outside: every count and offset taken from them is bounded first.
#include "wx/recv.h"

#include <cstring>

#include "core/boot.h"
#include "core/byteorder.h"
#include "core/irq.h"
#include "core/syslog.h"
#include "net/ipv4.h"
#include "net/tcp.h"
#include "wx/products.h"
#include "wx/tfr.h"
#include "wx/wx.h"

WxLinkState G_WxLink = {};
const uint8_t kWxRecvIp[4] = {192, 168, 0, 70};

namespace {

constexpr uint32_t kStepIdle = 0, kStepRunning = 100, kStepPowerCycle = 40, kStepLastConfig = 240;
constexpr uint32_t kStepSkipped = 233;
constexpr uint8_t  kStatusGood = 1, kStatusBad = 5;
constexpr uint32_t kIdleAbortSec = 41, kNoFrameSec = 60, kClosedRetrySec = 20, kQuietSec = 10;
constexpr uint32_t kRelayIdleSec = 30, kKeepAliveEvery = 5;

uint32_t Since(uint32_t stamp) { return G_UptimeSec - stamp; }
bool Master() { return G_NetStreamCfg[kStreamWx].INST == kWxMaster; }

// ---- CRC-16 with polynomial 0x1021, initial 0xFFFF, result inverted -------------------------

struct CrcTable {
    uint16_t v[256];
    constexpr CrcTable() : v() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i << 8;
            for (int b = 0; b < 8; ++b) c = (c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1;
            v[i] = static_cast<uint16_t>(c);
        }
    }
};
constexpr CrcTable kCrc;

// ---- frames ---------------------------------------------------------------------------------

// The frame types, each with the last frame offset it reads.
void FrameReceiverOn(const uint8_t* f) {
    std::memcpy(G_Wx.szRecvId, f + 23, 8);
    G_Wx.szRecvId[8] = '\0';
    if (!G_WxLink.bIdLogged) {
        G_WxLink.bIdLogged = 1;
        DebugPrintf("WX: Receiver %s\n", G_Wx.szRecvId);
    }
    G_Wx.bResponse = 1;
}

void FrameStatus(const uint8_t* f) {
    G_Wx.bResponse = 1;
    G_Wx.nRecvStatus = (f[5] == 1 || f[6] == 3 || f[6] == 4 || f[6] == 11) ? kStatusGood : kStatusBad;
}

void FrameConfig(const uint8_t* f) {
    G_Wx.bResponse = 1;
    G_Wx.abConfig[0] = f[9];
    G_Wx.abConfig[1] = f[7];
    G_Wx.abConfig[2] = f[8];
}

void FrameCa(const uint8_t* f) {
    if (f[5] == 0x40) {
        G_Wx.bResponse = 1;
        G_Wx.nRecvStatus = f[6];
    } else if (f[5] == 0x43 || f[5] == 0x64) {
        G_Wx.bResponse = 1;
    } else {
        DebugPrintf("WX: CBMX? %d\n", f[5]);
    }
}

void FrameTime(const uint8_t* f) {
    G_Wx.nRecvTime = WxTfrMinuteKey(f[6] & 31u, f[7], f[9], f[10] & 63u, f[11] & 127u);
}

// Bytes 8..11 count the product bytes from byte 16; they must lie inside the frame.
void FrameProduct(const uint8_t* f, uint32_t n) {
    const uint32_t count = Be32(f + 8);
    if (count > n + 4 - 16) {
        DebugPrintf("WX: eabc (%u/%u)\n", static_cast<unsigned>(count), static_cast<unsigned>(n));
        return;
    }
    WxProductAssemble(f + 16, count);
}

// The shortest payload that holds every field a frame type reads.
uint32_t MinPayload(uint8_t type) {
    switch (type) {
    case 0x80: return 27;    // bytes 23..30
    case 0x90: return 3;     // byte 6
    case 0xC0: return 6;     // byte 9
    case 0xCA: return 3;
    case 0xDF: return 8;     // byte 11
    case 0xEA: return 12;    // bytes 8..15
    default: return 1;
    }
}

// ---- product messages -------------------------------------------------------------------------

void AssemblyReset() {
    G_WxLink.nFill = 0;
    G_WxLink.nExpected = 0;
}

// Unstuffs into the assembly buffer; a 0xAB or 0xAB 0xCC at the very end is kept for the next chunk.
void Unstuff(const uint8_t* in, uint32_t count) {
    WxLinkState& s = G_WxLink;
    uint8_t joined[2 + kWxChunkMax];
    uint32_t n = s.nStuffPending;
    std::memcpy(joined, s.abStuff, n);
    std::memcpy(joined + n, in, count);
    n += count;
    s.nStuffPending = 0;
    uint32_t i = 0;
    while (i < n) {
        if (joined[i] == 0xAB && (i + 1 == n || (joined[i + 1] == 0xCC && i + 2 == n))) {
            s.nStuffPending = n - i;
            std::memcpy(s.abStuff, joined + i, s.nStuffPending);
            return;
        }
        if (s.nFill + 2 > kWxMsgBytes) return;
        if (joined[i] == 0xAB && joined[i + 1] == 0xCC) {
            const uint8_t third = joined[i + 2];
            if (third == 0x01 || third == 0x00) {
                s.abMsg[s.nFill] = 0xAB;
                s.abMsg[s.nFill + 1] = third ? 0xCD : 0xCC;
            } else {
                DebugPrintf("WX: Bad 0xABCC\n");
            }
            s.nFill += 2;
            i += 3;
            continue;
        }
        s.abMsg[s.nFill++] = joined[i++];
    }
}

// The expected size once the length field is in.
void ReadExpected() {
    WxLinkState& s = G_WxLink;
    if (s.nExpected != 0 || s.nFill < 8) return;
    const uint32_t l = Le16(s.abMsg + 2);
    if (l != 0xFFFF) {
        s.nExpected = l + 4;
        return;
    }
    const uint64_t l32 = uint64_t{Le32(s.abMsg + 4)} + 8;
    DebugPrintf("WX: lwm\n");
    if (l32 > kWxMsgBytes) {
        DebugPrintf("WX: wmtl\n");
        AssemblyReset();   // dropped whole: the next message start resynchronises
        return;
    }
    s.nExpected = static_cast<uint32_t>(l32);
}

// A complete message: checked and dispatched, then the bytes behind it moved up.
bool TakeMessage() {
    WxLinkState& s = G_WxLink;
    if (s.nExpected == 0 || s.nFill < s.nExpected) return false;
    if (s.nExpected < 11) {
        DebugPrintf("WX: b1ts\n");
        s.nExpected = 11;
        if (s.nFill < s.nExpected) return false;
    }
    const bool longForm = Le16(s.abMsg + 2) == 0xFFFF;
    const uint32_t at = longForm ? 8 : 4;
    const uint32_t payload = s.nExpected - at - 2;
    if (WxCrc16Check(s.abMsg + at, payload)) WxProductDispatch(s.abMsg + at, payload);
    if (s.nFill <= s.nExpected) {
        AssemblyReset();
        return false;
    }
    for (uint32_t p = s.nExpected; p + 1 < s.nFill; ++p) {
        if (s.abMsg[p] == 0xAB && s.abMsg[p + 1] == 0xCD) {
            std::memmove(s.abMsg, s.abMsg + p, s.nFill - p);
            s.nFill -= p;
            s.nExpected = 0;
            return true;
        }
    }
    AssemblyReset();
    return false;
}

// ---- commands ---------------------------------------------------------------------------------

void SendPayload(TcpConn* c, const uint8_t* payload, uint32_t length) {
    uint8_t buf[4 + 8 + 2];
    std::memcpy(buf + 4, payload, length);
    buf[4 + length] = 0xED;
    buf[5 + length] = 0xED;
    WxRecvSendCmd(c, buf, length);
}

// ---- the link tasks ---------------------------------------------------------------------------

TcpConn* OpenLink(const uint8_t* ip, const uint8_t* mac, uint16_t port) {
    TcpConn* c = TCP_OpenConnection(ip, mac, port, 0, WxRecvRxStream, 1);
    if (c) G_WxLink.nConnOpening = c->nOpening;
    return c;
}

// A link record that TCP closed is free, and a web page or relay connection
// may have taken it since: the link is over then, and the record no longer
// ours to send on or abort.
void ForgetTakenRecord() {
    if (G_WxConn == nullptr || TCP_StillOpening(G_WxConn, G_WxLink.nConnOpening)) return;
    G_WxConn = nullptr;
    G_Wx.nStep = kStepIdle;
}

void DropConnection() {
    if (G_WxConn) TCP_Abort(G_WxConn);
    ARP_ClearCache();
    G_WxConn = nullptr;
    G_Wx.nStep = kStepIdle;
}

void IdleWatch() {
    if (G_Wx.nStep == kStepIdle || G_WxConn == nullptr) return;
    const uint32_t idle = Since(G_WxConn->nLastActivity);
    if (idle >= kIdleAbortSec) {
        DebugPrintf("WX: trc\n");
        DropConnection();
        return;
    }
    if (idle % kKeepAliveEvery != 0) {
        G_WxLink.bKeepAliveSent = 0;
    } else if (idle != 0 && !G_WxLink.bKeepAliveSent) {
        TCP_KeepAlive(G_WxConn);
        G_WxLink.bKeepAliveSent = 1;
    }
}

void RelayWatch() {
    for (TcpConn& c : G_TcpConn) {
        if (c.nState != kTcpEstablished || c.nLocalPort != kWxRelayPort) continue;
        if (c.nLastActivity == 0) {
            c.nLastActivity = G_UptimeSec;
        } else if (Since(c.nLastActivity) > kRelayIdleSec) {
            DebugPrintf("WX: trcc\n");
            TCP_Abort(&c);
        }
    }
}

// After step 6 the product configuration steps 230.. 240, each confirmed or given up after eight retries.
void ConfigStep(TcpConn* c) {
    WxState& w = G_Wx;
    WxLinkState& s = G_WxLink;
    if (w.nRecvStatus != kStatusGood) {
        ++s.nRetries;
        WxCmdJ10(c, w.nStep);
    }
    if (w.nStep == kStepLastConfig) {
        DebugPrintf("WX: Running\n");
        WxCmdN(c, 11);
        w.nStep = kStepRunning;
    } else if (s.nRetries > 7 || w.nRecvStatus == kStatusGood) {
        s.nRetries = 0;
        w.nRecvStatus = 0;
        w.nStep = static_cast<uint8_t>(w.nStep + 1 == kStepSkipped ? w.nStep + 2 : w.nStep + 1);
        WxCmdJ10(c, w.nStep);
    }
}

void ValidationStep(TcpConn* c) {
    WxState& w = G_Wx;
    const bool good = w.nRecvStatus == kStatusGood;
    switch (w.nStep) {
    case 31:
        G_WxLink.nRetries = 0;
        WxCmdSet10(c, 1, 0, 1);
        w.nRecvStatus = 0;
        w.nStep = 32;
        break;
    case 32:
        if (++G_WxLink.nRetries == 10) {
            WxCmdPoll(c);
            w.nStep = 31;
        } else {
            WxCmdSet10(c, 240, 1, 2);
            w.nRecvStatus = 0;
            w.nStep = 33;
        }
        break;
    case 33:
    case 34:
        if (!good) {
            WxCmdSet10(c, 1, 0, 1);
            w.nStep = 32;
        } else if (w.nStep == 33) {
            WxCmdSet10(c, 231, 1, 2);
            w.nStep = 34;
        } else {
            DebugPrintf("WX: Reciever Activated\n");
            WxCmdPowerOff(c);
            w.nStep = 35;
        }
        w.nRecvStatus = 0;
        break;
    default:   // 35
        TCP_Close(c);
        ARP_ClearCache();
        w.nStep = kStepIdle;
        break;
    }
}

void EnterValidation(TcpConn* c, uint8_t mode, const char* line) {
    WxCmdSet11(c, mode);
    WxCmdSet10(c, 1, 0, 1);
    DebugPrintf("%s", line);
    G_Wx.nStep = 31;
}

void RunStep(TcpConn* c) {
    WxState& w = G_Wx;
    WxLinkState& s = G_WxLink;
    switch (w.nStep) {
    case 1:
        WxCmdJD(c);
        w.nStep = 2;
        break;
    case 2:
        DebugPrintf("WX: Turning On Reciever\n");
        WxCmdTurnOn(c);
        w.nStep = 3;
        break;
    case 3:
        WxCmdSet11(c, 240);
        WxCmdSet10(c, 240, 1, 2);
        w.nStep = 4;
        break;
    case 4:
        if (w.nRecvStatus == kStatusBad) {
            EnterValidation(c, 240, "WX: Entering Validation Mode\n");
        } else if (w.nRecvStatus == kStatusGood) {
            s.nRetries = 0;
            WxCmdSet10(c, 231, 1, 2);
            w.nStep = 5;
        }
        break;
    case 5:
        if (w.nRecvStatus == kStatusBad) {
            EnterValidation(c, 231, "WX: Entering Validation Mode (2)\n");
        } else if (w.nRecvStatus == kStatusGood) {
            s.nRetries = 0;
            WxCmdJ10(c, 10);
            w.nStep = 6;
        }
        break;
    case 6:
        if (w.nRecvStatus == kStatusGood || s.nRetries >= 8) {
            WxCmdJ10(c, 230);
            w.nStep = 230;
            w.nRecvStatus = 0;
        } else {
            ++s.nRetries;
            WxCmdJ10(c, 10);
        }
        break;
    case 31: case 32: case 33: case 34: case 35:
        ValidationStep(c);
        break;
    case kStepPowerCycle:
        WxCmdPowerOff(c);
        w.nStep = 2;
        break;
    case kStepRunning:
        break;
    default:
        ConfigStep(c);
        break;
    }
}

void MasterTask() {
    WxState& w = G_Wx;
    WxLinkState& s = G_WxLink;
    if (w.nStep != kStepIdle && Since(w.nLastFrame) > kQuietSec && w.nStep == 4) {
        EnterValidation(G_WxConn, 240, "WX: Tarrow Mode\n");
    }
    if (w.nStep != kStepIdle && Since(w.nLastFrame) > kNoFrameSec && G_WxConn) {
        if (G_WxConn->nState == kTcpEstablished) {
            DebugPrintf("WX: frnt\n");
            TCP_Abort(G_WxConn);
            ARP_ClearCache();
        } else if (G_WxConn->nState == kTcpClosed) {
            G_WxConn = nullptr;
            w.nStep = kStepIdle;
        }
    }
    RelayWatch();
    if (G_WxConn == nullptr) {
        const ArpEntry* e = ARP_Resolve(kWxRecvIp);
        if (e) G_WxConn = OpenLink(kWxRecvIp, e->abMac, kWxRecvPort);
        if (G_WxConn == nullptr) return;
    }
    // A connection refused or given up by TCP (an unanswered SYN) is closed too: retried from here.
    if ((G_WxConn->nState == kTcpClosed || G_WxConn->nState == kTcpFree) && Since(s.nLastEvent) > kClosedRetrySec &&
        ARP_Resolve(kWxRecvIp) != nullptr) {
        DebugPrintf("WX:   arcwr\n");
        DropConnection();
        s.nLastEvent = G_UptimeSec;
        return;
    }
    if (w.nStep == kStepIdle && G_WxConn->nState == kTcpEstablished) {
        w.nProducts = 1;
        s.nLastEvent = w.nLastFrame = G_UptimeSec;
        w.nStep = 1;
        WxCmdJC(G_WxConn);
        return;
    }
    if (w.nStep == 1 && Since(s.nLastEvent) > kQuietSec) {
        DebugPrintf("WX: nrtp\n");
        DropConnection();
        s.nLastEvent = G_UptimeSec;
        return;
    }
    if (w.nStep != kStepIdle && w.bResponse && G_WxConn) {
        RunStep(G_WxConn);
        w.bResponse = 0;
    }
    if (w.nStep == kStepRunning && G_WxConn && w.nLastFrame != G_UptimeSec && Since(s.nLastEvent) > kQuietSec) {
        WxCmdPoll(G_WxConn);
        s.nLastEvent = G_UptimeSec;
    }
}

// The slave follows the master's event 32; a relay link that TCP closed or gave up starts over.
void SlaveTask() {
    WxState& w = G_Wx;
    if (w.nProducts == 0) {
        if (G_WxConn) DropConnection();
        return;
    }
    if (G_WxConn && (G_WxConn->nState == kTcpClosed || G_WxConn->nState == kTcpFree)) {
        G_WxConn = nullptr;
        w.nStep = kStepIdle;
    }
    switch (w.nStep) {
    case kStepIdle:
        w.nStep = 1;
        break;
    case 1:
        if (const ArpEntry* e = ARP_Resolve(G_WxMasterIp)) {
            G_WxConn = OpenLink(G_WxMasterIp, e->abMac, kWxRelayPort);
            if (G_WxConn) w.nStep = 2;
        }
        break;
    case 2:
        if (G_WxConn && G_WxConn->nState == kTcpEstablished) {
            w.nStep = kStepRunning;
            DebugPrintf("WX: ssc\n");
        }
        break;
    default:
        break;
    }
}

}  // namespace

// ---- public -----------------------------------------------------------------------------------

uint16_t WxCrc16(const uint8_t* bytes, uint32_t count) {
    uint32_t crc = 0xFFFF;
    for (uint32_t i = 0; i < count; ++i) crc = (crc << 8 ^ kCrc.v[(crc >> 8 ^ bytes[i]) & 0xFF]) & 0xFFFF;
    return static_cast<uint16_t>(crc ^ 0xFFFF);
}

int32_t WxCrc16Check(const uint8_t* bytes, uint32_t count) {
    return WxCrc16(bytes, count) == Be16(bytes + count) ? 1 : 0;
}

void WxRecvParseFrame(const uint8_t* f, uint32_t size) {
    if (size < 5 || f[0] != 0x5A || f[1] != 0xA5) {
        DebugPrintf("wxrecv? %x %x %x %u\n", f[0], size > 1 ? f[1] : 0u, size > 4 ? f[4] : 0u,
                    static_cast<unsigned>(size >= 4 ? Be16(f + 2) : 0));
        return;
    }
    const uint32_t n = Be16(f + 2);
    if (n > kWxFrameMaxLen || n + 6 > size) return;
    G_Wx.nLastFrame = G_UptimeSec;
    const uint8_t type = f[4];
    if (n < MinPayload(type)) return;   // too short for its fields: ignored
    switch (type) {
    case 0x80: FrameReceiverOn(f); break;
    case 0x90: FrameStatus(f); break;
    case 0xC0: FrameConfig(f); break;
    case 0xCA: FrameCa(f); break;
    case 0xDF: FrameTime(f); break;
    case 0xE0:
    case 0xE1: G_Wx.bResponse = 1; break;
    case 0xEA: FrameProduct(f, n); break;
    default: G_Wx.bResponse = 0; break;
    }
}

int32_t WxRecvRxStream(TcpConn* conn, const uint8_t* data, uint32_t count, uint32_t) {
    (void)conn;
    if (Master()) {
        for (TcpConn& c : G_TcpConn) {
            if (c.nState == kTcpEstablished && c.nLocalPort == kWxRelayPort) TCP_Send(&c, data, count);
        }
    }
    WxLinkState& s = G_WxLink;
    const uint8_t* buf = data;
    uint32_t len = count;
    if (s.nLeftover > 0) {
        if (s.nLeftover + count > kWxLeftoverBytes) {
            DebugPrintf("WX: llplbtb\n");
        } else {
            std::memcpy(s.abLeftover + s.nLeftover, data, count);
            buf = s.abLeftover;
            len = s.nLeftover + count;
        }
        s.nLeftover = 0;
    }
    uint32_t at = 0;
    while (at < len) {
        if (buf[at] != 0x5A || (at + 1 < len && buf[at + 1] != 0xA5)) {
            ++at;
            continue;
        }
        if (at + 4 > len) break;
        const uint32_t end = at + Be16(buf + at + 2) + 6;
        if (end > len) break;
        WxRecvParseFrame(buf + at, end - at);
        at = end;
    }
    const uint32_t rest = len - at;
    if (rest >= kWxLeftoverKeep) {
        DebugPrintf("WX: loloob\n");
    } else if (rest > 0) {
        std::memmove(s.abLeftover, buf + at, rest);
        s.nLeftover = rest;
    }
    return 0;
}

void WxProductAssemble(const uint8_t* bytes, uint32_t count) {
    WxLinkState& s = G_WxLink;
    G_Wx.bActivity = 1;
    if (count >= 2 && bytes[0] == 0xAB && bytes[1] == 0xCD) {
        AssemblyReset();
        s.nStuffPending = 0;
    }
    if (count > kWxChunkMax) {
        DebugPrintf("WX: wptb\n");
        return;
    }
    if (s.nFill + count + s.nStuffPending > kWxMsgBytes - 1) {
        DebugPrintf("WX: wptbfb\n");
        return;
    }
    Unstuff(bytes, count);
    do ReadExpected();
    while (TakeMessage());
}

void WxRecvSendCmd(TcpConn* conn, uint8_t* buf, uint32_t length) {
    G_Wx.bResponse = 0;
    if (length >= kWxCmdMaxLen || conn == nullptr) return;
    buf[0] = 0x5A;
    buf[1] = 0xA5;
    buf[2] = static_cast<uint8_t>(length >> 8);
    buf[3] = static_cast<uint8_t>(length);
    if (conn->nState == kTcpEstablished) {
        TCP_Send(conn, buf, length + 6);
        return;
    }
    ARP_ClearCache();
    TCP_Abort(conn);
    conn->nState = kTcpClosed;
    G_Wx.nStep = 0;
}

int32_t WxRelayAccept(TcpConn*, const uint8_t*, uint32_t, uint32_t) { return 0; }

void WxCmdJC(TcpConn* c) { const uint8_t p[] = {'J', 'C'}; SendPayload(c, p, sizeof p); }
void WxCmdJD(TcpConn* c) { const uint8_t p[] = {'J', 'D'}; SendPayload(c, p, sizeof p); }
void WxCmdTurnOn(TcpConn* c) { const uint8_t p[] = {0x00, 0x08, 0x08, 0x08, 0x01}; SendPayload(c, p, sizeof p); }
void WxCmdPowerOff(TcpConn* c) {
    DebugPrintf("WX: Power Off\n");
    const uint8_t p[] = {0x01, 0x00};
    SendPayload(c, p, sizeof p);
}
void WxCmdSet10(TcpConn* c, uint8_t a, uint8_t b, uint8_t d) {
    const uint8_t p[] = {0x10, 0x01, a, b, 0x00, d};
    SendPayload(c, p, sizeof p);
}
void WxCmdSet11(TcpConn* c, uint8_t a) { const uint8_t p[] = {0x11, a, 0x01}; SendPayload(c, p, sizeof p); }
void WxCmdJ10(TcpConn* c, uint8_t a) { const uint8_t p[] = {'J', 0x10, a, 0x00, 0x00}; SendPayload(c, p, sizeof p); }
void WxCmdN(TcpConn* c, uint8_t a) { const uint8_t p[] = {'N', a}; SendPayload(c, p, sizeof p); }
void WxCmdPoll(TcpConn* c) { const uint8_t p[] = {'@'}; SendPayload(c, p, sizeof p); }
void WxCmd13(TcpConn* c, uint8_t a) { const uint8_t p[] = {0x13, a}; SendPayload(c, p, sizeof p); }

void WxRecvTask() {
    ++G_Wx.nLinkPasses;
    ForgetTakenRecord();
    IdleWatch();
    const uint32_t role = G_NetStreamCfg[kStreamWx].INST;
    if (role == kWxMaster) MasterTask();
    else if (role == kWxSlave) SlaveTask();
}
