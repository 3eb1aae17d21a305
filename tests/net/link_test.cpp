// The display link on the in-process wire, in board time: packets built here
// from the published frame layout, with their own checksum.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/alarm.h"
#include "core/boot.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/pages.h"
#include "support/board_fixture.h"
#include "inet_sum.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kPeerMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0xB0};

// RFC 768 with the pseudo-header, over a frame whose checksum field is zero.
uint16_t UdpSum(const Bytes& f) {
    const size_t udpLen = static_cast<size_t>(f[38] << 8 | f[39]);
    uint32_t sum = Sum16(f.data() + 26, 8) + 17 + static_cast<uint32_t>(udpLen);
    return Fold(Sum16(f.data() + 34, udpLen, sum));
}

struct Pkt {
    uint8_t type;
    Bytes payload;
    uint32_t seq = 1;
    uint8_t from = 176;
    uint8_t major = 6, minor = 3, patch = 1;
    uint16_t port = 0;          // 0: the type's own
    int sizeDelta = 0;          // size field minus the payload's size
};

uint16_t PortOf(uint8_t type) {
    switch (type) {
    case 1: case 6: return 50000;
    case 2: case 7: return 50001;
    case 8: return 50002;
    case 3: case 4: return 50003;
    case 14: case 15: case 16: case 17: return static_cast<uint16_t>(50004 + type - 14);
    case 19: return 50008;
    default: return 50009;
    }
}

// Ethernet broadcast, IPv4 to 192.168.0.255, UDP, link header, payload.
Bytes Frame(const Pkt& p, bool fixChecksum = true) {
    const size_t n = p.payload.size();
    Bytes f(56 + n, 0);
    std::memset(f.data(), 0xFF, 6);
    std::memcpy(f.data() + 6, kPeerMac, 6);
    f[12] = 0x08;
    uint8_t* ip = f.data() + 14;
    ip[0] = 0x45;
    ip[2] = static_cast<uint8_t>((n + 42) >> 8);
    ip[3] = static_cast<uint8_t>(n + 42);
    ip[5] = 7;
    ip[8] = 64;
    ip[9] = 17;
    const uint8_t src[4] = {192, 168, 0, p.from}, dst[4] = {192, 168, 0, 255};
    std::memcpy(ip + 12, src, 4);
    std::memcpy(ip + 16, dst, 4);
    const uint16_t sum = Fold(Sum16(ip, 20));
    ip[10] = static_cast<uint8_t>(sum >> 8);
    ip[11] = static_cast<uint8_t>(sum);
    const uint16_t port = p.port ? p.port : PortOf(p.type);
    uint8_t* udp = ip + 20;
    udp[0] = udp[2] = static_cast<uint8_t>(port >> 8);
    udp[1] = udp[3] = static_cast<uint8_t>(port);
    udp[4] = static_cast<uint8_t>((n + 22) >> 8);
    udp[5] = static_cast<uint8_t>(n + 22);
    uint8_t* app = udp + 8;
    app[0] = p.major;
    app[1] = p.minor;
    app[2] = p.patch;
    app[3] = p.type;
    const uint16_t size = static_cast<uint16_t>(static_cast<int>(n) + p.sizeDelta);
    std::memcpy(app + 4, &size, 2);
    std::memcpy(app + 6, &p.seq, 4);
    std::memcpy(f.data() + 56, p.payload.data(), n);
    if (fixChecksum) {
        const uint16_t c = UdpSum(f);
        udp[6] = static_cast<uint8_t>(c >> 8);
        udp[7] = static_cast<uint8_t>(c);
    }
    return f;
}

Bytes Words(std::initializer_list<uint32_t> words, size_t bytes) {
    Bytes b(bytes, 0);
    size_t at = 0;
    for (uint32_t w : words) {
        std::memcpy(b.data() + at, &w, 4);
        at += 4;
    }
    return b;
}

Bytes Event(std::initializer_list<uint32_t> words) { return Words(words, 64); }

class LinkTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        board().cs8900().AttachWire(true);
        SysLogOpen();
        InitRamLog(0);
        G_NetIpLocal = 175;
        NET_Init();
    }
    void Deliver(const Bytes& f) {
        uint8_t slot[kNetSlotBytes] = {};
        std::memcpy(SlotFrame(slot), f.data(), f.size());
        SlotDesc(slot)->nLength = static_cast<uint32_t>(f.size());
        NET_ProcessRx(slot);
    }
    // Twice: a receiver drops the first packet of a new sender.
    void DeliverTwice(Pkt p) {
        Deliver(Frame(p));
        ++p.seq;
        Deliver(Frame(p));
    }
    void TakeFromNetwork(int stream) {
        G_NetStreamCfg[stream].NET = 2;
        G_NetStreamCfg[stream].DSRC = 2;
    }
    static std::string RamLog() {
        std::string all;
        for (uint32_t i = 0; i < G_RamLog.nCount && i < kRamLogLines; ++i) all += G_RamLog.szLine[i];
        return all;
    }
    static int Count(const std::string& text) {
        const std::string all = RamLog();
        int n = 0;
        for (size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1)) ++n;
        return n;
    }
    Bytes Sent() {
        NET_TxFlush();
        uint8_t buf[2000];
        const int n = board().cs8900().TakeSent(buf, sizeof buf);
        return Bytes(buf, buf + n);
    }
};

