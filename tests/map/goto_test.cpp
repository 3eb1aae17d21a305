// The map's GOTO in navigation slot 3: starting and cancelling it, the leg
// kept current from the map source, the origin moved on a course change
// (across north too), the leg cleared without a fix, and the slot shared with
// the other display at most every 250 ms; frames read from the in-process wire.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "map/goto.h"
#include "map/map.h"
#include "map/mapdraw_fixture.h"
#include "map/mapfile.h"
#include "map/mapframe.h"
#include "map/records.h"
#include "nav/navsrc.h"
#include "net/link.h"
#include "net/net.h"

namespace {

constexpr double kOne = 262144.0;
constexpr uint32_t kMs = 3686;

class GotoTest : public MapDrawTest {
protected:
    void SetUp() override {
        MapDrawTest::SetUp();
        board().cs8900().AttachWire(true);
        G_NetIpLocal = 175;
        NET_Init();
        G_MapEnabled = 1;
        MapAt(45.0, -122.5, 0, 1200);
        // Slot 0 is the GPS: the map's source and the EFIS source box.
        G_NavSrc.hdr.nMapSrcSlot = 0;
        G_NavSrc.hdr.nMapCrsSlot = 0;
        G_NavSrc.rec[0].nPort = 3;
    }
    // A fix one degree north of the aircraft is the selected waypoint.
    static void SelectFix(const char* id, double lat, double lon) {
        std::memset(G_WptDb.abFix, 0, sizeof G_WptDb.abFix);
        RecSetS32(G_WptDb.abFix, fix::kLat, static_cast<int32_t>(lat * kOne));
        RecSetS32(G_WptDb.abFix, fix::kLon, static_cast<int32_t>(lon * kOne));
        std::memcpy(G_WptDb.abFix + fix::kId, id, std::strlen(id));
        G_WptDb.nSelKind = kWptFix;
    }
    static void RecSetS32(uint8_t* rec, uint32_t at, int32_t v) { std::memcpy(rec + at, &v, 4); }
    // Link frames sent since the last call: (type, first payload word).
    std::vector<std::pair<int, uint32_t>> Sent() {
        std::vector<std::pair<int, uint32_t>> out;
        NET_TxFlush();
        uint8_t buf[2000];
        for (int n; (n = board().cs8900().TakeSent(buf, sizeof buf)) > 0;) {
            uint32_t word = 0;
            if (n >= 60) std::memcpy(&word, buf + 56, 4);
            out.emplace_back(buf[45], word);
        }
        return out;
    }
    static NavSrcRec& Slot3() { return G_NavSrc.rec[kNavMapSlot]; }
};

TEST_F(GotoTest, StartMakesSlotThreeTheMapSourceThatEverythingFollows) {
    G_NavSrc.rec[0].nMagVar = 150;
    G_NavSrc.rec[0].nTrackMag = 150;
    SelectFix("BTGXYZ", 46.0, -122.5);
    StartGoto();
    const NavSrcRec& s = Slot3();
    EXPECT_EQ(s.nKind, kNavKindMap);
    EXPECT_STREQ(NavSrcKindNames[s.nKind], "MAP");
    EXPECT_EQ(s.bInUse, 1);
    EXPECT_EQ(s.nGpsFlagsA & (kGotoLegStarted | kGotoOriginSet | kGotoDestSet),
              kGotoLegStarted | kGotoOriginSet | kGotoDestSet);
    EXPECT_STREQ(s.szWaypoint, "BTGXY") << "five characters of the identifier";
    EXPECT_FLOAT_EQ(s.fOrigLat, 45.0f);
    EXPECT_FLOAT_EQ(s.fWptLat, 46.0f);
    EXPECT_EQ(s.nDesiredTrack, 150) << "due north plus 15.0 degrees of variation";
    EXPECT_EQ(s.nPort, 3);
    const NavSrcHeader& h = G_NavSrc.hdr;
    EXPECT_EQ(h.nCrsSlot, kNavMapSlot) << "HSI, autopilot and ARINC output";
    EXPECT_EQ(h.nBrgSlot, kNavMapSlot);
    EXPECT_EQ(h.nMapCrsSlot, kNavMapSlot) << "the EFIS source box";
    EXPECT_EQ(h.nMapSrcSlot, 0) << "the map still flies by the GPS";
    EXPECT_EQ(G_GotoActive.bActive, 1);
    EXPECT_EQ(G_GotoActive.bStarted, 1);
    EXPECT_NE(Log().find("Start GOTO: BTGXY\n"), std::string::npos) << Log();

    NavUpdate();
    EXPECT_EQ(s.nDistance, 600) << "one degree of latitude is 60 NM";
    EXPECT_EQ(s.nDistanceCopy, 600);
    EXPECT_EQ(s.nBearing, 150);
    EXPECT_EQ(s.nCrossTrack, 0);
    EXPECT_EQ(s.nCdiFullScale, 200) << "phase code 0";
    EXPECT_NEAR(s.nSpeedToWpt, 1200, 1) << "flying straight at it";
    EXPECT_NEAR(s.nTimeToWpt, 1800, 1) << "60 NM at 120 kt";
    EXPECT_EQ(s.nGpsFlagsA & kGotoDtkSet, kGotoDtkSet);
    ASSERT_EQ(s.nRouteCount, 2);
    EXPECT_EQ(s.route[0].nFlags, kNavRoutePosValid);
    EXPECT_EQ(s.route[1].nFlags, 0x0F);
    EXPECT_STREQ(s.route[1].szIdent, "BTGXY");
    EXPECT_FLOAT_EQ(s.route[1].fLat, 46.0f);

    CancelGoto();
    EXPECT_EQ(G_GotoActive.bActive, 0);
    EXPECT_EQ(s.nGpsFlagsA & (kGotoLegStarted | kGotoOriginSet | kGotoDestSet | kGotoDtkSet), 0);
    EXPECT_EQ(s.nRouteCount, 0);
    EXPECT_EQ(s.nDistance, 0);
    EXPECT_EQ(s.szWaypoint[0], '\0');
}

TEST_F(GotoTest, ANewGotoTellsTheOtherDisplayThatTheOldOneEnded) {
    SelectFix("ONE", 46.0, -122.5);
    StartGoto();
    EXPECT_TRUE(Sent().empty()) << "nothing to cancel yet";
    G_WptDb.nPageFlags = 3;
    SelectFix("TWO", 45.0, -121.5);
    const uint32_t before = ReadOsTimer();
    StartGoto();
    const auto frames = Sent();
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].first, kUdpUserEvent);
    EXPECT_EQ(frames[0].second, 16u) << "STOPNAV";
    EXPECT_GE(ReadOsTimer() - before, kGotoCancelWait) << "10 ms for the other display";
    EXPECT_EQ(G_WptDb.nPageFlags, 0u) << "the cancel closes the waypoint boxes";
    EXPECT_STREQ(Slot3().szWaypoint, "TWO");
    EXPECT_FLOAT_EQ(Slot3().fWptLon, -121.5f);
}

