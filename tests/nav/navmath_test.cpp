// Great-circle maths against values computed outside the code (double
// precision spherical formulas on the same 2^18 grid).
#include "nav/navmath.h"

#include <gtest/gtest.h>

namespace {

NavPoint Deg(double lat, double lon) {
    return {static_cast<int32_t>(lat * 262144.0 + (lat < 0 ? -0.5 : 0.5)),
            static_cast<int32_t>(lon * 262144.0 + (lon < 0 ? -0.5 : 0.5))};
}

TEST(NavMath, GreatCircleLegs) {
    struct Case { const char* name; NavPoint a, b; double nm, radians; int32_t bearing; };
    const Case cases[] = {
        {"transatlantic",        Deg(40.6398, -73.7789),  Deg(51.4700, -0.4543),   2989.4357, 0.8695916, 514},
        {"Munich to Vancouver",  Deg(48.1173, 11.51667),  Deg(49.287333, -123.1595), 4502.3324, 1.3096754, 3313},
        {"one mile north-east",  Deg(47.0, 8.0),          Deg(47.01, 8.02),        1.0146723, 0.00029515620, 537},
        {"southern hemisphere",  Deg(-33.9461, 151.1772), Deg(-37.6690, 144.8410), 380.57181, 0.11070385, 2323},
        {"a degree east",        Deg(0, 0),               Deg(0, 1),               60.0,      0.017453293, 900},
        {"a degree north",       Deg(0, 0),               Deg(1, 0),               60.0,      0.017453293, 0},
        {"due west",             Deg(0, 0),               Deg(0, -1),              60.0,      0.017453293, 2700},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(GreatCircleDist(c.a, c.b), c.nm, 1e-4 + c.nm * 1e-7);
        EXPECT_NEAR(GreatCircleBrg(c.a, c.b), c.radians, 1e-6);
        EXPECT_NEAR(CalcBearing(c.a, c.b), c.bearing, 1) << "tenths, single precision";
        EXPECT_EQ(CalcDistTenths(c.a, c.b), static_cast<int32_t>(c.nm * 10 + 0.5));
    }
    // A grid step apart: the law of cosines must not turn into NaN.
    const NavPoint p = Deg(10, 10);
    EXPECT_NEAR(GreatCircleBrg(p, p), 0.0, 1e-7);
    EXPECT_NEAR(GreatCircleDist(p, Deg(10.0001, 10)), 0.0059509, 2e-6);
}

TEST(NavMath, TimesAndSpeedsToGo) {
    const NavPoint a = Deg(0, 0), b = Deg(0, 1);   // 60 NM
    struct Ete { int32_t gs; int32_t seconds; };
    const Ete etes[] = {{1200, 1800}, {51, 42353}, {50, -1}, {0, -1}, {-300, -1}};
    for (const Ete& e : etes) EXPECT_EQ(CalcEte(a, b, e.gs), e.seconds) << "gs " << e.gs;
    EXPECT_EQ(CalcEte(a, a, 1200), -1) << "no distance";

    struct Scale { int32_t bearing, track, gs, out; };
    const Scale scales[] = {
        {900, 900, 1000, 1000},    // straight at it
        {0, 600, 1000, 500},       // 60 degrees off: cos 0.5
        {0, 1200, 1000, 500},      // 120 off folds onto the reciprocal: 60 degrees
        {3550, 50, 1000, 984},     // across north: 10 degrees, cos 0.98481
        {0, 900, 1000, 0},
        {0, 0, 50, -1},            // below 5.1 kt
    };
    for (const Scale& s : scales)
        EXPECT_NEAR(SinTableScale(s.bearing, s.track, s.gs), s.out, 1) << s.bearing << " vs " << s.track;

    struct Within { int32_t h1, h2, yes; };
    const Within within[] = {{0, 900, 1}, {0, 901, 0}, {3500, 800, 1}, {3500, 810, 0}, {1800, 0, 0}, {100, 3200, 1}};
    for (const Within& w : within) EXPECT_EQ(HeadingWithin90(w.h1, w.h2), w.yes) << w.h1 << " vs " << w.h2;
}

}  // namespace