TEST_F(LinkTest, ReceivedPacketsAreCheckedInOrder) {
    // A user event whose checksum sums to 0 (sent as 0xFFFF): arg2 evens it out.
    Pkt zero{9, Event({12, 100, 0})};
    {
        Bytes f = Frame(zero, false);
        const uint16_t c = UdpSum(f);   // with the free word 0
        const uint32_t w = static_cast<uint16_t>(~c) == 0xFFFF ? 0 : 0xFFFFu - static_cast<uint16_t>(~c);
        zero.payload[8] = static_cast<uint8_t>(w >> 8);   // big-endian word at payload offset 8
        zero.payload[9] = static_cast<uint8_t>(w);
        ASSERT_EQ(UdpSum(Frame(zero, false)), 0);
    }
    auto withChecksum = [](Bytes f, uint16_t c) {
        f[40] = static_cast<uint8_t>(c >> 8);
        f[41] = static_cast<uint8_t>(c);
        return f;
    };
    Pkt v637{9, Event({12, 50})};
    v637.patch = 7;
    Pkt v640{9, Event({12, 50})};
    v640.minor = 4;
    v640.patch = 0;
    Pkt port11{9, Event({12, 50})};
    port11.port = 50011;
    Pkt badLen{9, Event({12, 50})};
    badLen.sizeDelta = 4;
    struct Case {
        const char* name;
        Bytes frame;
        uint32_t LinkStats::*counter;   // null: taken
        const char* line;
    };
    const Bytes good = Frame(Pkt{9, Event({12, 50})});
    const Case cases[] = {
        {"good", good, nullptr, nullptr},
        {"checksum off by one", withChecksum(good, static_cast<uint16_t>((good[40] << 8 | good[41]) + 1)),
         &LinkStats::nBadChecksum, "Net: Bad RX UDP CRC:0x0000"},
        {"checksum field 0", withChecksum(good, 0), &LinkStats::nBadChecksum, "Net: Bad RX UDP CRC:0x00000000, len:106"},
        {"computed 0 sent as 0xFFFF", withChecksum(Frame(zero, false), 0xFFFF), nullptr, nullptr},
        {"computed 0 sent as 0", withChecksum(Frame(zero, false), 0), &LinkStats::nBadChecksum, nullptr},
        {"port 50011", Frame(port11), &LinkStats::nBadPort, "Net: Port Out-of-Range:50011 @"},
        {"size field beyond the datagram", Frame(badLen), &LinkStats::nBadLength, "Net: Bad RX Len:(Ex:68,Rx:64)"},
        {"unknown type 23", Frame(Pkt{23, Bytes(8)}), &LinkStats::nBadType, "Net: Unknown UdpType:23, IpId:7 @"},
        {"user event of 60 bytes", Frame(Pkt{9, Bytes(60)}), &LinkStats::nBadSize,
         "Net: PktId:9 Size Mismatch Calc:60 != Expected:64 @"},
        {"version 6.3.7", Frame(v637), nullptr, nullptr},
        {"version 6.4.0", Frame(v640), &LinkStats::nBadVersion, "NET: Invalid Version:6.4.0 on Remote Unit"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const LinkStats before = G_LinkStats;
        G_NavSrc.hdr.nSpeedBug = 0;
        Deliver(c.frame);
        EXPECT_EQ(+G_LinkStats.nIn, before.nIn + 1);
        if (c.counter) {
            EXPECT_EQ(G_LinkStats.*c.counter, before.*c.counter + 1);
            EXPECT_EQ(+G_NavSrc.hdr.nSpeedBug, 0) << "a refused packet changes nothing";
        } else {
            EXPECT_NE(+G_NavSrc.hdr.nSpeedBug, 0) << "taken";
        }
        if (c.line) {
            EXPECT_NE(RamLog().find(c.line), std::string::npos) << RamLog();
        }
    }
    // Ten wrong versions are logged, the eleventh and later are refused silently.
    for (int i = 0; i < 12; ++i) Deliver(Frame(v640));
    EXPECT_EQ(Count("NET: Invalid Version"), 10);
    EXPECT_EQ(+G_LinkStats.nBadVersion, 13u);
}

TEST_F(LinkTest, SequencesPerSenderAndTheThirdDisplaysAhrs) {
    TakeFromNetwork(kStreamAhrs);
    Bytes ahrs(66, 0);
    const int32_t heading = 1234;
    std::memcpy(ahrs.data() + 12, &heading, 4);
    Pkt p{2, ahrs};
    p.seq = 40;
    Deliver(Frame(p));
    EXPECT_EQ(+G_Ahrs.nHeading, 0) << "the first packet of a new sender is dropped";
    EXPECT_NE(RamLog().find("NET: UDP(2) Exp:(Ip:0.0.0,0,Id:0+), Rcv:(Ip:192.168.0,176,Id:40)"), std::string::npos)
        << RamLog();
    p.seq = 41;
    Deliver(Frame(p));
    EXPECT_EQ(+G_Ahrs.nHeading, 1234);
    EXPECT_EQ(+G_Ahrs.nFresh, 40);
    // The sender restarts: its sequence begins again at 0.
    G_Ahrs.nHeading = 0;
    p.seq = 0;
    Deliver(Frame(p));
    EXPECT_EQ(+G_Ahrs.nHeading, 0);
    p.seq = 1;
    Deliver(Frame(p));
    EXPECT_EQ(+G_Ahrs.nHeading, 1234);

    // A third display's AHRS never replaces the own.
    G_Ahrs.nHeading = 0;
    Pkt third{2, ahrs};
    third.from = 177;
    DeliverTwice(third);
    EXPECT_EQ(+G_Ahrs.nHeading, 0);
    EXPECT_EQ(+G_RemoteAhrs.nHeading, 1234);
    EXPECT_EQ(+G_RemoteAhrs.nFresh, 40);
    EXPECT_EQ(G_RemoteAhrsSeen, 1u);
}

TEST_F(LinkTest, RecordsAreTakenOnlyFromTheirStream) {
    // Engine channels 9..40, with the own fuel-computer change guarded for 0.1 s.
    Bytes eng(288, 0);
    for (int k = 0; k < 32; ++k) {
        const int32_t v = 1000 + k, v2 = 2000 + k;
        std::memcpy(eng.data() + 9 * k, &v, 4);
        std::memcpy(eng.data() + 9 * k + 4, &v2, 4);
        eng[9 * k + 8] = 1;
    }
    DeliverTwice(Pkt{3, eng});
    EXPECT_EQ(+G_InstReading[10].nValue, 0) << "engine data not from the network";
    TakeFromNetwork(kStreamEngine);
    Pkt p{3, eng};
    p.seq = 10;
    DeliverTwice(p);
    EXPECT_EQ(+G_InstReading[9].nValue, 1000);
    EXPECT_EQ(+G_InstReading[40].nValue2, 2031);
    EXPECT_EQ(+G_InstReading[40].bValid, 1);
    EXPECT_EQ(G_EngFresh, 40);

    G_InstReading[9].nValue = 5;
    G_RemoteUserDat = {};
    G_RemoteUserDat.nCode = 4;
    NET_SendUdpType(kUdpUserEvent);   // this display changed the fuel computer
    eng[0] = 0x77;
    p.payload = eng;
    p.seq = 20;
    Deliver(Frame(p));
    EXPECT_EQ(+G_InstReading[9].nValue, 5) << "within 0.1 s of the own event 4";
    EXPECT_EQ(+G_InstReading[10].nValue, 1001);
    DelayTicks(368640);
    p.seq = 21;
    Deliver(Frame(p));
    EXPECT_EQ(+G_InstReading[9].nValue, 0x377);

    // Settings block, AOA: partner only.
    TakeFromNetwork(kStreamAoa);
    Pkt aoa{8, Words({17}, 16)};
    aoa.from = 177;
    DeliverTwice(aoa);
    EXPECT_EQ(+G_Aoa.nAoa, 0);
    aoa.from = 176;
    DeliverTwice(aoa);
    EXPECT_EQ(+G_Aoa.nAoa, 17);

    // Type 7 from the partner sets the own adjustments; from another unit it
    // is kept for the remote AHRS.
    TakeFromNetwork(kStreamAhrs);
    Bytes adj(132, 0);
    const int32_t pitch = 12, roll = -3, gmax = 250;
    std::memcpy(adj.data(), &pitch, 4);
    std::memcpy(adj.data() + 36, &roll, 4);
    std::memcpy(adj.data() + 44, &gmax, 4);
    Pkt other7{7, adj};
    other7.from = 178;
    Deliver(Frame(other7));   // no sequence test
    EXPECT_EQ(NvGetU32(kNvPitchAdj), 0u);
    DeliverTwice(Pkt{7, adj});
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvPitchAdj)), 12);
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvRollAdj)), -3);
    EXPECT_EQ(NvGetU32(kNvGMeterMax), 250u);
}