// The leg from (45 N) to a waypoint due north: the course from the origin is
// the variation itself; a desired track more than 1.0 degree away from it
// moves the origin to the present position.
TEST_F(GotoTest, ACourseChangeAboveOneDegreeMovesTheOriginAcrossNorthToo) {
    struct Case { const char* name; int16_t var; int16_t dtk; bool moves; };
    const Case cases[] = {
        {"1.1 degrees", 300, 311, true},
        {"1.0 degree", 300, 310, false},
        {"1.1 degrees past north", 0, 11, true},
        {"1.0 degree past north", 0, 10, false},
        {"1.1 degrees before north", 0, 3589, true},
        {"1.0 degree before north", 0, 3590, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SelectFix("NORTH", 46.0, -122.5);
        G_NavSrc.rec[0].nMagVar = c.var;
        StartGoto();
        NavSrcRec& s = Slot3();
        s.fOrigLat = 45.0f;
        s.fOrigLon = -122.5f;
        s.nDesiredTrack = c.dtk;
        // The aircraft has drifted east of the leg.
        G_MapHeader.nRefLat = static_cast<int32_t>(45.5 * kOne);
        G_MapHeader.nRefLon = static_cast<int32_t>(-122.4 * kOne);
        NavUpdate();
        if (c.moves) {
            EXPECT_FLOAT_EQ(s.fOrigLon, -122.4f);
            EXPECT_FLOAT_EQ(s.fOrigLat, 45.5f);
            EXPECT_EQ(s.nCrossTrack, 0) << "on the new leg";
        } else {
            EXPECT_FLOAT_EQ(s.fOrigLon, -122.5f);
            EXPECT_EQ(s.nDesiredTrack, c.var) << "the course from the origin in force";
            // 0.1 degree of longitude at 45.5 N is 4.2 NM east: right of the leg, negative.
            EXPECT_NEAR(s.nCrossTrack, -421, 3);
        }
        CancelGoto();
        G_MapHeader.nRefLat = static_cast<int32_t>(45.0 * kOne);
        G_MapHeader.nRefLon = static_cast<int32_t>(-122.5 * kOne);
    }
}

TEST_F(GotoTest, WithoutAFixTheLegClearsAndTheUserCourseLastsThreeSeconds) {
    SelectFix("NORTH", 46.0, -122.5);
    StartGoto();
    NavUpdate();
    NavSrcRec& s = Slot3();
    ASSERT_EQ(s.nDistance, 600);
    s.nCrsOverride = 1;
    s.nCourse = 10;
    s.nCrsStamp = ReadOsTimer();
    DelayTicks(2900 * kMs);
    NavUpdate();
    EXPECT_EQ(s.nCrsOverride, 1) << "2.9 s";
    EXPECT_EQ(s.nDesiredTrack, 100) << "the user's course, whole degrees";
    DelayTicks(200 * kMs);
    NavUpdate();
    EXPECT_EQ(s.nCrsOverride, 0) << "3.1 s";

    G_NavSrc.rec[0].nGpsFlagsA = 0;   // the GPS lost its fix
    NavUpdate();
    EXPECT_EQ(s.nGpsFlagsA, 0);
    EXPECT_EQ(s.nDistance, 0);
    EXPECT_EQ(s.nDesiredTrack, 0);
    EXPECT_EQ(s.szWaypoint[0], '\0');
    EXPECT_EQ(s.nRouteCount, 0);
    EXPECT_EQ(s.route[1].nFlags, 0);
}

TEST_F(GotoTest, TheLegGoesToTheOtherDisplayAtMostEveryQuarterSecond) {
    G_NetSerialShare = 1;
    SelectFix("NORTH", 46.0, -122.5);
    StartGoto();
    int sent = 0;
    for (int i = 0; i < 20; ++i) {   // one second of GPS updates 50 ms apart
        NavUpdate();
        for (const auto& f : Sent()) sent += f.first == kUdpMapNav;
        DelayTicks(50 * kMs);
    }
    EXPECT_EQ(sent, 4);
    G_NetSerialShare = 0;
    DelayTicks(300 * kMs);
    NavUpdate();
    EXPECT_TRUE(Sent().empty()) << "sharing off";
}

// The other display's leg arrives in slot 3 (the link marks it active, not
// started here); the map follows it while copies keep coming.
TEST_F(GotoTest, TheMapFollowsTheOtherDisplaysGotoWhileItsCopiesAreFresh) {
    EXPECT_EQ(&MapCourseRecord(), &G_NavSrc.rec[0]) << "no GOTO: the EFIS source box";
    G_GotoActive.bActive = 1;
    G_GotoActive.bStarted = 0;
    Slot3().nRouteStamp = ReadOsTimer();
    EXPECT_EQ(&MapCourseRecord(), &Slot3());
    DelayTicks(3100 * kMs);
    EXPECT_EQ(&MapCourseRecord(), &G_NavSrc.rec[0]) << "no copy for 3.1 s";
    G_GotoActive.bStarted = 1;
    G_NavSrc.hdr.nMapCrsSlot = kNavMapSlot;
    EXPECT_EQ(&MapCourseRecord(), &Slot3()) << "this display's own GOTO";
}

}  // namespace
