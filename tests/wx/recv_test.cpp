// The weather master against a scripted receiver on the in-process wire, in
// board time: bring-up, watchdogs and reconnection, frames and product messages.
#include "recv_peer.h"

#include "wx/products.h"

namespace {

using namespace wxtest;

Bytes Cmd(std::initializer_list<uint8_t> b) { return Bytes(b); }

TEST_F(RecvRig, BringUpSendsTheCommandsInOrderAndRuns) {
    Run(2);
    std::vector<Bytes> want = {
        Cmd({'J', 'C'}), Cmd({'J', 'D'}), Cmd({0x00, 0x08, 0x08, 0x08, 0x01}), Cmd({0x11, 240, 0x01}),
        Cmd({0x10, 0x01, 240, 1, 0x00, 2}), Cmd({0x10, 0x01, 231, 1, 0x00, 2}), Cmd({'J', 0x10, 10, 0, 0}),
    };
    for (int step : {230, 231, 232, 234, 235, 236, 237, 238, 239, 240})
        want.push_back(Cmd({'J', 0x10, static_cast<uint8_t>(step), 0, 0}));
    want.push_back(Cmd({'N', 11}));
    EXPECT_EQ(commands_, want);
    EXPECT_EQ(G_Wx.nStep, 100);
    EXPECT_EQ(G_Wx.nProducts, 1u) << "the status word the slave is told";
    EXPECT_TRUE(Logged("WX: Turning On Reciever"));
    EXPECT_EQ(Count("WX: Running"), 1u);
}

TEST_F(RecvRig, AStepWithoutAGoodStatusIsRetriedEightTimesThenLeft) {
    for (int i = 0; i < 100 && G_Wx.nStep != 234; ++i) Run(0.05);
    ASSERT_EQ(G_Wx.nStep, 234);
    good_ = false;   // from the answer to step 235's command
    commands_.clear();
    Run(1);
    size_t same = 0;
    for (const Bytes& c : commands_) same += c == Cmd({'J', 0x10, 235, 0, 0});
    EXPECT_EQ(same, 9u) << "the first and eight retries";
    EXPECT_GT(G_Wx.nStep, 235);
}

TEST_F(RecvRig, RunningPollsAfterTenQuietSeconds) {
    BringUp();
    answer_ = false;
    Run(25);
    EXPECT_EQ(commands_, (std::vector<Bytes>{Cmd({'@'}), Cmd({'@'})})) << "at 11 and 22 s";
    EXPECT_EQ(G_Wx.nStep, 100);
}

TEST_F(RecvRig, NoFrameForSixtySecondsAbortsAndReconnects) {
    BringUp();
    answer_ = false;   // acknowledged, so the connection stays busy, but no frames
    Run(58);
    EXPECT_FALSE(Logged("WX: frnt"));
    Run(4);
    EXPECT_TRUE(Logged("WX: frnt"));
    answer_ = true;
    Run(15);
    EXPECT_GE(syns_, 2);
    EXPECT_EQ(Count("WX: Running"), 2u);
}

TEST_F(RecvRig, ASilentReceiverIsKeptAliveThenDroppedAfter41s) {
    BringUp();
    // Nothing from the receiver at all from here: the unit's segments vanish.
    const uint32_t start = G_UptimeSec;
    uint32_t keepAlives = 0;
    while (!Logged("WX: trc") && G_UptimeSec - start < 50) {
        DelayTicks(kTicksPerSecond / 20);
        if (++sub_ == 20) {
            sub_ = 0;
            ++G_UptimeSec;
        }
        WxRecvTask();
        while (G_NetRing.nTxRd != G_NetRing.nTxWr) {
            NET_TxFlush();
            uint8_t buf[2000];
            const int n = board().cs8900().TakeSent(buf, sizeof buf);
            if (n >= 54 && buf[23] == 6 && (buf[47] & 0x02) == 0) ++keepAlives;
        }
    }
    EXPECT_TRUE(Logged("WX: trc"));
    EXPECT_GE(G_UptimeSec - start, 40u);
    EXPECT_LE(G_UptimeSec - start, 42u);
    EXPECT_GE(keepAlives, 8u) << "at 5, 10, ... 40 s idle (and the polls)";
    Run(15);
    EXPECT_EQ(syns_, 2) << "a new connection";
    EXPECT_EQ(Count("WX: Running"), 2u);
}

TEST_F(RecvRig, AConnectionClosedByTheReceiverIsRetriedAfter20s) {
    BringUp();
    Send({}, 0x04);   // reset
    ASSERT_EQ(G_WxConn->nState, kTcpClosed);
    Run(25);
    EXPECT_FALSE(Logged("WX:   arcwr")) << "20 s after the last link event: the poll that found it closed";
    Run(8);
    EXPECT_TRUE(Logged("WX:   arcwr"));
    Run(15);
    EXPECT_EQ(syns_, 2);
    EXPECT_EQ(G_Wx.nStep, 100);
}

// An unanswered SYN is sent again by TCP; when TCP gives up, the link starts over.
TEST_F(RecvRig, LostSynsStillEndConnected) {
    for (int lost : {1, 8}) {
        SCOPED_TRACE(lost);
        dropSyns_ = lost;
        syns_ = 0;
        const uint32_t start = G_UptimeSec;
        while (!Established() && G_UptimeSec - start < 60) Run(0.5);
        EXPECT_TRUE(Established());
        EXPECT_LE(G_UptimeSec - start, lost == 1 ? 4u : 45u);
        Run(2);
        EXPECT_EQ(G_Wx.nStep, 100);
        Send({}, 0x04);
        G_WxLink.nLastEvent = 0;
        Run(1);
    }
}

TEST_F(RecvRig, NoAnswerToTheFirstCommandDropsTheLinkAfter10s) {
    answer_ = false;
    Run(12);
    EXPECT_TRUE(Logged("WX: nrtp"));
}

TEST_F(RecvRig, StatusFiveInStepFourEntersValidation) {
    good_ = false;
    Run(0.5);
    EXPECT_TRUE(Logged("WX: Entering Validation Mode\n"));
    EXPECT_GE(G_Wx.nStep, 31);
    EXPECT_LE(G_Wx.nStep, 35);
}

// ---- frames -----------------------------------------------------------------------------------

class Frames : public RecvRig {
protected:
    void Feed(const Bytes& b) { WxRecvRxStream(nullptr, b.data(), static_cast<uint32_t>(b.size()), 0); }
};

TEST_F(Frames, SplitJoinedAndTwoInOneSegmentBothTaken) {
    const Bytes status = Status(true);
    Feed(Bytes(status.begin(), status.begin() + 5));
    EXPECT_EQ(G_Wx.bResponse, 0);
    Feed(Bytes(status.begin() + 5, status.end()));
    EXPECT_EQ(G_Wx.bResponse, 1);
    EXPECT_EQ(G_Wx.nRecvStatus, 1);

    Bytes two = Frame({0xC0, 0, 0, 7, 3, 9});   // frame bytes 7, 8, 9
    const Bytes time = Frame({0xDF, 0, 0x20 | 15, 12, 0, 31, 0x40 | 13, 0x80 | 30});
    two.insert(two.end(), time.begin(), time.end());
    Feed(two);
    EXPECT_EQ(G_Wx.abConfig[0], 9);
    EXPECT_EQ(G_Wx.abConfig[1], 7);
    EXPECT_EQ(G_Wx.abConfig[2], 3) << "the service indicator";
    // 2015-12-31 13:30: 15 x 552960 + 12 x 46080 + 31 x 1440 + 13 x 60 + 30
    EXPECT_EQ(G_Wx.nRecvTime, 8294400u + 552960u + 44640u + 780u + 30u);
}

TEST_F(Frames, ARemainderOf1024BytesIsDropped) {
    for (uint32_t rest : {1023u, 1024u}) {
        SCOPED_TRACE(rest);
        G_WxLink.nLeftover = 0;
        Bytes partial = {0x5A, 0xA5, 0x04, 0x00};   // a 1030-byte frame begun
        partial.resize(rest, 0);
        Feed(partial);
        EXPECT_EQ(Logged("WX: loloob"), rest == 1024);
        EXPECT_EQ(G_WxLink.nLeftover, rest == 1024 ? 0u : rest);
    }
}

TEST_F(Frames, LengthsUpTo600AreParsed) {
    for (uint32_t n : {600u, 601u}) {
        SCOPED_TRACE(n);
        G_Wx.bResponse = 0;
        Bytes payload(n, 0);
        payload[0] = 0xE0;
        Feed(Frame(payload));
        EXPECT_EQ(G_Wx.bResponse, n == 600 ? 1 : 0);
    }
}

// Each type is taken at its shortest length and ignored one byte below it.
TEST_F(Frames, FramesTooShortForTheirFieldsAreIgnored) {
    const struct {
        uint8_t type;
        size_t shortest;
    } cases[] = {{0x80, 27}, {0x90, 3}, {0xC0, 6}, {0xCA, 3}, {0xDF, 8}, {0xEA, 12}};
    for (const auto& c : cases) {
        for (size_t n : {c.shortest - 1, c.shortest}) {
            SCOPED_TRACE(testing::Message() << std::hex << int(c.type) << " n=" << std::dec << n);
            G_Wx = {};
            Bytes payload(n, 0x41);
            payload[0] = c.type;
            if (n > 1) payload[1] = 0x40;                       // 0xCA: the status form
            if (c.type == 0xEA)
                for (size_t i = 4; i < n && i < 8; ++i) payload[i] = 0;
            Feed(Frame(payload));
            const bool taken = G_Wx.bResponse || G_Wx.nRecvTime || G_Wx.abConfig[0] || G_Wx.bActivity;
            EXPECT_EQ(taken, n == c.shortest);
        }
    }
}

TEST_F(Frames, AProductCountBeyondTheFrameIsRefused) {
    const Bytes msg = Message({kWxIdCycle, 0, 0, 0, 0, 0});
    for (int lie : {1, 0}) {
        G_Wx.bActivity = 0;
        Feed(ProductFrame(msg, lie));
        EXPECT_EQ(G_Wx.bActivity, lie ? 0u : 1u);
    }
    EXPECT_EQ(G_Wx.nCycleMarkers, 1u);
}

// ---- product messages -------------------------------------------------------------------------

class Messages : public RecvRig {
protected:
    void SetUp() override {
        RecvRig::SetUp();
        G_NetStreamCfg[kStreamWx].INST = 0;   // markers only counted
    }
    void Chunk(const Bytes& b) { WxProductAssemble(b.data(), static_cast<uint32_t>(b.size())); }
};

TEST_F(Messages, TwoInOneChunkBothDispatchedABadCrcDropped) {
    Bytes two = Message({kWxIdCycle, 1, 2, 3, 4, 5, 6});
    const Bytes second = Message({kWxIdCycle, 4, 0, 0, 0, 0}, true);
    two.insert(two.end(), second.begin(), second.end());
    Chunk(two);
    EXPECT_EQ(G_Wx.nCycleMarkers, 2u);

    Bytes bad = Message({kWxIdCycle, 9, 0, 0, 0, 0});
    bad.back() ^= 1;
    Chunk(bad);
    EXPECT_EQ(G_Wx.nCycleMarkers, 2u);
    EXPECT_EQ(G_WxLink.nFill, 0u);
}

TEST_F(Messages, ALongFormAbove100000BytesIsNotAssembled) {
    const Bytes head = {0xAB, 0xCD, 0xFF, 0xFF, 0x99, 0x86, 0x01, 0x00, kWxIdCycle, 0};   // L32 = 99993: 100001
    Chunk(head);
    EXPECT_TRUE(Logged("WX: lwm"));
    EXPECT_TRUE(Logged("WX: wmtl"));
    Chunk(Message({kWxIdCycle, 0, 0, 0, 0, 0}));
    EXPECT_EQ(G_Wx.nCycleMarkers, 1u) << "the next message is taken";
}

// The stuffed message cut at every place, the escapes included.
TEST_F(Messages, StuffingSplitAcrossChunksIsJoined) {
    const Bytes payload = {kWxIdCycle, 0xAB, 0xCD, 0xAB, 0xCC, 0xAB, 0x00, 0xAB};
    const Bytes stuffed = Stuff(Message(payload));
    ASSERT_GT(stuffed.size(), Message(payload).size());
    for (size_t cut = 2; cut < stuffed.size(); ++cut) {
        SCOPED_TRACE(cut);
        const uint32_t before = G_Wx.nCycleMarkers;
        Chunk(Bytes(stuffed.begin(), stuffed.begin() + static_cast<long>(cut)));
        Chunk(Bytes(stuffed.begin() + static_cast<long>(cut), stuffed.end()));
        EXPECT_EQ(G_Wx.nCycleMarkers, before + 1);
    }
}

TEST_F(Messages, OversizeChunksAreDropped) {
    Chunk(Bytes(501, 0));
    EXPECT_TRUE(Logged("WX: wptb\n"));
    G_WxLink.nFill = 99700;
    Chunk(Bytes(300, 0));
    EXPECT_TRUE(Logged("WX: wptbfb"));
    EXPECT_EQ(G_WxLink.nFill, 99700u);
}

}  // namespace

