// The Ethernet driver, the frame rings, IPv4 and ARP against the emulated
// controller on an in-process wire, in board time.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "net/checksum.h"
#include "net/net.h"
#include "platform/monitor.h"
#include "support/board_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kOwnMac[6] = {0x00, 0x50, 0xC2, 0x51, 0x00, 0x01};   // the board's factory ETHERADD
const uint8_t kPeerMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x70};
const uint8_t kBcastMac[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

void Be16(Bytes& f, size_t at, uint32_t v) {
    f[at] = static_cast<uint8_t>(v >> 8);
    f[at + 1] = static_cast<uint8_t>(v);
}

Bytes Ether(const uint8_t* dst, const uint8_t* src, uint16_t type, size_t length) {
    Bytes f(length, 0);
    std::memcpy(f.data(), dst, 6);
    std::memcpy(f.data() + 6, src, 6);
    Be16(f, 12, type);
    for (size_t i = 14; i < length; ++i) f[i] = static_cast<uint8_t>(i * 7);
    return f;
}

// A UDP datagram in an IPv4 frame with a correct header checksum, checked
// by the one's-complement sum written out here.
Bytes Udp(const uint8_t* dstIp, size_t payload, const uint8_t* srcMac = kPeerMac) {
    Bytes f = Ether(kBcastMac, srcMac, 0x0800, 14 + 20 + 8 + payload);
    uint8_t* ip = f.data() + 14;
    std::memset(ip, 0, 28);
    ip[0] = 0x45;
    ip[2] = static_cast<uint8_t>((20 + 8 + payload) >> 8);
    ip[3] = static_cast<uint8_t>(20 + 8 + payload);
    ip[8] = 64;
    ip[9] = 17;
    const uint8_t src[4] = {192, 168, 0, 176};
    std::memcpy(ip + 12, src, 4);
    std::memcpy(ip + 16, dstIp, 4);
    ip[20] = 0xC3; ip[21] = 0x50;   // port 50000
    ip[22] = 0xC3; ip[23] = 0x50;
    ip[24] = static_cast<uint8_t>((8 + payload) >> 8);
    ip[25] = static_cast<uint8_t>(8 + payload);
    uint32_t sum = 0;
    for (int i = 0; i < 20; i += 2) sum += static_cast<uint32_t>(ip[i] << 8 | ip[i + 1]);
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    ip[10] = static_cast<uint8_t>(~sum >> 8);
    ip[11] = static_cast<uint8_t>(~sum);
    return f;
}

class NetTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        board().cs8900().AttachWire(true);
        SysLogOpen();
    }
    // Starts the stack as the configuration start-up does.
    void Start(uint32_t local = 175) {
        G_NetIpLocal = local;
        NET_Init();
    }
    bool Arrive(const Bytes& f) { return board().cs8900().Arrive(f.data(), static_cast<int>(f.size())); }
    Bytes Sent() {
        uint8_t buf[2000];
        const int n = board().cs8900().TakeSent(buf, sizeof buf);
        return Bytes(buf, buf + n);
    }
    static uint32_t RxWaiting() { return (G_NetRing.nRxWr + kNetRxSlots - G_NetRing.nRxRd) % kNetRxSlots; }
    static bool Logged(const std::string& text) { return SysLogSectorText().find(text) != std::string::npos; }
    static void Queue(const Bytes& frame) {
        uint8_t* slot = NET_AllocTxBuffer();
        std::memcpy(SlotFrame(slot), frame.data(), frame.size());
        SlotDesc(slot)->nLength = static_cast<uint32_t>(frame.size());
        NET_GetNextTxPacket();
    }
};

