#include "platform/montftp.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace platform {

namespace {

constexpr int kEthHeader = 14, kIpHeader = 20, kUdpHeader = 8;
constexpr int kUdpAt = kEthHeader + kIpHeader;
constexpr int kPayloadAt = kUdpAt + kUdpHeader;
constexpr int kFrameMax = 1536;
constexpr int kArpFrame = 42;
constexpr uint16_t kTypeIp = 0x0800, kTypeArp = 0x0806;
constexpr uint8_t kProtoUdp = 17;

enum Opcode : uint16_t { kRrq = 1, kWrq = 2, kData = 3, kAck = 4, kError = 5 };
enum ErrorCode : uint16_t { kErrUndefined = 0, kErrNotFound = 1, kErrDiskFull = 3, kErrIllegal = 4, kErrUnknownTid = 5 };

const uint8_t kBroadcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

uint32_t SumWords(const uint8_t* p, int len, uint32_t sum = 0) {
    for (int i = 0; i + 1 < len; i += 2) sum += Be16(p + i);
    if (len & 1) sum += static_cast<uint32_t>(p[len - 1]) << 8;
    return sum;
}
uint16_t Fold(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}
// The UDP checksum over the pseudo-header and the datagram.
uint16_t UdpSum(const uint8_t* src, const uint8_t* dst, const uint8_t* udp, int len) {
    uint32_t sum = SumWords(src, 4) + SumWords(dst, 4) + kProtoUdp + static_cast<uint32_t>(len);
    return Fold(SumWords(udp, len, sum));
}

uint16_t g_ipId = 1;

void SendUdp(MonNetLink& link, const MonNetAddr& self, const uint8_t* mac, const uint8_t* ip, uint16_t from,
             uint16_t to, const uint8_t* payload, int len) {
    uint8_t f[kFrameMax] = {};
    if (len < 0 || len > kFrameMax - kPayloadAt) return;
    std::memcpy(f, mac, 6);
    std::memcpy(f + 6, self.mac, 6);
    PutBe16(f + 12, kTypeIp);
    uint8_t* h = f + kEthHeader;
    h[0] = 0x45;
    PutBe16(h + 2, static_cast<uint32_t>(kIpHeader + kUdpHeader + len));
    PutBe16(h + 4, g_ipId++);
    h[8] = 64;
    h[9] = kProtoUdp;
    std::memcpy(h + 12, self.ip, 4);
    std::memcpy(h + 16, ip, 4);
    PutBe16(h + 10, Fold(SumWords(h, kIpHeader)));
    uint8_t* u = f + kUdpAt;
    PutBe16(u, from);
    PutBe16(u + 2, to);
    PutBe16(u + 4, static_cast<uint32_t>(kUdpHeader + len));
    if (len) std::memcpy(u + kUdpHeader, payload, static_cast<size_t>(len));
    uint16_t sum = UdpSum(self.ip, ip, u, kUdpHeader + len);
    PutBe16(u + 6, sum ? sum : 0xFFFF);
    link.Send(f, kPayloadAt + len);
}

void SendError(MonNetLink& link, const MonNetAddr& self, const uint8_t* mac, const uint8_t* ip, uint16_t from,
               uint16_t to, uint16_t code, const char* text) {
    uint8_t p[128] = {};
    PutBe16(p, kError);
    PutBe16(p + 2, code);
    const size_t n = std::strlen(text) < sizeof p - 5 ? std::strlen(text) : sizeof p - 5;
    std::memcpy(p + 4, text, n);
    SendUdp(link, self, mac, ip, from, to, p, static_cast<int>(4 + n + 1));
}

void SendArp(MonNetLink& link, const MonNetAddr& self, uint16_t op, const uint8_t* mac, const uint8_t* ip) {
    uint8_t f[kArpFrame] = {};
    std::memcpy(f, op == 1 ? kBroadcastMac : mac, 6);
    std::memcpy(f + 6, self.mac, 6);
    PutBe16(f + 12, kTypeArp);
    uint8_t* a = f + kEthHeader;
    PutBe16(a, 1);          // Ethernet
    PutBe16(a + 2, kTypeIp);
    a[4] = 6;
    a[5] = 4;
    PutBe16(a + 6, op);
    std::memcpy(a + 8, self.mac, 6);
    std::memcpy(a + 14, self.ip, 4);
    if (op == 2) std::memcpy(a + 18, mac, 6);
    std::memcpy(a + 24, ip, 4);
    link.Send(f, kArpFrame);
}

// An ARP packet: a request for our address is answered at once; a reply's
// sender is handed back. False for anything else.
bool TakeArp(MonNetLink& link, const MonNetAddr& self, const uint8_t* f, int len, uint8_t* replyMac,
             uint8_t* replyIp) {
    if (len < kArpFrame || Be16(f + 12) != kTypeArp) return false;
    const uint8_t* a = f + kEthHeader;
    if (Be16(a) != 1 || Be16(a + 2) != kTypeIp || a[4] != 6 || a[5] != 4) return false;
    const uint16_t op = Be16(a + 6);
    if (op == 1 && std::memcmp(a + 24, self.ip, 4) == 0) {
        SendArp(link, self, 2, a + 8, a + 14);
        return false;
    }
    if (op != 2 || std::memcmp(a + 24, self.ip, 4) != 0) return false;
    std::memcpy(replyMac, a + 8, 6);
    std::memcpy(replyIp, a + 14, 4);
    return true;
}

// A UDP datagram to our address, whole and with good checksums: its
// payload's offset and length in the frame; false otherwise.
bool TakeUdp(const MonNetAddr& self, const uint8_t* f, int len, int& payloadLen) {
    if (len < kPayloadAt || Be16(f + 12) != kTypeIp) return false;
    const uint8_t* h = f + kEthHeader;
    const int total = Be16(h + 2);
    if (h[0] != 0x45 || h[9] != kProtoUdp || total < kIpHeader + kUdpHeader || kEthHeader + total > len) return false;
    if ((Be16(h + 6) & 0x3FFF) != 0 || Fold(SumWords(h, kIpHeader)) != 0) return false;   // fragments, bad header
    if (std::memcmp(h + 16, self.ip, 4) != 0) return false;
    const uint8_t* u = f + kUdpAt;
    const int ulen = Be16(u + 4);
    if (ulen < kUdpHeader || ulen > total - kIpHeader) return false;
    if (Be16(u + 6) != 0 && UdpSum(h + 12, h + 16, u, ulen) != 0) return false;
    payloadLen = ulen - kUdpHeader;
    return true;
}

const uint8_t* SrcMac(const uint8_t* f) { return f + 6; }
const uint8_t* SrcIp(const uint8_t* f) { return f + kEthHeader + 12; }
uint16_t SrcPort(const uint8_t* f) { return Be16(f + kUdpAt); }
uint16_t DstPort(const uint8_t* f) { return Be16(f + kUdpAt + 2); }

// The text of an ERROR packet, bounded by the packet.
std::string ErrorText(const uint8_t* p, int len) {
    std::string text = "error " + std::to_string(len >= 4 ? Be16(p + 2) : 0);
    if (len > 4) {
        const void* end = std::memchr(p + 4, 0, static_cast<size_t>(len - 4));
        const int n = end ? static_cast<int>(static_cast<const uint8_t*>(end) - (p + 4)) : len - 4;
        if (n > 0) text += ": " + std::string(reinterpret_cast<const char*>(p + 4), static_cast<size_t>(n));
    }
    return text;
}

// RFC 1350's netascii: a line feed goes as CR LF, a lone CR as CR NUL.
std::vector<uint8_t> ToNetascii(const std::vector<uint8_t>& in) {
    std::vector<uint8_t> out;
    out.reserve(in.size() + in.size() / 16);
    for (uint8_t c : in) {
        if (c == '\n') {
            out.push_back('\r');
            out.push_back('\n');
        } else if (c == '\r') {
            out.push_back('\r');
            out.push_back(0);
        } else {
            out.push_back(c);
        }
    }
    return out;
}

// Asks for the server's hardware address until it answers.
bool Resolve(MonNetLink& link, const MonNetAddr& self, const uint8_t* ip, uint8_t* mac) {
    uint8_t f[kFrameMax], rmac[6], rip[4];
    for (int send = 0; send < kTftpSends; ++send) {
        SendArp(link, self, 1, kBroadcastMac, ip);
        const uint64_t at = link.NowMs();
        while (link.NowMs() - at < kTftpTimeoutMs) {
            const int n = link.Receive(f, sizeof f);
            if (n <= 0) {
                link.Pause();
                continue;
            }
            if (TakeArp(link, self, f, n, rmac, rip) && std::memcmp(rip, ip, 4) == 0) {
                std::memcpy(mac, rmac, 6);
                return true;
            }
        }
    }
    return false;
}

uint16_t g_clientPort = 0;

}  // namespace

