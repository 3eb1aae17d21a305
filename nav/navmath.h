// Navigation maths shared by the source merge, the demonstration source and
// the map: great-circle distance and bearing between positions of 2^18 units
// per degree, times to go, and speeds resolved along a bearing with the
// tenth-degree cosine table (2^18 = 1.0, CosTab10).
#pragma once
#include <cstdint>

#include "ui/style.h"   // SinTab10, CosTab10

constexpr int32_t kNavUnitsPerDegree = 1 << 18;   // positions: 2^18 units per degree
constexpr int32_t kNavMinSpeedTenths = 51;        // 5.1 kt: below it no time or speed to go

#pragma pack(push, 1)
struct NavPoint {               // an 8-byte position point
    int32_t nLat;               // 2^18 units per degree, north positive
    int32_t nLon;               // 2^18 units per degree, east positive
};
#pragma pack(pop)
static_assert(sizeof(NavPoint) == 8);

// Degrees (float, as the slots hold them) to a point and back.
NavPoint NavPointFromDegrees(float lat, float lon);

// The central angle between two positions in radians (spherical law of
// cosines, its cosine held to -1..1 so nearby points give 0, not NaN).
double  GreatCircleBrg(const NavPoint& a, const NavPoint& b);
// Great-circle distance in nautical miles (one minute of arc each).
double  GreatCircleDist(const NavPoint& a, const NavPoint& b);
// Initial great-circle bearing from a to b, tenths of a degree 0..3599.
int32_t CalcBearing(const NavPoint& a, const NavPoint& b);
// Great-circle distance in tenths of a nautical mile.
int32_t CalcDistTenths(const NavPoint& a, const NavPoint& b);
// Seconds to fly from a to b at a ground speed in tenths of a knot;
// -1 below 5.1 kt or when the distance is not above 0.
int32_t CalcEte(const NavPoint& from, const NavPoint& to, int32_t speedTenths);
// 1 when two headings (tenths of a degree) differ by at most 90 degrees.
int32_t HeadingWithin90(int32_t heading1, int32_t heading2);
// The angle between two headings (tenths), folded to 0..900: a difference
// above 90 degrees is taken against the reciprocal heading.
int32_t FoldedAngle(int32_t heading1, int32_t heading2);
// A speed (tenths of a knot) resolved along `bearing` while flying `track`:
// speed x table cosine of their folded angle, shifted right by 18;
// -1 below 5.1 kt.
int32_t SinTableScale(int32_t bearing, int32_t track, int32_t speedTenths);
