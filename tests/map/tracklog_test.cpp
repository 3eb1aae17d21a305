// The ground-track ring, offered points on the board's own clock.
#include <gtest/gtest.h>

#include "core/ostimer.h"
#include "map/tracklog.h"
#include "nav/navsrc.h"
#include "platform/hw.h"
#include "support/board_fixture.h"

namespace {

class TrackLogTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        G_NavSrc.hdr.nMapSrcSlot = 3;
        Moving(120, true);
    }
    static void Moving(int16_t tenthsKt, bool fix) {
        G_NavSrc.rec[3].nGroundSpeed = tenthsKt;
        G_NavSrc.rec[3].nGpsFlagsA = fix ? kNavGpsValid : 0;
    }
    // Moves the OS timer on, as that much board time would (it wraps).
    void Wait(double seconds) {
        board().SetOscr(board().Oscr() + static_cast<uint32_t>(seconds * kTicksPerSecond));
    }
    static uint32_t Stored() { return (G_TrackLog.nWrite + kTrackPoints - G_TrackLog.nRead) % kTrackPoints; }
};

TEST_F(TrackLogTest, OnePointPerTenSecondsWhileMovingWithAFix) {
    Wait(11);
    TrackAddPoint(45.5f, -122.25f);
    ASSERT_EQ(Stored(), 1u);
    EXPECT_EQ(+G_TrackLog.points[0].nLat, 11927552);
    EXPECT_EQ(+G_TrackLog.points[0].nLon, -32047104);
    Wait(5);
    TrackAddPoint(45.6f, -122.25f);
    EXPECT_EQ(Stored(), 1u) << "5 s apart";
    Wait(6);
    TrackAddPoint(45.7f, -122.25f);
    EXPECT_EQ(Stored(), 2u) << "11 s after the first";
    struct Case {
        int16_t speed;
        bool fix;
        uint32_t stored;
    };
    const Case cases[] = {{50, true, 2}, {51, true, 3}, {200, false, 3}, {200, true, 4}};
    for (const Case& c : cases) {
        Moving(c.speed, c.fix);
        Wait(11);
        TrackAddPoint(46.0f, -122.0f);
        EXPECT_EQ(Stored(), c.stored) << c.speed << (c.fix ? " fix" : " no fix");
    }
}

TEST_F(TrackLogTest, AnOfferWithoutAFixRestartsTheInterval) {
    Wait(11);
    Moving(200, false);
    TrackAddPoint(45.0f, -122.0f);
    Moving(200, true);
    Wait(5);
    TrackAddPoint(45.0f, -122.0f);
    EXPECT_EQ(Stored(), 0u);
}

TEST_F(TrackLogTest, AFullRingKeepsTheNewest1199) {
    for (int i = 0; i < 1200; ++i) {
        Wait(10.01);
        TrackAddPoint(static_cast<float>(i) / 1000.0f, 0.0f);
    }
    EXPECT_EQ(Stored(), 1199u);
    const MapPoint& oldest = G_TrackLog.points[G_TrackLog.nRead];
    EXPECT_EQ(oldest.nLat, static_cast<int32_t>(0.001f * 262144.0f)) << "the first point was dropped";
    const MapPoint& newest = G_TrackLog.points[(G_TrackLog.nWrite + kTrackPoints - 1) % kTrackPoints];
    EXPECT_EQ(newest.nLat, static_cast<int32_t>(1.199f * 262144.0f));
}

}  // namespace
