// TCP against a scripted peer on the in-process wire, in board time. The
// peer's segments and checksums are built here from RFC 793.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "net/net.h"
#include "support/board_fixture.h"
#include "inet_sum.h"
#include "peers/tcp_peer.h"
#include "wx/recv.h"
#include "wx/wx.h"

namespace {

using Bytes = std::vector<uint8_t>;

const uint8_t kPeerMac[6] = {0x02, 0x00, 0x00, 0x00, 0x00, 0x70};
const uint8_t kPeerIp[4] = {192, 168, 0, 70};
constexpr uint16_t kPeerPort = 20001;
constexpr uint8_t FIN = 1, SYN = 2, RST = 4, PSH = 8, ACK = 16;

uint32_t Get32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

// A segment as it left the unit.
struct Out {
    uint8_t flags = 0;
    uint32_t seq = 0, ack = 0;
    uint16_t srcPort = 0, dstPort = 0;
    Bytes data;
    int header = 0;
    bool sumGood = false;
};

class TcpTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        board().cs8900().AttachWire(true);
        SysLogOpen();
        G_NetIpLocal = 175;
        NET_Init();
        G_UptimeSec = 100;
        // As after the start routine, also when the cases share one process.
        std::memset(G_TcpConn, 0, sizeof G_TcpConn);
        G_TcpEphemeral = kTcpFirstEphemeral;
        TCP_ResetLogs();
    }
    // Peer to unit.
    Bytes Segment(uint16_t srcPort, uint16_t dstPort, uint8_t flags, uint32_t seq, uint32_t ack, const Bytes& data = {}) {
        return tcp_peer::Segment({G_NetOwnMac, kPeerMac, kPeerIp, G_OwnIp, srcPort, dstPort}, flags, seq, ack, data);
    }
    void Deliver(const Bytes& f) {
        uint8_t slot[kNetSlotBytes] = {};
        std::memcpy(SlotFrame(slot), f.data(), f.size());
        SlotDesc(slot)->nLength = static_cast<uint32_t>(f.size());
        NET_ProcessRx(slot);
    }
    // Every segment the unit queued since the last call.
    std::vector<Out> Sent() {
        std::vector<Out> out;
        for (int i = 0; i < 300 && G_NetRing.nTxRd != G_NetRing.nTxWr; ++i) {
            NET_TxFlush();
            uint8_t buf[2000];
            const int n = board().cs8900().TakeSent(buf, sizeof buf);
            if (n < 54 || buf[23] != 6) continue;
            const uint8_t* ip = buf + 14;
            const uint8_t* tcp = ip + 20;
            Out o;
            const uint32_t total = static_cast<uint32_t>(ip[2] << 8 | ip[3]);
            o.header = (tcp[12] >> 4) * 4;
            o.flags = tcp[13];
            o.seq = Get32(tcp + 4);
            o.ack = Get32(tcp + 8);
            o.srcPort = static_cast<uint16_t>(tcp[0] << 8 | tcp[1]);
            o.dstPort = static_cast<uint16_t>(tcp[2] << 8 | tcp[3]);
            o.data.assign(tcp + o.header, ip + total);
            o.sumGood = Fold(Sum16(tcp, total - 20, Sum16(ip + 12, 8) + 6 + total - 20)) == 0;
            EXPECT_TRUE(o.sumGood);
            EXPECT_EQ(ip[6], 0x40) << "don't fragment";
            out.push_back(o);
        }
        return out;
    }
    static bool Logged(const std::string& text) { return SysLogSectorText().find(text) != std::string::npos; }

    // An active open answered: the connection record, established.
    TcpConn* OpenActive(uint32_t peerIss) {
        TcpConn* c = TCP_OpenConnection(kPeerIp, kPeerMac, kPeerPort, 0, Collect, 1);
        const std::vector<Out> syn = Sent();
        EXPECT_EQ(syn.size(), 1u);
        Deliver(Segment(kPeerPort, c->nLocalPort, SYN | ACK, peerIss, c->nIss + 1));
        Sent();
        return c;
    }
    static int32_t Collect(TcpConn*, const uint8_t* data, uint32_t length, uint32_t) {
        s_received.insert(s_received.end(), data, data + length);
        return 0;
    }
    static Bytes s_received;
};
Bytes TcpTest::s_received;

