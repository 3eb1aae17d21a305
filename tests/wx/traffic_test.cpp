// The traffic list: 0x8C messages unstuffed, checked and bounded, targets
// placed from bearing and distance, the list aged, the demonstration
// targets, and the symbols drawn on the map pane.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/framers.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/util.h"
#include "map/charts.h"
#include "map/map.h"
#include "map/mapdraw_fixture.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "wx/traffic.h"
#include "wx/wx.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Record = std::array<uint8_t, 8>;

// A record: proximity, trend, track eighths, distance eighths, bearing, altitude hundreds.
Record Rec(uint8_t prox, uint8_t trend, uint8_t track, uint8_t dist, uint16_t bearing, int16_t alt) {
    const auto a = static_cast<uint16_t>(alt);
    return {prox, trend, track, dist, static_cast<uint8_t>(bearing), static_cast<uint8_t>(bearing >> 8),
            static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8)};
}

// As a traffic receiver sends it: every 0x10 of the body and checksum doubled.
Bytes Wire(uint8_t count, const std::vector<Record>& recs, int checksumError = 0) {
    Bytes body = {0x8C, static_cast<uint8_t>(8 + 8 * recs.size()), 4, 6, count, 0, 0x67, 1, 0, 0};
    for (const Record& r : recs) body.insert(body.end(), r.begin(), r.end());
    uint8_t sum = 0;
    for (uint8_t b : body) sum = static_cast<uint8_t>(sum + b);
    Bytes out = {0x10};
    for (uint8_t b : body) {
        out.push_back(b);
        if (b == 0x10) out.push_back(0x10);
    }
    out.push_back(static_cast<uint8_t>(-sum + checksumError));
    if (out.back() == 0x10) out.push_back(0x10);
    out.push_back(0x10);
    out.push_back(0x03);
    return out;
}

constexpr int kOwnX = 319, kOwnY = 229;
constexpr uint8_t kBackground = 7;
constexpr uint32_t kSecond = 3686400;

class Traffic : public MapDrawTest {
protected:
    void SetUp() override {
        MapDrawTest::SetUp();
        RunApp([this] { MapAt(0.0, 0.0); });
        G_MapZoom = 9;   // 1375 px a degree: 1 NM is about 23 px
        G_MapRotation = 0;
        G_Traffic = {};
        FillBand(kBackground);
    }
    void Receive(Bytes msg) {
        RunApp([&] { TrafficRxMsg(msg.data(), static_cast<int32_t>(msg.size()), 2); });
    }
    void DrawPage() {
        RunApp([] {
            const OffscreenBand band = BeginOffscreenBand();
            TrafficDrawPage();
            EndOffscreenBand(band);
        });
    }
};