TEST_F(LinkTest, AirDataTakesTheOwnBaroWithinOneTenth) {
    TakeFromNetwork(kStreamAir);
    G_AirData.nBaroSetting = 29920;
    Bytes air(65, 0);
    const uint32_t baro = 30050, oat = 456;
    std::memcpy(air.data() + 52, &baro, 4);
    std::memcpy(air.data() + 56, &oat, 4);
    air[60] = 1;
    G_RemoteUserDat = {};
    G_RemoteUserDat.nCode = 2;
    NET_SendUdpType(kUdpUserEvent);
    DeliverTwice(Pkt{1, air});
    EXPECT_EQ(+G_AirData.nBaroSetting, 29920) << "the own change 0.1 s ago wins";
    EXPECT_EQ(+G_InstReading[kInstOat].nValue, 456);
    DelayTicks(368640);
    Pkt later{1, air};
    later.seq = 3;
    Deliver(Frame(later));
    EXPECT_EQ(+G_AirData.nBaroSetting, 30050);
    EXPECT_EQ(G_ClockMem[23] | G_ClockMem[24] << 8, 30050);
}

TEST_F(LinkTest, UserEvents) {
    G_AlarmCur = -1;
    G_AlarmTable[5].nActive = 1;
    G_AlarmTable[5].nMode = 1;
    G_InstReading[47].nValue = 9;
    struct Case {
        const char* name;
        Bytes event;
        int32_t (*read)();
        int32_t expect;
    };
    const Case cases[] = {
        {"altitude bug 30000", Event({10, 30000}), [] { return int32_t{G_NavSrc.hdr.nAltBug}; }, 25000},
        {"altitude bug -2000", Event({10, static_cast<uint32_t>(-2000)}), [] { return int32_t{G_NavSrc.hdr.nAltBug}; }, -1000},
        {"altitude bug in the clock", Event({10, 12345}), [] { return int32_t{static_cast<int16_t>(G_ClockMem[33] | G_ClockMem[34] << 8)}; }, 12345},
        {"speed bug -5", Event({12, static_cast<uint32_t>(-5)}), [] { return int32_t{G_NavSrc.hdr.nSpeedBug}; }, 0},
        {"speed bug 600", Event({12, 600}), [] { return int32_t{G_NavSrc.hdr.nSpeedBug}; }, 500},
        {"heading bug", Event({9, 270}), [] { return int32_t{G_NavSrc.hdr.nHdgBug}; }, 270},
        {"second altitude", Event({23, 40000}), [] { return int32_t{G_NavSrc.hdr.nMinAltBug}; }, 25000},
        {"dim level", Event({21, 40}), [] { return static_cast<int32_t>(NvGetU32(kNvDimPercent)); }, 40},
        {"dim in the clock", Event({21, 40}), [] { return int32_t{G_ClockMem[28]}; }, 40},
        {"alarm slot 5 cleared", Event({1, 5}), [] { return static_cast<int32_t>(G_AlarmTable[5].nActive + G_AlarmTable[5].nMode); }, 0},
        {"alarm slot 52 ignored", Event({1, 52}), [] { return static_cast<int32_t>(G_AlarmTable[51].nActive); }, 0},
        {"instrument 1000 ignored", Event({33, 1000, 1, 2, 1}), [] { return G_InstReading[47].nValue; }, 9},
        {"map slot 9 ignored", Event({18, 9, 1}), [] { return int32_t{G_NavSrc.hdr.nMapCrsSlot}; }, 0},
        {"map slot 3, EFIS box 2", Event({18, 3, 2}), [] { return G_NavSrc.hdr.nMapSrcSlot * 10 + G_NavSrc.hdr.nMapCrsSlot; }, 32},
        {"GPS course of slot 1", Event({7, 123, 1, 1}), [] { return int32_t{G_NavSrc.rec[1].nCourse} * 10 + G_NavSrc.rec[1].nCrsOverride; }, 1231},
        {"course of slot 4 ignored", Event({7, 77, 4, 1}), [] { return int32_t{G_NavSrc.rec[4].nCourse}; }, 0},
        {"autopilot group 27", Event({27, 1, 2, 3, 4}), [] { return NvGetU16(kNvApGains + 8) * 1000 + NvGetU16(kNvApGains + 10) * 100 + NvGetU16(kNvApGains + 12) * 10 + NvGetU16(kNvApGains + 14); }, 4123},
    };
    uint32_t seq = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pkt p{9, c.event};
        p.seq = seq++;
        Deliver(Frame(p));
        EXPECT_EQ(c.read(), c.expect);
        EXPECT_EQ(+G_RemoteUserDat.nCode, 0u) << "the event is cleared";
    }

    // Event 33: only with engine data from the network, in sequence, in range.
    TakeFromNetwork(kStreamEngine);
    DeliverTwice(Pkt{9, Event({33, 47, 77, 78, 1})});
    EXPECT_EQ(+G_InstReading[47].nValue, 77);

    // Baro: from the other display unless air data comes from the network.
    DeliverTwice(Pkt{9, Event({2, 30100})});
    EXPECT_EQ(+G_AirData.nBaroSetting, 30100);
    TakeFromNetwork(kStreamAir);
    DeliverTwice(Pkt{9, Event({2, 29000})});
    EXPECT_EQ(+G_AirData.nBaroSetting, 30100);

    // Fuel computer values are stored as the target keeps doubles.
    G_NetStreamCfg[kStreamEngine].NET = 1;
    Deliver(Frame(Pkt{9, Event({4, 250, 380})}));
    EXPECT_EQ(NvGetU32(kNvGalsUsed), 0x406F4000u) << "most significant word first";
    EXPECT_EQ(NvGetU32(kNvGalsUsed + 4), 0u);
    EXPECT_EQ(+G_InstReading[9].nValue2, 380);
}