Bytes Pattern(size_t n, uint32_t seed) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 131 + seed + i / 251) & 0xFF);
    return b;
}

TEST_F(TcpTest, ActiveOpenSendsOneAckAndIsEstablished) {
    TcpConn* c = TCP_OpenConnection(kPeerIp, kPeerMac, kPeerPort, 0, Collect, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->nLocalPort, kTcpFirstEphemeral + 1);
    EXPECT_LT(c->nIss, 1000000u);
    std::vector<Out> out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].flags, SYN);
    EXPECT_EQ(out[0].header, 24) << "with the MSS option";
    EXPECT_EQ(out[0].seq, c->nIss);
    EXPECT_EQ(c->nState, kTcpSynSent);

    Deliver(Segment(kPeerPort, c->nLocalPort, SYN | ACK, 5000, c->nIss + 1));
    out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].flags, ACK);
    EXPECT_EQ(out[0].seq, c->nIss + 1);
    EXPECT_EQ(out[0].ack, 5001u);
    EXPECT_EQ(c->nState, kTcpEstablished);
    EXPECT_EQ(c->nSndNxt, c->nIss + 1);
    EXPECT_TRUE(Logged("NET: TCP connection established 192:168:0:70 port: 20001"));
}

TEST_F(TcpTest, PassiveOpenRepeatedSynAndTheCompletingAck) {
    TcpConn* l = TCP_OpenConnection(nullptr, nullptr, 2112, 0, Collect, 0);
    ASSERT_EQ(l->nState, kTcpListen);
    Deliver(Segment(40000, 2112, ACK, 1, 1));   // not a SYN: no record takes it
    EXPECT_TRUE(Sent().empty());
    Deliver(Segment(40000, 2112, SYN, 7000, 0));
    std::vector<Out> out = Sent();
    ASSERT_EQ(out.size(), 1u);
    TcpConn* c = nullptr;
    for (TcpConn& k : G_TcpConn) c = k.nState == kTcpSynRcvd ? &k : c;
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(out[0].flags, SYN | ACK);
    EXPECT_EQ(out[0].seq, c->nIss);
    EXPECT_EQ(out[0].ack, 7001u);
    EXPECT_EQ(out[0].srcPort, 2112);

    Deliver(Segment(40000, 2112, SYN, 7000, 0));   // our SYN-ACK was lost
    out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].flags, SYN | ACK);
    EXPECT_EQ(out[0].seq, c->nIss) << "the same SYN-ACK";

    Deliver(Segment(40000, 2112, ACK, 7001, c->nIss + 1));
    EXPECT_TRUE(Sent().empty()) << "nothing to say";
    EXPECT_EQ(c->nState, kTcpEstablished);
    EXPECT_EQ(TCP_Send(c, "hi", 2), 2);
    out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].flags, PSH | ACK);
    EXPECT_EQ(out[0].data, (Bytes{'h', 'i'}));
    EXPECT_EQ(l->nState, kTcpListen) << "the listener stays";
}