TEST_F(Traffic, MessagesAreUnstuffedCheckedAndBounded) {
    const Record r = Rec(0, 0, 2, 8, 90, 5);
    struct Case {
        const char* name;
        Bytes msg;
        int count;
    };
    const Case cases[] = {
        {"count 25 with 25 records fills 20", Wire(25, std::vector<Record>(25, r)), 20},
        {"count 5 with 2 records takes 2", Wire(5, {r, r}), 2},
        {"count 3 with none takes none", Wire(3, {}), 0},
        {"a bad checksum is dropped", Wire(1, {r}, 1), -1},
        {"another id is dropped", [] { Bytes m = Wire(1, {Rec(0, 0, 0, 8, 1, 0)}); m[1] = 0x8D; return m; }(), -1},
        {"260 bytes are dropped", Wire(20, std::vector<Record>(31, Rec(0x10, 0x10, 0x10, 0x10, 0x1010, 0x1010))), -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_Traffic = {};
        G_Traffic.nCount = 99;   // marks "not parsed"
        Receive(c.msg);
        EXPECT_EQ(G_Traffic.nCount, c.count < 0 ? 99 : c.count);
    }
    EXPECT_NE(Log().find("TRAFFIC: bgc"), std::string::npos) << Log();
    EXPECT_NE(Log().find("DEBUG: Serial Data Recvd on Port:2 switch to SERIAL"), std::string::npos);
    EXPECT_EQ(G_NetStreamCfg[kStreamTraffic].NET, 1u);
    EXPECT_EQ(G_NetStreamCfg[kStreamTraffic].DSRC, 1u);
}

// 0x10 inside a record goes doubled on the wire and comes back single.
TEST_F(Traffic, StuffedRecordBytesComeBackWhole) {
    Receive(Wire(1, {Rec(1, 2, 0x10 / 8, 0x10, 0x0110, -0x10)}));
    ASSERT_EQ(G_Traffic.nCount, 1);
    const TrafficTarget t = G_Traffic.target[0];
    EXPECT_EQ(t.nMark, -10000);
    EXPECT_EQ(t.nFlags, kTrafficProximity | kTrafficDescend);
    EXPECT_EQ(t.nTrack, 900u);
    EXPECT_EQ(t.nDistance, 200u) << "16 eighths";
    EXPECT_EQ(t.nBearing, 2720u) << "272 degrees";
    EXPECT_EQ(t.nRelAlt, -1600);
    EXPECT_EQ(G_Traffic.nStatusA, 4);
    EXPECT_EQ(G_Traffic.nStatusB, 6);
}

// Bearing 10 relative to a track of 355.0: 10 NM on a course of 5 degrees,
// 10/60 x cos 5 = 0.166032 degrees north and 10/60 x sin 5 = 0.014526 east
// (at 45 degrees north, 0.014526 / cos 45 = 0.020543 degrees of longitude).
TEST_F(Traffic, ATargetIsPlacedFromTheOwnTrackAndBearing) {
    RunApp([this] { MapAt(0.0, 0.0, 3550); });
    Receive(Wire(1, {Rec(0, 0, 0, 80, 10, -3)}));
    ASSERT_EQ(G_Traffic.nCount, 1);
    TrafficTarget t = G_Traffic.target[0];
    EXPECT_NEAR(t.nLat / 262144.0, 0.166032, 0.0002);
    EXPECT_NEAR(t.nLon / 262144.0, 0.014526, 0.0002);
    EXPECT_EQ(t.nRelAlt, -300);
    RunApp([this] { MapAt(45.0, -123.0, 3550); });
    Receive(Wire(1, {Rec(0, 0, 0, 80, 10, -3)}));
    t = G_Traffic.target[0];
    EXPECT_NEAR(t.nLat / 262144.0, 45.166032, 0.0002);
    EXPECT_NEAR(t.nLon / 262144.0, -123.0 + 0.020543, 0.0003);
}

TEST_F(Traffic, WithoutAnOwnPositionTheListIsEmptied) {
    G_NavSrc.rec[0].nGpsFlagsA = 0;
    G_Traffic.nCount = 3;
    Receive(Wire(1, {Rec(0, 0, 0, 80, 10, -3)}));
    EXPECT_EQ(G_Traffic.nCount, 0);
}

// 300 ft below: "-03" under the symbol, nothing over it; a proximity target
// 500 ft above: "+05" over it.
TEST_F(Traffic, SymbolsAndRelativeAltitudeOnTheMap) {
    Receive(Wire(2, {Rec(0, 1, 2, 16, 90, -3), Rec(1, 0, 0xFF, 16, 270, 5)}));
    DrawPage();
    int x = 0, y = 0;
    RunApp([&] { MapProject({G_MapFrame.nRefLat, G_MapFrame.nRefLon}, {G_Traffic.target[0].nLat, G_Traffic.target[0].nLon}, &x, &y); });
    EXPECT_NEAR(x, kOwnX + 46, 2) << "2 NM east";
    EXPECT_NEAR(y, kOwnY, 1);
    EXPECT_EQ(Band(x, y - 10), 31) << "the diamond's top";
    EXPECT_GT(Count(31, x - 10, y + 12, x + 10, y + 22), 8) << "the text below";
    EXPECT_EQ(Count(31, x - 10, y - 22, x + 10, y - 14), 0) << "nothing above";
    EXPECT_GT(Count(31, x + 14, y - 8, x + 18, y + 8), 10) << "the climb arrow";
    EXPECT_GT(Count(31, x + 20, y - 2, x + 44, y + 2), 20) << "the track line east";
    const int px = 2 * kOwnX - x;
    EXPECT_EQ(Band(px, y), 14) << "the proximity disc";
    EXPECT_GT(Count(31, px - 10, y - 22, px + 10, y - 12), 8) << "the text above";
    EXPECT_GT(Count(5, 4, 430, 40, 459), 5) << "TRFC in the lower left";
}

// 7 s without news: drawn with red outlines and kept; 11 s: cleared.
TEST_F(Traffic, AStaleListIsDrawnInvalidThenCleared) {
    Receive(Wire(1, {Rec(0, 0, 0, 16, 90, 0)}));
    G_Traffic.nStamp = ReadOsTimer() - 7 * kSecond;
    DrawPage();
    EXPECT_EQ(G_Traffic.nCount, 1);
    EXPECT_GT(Count(2, kOwnX + 30, kOwnY - 15, kOwnX + 60, kOwnY + 15), 20);
    EXPECT_EQ(Count(0, kOwnX + 30, kOwnY - 15, kOwnX + 60, kOwnY + 15), 0);
    G_Traffic.nStamp = ReadOsTimer() - 11 * kSecond;
    FillBand(kBackground);
    DrawPage();
    EXPECT_EQ(G_Traffic.nCount, 0);
    EXPECT_EQ(Count(kBackground, 0, 0, 639, 459), 640 * 460);
    // Status A 3 with status B 6 or more marks a fresh list invalid.
    G_Traffic.nStatusA = 3;
    G_Traffic.nStatusB = 6;
    G_Traffic.nStamp = ReadOsTimer();
    EXPECT_EQ(TrafficDataValid(), 0);
    G_Traffic.nStatusB = 5;
    EXPECT_EQ(TrafficDataValid(), 1);
}

// Target A starts at bearing 45, 40 eighths, 500 ft below and moves once
// before it is taken: bearing 42, 39 eighths, 400 ft below; 61 steps later
// it starts again.
TEST_F(Traffic, DemonstrationTargetsRestart) {
    G_NetStreamCfg[kStreamTraffic].DSRC = 3;
    std::vector<TrafficTarget> first;
    for (int step = 0; step < 62; ++step) {
        RunApp([] { TrafficDemoTargets(); });
        ASSERT_EQ(G_Traffic.nCount, 3);
        const TrafficTarget a = G_Traffic.target[0];
        if (step == 0 || step == 61) {
            SCOPED_TRACE(step);
            EXPECT_EQ(a.nBearing, 420u);
            EXPECT_EQ(a.nDistance, 487u) << "39 eighths";
            EXPECT_EQ(a.nRelAlt, -400);
            EXPECT_EQ(a.nTrack, 2250u);
            EXPECT_EQ(a.nFlags, kTrafficClimb);
        }
    }
    EXPECT_EQ(G_Traffic.nStatusA, 4);
    const TrafficTarget c = G_Traffic.target[2];
    EXPECT_EQ(c.nBearing, 3300u) << "own track 0: 30 degrees left";
    EXPECT_EQ(c.nDistance, 600u);
}

// The demonstration message on the altitude output port, as a receiver would read it.
TEST_F(Traffic, TheDemonstrationGoesOutAsAMessage) {
    G_Serial[3].nFunction = 15;
    G_AltOutPort = 3;
    RunApp([] { TrafficDemoTargets(); });
    // Queued from the ring's start, whether or not the port has sent it yet.
    const SerialRing& ring = G_SerialBuf[3].tx;
    const Bytes sent(ring.abRing, ring.abRing + ring.nWr);
    const Bytes expected = Wire(3, {Rec(0, 1, 5, 39, 42, -4), Rec(0, 2, 4, 39, 48, 19), Rec(0, 0, 0, 48, 330, 0)});
    EXPECT_EQ(sent, expected);
}

// One record at 12500 ft above: the bytes from the id on add up to 240, so
// the checksum is 0x10 and goes doubled, as the length byte 0x10 does. Looped
// back into the port, the unit's own framer ends the message and takes it.
TEST_F(Traffic, AChecksumOf0x10GoesDoubledAndTheFramerEndsTheMessage) {
    G_Serial[3].nFunction = 15;
    const Record r = Rec(0, 0, 2, 8, 90, 125);
    RunApp([&r] { TrafficSendMsg8C(3, 1, r.data(), nullptr, nullptr); });
    const SerialRing& tx = G_SerialBuf[3].tx;
    const Bytes sent(tx.abRing, tx.abRing + tx.nWr);
    const Bytes expected = {0x10, 0x8C, 0x10, 0x10, 4, 6, 1, 0, 0x67, 1, 0, 0,
                            0, 0, 2, 8, 0x5A, 0, 0x7D, 0, 0x10, 0x10, 0x10, 0x03};
    EXPECT_EQ(sent, expected);
    SerialRing& rx = G_SerialBuf[3].rx;
    rx.nWr = rx.nRd = rx.nMsgStart = rx.nMsgEnd = 0;
    for (int i = 0; i < 2; ++i)   // the second message's DLE closes the first
        for (uint8_t b : sent) rx.abRing[rx.nWr++] = b;
    G_Serial[3].fpMsgParse = TrafficRxMsg;
    G_Traffic = {};
    RunApp([] { SerialDleResync(3); });
    ASSERT_EQ(G_Traffic.nCount, 1) << Log();
    EXPECT_EQ(G_Traffic.target[0].nRelAlt, 12500);
    EXPECT_EQ(Log().find("TRAFFIC: bgc"), std::string::npos) << Log();
}

}  // namespace

