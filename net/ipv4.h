// The unit's addresses, IPv4 receive and dispatch, ARP with its cache, and the
// Ethernet and IP header builders every sender uses. One flat segment
// 192.168.0.x: no routing, fragments, options or ICMP.
#pragma once
#include <cstdint>

constexpr uint16_t kEtherTypeIp  = 0x0800;
constexpr uint16_t kEtherTypeArp = 0x0806;
constexpr uint8_t  kIpProtoTcp = 6;
constexpr uint8_t  kIpProtoUdp = 17;
constexpr uint32_t kArpFrameBytes = 56;
constexpr int32_t  kArpEntries = 5;
constexpr uint32_t kArpSpacingSec = 6;

// IPv4 header fields, offsets from its first byte.
constexpr uint32_t kIpVerIhl   = 0;
constexpr uint32_t kIpTotalLen = 2;    // u16: header + data
constexpr uint32_t kIpIdent    = 4;
constexpr uint32_t kIpFragment = 6;    // u16: flags (MF 0x2000) and offset
constexpr uint32_t kIpTtl      = 8;
constexpr uint32_t kIpProtocol = 9;
constexpr uint32_t kIpChecksumAt = 10;
constexpr uint32_t kIpSrc      = 12;
constexpr uint32_t kIpDst      = 16;

// ARP packet fields, offsets from its first byte (after the Ethernet header).
constexpr uint32_t kArpOpcode    = 6;
constexpr uint32_t kArpSenderMac = 8;
constexpr uint32_t kArpSenderIp  = 14;
constexpr uint32_t kArpTargetMac = 18;
constexpr uint32_t kArpTargetIp  = 24;

#pragma pack(push, 1)
struct ArpEntry {
    uint8_t abMac[6];
    uint8_t abIp[4];
    uint8_t spare[2];
};
struct ArpCache {
    uint32_t nCount;       // 0..5
    uint32_t nNext;        // round robin 0..4
    ArpEntry entry[kArpEntries];
};
#pragma pack(pop)
static_assert(sizeof(ArpEntry) == 12);
static_assert(sizeof(ArpCache) == 68);

extern uint8_t  G_NetOwnMac[6];
extern uint8_t  G_OwnIp[4];
extern uint32_t G_UnitIpByte;      // 175..179
extern uint32_t G_PartnerIpByte;   // 175..179, default 176
extern ArpCache G_ArpCache;

// Start-up: rings cleared, addresses from the monitor and settings, the controller started.
int32_t NET_Init();
void    NET_SetupIp();
int32_t ParseEtherAddr(const char* text, uint8_t* mac);
int32_t ParseIpAddr(const char* text, uint8_t* ip);
// A frame popped from the receive ring (the slot: descriptor, then the frame).
void    NET_ProcessRx(uint8_t* slot);
void    NET_ProcessIp(uint8_t* slot);

const ArpEntry* ARP_Resolve(const uint8_t* ip);
void    ARP_ClearCache();
void    ARP_Receive(uint8_t* slot);
// An ARP packet into the staging slot; a null target is FF x 6 / 255.255.255.255.
void    ARP_BuildPacket(uint8_t* slot, uint16_t opcode, const uint8_t* targetIp, const uint8_t* targetMac);
void    NET_BuildEthHeader(uint8_t* slot, const uint8_t* dstMac, uint16_t etherType);
void    NET_BuildIpHeader(uint8_t* slot, const uint8_t* dstIp, uint32_t length, uint8_t protocol);
void    NET_LogIp(const uint8_t* ip);
void    NET_LogMac(const uint8_t* mac);