TEST_F(TcpTest, DataWithFinThenOurFinFreesTheRecord) {
    s_received.clear();
    TcpConn* c = OpenActive(9000);
    const Bytes data = Pattern(10, 3);
    Deliver(Segment(kPeerPort, c->nLocalPort, PSH | ACK | FIN, 9001, c->nIss + 1, data));
    EXPECT_EQ(s_received, data) << "the data first, whole";
    std::vector<Out> out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].ack, 9001u + 10 + 1) << "the data and the FIN";
    EXPECT_EQ(out[0].flags, FIN | ACK) << "nothing queued: our FIN follows";
    EXPECT_EQ(c->nState, kTcpLastAck);
    Deliver(Segment(kPeerPort, c->nLocalPort, ACK, 9012, c->nIss + 2));
    EXPECT_EQ(c->nState, kTcpClosed);

    // An overlap of 10 bytes: only the new bytes reach the callback.
    s_received.clear();
    c = OpenActive(100);
    Deliver(Segment(kPeerPort, c->nLocalPort, ACK, 101, c->nIss + 1, Pattern(20, 1)));
    const Bytes more = Pattern(30, 2);
    Deliver(Segment(kPeerPort, c->nLocalPort, ACK, 111, c->nIss + 1, more));
    EXPECT_TRUE(Logged("NET: sb(30/20)"));
    ASSERT_EQ(s_received.size(), 40u);
    EXPECT_EQ(Bytes(s_received.begin() + 20, s_received.end()), Bytes(more.begin() + 10, more.end()));
    Sent();

    // A peer FIN while our data waits: acknowledged once, our FIN after the data.
    c = OpenActive(500);
    c->bMaySend = 0;
    ASSERT_EQ(TCP_Send(c, "abc", 3), 2);
    Deliver(Segment(kPeerPort, c->nLocalPort, FIN, 501, 0));
    out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].flags, ACK);
    EXPECT_EQ(out[0].ack, 502u);
    EXPECT_EQ(c->nState, kTcpPeerFinAcked);
    EXPECT_EQ(TCP_Send(c, "x", 1), 3) << "never to be sent";
    Deliver(Segment(kPeerPort, c->nLocalPort, ACK, 502, c->nIss + 1));
    out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].flags, FIN | PSH | ACK);
    EXPECT_EQ(out[0].data, (Bytes{'a', 'b', 'c'}));
    Deliver(Segment(kPeerPort, c->nLocalPort, ACK, 502, c->nIss + 5));
    EXPECT_EQ(c->nState, kTcpClosed);
}

TEST_F(TcpTest, FiveEqualAcksGoBackFourDoNot) {
    TcpConn* c = OpenActive(1);
    const Bytes data = Pattern(3000, 9);
    ASSERT_EQ(TCP_Send(c, data.data(), 3000), 2);
    std::vector<Out> out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].data.size(), 1300u) << "one segment per acknowledgement";
    const uint32_t a = c->nIss + 1 + 1300;
    auto ack = [&] {
        Deliver(Segment(kPeerPort, c->nLocalPort, ACK, 2, a));
        return Sent();
    };
    out = ack();   // first: bytes 1300..2599
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].seq, a);
    out = ack();   // second: the last 400
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].data.size(), 400u);
    EXPECT_TRUE(ack().empty());
    EXPECT_TRUE(ack().empty());
    EXPECT_EQ(c->nSndNxt, c->nIss + 1 + 3000) << "four arrivals: no go-back";
    out = ack();   // the fifth
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].seq, a) << "sent again from the acknowledged point";
    EXPECT_EQ(out[0].data, Bytes(data.begin() + 1300, data.begin() + 2600));
}

