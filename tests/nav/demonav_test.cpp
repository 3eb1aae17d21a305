// The demonstration GPS: a fix flying its route from the stored position,
// and the same place again after a restart.
#include <cmath>

#include "core/ostimer.h"
#include "nav/navmath.h"
#include "nav/navsrc.h"
#include "support/board_fixture.h"

namespace {

class DemoNavTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        InitOsTimer();
        InitNavSrc();
    }
    static void Fly(double seconds) {
        for (double t = 0; t < seconds; t += 0.1) {
            DemoNavCtrl(kNavNoPort);
            DelayTicks(kTicksPerSecond / 10);
        }
    }
};

TEST_F(DemoNavTest, FliesItsRouteFromTheStoredPosition) {
    NavSrcRec& r = G_NavSrc.rec[0];
    r.fLat = 47.5f;
    r.fLon = 8.5f;
    r.nGpsFlagsB = kNavGpsOwnPos;
    RestartDemoNav();
    Fly(1);
    EXPECT_NEAR(r.fLat, 47.5, 0.01) << "starts where the last position was";
    EXPECT_NEAR(r.fLon, 8.5, 0.01);
    EXPECT_TRUE(r.nGpsFlagsA & kNavGpsValid);
    EXPECT_TRUE(r.nGpsFlagsB & kNavGpsFix);
    EXPECT_STREQ(r.szWaypoint, "DEMO1");
    EXPECT_EQ(int{r.nGroundSpeed}, 1200);
    EXPECT_NEAR(r.nTrackTrue, 0, 1) << "the first leg runs north";
    EXPECT_EQ(int{r.nTrackMag}, 3580) << "2 degrees east variation";
    EXPECT_EQ(r.nRouteCount, 4);
    EXPECT_EQ(r.route[0].nFlags, kNavRoutePosValid | kNavRouteActive);
    // 15 NM at 120 kt: 7.5 minutes; 0.25 degree of latitude to go.
    EXPECT_NEAR(r.nDistance, 150, 1);
    EXPECT_NEAR(r.nTimeToWpt, 450, 3);

    Fly(60);   // two miles further
    EXPECT_NEAR(r.nDistance, 130, 1);
    EXPECT_NEAR(r.fLat, 47.5 + 2.0 / 60, 0.001);
    Fly(400);  // past DEMO1, now eastbound
    EXPECT_STREQ(r.szWaypoint, "DEMO2");
    EXPECT_NEAR(r.nTrackTrue, 900, 20);
    EXPECT_EQ(r.route[1].nFlags, kNavRoutePosValid | kNavRouteActive);

    const float lat = r.fLat;
    RestartDemoNav();
    Fly(0.5);
    EXPECT_NEAR(r.fLat, lat, 0.01) << "a restart begins the route again at the present position";
    EXPECT_STREQ(r.szWaypoint, "DEMO1");
}

}  // namespace