bool ParseMac(const char* text, uint8_t mac[6]) {
    unsigned v[6];
    char tail = 0;
    if (!text || std::sscanf(text, "%2x:%2x:%2x:%2x:%2x:%2x%c", &v[0], &v[1], &v[2], &v[3], &v[4], &v[5], &tail) != 6)
        return false;
    for (int i = 0; i < 6; ++i) mac[i] = static_cast<uint8_t>(v[i]);
    return true;
}

bool ParseIp(const char* text, uint8_t ip[4]) {
    unsigned v[4];
    char tail = 0;
    if (!text || std::sscanf(text, "%3u.%3u.%3u.%3u%c", &v[0], &v[1], &v[2], &v[3], &tail) != 4) return false;
    for (int i = 0; i < 4; ++i) {
        if (v[i] > 255) return false;
        ip[i] = static_cast<uint8_t>(v[i]);
    }
    return true;
}

bool TftpGet(MonNetLink& link, const MonNetAddr& self, const uint8_t server[4], const char* remote,
             std::vector<uint8_t>& out, std::string& error) {
    out.clear();
    const size_t nameLen = std::strlen(remote);
    if (nameLen == 0 || nameLen > 255) return error = "bad file name", false;
    uint8_t mac[6];
    if (!Resolve(link, self, server, mac)) return error = "no answer to ARP", false;

    // A transfer id of our own for each transfer, in the dynamic range.
    const uint16_t own = static_cast<uint16_t>(49152 + (g_clientPort++ + link.NowMs()) % 16000);
    uint8_t last[kTftpBlock + 4] = {};   // the packet sent last, sent again on a timeout
    int lastLen = 0;
    uint16_t lastTo = kTftpPort;
    PutBe16(last, kRrq);
    std::memcpy(last + 2, remote, nameLen);
    std::memcpy(last + 3 + nameLen, "octet", 6);
    lastLen = static_cast<int>(2 + nameLen + 1 + 6);

    uint16_t serverPort = 0;    // the server's transfer id, known from its first answer
    uint32_t expected = 1;
    uint8_t f[kFrameMax], rmac[6], rip[4];
    for (int sends = 1;; ++sends) {
        SendUdp(link, self, mac, server, own, lastTo, last, lastLen);
        bool progressed = false;
        uint64_t at = link.NowMs();
        while (!progressed && link.NowMs() - at < kTftpTimeoutMs) {
            const int n = link.Receive(f, sizeof f);
            if (n <= 0) {
                link.Pause();
                continue;
            }
            int plen = 0;
            if (TakeArp(link, self, f, n, rmac, rip) || !TakeUdp(self, f, n, plen)) continue;
            if (DstPort(f) != own || std::memcmp(SrcIp(f), server, 4) != 0 || plen < 4) continue;
            if (serverPort != 0 && SrcPort(f) != serverPort) {
                SendError(link, self, SrcMac(f), server, own, SrcPort(f), kErrUnknownTid, "Unknown transfer ID");
                continue;
            }
            const uint8_t* p = f + kPayloadAt;
            if (Be16(p) == kError) return error = ErrorText(p, plen), false;
            if (Be16(p) != kData) continue;
            const uint16_t block = Be16(p + 2);
            if (block == static_cast<uint16_t>(expected - 1) && expected > 1) {
                // Our acknowledgement was lost: the server sent the block again.
                SendUdp(link, self, mac, server, own, serverPort, last, lastLen);
                continue;
            }
            if (block != static_cast<uint16_t>(expected)) continue;
            serverPort = SrcPort(f);
            const int dataLen = plen - 4 < kTftpBlock ? plen - 4 : kTftpBlock;
            if (out.size() + static_cast<size_t>(dataLen) > kTftpMaxFile) {
                SendError(link, self, mac, server, own, serverPort, kErrDiskFull, "File too large");
                out.clear();
                return error = "file too large", false;
            }
            out.insert(out.end(), p + 4, p + 4 + dataLen);
            PutBe16(last, kAck);
            PutBe16(last + 2, block);
            lastLen = 4;
            lastTo = serverPort;
            // A short block is the last one; its acknowledgement ends the
            // transfer (a lost one leaves the server to time out by itself).
            if (dataLen < kTftpBlock) {
                SendUdp(link, self, mac, server, own, serverPort, last, lastLen);
                return true;
            }
            ++expected;
            progressed = true;
            sends = 0;
        }
        if (!progressed && sends >= kTftpSends) {
            out.clear();
            return error = "timed out", false;
        }
    }
}