TEST_F(TcpTest, SendRingBoundsAndResults) {
    TcpConn* c = OpenActive(1);
    c->bMaySend = 0;   // nothing leaves: the ring only fills
    const Bytes big(65536, 0x5A);
    EXPECT_EQ(TCP_TxSpace(c), 65535u);
    EXPECT_EQ(TCP_Send(c, big.data(), 65536), 1) << "more than the ring holds";
    EXPECT_TRUE(Logged("NET: sbf"));
    std::vector<Out> out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].flags, RST);
    EXPECT_EQ(c->nState, kTcpClosed);

    c = OpenActive(1);
    EXPECT_EQ(TCP_Send(c, big.data(), 65535), 2);
    EXPECT_EQ(TCP_TxSpace(c), 0u);
    out = Sent();
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(TCP_TxSpace(c), 0u) << "sent is not acknowledged: still held";
    Deliver(Segment(kPeerPort, c->nLocalPort, ACK, 2, c->nIss + 1 + 1300));
    EXPECT_EQ(TCP_TxSpace(c), 1300u);
    Sent();

    struct Case { uint32_t state; int32_t result; };
    for (const Case& k : {Case{kTcpFinSent, 3}, Case{kTcpFinAcked, 3}, Case{kTcpPeerFin, 3}, Case{kTcpPeerFinAcked, 3},
                          Case{kTcpClosed, 3}, Case{kTcpListen, 3}, Case{kTcpSynRcvd, 2}}) {
        SCOPED_TRACE(k.state);
        TcpConn* d = OpenActive(1);
        d->nState = k.state;
        EXPECT_EQ(TCP_Send(d, "x", 1), k.result);
        TCP_Abort(d);
        Sent();
    }
}

TEST_F(TcpTest, TwoHundredKilobytesEachWayAcrossTheWrap) {
    s_received.clear();
    const uint32_t peerIss = 0xFFFFF000u;   // the peer's numbers wrap early on
    TcpConn* c = OpenActive(peerIss);
    const Bytes in = Pattern(200 * 1024, 1);
    uint32_t seq = peerIss + 1;
    for (size_t at = 0; at < in.size(); at += 1000) {
        const size_t n = std::min<size_t>(1000, in.size() - at);
        Deliver(Segment(kPeerPort, c->nLocalPort, PSH | ACK, seq, c->nIss + 1, Bytes(in.begin() + at, in.begin() + at + n)));
        seq += static_cast<uint32_t>(n);
        const std::vector<Out> out = Sent();
        ASSERT_EQ(out.size(), 1u);
        ASSERT_EQ(out[0].ack, seq);
    }
    EXPECT_EQ(s_received, in);
    EXPECT_FALSE(Logged("NET: sm("));

    const Bytes outData = Pattern(200 * 1024, 7);
    Bytes got;
    size_t queued = 0;
    for (int round = 0; round < 2000 && got.size() < outData.size(); ++round) {
        const uint32_t space = TCP_TxSpace(c);
        const size_t n = std::min<size_t>(space, outData.size() - queued);
        if (n) {
            ASSERT_EQ(TCP_Send(c, outData.data() + queued, static_cast<uint32_t>(n)), 2);
            queued += n;
        }
        for (const Out& o : Sent()) {
            if (o.seq == c->nIss + 1 + got.size()) got.insert(got.end(), o.data.begin(), o.data.end());
        }
        Deliver(Segment(kPeerPort, c->nLocalPort, ACK, seq, c->nIss + 1 + static_cast<uint32_t>(got.size())));
    }
    EXPECT_EQ(got, outData);
}

TEST_F(TcpTest, AnUnansweredSynIsSentAgainThenGivenUp) {
    TcpConn* c = TCP_OpenConnection(kPeerIp, kPeerMac, kPeerPort, 0, Collect, 1);
    ASSERT_EQ(Sent().size(), 1u);
    int syns = 1;
    uint32_t resets = 0;
    const uint64_t start = board().Now();
    while (c->nState != kTcpClosed && board().Now() - start < 25ull * kTicksPerSecond) {
        DelayTicks(kTicksPerSecond / 10);
        TCP_Tick();
        for (const Out& o : Sent()) {
            if (o.flags == SYN) {
                ++syns;
                EXPECT_EQ(o.seq, c->nIss);
            }
            if (o.flags & RST) ++resets;
        }
    }
    const double seconds = static_cast<double>(board().Now() - start) / kTicksPerSecond;
    EXPECT_EQ(c->nState, kTcpClosed);
    EXPECT_GE(seconds, 19.9);
    EXPECT_LE(seconds, 20.5);
    EXPECT_EQ(syns, 7) << "at 0, 3, 6 ... 18 s";
    EXPECT_EQ(resets, 1u);
}