TEST_F(NetTest, StartUpProgramsTheControllerAndFaultsAreLogged) {
    Start();
    EXPECT_EQ(CS_ReadPP(kPpRxCtl), 0x0D00);
    EXPECT_EQ(CS_ReadPP(kPpLineCtl), 0x00C0);
    EXPECT_EQ(CS_ReadPP(kPpIndividualAddr), 0x5000);   // 00:50 -> first byte low
    EXPECT_EQ(CS_ReadPP(kPpIndividualAddr + 2), 0x51C2);
    EXPECT_EQ(CS_ReadPP(kPpIndividualAddr + 4), 0x0100);
    EXPECT_EQ(CS_ReadPP(kPpLogicalAddr + 6), 0xFFFF);
    EXPECT_TRUE(CS_LinkUp());

    board().cs8900().SetProductId(0x1234);
    EXPECT_EQ(CS_Init(), -1);
    EXPECT_TRUE(Logged("Bad CS8900A ID = 1234!"));
    EXPECT_NE(CS_ReadPP(kPpRxCtl), 0x0D00);   // left unprogrammed: nothing is received
    EXPECT_FALSE(Arrive(Ether(kBcastMac, kPeerMac, 0x0806, 60)));

    board().cs8900().SetProductId(0x630E);
    board().cs8900().SetInitdAfterReads(-1);
    EXPECT_EQ(CS_Reset(), -1);
    EXPECT_TRUE(Logged("CS8900A Reset Time Out Error, Status = 0016!"));
}

TEST_F(NetTest, FramesAreWrittenAndReadByteExact) {
    Start();
    // Odd lengths: the last byte goes alone; a short frame is padded to 60 on the wire.
    const Bytes odd = Ether(kPeerMac, kOwnMac, 0x0800, 61);
    const Bytes tiny = Ether(kPeerMac, kOwnMac, 0x0806, 43);
    Queue(odd);
    Queue(tiny);
    NET_TxFlush();
    EXPECT_EQ(Sent(), odd);
    NET_TxFlush();
    Bytes padded = tiny;
    padded.resize(60, 0);
    EXPECT_EQ(Sent(), padded);

    // 1511 bytes are read whole; 1512 is refused and skipped, so the next frame still reads right.
    const Bytes big = Ether(kBcastMac, kPeerMac, 0x0806, 1511);
    const Bytes tooBig = Ether(kBcastMac, kPeerMac, 0x0806, 1512);
    const Bytes after = Ether(kBcastMac, kPeerMac, 0x0806, 64);
    ASSERT_TRUE(Arrive(big) && Arrive(tooBig) && Arrive(after));
    uint8_t buf[1600];
    ASSERT_EQ(CS_Receive(buf), 1511u);
    EXPECT_EQ(Bytes(buf, buf + 1511), big);
    EXPECT_EQ(CS_Receive(buf), 0u);
    EXPECT_TRUE(Logged("Bad len = 0x05e8."));
    ASSERT_EQ(CS_Receive(buf), 64u);
    EXPECT_EQ(Bytes(buf, buf + 64), after);
}

TEST_F(NetTest, NineBadFramesEndTheCallAndTheRestWaits) {
    Start();
    board().cs8900().MarkNextArrivalsBad(10);
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(Arrive(Ether(kBcastMac, kPeerMac, 0x0806, 60)));
    const Bytes good = Ether(kBcastMac, kPeerMac, 0x0806, 70);
    ASSERT_TRUE(Arrive(good));
    uint8_t buf[1600];
    EXPECT_EQ(CS_Receive(buf), 0u);   // nine skipped, the tenth waits
    ASSERT_EQ(CS_Receive(buf), 70u);
    EXPECT_EQ(Bytes(buf, buf + 70), good);
}

