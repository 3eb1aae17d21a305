#include "net/link.h"

#include <cstring>

#include "core/alarm.h"
#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "core/discrete.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "engine/lean.h"
#include "map/map.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "nav/vorradio.h"
#include "net/checksum.h"
#include "net/cs8900.h"
#include "net/frames.h"
#include "net/ipv4.h"
#include "net/net.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "wx/wx.h"

UdpPktDesc    G_UdpPktDesc[kUdpTypes] = {};
UdpPktDesc    G_UdpPktDescOther = {};
RemoteUserDat G_RemoteUserDat = {};
uint32_t      G_LastEventSent = 0;
uint32_t      G_LastEventTime = 0;
LinkStats     G_LinkStats = {};

namespace {

constexpr uint32_t kAirDataBytes   = 65;
constexpr uint32_t kAirBaroAt      = 52;   // u32, 0.001 inHg
constexpr uint32_t kAirOatAt       = 56;   // u32
constexpr uint32_t kAirOatValidAt  = 60;   // u8
constexpr uint32_t kNvEngTimers    = 312;
constexpr uint32_t kEngTimersBytes = 148;
constexpr uint32_t kNvAirSetup     = 588;
constexpr uint32_t kNvClockBytes   = 132;
constexpr uint32_t kAoaBytes       = 16;
constexpr int32_t  kEngFirstInst   = 9;    // G_InstReading 9..40 travel in type 3
constexpr int32_t  kEngChannels    = 32;
constexpr uint32_t kNavPayload     = sizeof(NavSrcRec);
constexpr int32_t  kFreshCount     = 40;
constexpr uint32_t kVersionLogs    = 10;
constexpr int32_t  kBugLow = -1000, kBugHigh = 25000, kSpeedBugHigh = 500;

// Offsets in the 362-byte navigation payload (slot byte + 1).
constexpr uint32_t kNavKeepByte    = 2;
constexpr uint32_t kNavSelector    = 6;
constexpr uint32_t kNavGpsCourse   = 7;    // u16, kept with selector 1
constexpr uint32_t kNavCrsStamp    = 9;    // u32
constexpr uint32_t kNavStamps      = 13;   // three u32 time stamps
constexpr uint32_t kNavRadioCourse = 336;  // u16, kept with selector 2
constexpr uint32_t kNavGotoFlags   = 25;

constexpr uint8_t kBroadcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
constexpr uint8_t kSegmentBroadcast[4] = {192, 168, 0, 255};

// Air data travels as the record's first 65 bytes; a record shorter than that
// is not sent or taken (its descriptor has no record).
constexpr bool kAirDataOnWire = sizeof(AirData) >= kAirDataBytes;

static_assert(sizeof(AhrsRecord) == 66);
static_assert(sizeof(AoaRecord) >= kAoaBytes && kAoaBytes == kAoaLinkBytes);
static_assert(sizeof(DateTime) == 28);
static_assert(sizeof(DiscreteInputs) == 132);
static_assert(sizeof(TrafficList) == 648);
static_assert(sizeof(NavSrcRec) == 362);
static_assert(kNvEngTimers + kEngTimersBytes <= kNVRamSize && kNvClockBlock + kNvClockBytes <= kNVRamSize);

LinkEngineRec s_engPacket[kEngChannels];
static_assert(sizeof s_engPacket == 288);
uint8_t  s_attSend[kNvClockBytes];        // type 7 as sent
uint8_t  s_partnerAdjust[kNvClockBytes];  // the five words of the partner's type 7
uint32_t s_versionLogs;

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
uint32_t Get32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
void Put32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

uint8_t* NvClock() { return G_NVRam + kNvClockBlock; }

void Fill(int32_t type, uint16_t size, int32_t stream, void* record) {
    UdpPktDesc& d = G_UdpPktDesc[type];
    d.nSize = size;
    d.nPort = static_cast<uint16_t>(kLinkPortFirst + stream);
    d.pRecord = static_cast<uint8_t*>(record);
    d.pRecord2 = d.pRecord;
}

bool FromNetwork(int32_t stream) {
    return G_NetStreamCfg[stream].NET == 2 && G_NetStreamCfg[stream].DSRC == 2;
}
bool SourceIsNetwork(int32_t stream) { return G_NetStreamCfg[stream].NET == 2; }

bool OwnChangeRecent(uint32_t event) {
    return G_LastEventSent == event && static_cast<uint32_t>(ReadOsTimer() - G_LastEventTime) < kLinkOwnChangeTicks;
}

// A clock-memory register pair (low byte first) with its shadow.
void StoreClockI16(int32_t reg, uint32_t value) {
    G_ClockMem[reg] = static_cast<uint8_t>(value);
    G_ClockMem[reg + 1] = static_cast<uint8_t>(value >> 8);
    WriteClockMem(&G_ClockMem[reg], reg, 2);
}
void StoreClockU8(int32_t reg, uint8_t value) {
    G_ClockMem[reg] = value;
    WriteClockMem(&G_ClockMem[reg], reg, 1);
}

int32_t Clamp(int32_t v, int32_t lo, int32_t hi) { return v < lo ? lo : (v > hi ? hi : v); }

void PackEngine() {
    for (int32_t k = 0; k < kEngChannels; ++k) {
        const InstReading& r = G_InstReading[kEngFirstInst + k];
        s_engPacket[k].nValue = r.nValue;
        s_engPacket[k].nValue2 = r.nValue2;
        s_engPacket[k].bValid = r.bValid;
    }
}

void UnpackEngine(int32_t first) {
    for (int32_t k = first; k < kEngChannels; ++k) {
        InstReading& r = G_InstReading[kEngFirstInst + k];
        r.nValue = s_engPacket[k].nValue;
        r.nValue2 = s_engPacket[k].nValue2;
        r.bValid = s_engPacket[k].bValid;
    }
}

void PrepareAttitudeSend(UdpPktDesc& d) {
    std::memcpy(s_attSend, NvClock(), kNvClockBytes);
    // The unit's own adjustments stay here: the receiver applies its own.
    std::memset(s_attSend + (kNvPitchAdj - kNvClockBlock), 0, 8);
    std::memset(s_attSend + (kNvRollAdj - kNvClockBlock), 0, 4);
    d.pRecord = s_attSend;
}

uint32_t BuildLinkFrame(uint8_t* slot, int32_t type, UdpPktDesc& d) {
    uint8_t* frame = SlotFrame(slot);
    NET_BuildEthHeader(slot, kBroadcastMac, kEtherTypeIp);
    NET_BuildIpHeader(slot, kSegmentBroadcast, d.nSize + 22u, kIpProtoUdp);
    uint8_t* ip = frame + kIpHeaderAt;
    PutBe16(ip + kIpChecksumAt, IpChecksum(ip));
    uint8_t* udp = frame + kUdpHeaderAt;
    PutBe16(udp, d.nPort);
    PutBe16(udp + 2, d.nPort);
    PutBe16(udp + 4, d.nSize + 22u);
    PutBe16(udp + 6, 0);
    LinkHeader h = {};
    h.nMajor = kLinkVersion[0];
    h.nMinor = kLinkVersion[1];
    h.nPatch = kLinkVersion[2];
    h.nType = static_cast<uint8_t>(type);
    h.nSize = d.nSize;
    h.nSeq = d.nSendSeq++;
    std::memcpy(frame + kAppHeaderAt, &h, sizeof h);
    std::memcpy(frame + kPayloadAt, d.pRecord, d.nSize);
    const uint16_t sum = UdpChecksum(ip);
    PutBe16(udp + 6, sum == 0 ? 0xFFFF : sum);   // 0 would mean "no checksum"
    return d.nSize + kLinkFrameExtra;
}

// ---- receiving -------------------------------------------------------------------

struct Packet {
    uint8_t* slot;
    const uint8_t* srcIp;
    const LinkHeader* hdr;
    uint8_t* payload;
    int32_t  type;
    bool     fromPartner;
};

Packet Open(uint8_t* slot) {
    uint8_t* frame = SlotFrame(slot);
    Packet p;
    p.slot = slot;
    p.srcIp = frame + kIpHeaderAt + kIpSrc;
    p.hdr = reinterpret_cast<const LinkHeader*>(frame + kAppHeaderAt);
    p.payload = frame + kPayloadAt;
    p.type = p.hdr->nType;
    p.fromPartner = p.srcIp[3] == G_PartnerIpByte;
    return p;
}

void Copy(const Packet& p, const UdpPktDesc& d) { std::memcpy(d.pRecord, p.payload, d.nSize); }

void TakeAirData(const Packet& p, UdpPktDesc& d) {
    if (!FromNetwork(kStreamAir) || !p.fromPartner || !NET_CheckUdpSeq(p.slot, &d) || !d.pRecord) return;
    const int32_t own = G_AirData.nBaroSetting;
    int32_t baro = static_cast<int32_t>(Get32(p.payload + kAirBaroAt));
    if (OwnChangeRecent(2)) {
        baro = own;
    } else if (baro != own) {
        StoreClockI16(23, static_cast<uint32_t>(baro));
    }
    Copy(p, d);
    G_AirData.nBaroSetting = baro;
    G_InstReading[kInstOat].nValue = static_cast<int32_t>(Get32(p.payload + kAirOatAt));
    G_InstReading[kInstOat].bValid = p.payload[kAirOatValidAt];
}

void TakeAhrs(const Packet& p, UdpPktDesc& d) {
    if (FromNetwork(kStreamAhrs) && p.fromPartner) {
        if (!NET_CheckUdpSeq(p.slot, &d)) return;
        std::memcpy(&G_Ahrs, p.payload, sizeof G_Ahrs);
        ApplyAttitudeAdjust(&G_Ahrs, NvClock());
        G_Ahrs.nFresh = kFreshCount;
        ApUpdateAhrs();
        return;
    }
    if (!NET_CheckUdpSeq(p.slot, &G_UdpPktDescOther)) return;
    std::memcpy(&G_RemoteAhrs, p.payload, sizeof G_RemoteAhrs);
    ApplyAttitudeAdjust(&G_RemoteAhrs, s_partnerAdjust);
    G_RemoteAhrs.nFresh = kFreshCount;
    G_RemoteAhrsSeen = 1;
}

void TakeAttitudeAdjust(const Packet& p, UdpPktDesc& d) {
    const uint32_t words[] = {kNvPitchAdj, kNvHeadingAdj, kNvRollAdj, kNvGMeterMax, kNvGMeterMin};
    if (FromNetwork(kStreamAhrs) && p.fromPartner && NET_CheckUdpSeq(p.slot, &d)) {
        for (uint32_t at : words) NvSetU32(at, Get32(p.payload + (at - kNvClockBlock)));
        G_RedrawReq = 1;
        return;
    }
    for (uint32_t at : words) {
        std::memcpy(s_partnerAdjust + (at - kNvClockBlock), p.payload + (at - kNvClockBlock), 4);
    }
}

void TakeNavSlot(const Packet& p, UdpPktDesc& d, int32_t stream) {
    if (!FromNetwork(stream) || !NET_CheckUdpSeq(p.slot, &d)) return;
    uint8_t* rec = d.pRecord;
    const uint8_t keepByte = rec[kNavKeepByte];
    const uint8_t selector = rec[kNavSelector];
    const uint32_t crsStamp = Get32(rec + kNavCrsStamp);
    const uint32_t courseAt = selector == 1 ? kNavGpsCourse : kNavRadioCourse;
    const uint16_t course = Get16(rec + courseAt);
    Copy(p, d);
    const uint32_t now = ReadOsTimer();
    for (uint32_t k = 0; k < 3; ++k) Put32(rec + kNavStamps + 4 * k, now);
    rec[kNavKeepByte] = keepByte;
    Put32(rec + kNavCrsStamp, crsStamp);
    if (selector == 1 || selector == 2) {
        Put16(rec + courseAt, course);
        rec[kNavSelector] = selector;
    } else {
        rec[kNavSelector] = 0;
    }
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

void TakeMapNav(const Packet& p, UdpPktDesc& d) {
    if (!NET_CheckUdpSeq(p.slot, &d)) return;
    Copy(p, d);
    const uint32_t now = ReadOsTimer();
    Put32(d.pRecord + kNavStamps, now);
    Put32(d.pRecord + kNavStamps + 4, now);
    G_GotoActive.bActive = d.pRecord[kNavGotoFlags] & 1;
    G_GotoActive.bStarted = 0;
}

// The RTC takes only a real date and time.
bool DateTimePlausible(const DateTime& t) {
    return t.nYear >= 2000 && t.nYear <= 2099 && t.nMonth >= 1 && t.nMonth <= 12 && t.nDay >= 1 && t.nDay <= 31 &&
           t.nHours < 24 && t.nMinutes < 60 && t.nSeconds < 60 && t.nDayOfWeek <= 7;
}

void TakeDateTime(const Packet& p) {
    DateTime t;
    std::memcpy(&t, p.payload, sizeof t);
    if (!DateTimePlausible(t)) {
        RamLogPrintf("NET: Bad Date %u/%u/%u %u:%u:%u @%s\n", t.nMonth, t.nDay, t.nYear, t.nHours, t.nMinutes,
                     t.nSeconds, FormatTime(4));
        return;
    }
    G_DateTime = t;
    SetRtcTime();
}

// ---- user events -------------------------------------------------------------------

void EventAlarmAck(uint32_t slot) {
    if (G_AlarmCur >= 0 && slot == static_cast<uint32_t>(G_AlarmCur)) {
        AlarmAck(2);
    } else if (slot < static_cast<uint32_t>(kAlarmSlots)) {
        AlarmSlot& a = G_AlarmTable[slot];
        a.nActive = a.nMode = a.nDelayStamp = a.nRaiseStamp = 0;
    }
}

void EventBaro(uint32_t baro) {
    if (SourceIsNetwork(kStreamAir)) return;
    G_AirData.nBaroSetting = static_cast<int32_t>(baro);
    G_AirData.nBaroAltOffset = BaroAltOffset(static_cast<int32_t>(baro));
    StoreClockI16(23, baro);
}

void EventFuel(uint32_t used, uint32_t remaining) {
    if (SourceIsNetwork(kStreamEngine)) return;
    NvSetF64(kNvGalsUsed, static_cast<double>(static_cast<int32_t>(used)));
    NvSetF64(kNvGalsRem, static_cast<double>(static_cast<int32_t>(remaining)));
    G_InstReading[kEngFirstInst].nValue = static_cast<int32_t>(NvGetF64(kNvGalsUsed));
    G_InstReading[kEngFirstInst].nValue2 = static_cast<int32_t>(NvGetF64(kNvGalsRem));
}

void EventAdjust(uint32_t nvAt, int32_t reg, uint32_t value) {
    if (!SourceIsNetwork(kStreamAir)) return;
    NvSetU32(nvAt, value);
    StoreClockI16(reg, value);
}

void EventCourse(uint32_t course, uint32_t slot, uint32_t kind) {
    if (slot > 3) return;
    NavSrcRec& rec = G_NavSrc.rec[slot];
    const int16_t crs = static_cast<int16_t>(course);
    if (kind == 2) {
        rec.nObs = crs;
        rec.nCrsStamp = ReadOsTimer();
        SendNavObs(static_cast<int32_t>(slot), crs);
    } else if (kind == 1) {
        rec.nCourse = crs;
        rec.nCrsStamp = ReadOsTimer();
    }
    rec.nCrsOverride = static_cast<uint8_t>(kind);
}

void EventBug(int16_t& bug, int32_t reg, int32_t value, bool stamp) {
    bug = static_cast<int16_t>(value);
    StoreClockI16(reg, static_cast<uint32_t>(value));
    if (stamp) G_NavSrc.hdr.nBugChangeTime = ReadOsTimer();
}

// The altitude bug from the other display: an autopilot holding the bug
// (vertical channel engaged in ALTBUG) flies to the new one at once, with the
// pitch reference re-taken as for any change of the bug.
void EventAltBug(int32_t value) {
    EventBug(G_NavSrc.hdr.nAltBug, 33, Clamp(value, kBugLow, kBugHigh), true);
    if (G_ApVertical.bEngaged && G_ApVertical.nMode == kApAltBug) ApTakeAltBug();
}

void EventGMeter(uint32_t minimum, uint32_t maximum) {
    NvSetU32(kNvGMeterMin, minimum);
    NvSetU32(kNvGMeterMax, maximum);
    WriteNVRam(1);
    WriteNVRam(1);
}

void EventLeanMode(uint32_t mode) {
    G_LeanMode = mode;
    if (mode != 0) ResetLeanPeaks();
    InitScreenConfig();
}

void EventSlots(uint32_t mapSlot, uint32_t efisSlot) {
    // Both are indices into the slot table.
    if (mapSlot >= static_cast<uint32_t>(kNavSlots) || efisSlot >= static_cast<uint32_t>(kNavSlots)) return;
    G_NavSrc.hdr.nMapSrcSlot = static_cast<uint8_t>(mapSlot);
    G_NavSrc.hdr.nMapCrsSlot = static_cast<uint8_t>(efisSlot);
}

void EventPhase(uint32_t phase) {
    const uint8_t bits = static_cast<uint8_t>((phase & 3) << kNavHdrPhaseShift);
    G_NavSrc.hdr.nFlags0 = static_cast<uint8_t>((G_NavSrc.hdr.nFlags0 & ~0x0C) | bits);
    StoreClockU8(12, static_cast<uint8_t>((G_ClockMem[12] & ~0x0C) | bits));
    G_NavSrc.hdr.nFlags1 |= kNavHdrChanged;
}

void EventDim(uint32_t level) {
    NvSetU32(kNvDimPercent, level);
    StoreClockU8(28, static_cast<uint8_t>(level));
}

void EventApGroup(uint32_t code, const uint32_t* a) {
    const uint32_t at = kNvApGains + 8 * (code - 26);
    NvSetU16(at, static_cast<uint16_t>(a[3]));
    NvSetU16(at + 2, static_cast<uint16_t>(a[0]));
    NvSetU16(at + 4, static_cast<uint16_t>(a[1]));
    NvSetU16(at + 6, static_cast<uint16_t>(a[2]));
}

void EventWxStatus(uint32_t status, uint32_t ip) {
    if (G_NetStreamCfg[kStreamWx].INST != kWxSlave) return;
    G_Wx.nProducts = status;
    std::memcpy(G_WxMasterIp, &ip, 4);
}

void EventReading(const Packet& p, const uint32_t* a) {
    if (!SourceIsNetwork(kStreamEngine) || !NET_CheckUdpSeq(p.slot, &G_UdpPktDesc[kUdpUserEvent])) return;
    if (a[0] >= static_cast<uint32_t>(kInstruments)) return;
    InstReading& r = G_InstReading[a[0]];
    r.nValue = static_cast<int32_t>(a[1]);
    r.nValue2 = static_cast<int32_t>(a[2]);
    r.bValid = static_cast<uint8_t>(a[3]);
}

void RunUserEvent(const Packet& p) {
    const uint32_t* a = G_RemoteUserDat.nArg;
    const auto i = [a](int k) { return static_cast<int32_t>(a[k]); };
    NavSrcHeader& h = G_NavSrc.hdr;
    switch (G_RemoteUserDat.nCode) {
    case 1: EventAlarmAck(a[0]); break;
    case 2: EventBaro(a[0]); break;
    case 4: EventFuel(a[0], a[1]); break;
    case 5: EventAdjust(kNvPitchAdj, 19, a[0]); break;
    case 6: EventAdjust(kNvHeadingAdj, 21, a[0]); break;
    case 7: EventCourse(a[0], a[1], a[2]); break;
    case 8: EventAdjust(kNvRollAdj, 29, a[0]); break;
    case 9: EventBug(h.nHdgBug, 31, i(0), false); break;
    case 10: EventAltBug(i(0)); break;
    case 11:
        G_UtcOffset = static_cast<int8_t>(a[0]);
        StoreClockU8(kRegUtcOffset, static_cast<uint8_t>(a[0]));
        break;
    case 12: EventBug(h.nSpeedBug, 38, Clamp(i(0), 0, kSpeedBugHigh), false); break;
    case 13:
        if (G_CurPage == kPageSplash) {
            G_KeyEvent = 3;
            MainKeyHandler();
        }
        break;
    case 14: EventGMeter(a[0], a[1]); break;
    case 15: EventLeanMode(a[0]); break;
    case 16: CancelGoto(); break;
    case 18: EventSlots(a[0], a[1]); break;
    case 19: EventPhase(a[0]); break;
    case 21: EventDim(a[0]); break;
    case 22: NvSetU16(kNvApGains - 2, static_cast<uint16_t>(a[0])); break;
    case 23: EventBug(h.nMinAltBug, 49, Clamp(i(0), kBugLow, kBugHigh), true); break;
    case 24:
        G_NVRam[kNvApMinSpd] = static_cast<uint8_t>(a[0]);
        G_NVRam[kNvApMaxSpd] = static_cast<uint8_t>(a[1]);
        break;
    case 26: case 27: case 28: case 29: case 30: EventApGroup(G_RemoteUserDat.nCode, a); break;
    case 32: EventWxStatus(a[0], a[1]); break;
    case 33: EventReading(p, a); break;
    default: break;   // 3, 17, 20, 25, 31: nothing on this side
    }
}

void TakeUserEvent(const Packet& p, const UdpPktDesc& d) {
    Copy(p, d);
    G_RedrawReq = 1;
    RunUserEvent(p);
    G_RemoteUserDat.nCode = 0;
    G_RemoteUserDat.nArg[0] = 0;
    G_RemoteUserDat.nArg[1] = 0;
}

bool Refuse(uint32_t& counter) {
    ++counter;
    return false;
}

}  // namespace

void NET_InitPacketTable() {
    G_LinkRec22Done = 0;
    std::memset(G_UdpPktDesc, 0, sizeof G_UdpPktDesc);
    std::memset(&G_UdpPktDescOther, 0, sizeof G_UdpPktDescOther);
    Fill(kUdpAirData, kAirDataBytes, kStreamAir, kAirDataOnWire ? &G_AirData : nullptr);
    Fill(kUdpAhrs, sizeof(AhrsRecord), kStreamAhrs, &G_Ahrs);
    Fill(kUdpEngine, sizeof s_engPacket, kStreamEngine, s_engPacket);
    Fill(kUdpEngTimers, kEngTimersBytes, kStreamEngine, G_NVRam + kNvEngTimers);
    Fill(kUdpAirSetup, kNvClockBytes, kStreamAir, G_NVRam + kNvAirSetup);
    Fill(kUdpAttAdjust, kNvClockBytes, kStreamAhrs, s_attSend);
    Fill(kUdpAoa, kAoaBytes, kStreamAoa, &G_Aoa);
    Fill(kUdpUserEvent, sizeof(RemoteUserDat), kStreamSystem, &G_RemoteUserDat);
    Fill(kUdpDateTime, sizeof(DateTime), kStreamSystem, &G_DateTime);
    for (int32_t k = 0; k < 4; ++k) {
        // A slot's payload starts at its second byte and so ends on the next slot's first.
        Fill(kUdpNav1 + k, kNavPayload, kStreamNav1 + k, reinterpret_cast<uint8_t*>(&G_NavSrc.rec[k]) + 1);
    }
    Fill(kUdpTraffic, sizeof(TrafficList), kStreamTraffic, &G_Traffic);
    Fill(kUdpDiscrete, sizeof(DiscreteInputs), kStreamSystem, &G_DiscreteIn);
    s_versionLogs = 0;
}

int32_t NET_SendUdpType(int32_t type) {
    if (!CS_LinkUp()) return 0;
    if (type < 0 || type >= kUdpTypes) return -1;
    UdpPktDesc& d = G_UdpPktDesc[type];
    if (type == kUdpAttAdjust) PrepareAttitudeSend(d);
    if (type == kUdpUserEvent) {
        G_LastEventSent = G_RemoteUserDat.nCode;
        G_LastEventTime = ReadOsTimer();
    }
    if (type == kUdpEngine) PackEngine();
    if (d.pRecord == nullptr || d.nSize == 0) return -1;
    uint8_t* slot = NET_AllocTxBuffer();
    const uint32_t length = BuildLinkFrame(slot, type, d);
    SlotDesc(slot)->nLength = length;
    NET_GetNextTxPacket();
    // The discrete inputs go out once per start, when the link first takes them.
    if (type == kUdpDiscrete) G_LinkRec22Done = 1;
    return static_cast<int32_t>(length);
}

int32_t NET_CheckUdp(uint8_t* slot) {
    ++G_LinkStats.nIn;
    uint8_t* ip = SlotFrame(slot) + kIpHeaderAt;
    const uint8_t* udp = SlotFrame(slot) + kUdpHeaderAt;
    const uint32_t total = Be16(ip + kIpTotalLen);
    const uint16_t stored = Be16(udp + 6);
    const uint16_t computed = UdpChecksum(ip);
    if (stored == 0 || (stored != computed && !(stored == 0xFFFF && computed == 0))) {
        RamLogPrintf("Net: Bad RX UDP CRC:0x%08x, len:%d, IpType:%d @%s\n", stored, static_cast<int>(total),
                     Be16(ip + kIpIdent), FormatTime(4));
        return Refuse(G_LinkStats.nBadChecksum);
    }
    const uint16_t port = Be16(udp + 2);
    if (port < kLinkPortFirst || port > kLinkPortLast) {
        RamLogPrintf("Net: Port Out-of-Range:%d @%s\n", port, FormatTime(4));
        return Refuse(G_LinkStats.nBadPort);
    }
    LinkHeader h = {};
    if (total >= kLinkIpExtra) std::memcpy(&h, SlotFrame(slot) + kAppHeaderAt, sizeof h);
    const uint32_t received = total >= kLinkIpExtra ? total - kLinkIpExtra : 0;
    if (total < kLinkIpExtra || h.nSize != received) {
        RamLogPrintf("Net: Bad RX Len:(Ex:%d,Rx:%d), IpType:%d @%s\n", h.nSize, static_cast<int>(received),
                     Be16(ip + kIpIdent), FormatTime(4));
        return Refuse(G_LinkStats.nBadLength);
    }
    if (h.nType >= kUdpTypes) {
        RamLogPrintf("Net: Unknown UdpType:%d, IpId:%d @%s\n", h.nType, Be16(ip + kIpIdent), FormatTime(4));
        return Refuse(G_LinkStats.nBadType);
    }
    if (h.nSize != G_UdpPktDesc[h.nType].nSize) {
        RamLogPrintf("Net: PktId:%d Size Mismatch Calc:%d != Expected:%d @%s\n", h.nType, h.nSize,
                     G_UdpPktDesc[h.nType].nSize, FormatTime(4));
        return Refuse(G_LinkStats.nBadSize);
    }
    if (h.nMajor != kLinkVersion[0] || h.nMinor != kLinkVersion[1]) {
        if (s_versionLogs < kVersionLogs) {
            ++s_versionLogs;
            RamLogPrintf("NET: Invalid Version:%d.%d.%d on Remote Unit\n", h.nMajor, h.nMinor, h.nPatch);
        }
        return Refuse(G_LinkStats.nBadVersion);
    }
    return 1;
}

int32_t NET_CheckUdpSeq(uint8_t* slot, UdpPktDesc* desc) {
    const Packet p = Open(slot);
    const uint32_t seq = p.hdr->nSeq;
    const bool sameSender = std::memcmp(p.srcIp, desc->abLastIp, 4) == 0;
    const bool inSequence = sameSender && static_cast<int32_t>(seq - desc->nRecvSeq) > 0;
    if (!inSequence) {
        const uint8_t* e = desc->abLastIp;
        RamLogPrintf("NET: UDP(%d) Exp:(Ip:%d.%d.%d,%d,Id:%d+), Rcv:(Ip:%d.%d.%d,%d,Id:%d)\n", p.type, e[0], e[1],
                     e[2], e[3], static_cast<int>(desc->nRecvSeq), p.srcIp[0], p.srcIp[1], p.srcIp[2], p.srcIp[3],
                     static_cast<int>(seq));
        ++G_LinkStats.nOutOfSeq;
    }
    std::memcpy(desc->abLastIp, p.srcIp, 4);
    desc->nRecvSeq = seq;
    return inSequence ? 1 : 0;
}

void NET_ProcessUdp(uint8_t* slot) {
    const Packet p = Open(slot);
    if (p.type < 1 || p.type >= kUdpTypes) return;
    UdpPktDesc& d = G_UdpPktDesc[p.type];
    if (d.nSize == 0 || d.pRecord == nullptr) return;
    const int32_t stream = d.nPort - kLinkPortFirst;
    switch (p.type) {
    case kUdpAirData: TakeAirData(p, d); break;
    case kUdpAhrs: TakeAhrs(p, d); break;
    case kUdpEngine:
        if (!FromNetwork(kStreamEngine) || !NET_CheckUdpSeq(slot, &d)) break;
        Copy(p, d);
        UnpackEngine(OwnChangeRecent(4) ? 1 : 0);
        G_EngFresh = kFreshCount;
        break;
    case kUdpEngTimers:
        if (FromNetwork(kStreamEngine) && NET_CheckUdpSeq(slot, &d)) Copy(p, d);
        break;
    case kUdpAirSetup:
    case kUdpAoa:
        if (FromNetwork(stream) && p.fromPartner && NET_CheckUdpSeq(slot, &d)) Copy(p, d);
        break;
    case kUdpAttAdjust: TakeAttitudeAdjust(p, d); break;
    case kUdpUserEvent: TakeUserEvent(p, d); break;
    case kUdpDateTime: TakeDateTime(p); break;
    case kUdpNav1:
    case kUdpNav1 + 1:
    case kUdpNav1 + 2: TakeNavSlot(p, d, stream); break;
    case kUdpMapNav: TakeMapNav(p, d); break;
    case kUdpTraffic:
        if (!FromNetwork(kStreamTraffic) || !NET_CheckUdpSeq(slot, &d)) break;
        Copy(p, d);
        G_Traffic.nStamp = ReadOsTimer();
        break;
    default: break;   // 22: a receive mode the settings never select
    }
}