TEST_F(LinkTest, StartupNoticeAcceptedOnTheOtherDisplay) {
    RunApp([this] {
        GUI_Init();
        G_CurPage = 7;
        G_LastPage = 3;
        Deliver(Frame(Pkt{9, Event({13})}));
        EXPECT_EQ(G_CurPage, 7) << "only on the notice";
        G_CurPage = kPageSplash;
        Deliver(Frame(Pkt{9, Event({13})}));
        EXPECT_EQ(G_CurPage, 3);
    });
}

// The altitude bug from the other display is the autopilot's new target at
// once while it holds the bug (ALTBUG engaged), and only then.
TEST_F(LinkTest, AltitudeBugEventRetargetsTheAutopilotHoldingTheBug) {
    struct Case { const char* name; uint8_t mode, engaged; int32_t bug, error, pitchRef; };
    const Case cases[] = {
        {"ALTBUG engaged", kApAltBug, 1, 8000, 3000, 250},   // 8000 - 5000 ft, pitch re-taken
        {"ALTBUG not engaged", kApAltBug, 0, 6000, 1000, -40},
        {"VNAV", 5, 1, 6000, 1000, -40},
    };
    uint32_t seq = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ApVertical& v = G_ApVertical;
        v.nMode = c.mode;
        v.bEngaged = c.engaged;
        v.nAltitude = 5000;
        v.nAltBug = 6000;
        v.nAltError = 1000;
        v.nPitch = 250;
        v.nPitchRef = -40;
        Pkt p{9, Event({10, 8000})};
        p.seq = seq++;
        Deliver(Frame(p));
        EXPECT_EQ(+G_NavSrc.hdr.nAltBug, 8000);
        EXPECT_EQ(v.nAltBug, c.bug);
        EXPECT_EQ(v.nAltError, c.error);
        EXPECT_EQ(v.nPitchRef, c.pitchRef);
    }
}