namespace {

// A chart of 1000 px a degree both ways, west edge at -1 degree longitude,
// north edge at 1 degree: a target at (0.25, -0.5) lands at (500, 750 - 400)
// with the chart scrolled by 400 rows; only targets strictly inside the box
// are drawn.
TEST_F(Traffic, ChartOverlayPlacesTargetsByTheGeoReference) {
    G_Traffic = {};
    G_Traffic.nCount = 2;
    G_Traffic.nStatusA = 4;
    G_Traffic.nStamp = ReadOsTimer();
    G_Traffic.target[0] = {-10000, 0, 0xFFFFFFFFu, 0, 500, 0, static_cast<int32_t>(0.25 * 262144), -131072};
    G_Traffic.target[1] = {-10000, 0, 0xFFFFFFFFu, 0, 500, kTrafficProximity, static_cast<int32_t>(0.9 * 262144), 0};
    ChartPageEntry page = {};
    page.fXScale = 1000.0f;
    page.fYScale = -1000.0f;
    page.fXOffset = 1000.0f;
    page.fYOffset = 1000.0f;
    G_Chart.nScrollY = 400;
    std::memset(Frame(), kBackground, 640 * 480);
    RunApp([&] { TrafficDrawOverlay(&page, GUI_Point{0, 0}, GUI_Point{639, 479}); });
    EXPECT_EQ(Page(500, 350 - 10), 2) << "the diamond's top, red";
    EXPECT_EQ(Page(500 - 11, 350 - 23), 31) << "the altitude box above";
    EXPECT_EQ(Page(500 - 11, 350 + 23), kBackground) << "nothing below";
    // The second target: (1000, -300) lies outside the box.
    int drawn = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 600; x < 640; ++x) drawn += Page(x, y) != kBackground;
    EXPECT_EQ(drawn, 0);
}

}  // namespace