TEST_F(NetTest, ReceiveRingBoundsAndBackupLines) {
    Start();
    const uint8_t own[4] = {192, 168, 0, 175};
    // Ten frames in one tick: nine read, with the backup lines for the sixth to ninth.
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(Arrive(Udp(own, 10 + i)));
    NET_RxPoll();
    EXPECT_EQ(RxWaiting(), 9u);
    for (const char* line : {"backup i:4", "backup i:3", "backup i:2", "backup i:1"}) EXPECT_TRUE(Logged(line)) << line;
    EXPECT_FALSE(Logged("backup i:5"));
    NET_RxPoll();
    EXPECT_EQ(RxWaiting(), 10u);

    // Filled to 255: the next frame is lost with the overflow line, the ring unchanged.
    while (RxWaiting() < 255) {
        for (int i = 0; i < 9 && RxWaiting() + static_cast<uint32_t>(i) < 255; ++i) Arrive(Udp(own, 20));
        NET_RxPoll();
    }
    const uint32_t wr = G_NetRing.nRxWr;
    ASSERT_TRUE(Arrive(Udp(own, 21)));
    NET_RxPoll();
    EXPECT_EQ(G_NetRing.nRxWr, wr);
    EXPECT_EQ(RxWaiting(), 255u);
    EXPECT_TRUE(Logged("ERROR: Rx Buf Overflow, wIdx:"));
}

TEST_F(NetTest, TransmitOnePerTickLateReadyAndAbandon) {
    Start();
    const Bytes a = Ether(kPeerMac, kOwnMac, 0x0806, 60), b = Ether(kPeerMac, kOwnMac, 0x0806, 62);
    Queue(a);
    Queue(b);
    NET_TxFlush();
    EXPECT_EQ(board().cs8900().SentTotal(), 1u);
    NET_TxFlush();
    EXPECT_EQ(Sent(), a);
    EXPECT_EQ(Sent(), b);

    // Ready 2 ms late: re-read on the next ticks and still sent.
    board().cs8900().SetReadyDelay(2 * 3686);
    Queue(a);
    NET_TxFlush();
    EXPECT_EQ(Sent(), Bytes{});
    DelayTicks(2 * 3686 + 10);
    NET_TxFlush();
    EXPECT_EQ(Sent(), a);

    // Never ready: abandoned after 5 ms with a controller restart and its line.
    board().cs8900().SetReadyDelay(-1);
    Queue(a);
    NET_TxFlush();
    DelayTicks(4 * 3686);
    NET_TxFlush();
    EXPECT_FALSE(Logged("NET: Tx Flush Arp"));
    DelayTicks(2 * 3686);
    NET_TxFlush();
    EXPECT_TRUE(Logged("NET: Tx Flush Arp @"));
    EXPECT_EQ(Sent(), Bytes{});

    // Longer than 1512 bytes: refused when queued, never copied.
    const uint32_t wr = G_NetRing.nTxWr;
    Queue(Ether(kPeerMac, kOwnMac, 0x0800, 1513));
    EXPECT_EQ(G_NetRing.nTxWr, wr);
    EXPECT_TRUE(Logged("ERROR: TxPacket Too Big:1513"));
}