namespace {

using namespace wxtest;

// What the unit sent to `port` since the last call: flags and data of each TCP segment.
struct Seg {
    uint8_t flags;
    uint32_t seq;
    uint16_t srcPort;
    Bytes data;
};
std::vector<Seg> TakeTo(platform::Board& board, uint16_t port) {
    std::vector<Seg> out;
    for (int i = 0; i < 300 && G_NetRing.nTxRd != G_NetRing.nTxWr; ++i) {
        NET_TxFlush();
        uint8_t buf[2000];
        const int n = board.cs8900().TakeSent(buf, sizeof buf);
        if (n < 54 || buf[23] != 6 || (buf[36] << 8 | buf[37]) != port) continue;
        const uint32_t total = static_cast<uint32_t>(buf[16] << 8 | buf[17]);
        const uint32_t header = (buf[46] >> 4) * 4u;
        out.push_back({buf[47], Get32(buf + 38), static_cast<uint16_t>(buf[34] << 8 | buf[35]),
                       Bytes(buf + 34 + header, buf + 14 + total)});
    }
    return out;
}

const uint8_t kSlaveIp[4] = {192, 168, 0, 176};
const uint8_t kSlaveMac[6] = {0x02, 0, 0, 0, 0, 0xB0};

// The master relays the receiver's bytes unchanged to a display on port 2112.
TEST_F(RecvRig, TheRawStreamIsRelayedOnPort2112) {
    WxOpenListeners();
    auto to = [&](uint8_t flags, uint32_t seq, uint32_t ack) {
        const Bytes f = tcp_peer::Segment({G_NetOwnMac, kSlaveMac, kSlaveIp, G_OwnIp, 40000, kWxRelayPort}, flags, seq,
                                          ack);
        uint8_t slot[kNetSlotBytes] = {};
        std::memcpy(SlotFrame(slot), f.data(), f.size());
        SlotDesc(slot)->nLength = static_cast<uint32_t>(f.size());
        NET_ProcessRx(slot);
    };
    to(0x02, 100, 0);
    const std::vector<Seg> synAck = TakeTo(board(), 40000);
    ASSERT_EQ(synAck.size(), 1u);
    to(0x10, 101, synAck[0].seq + 1);
    const Bytes stream = ProductFrame(Message({kWxIdCycle, 0, 0, 0, 0, 0}));
    WxRecvRxStream(nullptr, stream.data(), static_cast<uint32_t>(stream.size()), 0);
    const std::vector<Seg> relayed = TakeTo(board(), 40000);
    ASSERT_EQ(relayed.size(), 1u);
    EXPECT_EQ(relayed[0].srcPort, kWxRelayPort);
    EXPECT_EQ(relayed[0].data, stream);
    EXPECT_EQ(G_Wx.nCycleMarkers, 1u) << "and taken by the master itself";
}

// The slave follows event 32: it connects to the master's port 2112 while the status is set.
TEST_F(RecvRig, TheSlaveConnectsToTheMastersRelayWhileTheStatusIsSet) {
    G_NetStreamCfg[kStreamWx].INST = kWxSlave;
    std::memcpy(G_WxMasterIp, kWxRecvIp, 4);   // the master answers at the address the cache knows
    WxRecvTask();
    WxRecvTask();
    EXPECT_TRUE(TakeTo(board(), kWxRelayPort).empty()) << "no status from the master yet";
    G_Wx.nProducts = 1;
    for (int i = 0; i < 3; ++i) WxRecvTask();
    const std::vector<Seg> syn = TakeTo(board(), kWxRelayPort);
    ASSERT_EQ(syn.size(), 1u);
    EXPECT_EQ(syn[0].flags, 0x02);
    unitPort_ = syn[0].srcPort;
    unitNext_ = syn[0].seq + 1;
    const Bytes f = tcp_peer::Segment({G_NetOwnMac, kMac, kWxRecvIp, G_OwnIp, kWxRelayPort, unitPort_}, 0x12, 9000,
                                      unitNext_);
    uint8_t slot[kNetSlotBytes] = {};
    std::memcpy(SlotFrame(slot), f.data(), f.size());
    SlotDesc(slot)->nLength = static_cast<uint32_t>(f.size());
    NET_ProcessRx(slot);
    WxRecvTask();
    EXPECT_EQ(G_Wx.nStep, 100);
    EXPECT_TRUE(Logged("WX: ssc"));
    G_Wx.nProducts = 0;   // the master announced status 0
    WxRecvTask();
    EXPECT_EQ(G_WxConn, nullptr);
    EXPECT_EQ(G_Wx.nStep, 0);
}

}  // namespace
