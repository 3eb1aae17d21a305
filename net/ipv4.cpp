#include "net/ipv4.h"

#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "net/checksum.h"
#include "net/cs8900.h"
#include "net/frames.h"
#include "net/net.h"
#include "platform/hw.h"
#include "platform/monitor.h"

uint8_t  G_NetOwnMac[6] = {};
uint8_t  G_OwnIp[4] = {};
uint32_t G_UnitIpByte = 0;
uint32_t G_PartnerIpByte = 176;
ArpCache G_ArpCache = {};

namespace {

constexpr char kNetPrefix[] = "192.168.0";
constexpr char kDefaultMac[] = "00:23:31:25:00:00";
constexpr uint32_t kFirstHost = 175, kLastHost = 179;
constexpr uint8_t kBroadcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint8_t kZeroMac[6] = {};
constexpr uint8_t kAllOnesIp[4] = {255, 255, 255, 255};
constexpr uint8_t kSegmentBroadcast[4] = {192, 168, 0, 255};
constexpr uint8_t kZeroIp[4] = {};

constexpr uint32_t GRER0 = 0x40E00030;   // rising-edge detect, GPIO 0..31
constexpr uint32_t GFER0 = 0x40E0003C;   // falling-edge detect
constexpr uint32_t kGpioCs8900 = 14;

uint16_t s_ipIdent;
uint32_t s_arpLastRequest;   // G_UptimeSec of the last request

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// A NET_IP_ADR key: a host number 175..179 as it stands, else the stored
// address word's last octet.
uint32_t HostNumber(uint32_t setting) {
    return (setting >= kFirstHost && setting <= kLastHost) ? setting : (setting & 0xFF);
}

char* MonitorVariable(const char* name) {
    AppIntsOffRestore(0);
    char* v = mon_getenv(name);
    AppIntsOffRestore(1);
    return v;
}

void SetupMac() {
    const char* text = MonitorVariable("ETHERADD");
    if (ParseEtherAddr(text, G_NetOwnMac) != 0) {
        DebugPrintf("NET: umon Mac addr invalid, using:%s\n", kDefaultMac);
        ParseEtherAddr(kDefaultMac, G_NetOwnMac);
    }
    std::memcpy(G_CsMac, G_NetOwnMac, 6);
}

// The controller's interrupt line: an input with its primary function,
// rising edges on, falling edges off (the chip never raises it).
void SetupGpio14() {
    SetPinMode(kGpioCs8900, false, 1);
    HwWrite32(GRER0, HwRead32(GRER0) | 1u << kGpioCs8900);
    HwWrite32(GFER0, HwRead32(GFER0) & ~(1u << kGpioCs8900));
}

bool IpEqual(const uint8_t* a, const uint8_t* b) { return std::memcmp(a, b, 4) == 0; }

// A number 0..max written in `base` ending at a separator or the text's end.
const char* ParseField(const char* p, int base, uint32_t* out) {
    uint32_t v = 0;
    int digits = 0;
    for (;; ++p, ++digits) {
        int d;
        if (*p >= '0' && *p <= '9') d = *p - '0';
        else if (base == 16 && *p >= 'a' && *p <= 'f') d = *p - 'a' + 10;
        else if (base == 16 && *p >= 'A' && *p <= 'F') d = *p - 'A' + 10;
        else break;
        v = v * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
        if (v > 255) return nullptr;
    }
    if (digits == 0) return nullptr;
    *out = v;
    return p;
}

int32_t ParseFields(const char* text, uint8_t* out, int n, int base, char sep) {
    if (!text) return -1;
    const char* p = text;
    for (int i = 0; i < n; ++i) {
        uint32_t v = 0;
        p = ParseField(p, base, &v);
        if (!p) return -1;
        out[i] = static_cast<uint8_t>(v);
        if (i + 1 < n) {
            if (*p != sep) return -1;
            ++p;
        }
    }
    return *p == '\0' ? 0 : -1;
}

// The IPv4 header must be one this stack reads: version 4 without options,
// a total length inside the frame, not a fragment.
bool IpHeaderUsable(const uint8_t* ip, uint32_t frameLength) {
    const uint32_t total = Be16(ip + kIpTotalLen);
    return ip[kIpVerIhl] == 0x45 && total >= 20 && frameLength >= kIpHeaderAt + total &&
           (Be16(ip + kIpFragment) & 0x3FFF) == 0;
}

void QueueArp(uint16_t opcode, const uint8_t* dstMac, const uint8_t* targetIp, const uint8_t* targetMac) {
    uint8_t* slot = NET_AllocTxBuffer();
    NET_BuildEthHeader(slot, dstMac, kEtherTypeArp);
    ARP_BuildPacket(slot, opcode, targetIp, targetMac);
    SlotDesc(slot)->nLength = kArpFrameBytes;
    NET_GetNextTxPacket();
}

}  // namespace

