#include "nav/navmath.h"

#include <cmath>

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kNmPerRadian = 60.0 * 180.0 / kPi;   // a nautical mile is a minute of arc
constexpr float  kTwoPiBearing = 6.2831802f;          // the bearing's fmod, as the map uses it

// Exact: the distance keeps the grid's resolution on short legs.
double Radians(int32_t units) { return static_cast<double>(units) / kNavUnitsPerDegree * kPi / 180.0; }

// The bearing's single-precision degrees, as the map computes it.
float RadiansF(int32_t units) {
    return static_cast<float>(static_cast<double>(static_cast<float>(units) / static_cast<float>(kNavUnitsPerDegree)) *
                              kPi / 180.0);
}

int32_t RoundAway(double v) { return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5); }

int32_t Wrap3600(int32_t v) { return ((v % 3600) + 3600) % 3600; }
}

NavPoint NavPointFromDegrees(float lat, float lon) {
    return {static_cast<int32_t>(static_cast<double>(lat) * kNavUnitsPerDegree),
            static_cast<int32_t>(static_cast<double>(lon) * kNavUnitsPerDegree)};
}

double GreatCircleBrg(const NavPoint& a, const NavPoint& b) {
    const double lat1 = Radians(a.nLat), lat2 = Radians(b.nLat);
    const double dlon = Radians(a.nLon) - Radians(b.nLon);
    double c = std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(dlon);
    if (c > 1.0) c = 1.0;
    if (c < -1.0) c = -1.0;
    return std::acos(c);
}

double GreatCircleDist(const NavPoint& a, const NavPoint& b) {
    // Haversine: keeps short legs exact where the law of cosines loses them.
    const double lat1 = Radians(a.nLat), lat2 = Radians(b.nLat);
    const double sdlat = std::sin((lat2 - lat1) / 2);
    const double sdlon = std::sin((Radians(b.nLon) - Radians(a.nLon)) / 2);
    double h = sdlat * sdlat + std::cos(lat1) * std::cos(lat2) * sdlon * sdlon;
    if (h > 1.0) h = 1.0;
    return 2.0 * std::asin(std::sqrt(h)) * kNmPerRadian;
}

int32_t CalcBearing(const NavPoint& a, const NavPoint& b) {
    // Longitudes enter negated (west positive), in single precision.
    const float lat1 = RadiansF(a.nLat), lat2 = RadiansF(b.nLat);
    const float dlon = RadiansF(b.nLon) - RadiansF(a.nLon);   // lon1 - lon2 with west positive
    const float y = std::sin(dlon) * std::cos(lat2);
    const float x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(dlon);
    const float theta = std::fmod(std::atan2(y, x), kTwoPiBearing);
    const float degrees = static_cast<float>(static_cast<double>(theta) * 180.0 / kPi);
    return Wrap3600(RoundAway(static_cast<double>(degrees) * 10.0));
}

int32_t CalcDistTenths(const NavPoint& a, const NavPoint& b) {
    const float nm = static_cast<float>(GreatCircleDist(a, b));
    return RoundAway(static_cast<double>(nm) * 10.0);
}

int32_t CalcEte(const NavPoint& from, const NavPoint& to, int32_t speedTenths) {
    if (speedTenths < kNavMinSpeedTenths) return -1;
    const double nm = GreatCircleDist(from, to);
    if (!(nm > 0.0)) return -1;
    return RoundAway(nm * 36000.0 / speedTenths);
}

int32_t FoldedAngle(int32_t heading1, int32_t heading2) {
    int32_t d = Wrap3600(heading1 - heading2);
    if (d > 1800) d = 3600 - d;
    if (d > 900) d = 1800 - d;
    return d;
}

int32_t HeadingWithin90(int32_t heading1, int32_t heading2) {
    int32_t d = Wrap3600(heading1 - heading2);
    if (d > 1800) d = 3600 - d;
    return d <= 900 ? 1 : 0;
}

int32_t SinTableScale(int32_t bearing, int32_t track, int32_t speedTenths) {
    if (speedTenths < kNavMinSpeedTenths) return -1;
    const int64_t c = CosTab10[static_cast<size_t>(FoldedAngle(bearing, track))];
    return static_cast<int32_t>((static_cast<int64_t>(speedTenths) * c) >> 18);
}