TEST_F(NetTest, ReceivedFramesAreCheckedBeforeTheyGoUp) {
    Start();
    const uint8_t own[4] = {192, 168, 0, 175}, seg[4] = {192, 168, 0, 255}, other[4] = {192, 168, 1, 255},
                  all[4] = {255, 255, 255, 255};
    auto changed = [](Bytes f, size_t at, uint8_t v) { f[at] = v; return f; };
    auto refit = [](Bytes f) {   // header checksum over a changed header
        f[24] = f[25] = 0;
        uint32_t sum = 0;
        const uint32_t n = (f[14] & 15) * 4u;
        for (uint32_t i = 0; i < n; i += 2) sum += static_cast<uint32_t>(f[14 + i] << 8 | f[15 + i]);
        while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
        f[24] = static_cast<uint8_t>(~sum >> 8);
        f[25] = static_cast<uint8_t>(~sum);
        return f;
    };
    struct Case {
        const char* name;
        Bytes frame;
        bool up;
        const char* line;
    };
    const Case cases[] = {
        {"own address", Udp(own, 20), true, nullptr},
        {"segment broadcast", Udp(seg, 20), true, nullptr},
        {"all-ones broadcast", Udp(all, 20), true, nullptr},
        {"other network", Udp(other, 20), false, nullptr},
        {"bad header checksum", changed(Udp(own, 20), 25, 0x00), false, "NET: Bad IP CRC:"},
        {"header with options", refit(changed(Udp(own, 20), 14, 0x46)), false, "NET: IP hdr dropped: 46"},
        {"a fragment", refit(changed(Udp(own, 20), 20, 0x20)), false, "frag:2000"},
        {"total length past the frame", refit(changed(Udp(own, 20), 17, 200)), false, "len:200"},
        {"own MAC as source", Udp(own, 20, kOwnMac), false, nullptr},
        {"unknown ethertype", Ether(kBcastMac, kPeerMac, 0x86DD, 80), false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const uint32_t before = G_LinkStats.nIn;
        uint8_t slot[kNetSlotBytes] = {};
        std::memcpy(SlotFrame(slot), c.frame.data(), c.frame.size());
        SlotDesc(slot)->nLength = static_cast<uint32_t>(c.frame.size());
        NET_ProcessRx(slot);
        EXPECT_EQ(G_LinkStats.nIn - before, c.up ? 1u : 0u);
        if (c.line) {
            EXPECT_TRUE(Logged(c.line)) << SysLogSectorText();
        }
    }
}

Bytes ArpFrame(uint16_t op, const uint8_t* senderMac, const uint8_t* senderIp, const uint8_t* targetIp) {
    Bytes f = Ether(kBcastMac, senderMac, 0x0806, 60);
    std::memset(f.data() + 14, 0, 46);
    Be16(f, 14, 1);
    Be16(f, 16, 0x0800);
    f[18] = 6;
    f[19] = 4;
    Be16(f, 20, op);
    std::memcpy(f.data() + 22, senderMac, 6);
    std::memcpy(f.data() + 28, senderIp, 4);
    std::memcpy(f.data() + 38, targetIp, 4);
    return f;
}

TEST_F(NetTest, ArpAnswersLearnsAndSpacesItsRequests) {
    Start();
    const uint8_t own[4] = {192, 168, 0, 175}, peer[4] = {192, 168, 0, 70}, someoneElse[4] = {192, 168, 0, 9};
    uint8_t slot[kNetSlotBytes] = {};
    auto deliver = [&](const Bytes& f) {
        std::memcpy(SlotFrame(slot), f.data(), f.size());
        SlotDesc(slot)->nLength = static_cast<uint32_t>(f.size());
        NET_ProcessRx(slot);
    };
    deliver(ArpFrame(1, kPeerMac, peer, own));
    NET_TxFlush();
    const Bytes reply = Sent();
    ASSERT_EQ(reply.size(), 60u);
    Bytes expect(56, 0);
    std::memcpy(expect.data(), kBcastMac, 6);
    std::memcpy(expect.data() + 6, kOwnMac, 6);
    const uint8_t head[] = {0x08, 0x06, 0, 1, 0x08, 0, 6, 4, 0, 2};
    std::memcpy(expect.data() + 12, head, sizeof head);
    std::memcpy(expect.data() + 22, kOwnMac, 6);
    std::memcpy(expect.data() + 28, own, 4);
    std::memcpy(expect.data() + 32, kPeerMac, 6);
    std::memcpy(expect.data() + 38, peer, 4);
    EXPECT_EQ(Bytes(reply.begin(), reply.begin() + 56), expect);   // the padding is zero
    ASSERT_NE(ARP_Resolve(peer), nullptr);
    EXPECT_EQ(std::memcmp(ARP_Resolve(peer)->abMac, kPeerMac, 6), 0);

    // Packets for another address teach nothing; a probe from 0.0.0.0 is not cached.
    const uint8_t zero[4] = {};
    deliver(ArpFrame(2, kPeerMac, someoneElse, peer));
    deliver(ArpFrame(1, kPeerMac, zero, own));
    EXPECT_EQ(G_ArpCache.nCount, 1u);

    // Round robin: the sixth sender replaces the first written.
    for (uint8_t host = 1; host <= 5; ++host) {
        const uint8_t ip[4] = {192, 168, 0, host};
        deliver(ArpFrame(2, kPeerMac, ip, own));
    }
    EXPECT_EQ(G_ArpCache.nCount, 5u);
    EXPECT_EQ(ARP_Resolve(peer), nullptr);

    // Requests for an unknown address: one per 6 s however often it is asked.
    while (G_NetRing.nTxRd != G_NetRing.nTxWr) NET_TxFlush();
    while (Sent().size()) {}
    G_UptimeSec = 100;
    const uint8_t unknown[4] = {192, 168, 0, 99};
    ARP_Resolve(unknown);
    G_UptimeSec = 103;
    ARP_Resolve(unknown);
    G_UptimeSec = 106;
    ARP_Resolve(unknown);
    int requests = 0;
    for (int i = 0; i < 4; ++i) NET_TxFlush();
    for (Bytes f = Sent(); !f.empty(); f = Sent()) {
        if (f[21] == 1 && std::memcmp(f.data() + 38, unknown, 4) == 0) ++requests;
    }
    EXPECT_EQ(requests, 2);
}

TEST_F(NetTest, AddressSetUp) {
    struct Case {
        const char* name;
        const char* etherAdd;
        uint32_t local;
        const char* ipAdd;   // nullptr: unset
        uint8_t mac0, host;
        bool rewritten;
        const char* line;
    };
    const Case cases[] = {
        {"good MAC, host number", "02:11:22:33:44:55", 177, "192.168.0.177", 0x02, 177, false, nullptr},
        {"five fields", "02:11:22:33:44", 175, "192.168.0.175", 0x00, 175, false, "NET: umon Mac addr invalid, using:00:23:31:25:00:00"},
        {"a field of 256", "02:11:22:33:44:256", 175, "192.168.0.175", 0x00, 175, false, "Misformed ethernet addr: 02:11:22:33:44:256"},
        {"host 180", "02:11:22:33:44:55", 180, "192.168.0.175", 0x02, 175, false, "NET: IP:192.168.0.180 out-of-range, using 192.168.0.175"},
        {"address word", "02:11:22:33:44:55", 0xC0A800B2, "192.168.0.178", 0x02, 178, false, nullptr},
        {"IPADD different", "02:11:22:33:44:55", 176, "192.168.0.51", 0x02, 176, true, "IP Mismatch: monrc:192.168.0.51, system:192.168.0.176"},
        {"IPADD unset", "02:11:22:33:44:55", 176, nullptr, 0x02, 176, true, "IP Mismatch: monrc:, system:192.168.0.176"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        board().SetFactoryEnv("ETHERADD", c.etherAdd);
        board().SetFactoryEnv("IPADD", c.ipAdd ? c.ipAdd : "");
        if (!c.ipAdd) board().SetFactoryEnv("IPADD", nullptr);
        board().SetEnv("IPADD", nullptr);
        mon_tfsunlink("monrc");
        Start(c.local);
        EXPECT_EQ(G_NetOwnMac[0], c.mac0);
        EXPECT_EQ(G_OwnIp[3], c.host);
        EXPECT_EQ(G_UnitIpByte, c.host);
        EXPECT_EQ(Contents("monrc") != "<missing>", c.rewritten);
        if (c.rewritten) {
            EXPECT_NE(Contents("monrc").find("set IPADD 192.168.0.176"), std::string::npos);
        }
        if (c.line) {
            EXPECT_TRUE(Logged(c.line)) << SysLogSectorText();
        }
    }
}

}  // namespace