int32_t ParseEtherAddr(const char* text, uint8_t* mac) {
    if (!text) return -1;
    if (ParseFields(text, mac, 6, 16, ':') != 0) {
        DebugPrintf("Misformed ethernet addr: %s\n", text);
        return -1;
    }
    return 0;
}

int32_t ParseIpAddr(const char* text, uint8_t* ip) {
    if (!text) return -1;
    if (ParseFields(text, ip, 4, 10, '.') != 0) {
        DebugPrintf("Misformed IP addr: %s\n", text);
        return -1;
    }
    return 0;
}

void NET_SetupIp() {
    if (G_UnitIpByte < kFirstHost || G_UnitIpByte > kLastHost) {
        DebugPrintf("NET: IP:%s.%d out-of-range, using %s.%d\n", kNetPrefix, static_cast<int>(G_UnitIpByte),
                    kNetPrefix, static_cast<int>(kFirstHost));
        G_UnitIpByte = kFirstHost;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%s.%d", kNetPrefix, static_cast<int>(G_UnitIpByte));
    ParseIpAddr(text, G_OwnIp);
    const char* stored = MonitorVariable("IPADD");
    // An unset variable counts as different: it is set and saved.
    if (stored == nullptr || std::strncmp(stored, text, 32) != 0) {
        DebugPrintf("IP Mismatch: monrc:%s, system:%s\n", stored ? stored : "", text);
        AppIntsOffRestore(0);
        mon_setenv("IPADD", text);
        mon_docommand("set -f monrc", 0);
        AppIntsOffRestore(1);
    }
}

int32_t NET_Init() {
    NET_ClearRings();
    NET_InitPacketTable();
    SetupMac();
    G_UnitIpByte = HostNumber(G_NetIpLocal);
    const uint32_t partner = HostNumber(G_NetIpOther);
    G_PartnerIpByte = (partner >= kFirstHost && partner <= kLastHost) ? partner : 176;
    NET_SetupIp();
    SetupGpio14();
    CS_Init();
    return 0;
}

void NET_ProcessRx(uint8_t* slot) {
    const uint8_t* frame = SlotFrame(slot);
    const uint16_t type = Be16(frame + 12);
    if (type == kEtherTypeIp) NET_ProcessIp(slot);
    else if (type == kEtherTypeArp) ARP_Receive(slot);
}

void NET_ProcessIp(uint8_t* slot) {
    FrameDesc* d = SlotDesc(slot);
    uint8_t* frame = SlotFrame(slot);
    uint8_t* ip = frame + kIpHeaderAt;
    const uint32_t length = d->nLength < kNetFrameBytes ? d->nLength : kNetFrameBytes;
    if (length < kIpHeaderAt + 20) return;
    const uint16_t stored = Be16(ip + kIpChecksumAt);
    const uint16_t computed = IpChecksum(ip);
    if (stored != computed) {
        DebugPrintf("NET: Bad IP CRC:0x%08x != 0x%08x @%s\n", stored, computed, FormatTime(4));
        return;
    }
    if (!IpHeaderUsable(ip, length)) {
        DebugPrintf("NET: IP hdr dropped: %02x len:%d frag:%04x @%s\n", ip[kIpVerIhl],
                    static_cast<int>(Be16(ip + kIpTotalLen)), Be16(ip + kIpFragment), FormatTime(4));
        return;
    }
    const uint8_t* dst = ip + kIpDst;
    if (!IpEqual(dst, kAllOnesIp) && !IpEqual(dst, G_OwnIp) && !IpEqual(dst, kSegmentBroadcast)) return;
    if (std::memcmp(frame + 6, G_NetOwnMac, 6) == 0) return;
    if (ip[kIpProtocol] == kIpProtoTcp) {
        TCP_Receive(slot);
    } else if (ip[kIpProtocol] == kIpProtoUdp) {
        // The UDP length may not reach past the IP payload.
        const uint32_t payload = Be16(ip + kIpTotalLen) - 20u;
        if (payload < 8 || Be16(ip + 20 + 4) > payload || Be16(ip + 20 + 4) < 8) return;
        if (NET_CheckUdp(slot)) NET_ProcessUdp(slot);
    }
}

const ArpEntry* ARP_Resolve(const uint8_t* ip) {
    for (uint32_t i = 0; i < G_ArpCache.nCount && i < static_cast<uint32_t>(kArpEntries); ++i) {
        if (IpEqual(G_ArpCache.entry[i].abIp, ip)) return &G_ArpCache.entry[i];
    }
    if (static_cast<uint32_t>(G_UptimeSec - s_arpLastRequest) < kArpSpacingSec) return nullptr;
    s_arpLastRequest = G_UptimeSec;
    QueueArp(1, kBroadcastMac, ip, kZeroMac);
    return nullptr;
}

void ARP_ClearCache() { std::memset(&G_ArpCache, 0, sizeof G_ArpCache); }

void ARP_Receive(uint8_t* slot) {
    const uint8_t* arp = SlotFrame(slot) + kArpAt;
    if (SlotDesc(slot)->nLength < kArpAt + 28u) return;
    if (!IpEqual(arp + kArpTargetIp, G_OwnIp)) return;
    const uint8_t* senderMac = arp + kArpSenderMac;
    const uint8_t* senderIp = arp + kArpSenderIp;
    // A probe's sender 0.0.0.0 names nobody: it is answered but never cached.
    if (!IpEqual(senderIp, kZeroIp)) {
        bool known = false;
        for (uint32_t i = 0; i < G_ArpCache.nCount && i < static_cast<uint32_t>(kArpEntries); ++i) {
            ArpEntry& e = G_ArpCache.entry[i];
            if (!IpEqual(e.abIp, senderIp)) continue;
            if (std::memcmp(e.abMac, senderMac, 6) == 0) known = true;
            else std::memcpy(e.abMac, senderMac, 6);
        }
        if (!known) {
            ArpEntry& e = G_ArpCache.entry[G_ArpCache.nNext % kArpEntries];
            std::memcpy(e.abIp, senderIp, 4);
            std::memcpy(e.abMac, senderMac, 6);
            G_ArpCache.nNext = (G_ArpCache.nNext + 1) % kArpEntries;
            if (G_ArpCache.nCount < static_cast<uint32_t>(kArpEntries)) ++G_ArpCache.nCount;
        }
    }
    if (Be16(arp + kArpOpcode) == 1) {
        uint8_t mac[6], ip[4];
        std::memcpy(mac, senderMac, 6);
        std::memcpy(ip, senderIp, 4);
        QueueArp(2, kBroadcastMac, ip, mac);
    }
}

void ARP_BuildPacket(uint8_t* slot, uint16_t opcode, const uint8_t* targetIp, const uint8_t* targetMac) {
    uint8_t* frame = SlotFrame(slot);
    // The frame is 56 bytes: the 14 behind the packet are zero, never stale bytes.
    std::memset(frame + kArpAt, 0, kArpFrameBytes - kArpAt);
    uint8_t* arp = frame + kArpAt;
    PutBe16(arp + 0, 1);
    PutBe16(arp + 2, kEtherTypeIp);
    arp[4] = 6;
    arp[5] = 4;
    PutBe16(arp + kArpOpcode, opcode);
    std::memcpy(arp + kArpSenderMac, G_NetOwnMac, 6);
    std::memcpy(arp + kArpSenderIp, G_OwnIp, 4);
    std::memcpy(arp + kArpTargetMac, targetMac ? targetMac : kBroadcastMac, 6);
    std::memcpy(arp + kArpTargetIp, targetIp ? targetIp : kAllOnesIp, 4);
}

void NET_BuildEthHeader(uint8_t* slot, const uint8_t* dstMac, uint16_t etherType) {
    uint8_t* frame = SlotFrame(slot);
    std::memcpy(frame, dstMac, 6);
    std::memcpy(frame + 6, G_NetOwnMac, 6);
    PutBe16(frame + 12, etherType);
}

void NET_BuildIpHeader(uint8_t* slot, const uint8_t* dstIp, uint32_t length, uint8_t protocol) {
    uint8_t* ip = SlotFrame(slot) + kIpHeaderAt;
    ip[kIpVerIhl] = 0x45;
    ip[1] = 0;
    PutBe16(ip + kIpTotalLen, length + 20);
    PutBe16(ip + kIpIdent, s_ipIdent++);
    PutBe16(ip + kIpFragment, 0);
    ip[kIpTtl] = 64;
    ip[kIpProtocol] = protocol;
    PutBe16(ip + kIpChecksumAt, 0);
    std::memcpy(ip + kIpSrc, G_OwnIp, 4);
    std::memcpy(ip + kIpDst, dstIp, 4);
}

void NET_LogIp(const uint8_t* ip) { DebugPrintf("%u:%u:%u:%u", ip[0], ip[1], ip[2], ip[3]); }

void NET_LogMac(const uint8_t* mac) {
    DebugPrintf("%u:%u:%u:%u:%u:%u", mac[0], mac[1], mac[2], mac[3], mac[4], mac[5]);
}