TEST_F(TcpTest, RecordsRunOutAndComeBack) {
    for (int i = 0; i < kTcpConns; ++i) ASSERT_NE(TCP_OpenConnection(nullptr, nullptr, 1000 + i, 0, Collect, 0), nullptr);
    Deliver(Segment(40000, 1000, SYN, 1, 0));
    EXPECT_TRUE(Sent().empty());
    for (int i = 0; i < 4; ++i) TCP_OpenConnection(nullptr, nullptr, 9, 0, Collect, 0);
    const std::string log = SysLogSectorText();
    size_t n = 0;
    for (size_t at = log.find("NET: oos"); at != std::string::npos; at = log.find("NET: oos", at + 1)) ++n;
    EXPECT_EQ(n, 3u) << "three times only";
    EXPECT_TRUE(Logged("NET: ncff"));
    TCP_Abort(&G_TcpConn[3]);
    EXPECT_NE(TCP_OpenConnection(nullptr, nullptr, 9, 0, Collect, 0), nullptr);
}

TEST_F(TcpTest, WebPageOnTheWeatherMaster) {
    G_NetStreamCfg[kStreamWx].INST = kWxMaster;
    WxOpenListeners();
    WxOpenListeners();   // after a card change: still one listener
    int listeners = 0;
    for (const TcpConn& c : G_TcpConn) listeners += c.nState == kTcpListen && c.nLocalPort == 80;
    EXPECT_EQ(listeners, 1);

    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        const uint16_t port = static_cast<uint16_t>(50000 + round);
        Deliver(Segment(port, 80, SYN, 1000, 0));
        std::vector<Out> out = Sent();
        ASSERT_EQ(out.size(), 1u);
        const uint32_t iss = out[0].seq;
        Deliver(Segment(port, 80, ACK, 1001, iss + 1));
        const std::string get = "GET / HTTP/1.1\r\nHost: 192.168.0.175\r\n\r\n";
        Deliver(Segment(port, 80, PSH | ACK, 1001, iss + 1, Bytes(get.begin(), get.end())));
        out = Sent();
        ASSERT_EQ(out.size(), 2u);
        const std::string reply(out[0].data.begin(), out[0].data.end());
        const size_t split = reply.find("\r\n\r\n");
        ASSERT_NE(split, std::string::npos);
        EXPECT_EQ(reply.substr(0, 17), "HTTP/1.0 200 OK\r\n");
        EXPECT_NE(reply.find("Content-Length: 171\r\n"), std::string::npos);
        EXPECT_EQ(reply.size() - split - 4, 171u) << "the body is what the header says";
        EXPECT_EQ(reply.substr(reply.size() - 14), "</body></html>");
        EXPECT_EQ(out[0].ack, 1001u + get.size());
        EXPECT_EQ(out[1].flags, FIN | ACK) << "the close after the page";
        EXPECT_EQ(out[1].seq, iss + 1 + reply.size());
        const uint32_t end = iss + 1 + static_cast<uint32_t>(reply.size()) + 1;
        Deliver(Segment(port, 80, ACK, 1001 + static_cast<uint32_t>(get.size()), end));
        Deliver(Segment(port, 80, FIN | ACK, 1001 + static_cast<uint32_t>(get.size()), end));
        out = Sent();
        ASSERT_EQ(out.size(), 1u);
        EXPECT_EQ(out[0].flags, ACK);
    }
    int free = 0;
    for (const TcpConn& c : G_TcpConn) free += c.nState == kTcpClosed || c.nState == kTcpFree;
    EXPECT_EQ(free, kTcpConns - 2) << "every page's record is free again; the pages' and the relay's listeners stay";
    EXPECT_FALSE(Logged("NET: oos"));
}