int TftpServer::Active() const {
    int n = 0;
    for (const Session& s : sessions_) n += s.open ? 1 : 0;
    return n;
}

void TftpServer::SendBlock(MonNetLink& link, const MonNetAddr& self, Session& s) {
    uint8_t p[4 + kTftpBlock];
    const size_t from = static_cast<size_t>(s.block - 1) * kTftpBlock;
    const size_t n = s.data.size() - from < static_cast<size_t>(kTftpBlock) ? s.data.size() - from : kTftpBlock;
    PutBe16(p, kData);
    PutBe16(p + 2, s.block);
    if (n) std::memcpy(p + 4, s.data.data() + from, n);
    SendUdp(link, self, s.mac, s.ip, s.own, s.port, p, static_cast<int>(4 + n));
    ++s.sends;
    s.sentAt = link.NowMs();
}

void TftpServer::Request(MonNetLink& link, const MonNetAddr& self, const uint8_t* f, const uint8_t* p, int len,
                         const TftpFileReader& read) {
    const uint16_t op = Be16(p);
    const uint16_t own = static_cast<uint16_t>(40000 + nextPort_++ % 9000);
    if (op != kRrq) {
        SendError(link, self, SrcMac(f), SrcIp(f), own, SrcPort(f), kErrIllegal, "Only reads are served");
        return;
    }
    for (const Session& s : sessions_)
        if (s.open && s.port == SrcPort(f) && std::memcmp(s.ip, SrcIp(f), 4) == 0) return;   // a request sent again
    // The file name and the mode, each ended by a zero inside the packet.
    const char* name = reinterpret_cast<const char*>(p + 2);
    const void* nameEnd = std::memchr(name, 0, static_cast<size_t>(len - 2));
    if (!nameEnd) return SendError(link, self, SrcMac(f), SrcIp(f), own, SrcPort(f), kErrIllegal, "Bad request");
    const char* mode = static_cast<const char*>(nameEnd) + 1;
    const int modeRoom = len - static_cast<int>(mode - reinterpret_cast<const char*>(p));
    if (modeRoom <= 0 || !std::memchr(mode, 0, static_cast<size_t>(modeRoom)))
        return SendError(link, self, SrcMac(f), SrcIp(f), own, SrcPort(f), kErrIllegal, "Bad request");
    const bool netascii = strcasecmp(mode, "netascii") == 0;
    if (!netascii && strcasecmp(mode, "octet") != 0)
        return SendError(link, self, SrcMac(f), SrcIp(f), own, SrcPort(f), kErrIllegal, "Mode not supported");
    Session* slot = nullptr;
    for (Session& s : sessions_)
        if (!s.open) slot = &s;
    if (!slot) return SendError(link, self, SrcMac(f), SrcIp(f), own, SrcPort(f), kErrUndefined, "Server busy");
    std::vector<uint8_t> data;
    if (!read(name, data)) return SendError(link, self, SrcMac(f), SrcIp(f), own, SrcPort(f), kErrNotFound, "File not found");
    Session& s = *slot;
    s = Session{};
    s.open = true;
    std::memcpy(s.mac, SrcMac(f), 6);
    std::memcpy(s.ip, SrcIp(f), 4);
    s.port = SrcPort(f);
    s.own = own;
    s.block = 1;
    s.data = netascii ? ToNetascii(data) : std::move(data);
    SendBlock(link, self, s);
}

