// Projection and great-circle routines against values computed in Python
// (math, double precision) with the same formulas: +-1 in the last unit,
// where single precision differs.
#include <gtest/gtest.h>

#include "map/map.h"
#include "map/mapmath.h"

namespace {

constexpr int32_t U = 262144;
MapPoint P(double lat, double lon) { return {static_cast<int32_t>(lat * U), static_cast<int32_t>(lon * U)}; }

class MapMathTest : public ::testing::Test {
protected:
    void SetUp() override { G_MapEnabled = 1; }
};

TEST_F(MapMathTest, BearingsAndDistances) {
    struct Case {
        MapPoint a, b;
        int32_t bearing, dist;
    };
    const Case cases[] = {
        {{0, 0}, {0, U}, 900, 600},
        {{0, 0}, {U, 0}, 0, 600},
        {{0, 0}, {0, -U}, 2700, 600},
        {{0, 0}, {-U, 0}, 1800, 600},
        {P(45.5887, -122.5975), P(47.4502, -122.3088), 60, 1123},
        {P(47.4502, -122.3088), P(45.5887, -122.5975), 1862, 1123},
        {P(45.5887, -122.5975), P(37.6188, -122.375), 1787, 4783},
    };
    for (const Case& c : cases) {
        EXPECT_NEAR(CalcBearing(c.a, c.b), c.bearing, 1) << c.b.nLat << "," << c.b.nLon;
        EXPECT_NEAR(CalcDistTenths(c.a, c.b), c.dist, 1) << c.b.nLat << "," << c.b.nLon;
    }
}

TEST_F(MapMathTest, NeutralAnswersBeforeAMapIsLoaded) {
    G_MapEnabled = 0;
    EXPECT_EQ(CalcBearing({0, 0}, {0, U}), 0);
    EXPECT_EQ(CalcDistTenths({0, 0}, {0, U}), 9999);
}

TEST_F(MapMathTest, CrossTrackIsNegativeRightOfTheCourse) {
    EXPECT_NEAR(CalcCrossTrack({0, 0}, {0, 2 * U}, P(-0.1, 1)), -600, 1);
    EXPECT_NEAR(CalcCrossTrack({0, 0}, {0, 2 * U}, P(0.1, 1)), 600, 1);
    EXPECT_NEAR(CalcCrossTrack(P(45.5887, -122.5975), P(47.4502, -122.3088), P(37.6188, -122.375)), -6023, 1);
}

TEST_F(MapMathTest, DestinationPoints) {
    struct Case {
        int32_t hundredths, course;
        MapPoint start, want;
    };
    const Case cases[] = {
        {6000, 900, {0, 0}, {0, 262143}},
        {12000, 450, P(45.5887, -122.5975), {12316702, -31594758}},
        {3000, 2250, P(37.6188, -122.375), {9768641, -32196328}},
    };
    for (const Case& c : cases) {
        const MapPoint* p = CalcDestPoint(c.hundredths, c.course, c.start);
        EXPECT_NEAR(p->nLat, c.want.nLat, 2) << c.course;
        EXPECT_NEAR(p->nLon, c.want.nLon, 2) << c.course;
    }
}

TEST_F(MapMathTest, ZoomZeroNorthUpAndTheExactInverseOfTheOwnShipPoint) {
    G_MapZoom = 0;
    G_MapRotation = 0;
    G_MapViewMode = 2;
    G_MapOwnPos[2] = {320, 300};
    G_MapLonScale = G_MapLonScaleInv = 0x40000;
    const MapPoint ref = P(45.0, -122.0);
    int32_t x = 0, y = 0;
    MapProject(ref, {ref.nLat + U, ref.nLon}, &x, &y);
    EXPECT_EQ(x, 320);
    EXPECT_EQ(y, 300 - 33);
    MapProject(ref, {ref.nLat, ref.nLon + U}, &x, &y);
    EXPECT_EQ(x, 320 + 33) << "east is right, north up";
    G_MapRotation = 900;   // track east: east is up
    MapProject(ref, {ref.nLat, ref.nLon + U}, &x, &y);
    EXPECT_NEAR(x, 320, 1);
    EXPECT_EQ(y, 300 - 32) << "the table sine of 90 degrees is one unit short";
    MapPoint back{};
    for (uint32_t rot : {0u, 900u, 1234u}) {
        G_MapRotation = rot;
        MapScreenToLatLon(320, 300, ref, &back);
        EXPECT_EQ(back.nLat, ref.nLat);
        EXPECT_EQ(back.nLon, ref.nLon);
    }
    G_MapRotation = 0;
    MapScreenToLatLon(320, 300 - 33, ref, &back);
    EXPECT_NEAR(back.nLat, ref.nLat + U, 7943 / 2 + 1) << "within one zoom-0 pixel";
}

TEST_F(MapMathTest, ScaleTables) {
    const int32_t perDegree[kMapZooms] = {33, 66, 0, 137, 206, 275, 412, 550, 825, 1375, 2062, 2750, 4125};
    for (int z = 0; z < kMapZooms; ++z) {
        if (perDegree[z]) {
            EXPECT_EQ(MapScaleTab[z] >> 18, perDegree[z]) << z;
        }
        EXPECT_EQ(MapScaleInvTab[z], static_cast<int32_t>((int64_t{1} << 36) / MapScaleTab[z])) << z;
    }
    EXPECT_EQ(MapScaleTab[2], 24029954);
}

}  // namespace
