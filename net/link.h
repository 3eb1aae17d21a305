// The display link: UDP broadcasts of shared records between the displays on
// ports 50000..50009, version 6.3.1 (a receiver takes any 6.3.x). Each record
// has a UdpType; the sender broadcasts its current copy, the receiver copies
// it over its own when it takes that stream from the network.
#pragma once
#include <cstddef>
#include <cstdint>

enum UdpType : int32_t {
    kUdpAirData    = 1,    // the first 65 bytes of G_AirData
    kUdpAhrs       = 2,    // G_Ahrs
    kUdpEngine     = 3,    // G_InstReading 9..40, 9 bytes each
    kUdpEngTimers  = 4,    // G_EngineTimers
    kUdpAirSetup   = 6,    // the 132 bytes at 588 of G_NVRam
    kUdpAttAdjust  = 7,    // G_NVClock, own attitude adjustments zeroed
    kUdpAoa        = 8,    // the first 16 bytes of G_Aoa
    kUdpUserEvent  = 9,    // G_RemoteUserDat
    kUdpDateTime   = 10,   // G_DateTime without the offset
    kUdpNav1       = 14,   // 14..16: navigation slots 0..2
    kUdpMapNav     = 17,   // navigation slot 3, the map's GOTO
    kUdpTraffic    = 19,   // G_Traffic
    kUdpDiscrete   = 22,   // G_DiscreteIn
};
constexpr int32_t  kUdpTypes        = 23;
constexpr uint16_t kLinkPortFirst   = 50000;
constexpr uint16_t kLinkPortLast    = 50010;
constexpr uint16_t kLinkPortSystem  = 50009;   // user events, date and time, discrete inputs
constexpr uint8_t  kLinkVersion[3]  = {6, 3, 1};
constexpr uint32_t kLinkFrameExtra  = 56;      // Ethernet, IPv4, UDP and link headers
constexpr uint32_t kLinkIpExtra     = 42;      // IP total length = payload + 42
// A change this display made less than 0.1 s ago wins over the record that
// crossed it on the wire (baro setting, fuel computer).
constexpr uint32_t kLinkOwnChangeTicks = 368640;

// The link header behind the UDP header.
#pragma pack(push, 1)
struct LinkHeader {
    uint8_t  nMajor, nMinor, nPatch;
    uint8_t  nType;
    uint16_t nSize;          // payload bytes
    uint32_t nSeq;           // the sender's count for this type
    uint8_t  reserved[4];
};
// User event (type 9): a code and up to 15 arguments, arg1 first.
struct RemoteUserDat {
    uint32_t nCode;
    uint32_t nArg[15];
};
// One engine channel of type 3.
struct LinkEngineRec {
    int32_t nValue;
    int32_t nValue2;
    uint8_t bValid;
};
#pragma pack(pop)
static_assert(sizeof(LinkHeader) == 14);
static_assert(offsetof(LinkHeader, nSeq) == 6);
static_assert(sizeof(RemoteUserDat) == 64);
static_assert(sizeof(LinkEngineRec) == 9);

// A packet type's descriptor. Held in memory only: its pointers never reach the wire.
struct UdpPktDesc {
    uint16_t nSize;          // payload bytes; 0: type not used
    uint16_t nPort;
    uint32_t nSendSeq;
    uint32_t nRecvSeq;       // the last one received
    uint8_t* pRecord;
    uint8_t* pRecord2;
    uint8_t  abLastIp[4];    // the last sender
};
extern UdpPktDesc G_UdpPktDesc[kUdpTypes];
extern UdpPktDesc G_UdpPktDescOther;   // type 2 from units other than the partner

extern RemoteUserDat G_RemoteUserDat;
extern uint32_t G_LastEventSent;       // the code of the last type 9 sent
extern uint32_t G_LastEventTime;       // OS timer at that send

// Refusals by cause, per run.
struct LinkStats {
    uint32_t nIn, nBadChecksum, nBadPort, nBadLength, nBadType, nBadSize, nBadVersion, nOutOfSeq;
};
extern LinkStats G_LinkStats;

// Zeroes the table and fills the types this display uses; sequences restart.
void    NET_InitPacketTable();
// The frame length queued; 0 with the link down; -1 when the type has no record.
int32_t NET_SendUdpType(int32_t type);
// 1 to process the received datagram, 0 to drop it.
int32_t NET_CheckUdp(uint8_t* slot);
// 1 when the packet follows the last one from the same sender; the
// descriptor takes its sender and sequence either way.
int32_t NET_CheckUdpSeq(uint8_t* slot, UdpPktDesc* desc);
void    NET_ProcessUdp(uint8_t* slot);