// A record reset while data waited in it starts its next connection empty, and
// its old holder can tell; the ports of active opens start over past 65535.
TEST_F(TcpTest, AReusedRecordIsANewConnection) {
    TCP_OpenConnection(nullptr, nullptr, 80, 0, Collect, 0);
    TcpConn* c = OpenActive(1);
    c->bMaySend = 0;
    ASSERT_EQ(TCP_Send(c, "stale", 5), 2);
    const uint32_t opening = c->nOpening;
    EXPECT_TRUE(TCP_StillOpening(c, opening));
    Deliver(Segment(kPeerPort, c->nLocalPort, RST, 2, 0));
    ASSERT_EQ(c->nState, kTcpClosed);
    Deliver(Segment(50000, 80, SYN, 1000, 0));
    ASSERT_EQ(c->nState, kTcpSynRcvd) << "the same record";
    EXPECT_FALSE(TCP_StillOpening(c, opening));
    EXPECT_EQ(TCP_TxSpace(c), kTcpMaxPending);
    Deliver(Segment(50000, 80, ACK, 1001, c->nIss + 1));
    for (const Out& o : Sent()) EXPECT_TRUE(o.data.empty()) << "nothing of the old connection";

    G_TcpEphemeral = 65534;
    EXPECT_EQ(TCP_OpenConnection(kPeerIp, kPeerMac, kPeerPort, 0, Collect, 1)->nLocalPort, 65535);
    EXPECT_EQ(TCP_OpenConnection(kPeerIp, kPeerMac, kPeerPort, 0, Collect, 1)->nLocalPort, kTcpFirstEphemeral);
}

// The weather link's record, refused by the receiver and so free, is the one a
// new web connection takes: the link must not go on using it as its own.
TEST_F(TcpTest, AWebConnectionInTheWeatherLinksOldRecordGetsOnlyThePage) {
    G_NetStreamCfg[kStreamWx].INST = kWxMaster;
    G_Wx = {};
    G_WxLink = {};
    G_WxConn = nullptr;
    std::memcpy(G_ArpCache.entry[0].abMac, kPeerMac, 6);
    std::memcpy(G_ArpCache.entry[0].abIp, kWxRecvIp, 4);
    G_ArpCache.nCount = 1;
    WxOpenListeners();
    WxRecvTask();
    TcpConn* link = G_WxConn;
    ASSERT_NE(link, nullptr);
    ASSERT_EQ(Sent().size(), 1u) << "the SYN to the receiver";
    Deliver(Segment(kWxRecvPort, link->nLocalPort, RST | ACK, 0, link->nIss + 1));
    ASSERT_EQ(link->nState, kTcpClosed);

    Deliver(Segment(50000, 80, SYN, 1000, 0));
    std::vector<Out> out = Sent();
    ASSERT_EQ(out.size(), 1u);
    const uint32_t iss = out[0].seq;
    ASSERT_EQ(link->nState, kTcpSynRcvd) << "the page's connection is in the link's old record";
    Deliver(Segment(50000, 80, ACK, 1001, iss + 1));
    ASSERT_EQ(link->nState, kTcpEstablished);

    // Link passes before the request arrives, past the link's own timeouts.
    for (int pass = 0; pass < 3; ++pass) {
        WxRecvTask();
        G_UptimeSec += 11;
    }
    for (const Out& o : Sent()) {
        EXPECT_FALSE(o.srcPort == 80 && (!o.data.empty() || (o.flags & RST))) << "the web client got link traffic";
    }
    const std::string get = "GET / HTTP/1.1\r\n\r\n";
    Deliver(Segment(50000, 80, PSH | ACK, 1001, iss + 1, Bytes(get.begin(), get.end())));
    out = Sent();
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0].seq, iss + 1) << "the page is the first byte on the connection";
    EXPECT_EQ(std::string(out[0].data.begin(), out[0].data.end()).substr(0, 15), "HTTP/1.0 200 OK");
}

}  // namespace