TEST_F(LinkTest, DateAndTimeOnlyWhenPossible) {
    const DateTime before = G_DateTime;
    Deliver(Frame(Pkt{10, Words({2024, 13, 2, 5, 10, 20, 30}, 28)}));
    EXPECT_EQ(+G_DateTime.nMonth, before.nMonth);
    EXPECT_NE(RamLog().find("NET: Bad Date 13/5/2024"), std::string::npos) << RamLog();
    Deliver(Frame(Pkt{10, Words({2024, 7, 2, 5, 10, 20, 30}, 28)}));
    EXPECT_EQ(+G_DateTime.nMonth, 7u);
    EXPECT_EQ(+G_DateTime.nMinutes, 20u);
    EXPECT_EQ(GetRtcTime(), 0);
    EXPECT_EQ(+G_DateTime.nMonth, 7u) << "the clock chip holds it";
    EXPECT_EQ(+G_DateTime.nDay, 5u);
}

TEST_F(LinkTest, SentPacketsFollowTheFrameLayout) {
    NvSetU32(kNvPitchAdj, 5);
    NvSetU32(kNvRollAdj, 7);
    NvSetU32(kNvGMeterMax, 300);
    ASSERT_EQ(NET_SendUdpType(kUdpAttAdjust), 132 + 56);
    Bytes f = Sent();
    ASSERT_EQ(f.size(), 188u);
    const uint8_t head[] = {6, 3, 1, 7, 132, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Bytes(f.begin() + 42, f.begin() + 56), Bytes(head, head + 14));
    EXPECT_EQ(Bytes(f.begin() + 30, f.begin() + 34), (Bytes{192, 168, 0, 255}));
    EXPECT_EQ(f[34] << 8 | f[35], 50001);
    EXPECT_EQ(f[38] << 8 | f[39], 132 + 22);
    uint32_t pitch, roll, gmax;
    std::memcpy(&pitch, f.data() + 56, 4);
    std::memcpy(&roll, f.data() + 56 + 36, 4);
    std::memcpy(&gmax, f.data() + 56 + 44, 4);
    EXPECT_EQ(pitch + roll, 0u) << "own adjustments are not sent";
    EXPECT_EQ(gmax, 300u);
    const uint16_t stored = static_cast<uint16_t>(f[40] << 8 | f[41]);
    f[40] = f[41] = 0;
    EXPECT_EQ(stored, UdpSum(f));

    ASSERT_EQ(NET_SendUdpType(kUdpAttAdjust), 188);
    EXPECT_EQ(Sent()[48], 1) << "the sequence counts per type";
    EXPECT_EQ(NET_SendUdpType(5), -1) << "no descriptor";
    board().cs8900().AttachWire(false);
    EXPECT_EQ(NET_SendUdpType(kUdpAhrs), 0) << "link down";
}

// The discrete-input record goes out once per start (the main loop sends it
// while the flag is clear), and only once the link can carry it.
TEST_F(LinkTest, DiscreteInputsGoOutOncePerStart) {
    board().cs8900().AttachWire(false);
    EXPECT_EQ(NET_SendUdpType(kUdpDiscrete), 0);
    EXPECT_EQ(G_LinkRec22Done, 0u) << "not sent while the link is down";
    board().cs8900().AttachWire(true);
    ASSERT_EQ(NET_SendUdpType(kUdpDiscrete), 132 + 56);
    EXPECT_EQ(Sent()[45], 22);
    EXPECT_EQ(G_LinkRec22Done, 1u);
    NET_Init();
    EXPECT_EQ(G_LinkRec22Done, 0u) << "a restart sends it again";
}

}  // namespace