void TftpServer::Acknowledged(MonNetLink& link, const MonNetAddr& self, Session& s, const uint8_t* p, int len) {
    if (len < 4) return;
    if (Be16(p) == kError) {
        s.open = false;
        return;
    }
    // Only the block in flight moves on: acknowledgements of earlier blocks
    // are not answered, or each duplicate would double the traffic.
    if (Be16(p) != kAck || Be16(p + 2) != static_cast<uint16_t>(s.block)) return;
    if (static_cast<size_t>(s.block) * kTftpBlock > s.data.size()) {   // the short block went last
        s.open = false;
        return;
    }
    ++s.block;
    s.sends = 0;
    SendBlock(link, self, s);
}

void TftpServer::Poll(MonNetLink& link, const MonNetAddr& self, const TftpFileReader& read) {
    uint8_t f[kFrameMax], rmac[6], rip[4];
    for (int i = 0; i < 64; ++i) {
        const int n = link.Receive(f, sizeof f);
        if (n <= 0) break;
        int plen = 0;
        if (TakeArp(link, self, f, n, rmac, rip) || !TakeUdp(self, f, n, plen) || plen < 2) continue;
        const uint8_t* p = f + kPayloadAt;
        if (DstPort(f) == kTftpPort) {
            Request(link, self, f, p, plen, read);
            continue;
        }
        for (Session& s : sessions_) {
            if (!s.open || s.own != DstPort(f)) continue;
            if (s.port == SrcPort(f) && std::memcmp(s.ip, SrcIp(f), 4) == 0) Acknowledged(link, self, s, p, plen);
            else SendError(link, self, SrcMac(f), SrcIp(f), s.own, SrcPort(f), kErrUnknownTid, "Unknown transfer ID");
            break;
        }
    }
    const uint64_t now = link.NowMs();
    for (Session& s : sessions_) {
        if (!s.open || now - s.sentAt < kTftpTimeoutMs) continue;
        if (s.sends >= kTftpSends) s.open = false;   // the client is gone
        else SendBlock(link, self, s);
    }
}

}  // namespace platform
