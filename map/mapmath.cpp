// The map projection and the great-circle routines.
#include "map/mapmath.h"

#include <cmath>
#include <cstdint>

#include "map/map.h"
#include "nav/navmath.h"
#include "ui/style.h"

constexpr double kPi = 3.14159265358979323846;
constexpr float kTwoPiCut = 6.2831802f;   // the routines' own modulus, a little short of 2 pi

const int32_t MapScaleTab[kMapZooms] = {8650752,   17301504,  24029954,  36044800,  54067200,
                                        72089600,  108134400, 144179200, 216268800, 360448000,
                                        540672000, 720896000, 1081344000};
const int32_t MapScaleInvTab[kMapZooms] = {7943, 3971, 2859, 1906, 1271, 953, 635, 476, 317, 190, 127, 95, 63};

uint32_t G_MapRotation = 0;
MapScreenPoint G_MapOwnPos[4] = {};

void MapSetLonScale(int32_t refLat) {
    const float rad = static_cast<float>(static_cast<float>(refLat) / 262144.0f * kPi / 180.0);
    const float c = std::cos(rad);
    if (std::lround(c * 8388608.0f) == 0) {
        G_MapLonScale = G_MapLonScaleInv = 0x40000;
        return;
    }
    G_MapLonScale = static_cast<uint32_t>(static_cast<int32_t>(c * 262144.0f));
    // Near the poles 1/cos outgrows 32 bits: held at the largest scale.
    const double inv = 262144.0 / std::fabs(static_cast<double>(c));
    G_MapLonScaleInv = inv >= 2147483647.0 ? 0x7FFFFFFFu : static_cast<uint32_t>(inv);
}

static uint32_t Angle(uint32_t tenths) { return tenths % kTrigSteps; }

void MapProject(const MapPoint& ref, const MapPoint& p, int32_t* x, int32_t* y) {
    const int64_t dlat = static_cast<int64_t>(p.nLat) - ref.nLat, dlon = static_cast<int64_t>(p.nLon) - ref.nLon;
    const int64_t c = CosTab10[Angle(G_MapRotation)], s = SinTab10[Angle(G_MapRotation)];
    const int64_t k = G_MapLonScale, m = MapScaleTab[G_MapZoom < kMapZooms ? G_MapZoom : 0];
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    const int64_t a = (((dlon * c) >> 18) * k) >> 18, b = (dlat * s) >> 18;
    const int64_t a2 = (((dlon * s) >> 18) * k) >> 18, b2 = (dlat * c) >> 18;
    *x = static_cast<int32_t>(own.x + (((a - b) * m) >> 36));
    *y = static_cast<int32_t>(own.y - (((a2 + b2) * m) >> 36));
}

void MapScreenToLatLon(int32_t x, int32_t y, const MapPoint& ref, MapPoint* out) {
    const MapScreenPoint own = G_MapOwnPos[G_MapViewMode & 3];
    const int64_t X = static_cast<int64_t>(x - own.x) * 262144, Y = static_cast<int64_t>(y - own.y) * 262144;
    const int64_t c = CosTab10[Angle(G_MapRotation)], s = SinTab10[Angle(G_MapRotation)];
    const int64_t i = MapScaleInvTab[G_MapZoom < kMapZooms ? G_MapZoom : 0], ki = G_MapLonScaleInv;
    out->nLon = static_cast<int32_t>(ref.nLon + ((((((X * c) >> 18) - ((Y * s) >> 18)) * i) >> 18) * ki >> 18));
    out->nLat = static_cast<int32_t>(ref.nLat - (((((X * s) >> 18) + ((Y * c) >> 18)) * i) >> 18));
}

// Radians of a stored angle: degrees in single precision, the rest double.
static double Rad(int32_t v) { return static_cast<double>(static_cast<float>(v) / 262144.0f) * kPi / 180.0; }

static int32_t RoundHalfAway(float v) { return static_cast<int32_t>(std::lround(v)); }

int32_t CalcBearing(const MapPoint& a, const MapPoint& b) {
    if (!G_MapEnabled) return 0;
    const float lat1 = static_cast<float>(Rad(a.nLat)), lat2 = static_cast<float>(Rad(b.nLat));
    const float lon1 = static_cast<float>(-Rad(a.nLon)), lon2 = static_cast<float>(-Rad(b.nLon));
    const float y = std::sin(lon1 - lon2) * std::cos(lat2);
    const float x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(lon1 - lon2);
    const float theta = std::fmod(std::atan2(y, x), kTwoPiCut);
    const float degrees = static_cast<float>(theta * 180.0 / kPi);
    return (RoundHalfAway(degrees * 10.0f) + 3600) % 3600;
}

double CalcBearingRad(const MapPoint& a, const MapPoint& b) {
    const double lat1 = Rad(a.nLat), lat2 = Rad(b.nLat), lon1 = -Rad(a.nLon), lon2 = -Rad(b.nLon);
    const double y = std::sin(lon1 - lon2) * std::cos(lat2);
    const double x = std::cos(lat1) * std::sin(lat2) - std::sin(lat1) * std::cos(lat2) * std::cos(lon1 - lon2);
    return std::fmod(std::atan2(y, x), static_cast<double>(kTwoPiCut));
}

double CalcAngularDist(const MapPoint& a, const MapPoint& b) {
    const double lat1 = Rad(a.nLat), lat2 = Rad(b.nLat), lon1 = -Rad(a.nLon), lon2 = -Rad(b.nLon);
    double c = std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(lon1 - lon2);
    if (c > 1.0) c = 1.0;   // rounding past 1 would give NaN for a point and itself
    if (c < -1.0) c = -1.0;
    return std::acos(c);
}

int32_t CalcDistTenths(const MapPoint& a, const MapPoint& b) {
    if (!G_MapEnabled) return 9999;
    const float nm = static_cast<float>(GreatCircleDist(NavPoint{a.nLat, a.nLon}, NavPoint{b.nLat, b.nLon}));
    const int32_t tenths = RoundHalfAway(nm * 10.0f);
    return tenths == -10 ? 9999 : tenths;
}

float MapFlatDistDeg(const MapPoint& a, const MapPoint& b) {
    const float dlat = static_cast<float>(a.nLat - static_cast<int64_t>(b.nLat)) / 262144.0f;
    const float dlon = static_cast<float>(a.nLon - static_cast<int64_t>(b.nLon)) / 262144.0f;
    const float c = std::cos(static_cast<float>(Rad(b.nLat)));
    return static_cast<float>(std::sqrt(static_cast<double>(dlat * dlat + (dlon * c) * (dlon * c))));
}

int32_t CalcCrossTrack(const MapPoint& a, const MapPoint& b, const MapPoint& p) {
    const double d = CalcAngularDist(a, p);
    const double x = -std::asin(std::sin(d) * std::sin(CalcBearingRad(a, p) - CalcBearingRad(a, b)));
    const float nm = static_cast<float>(x * 180.0 / kPi * 60.0);
    return RoundHalfAway(nm * 100.0f);
}

static MapPoint s_dest, s_destRad;

static void DestPoint(double d, double tc, const MapPoint& start, MapPoint* out) {
    const double lat1 = Rad(start.nLat), lon1 = -Rad(start.nLon);
    const double lat = std::asin(std::sin(lat1) * std::cos(d) + std::cos(lat1) * std::sin(d) * std::cos(tc));
    double lon = lon1;
    if (std::cos(lat) != 0.0)
        lon = std::fmod(lon1 - std::asin(std::sin(tc) * std::sin(d) / std::cos(lat)) + kPi,
                        static_cast<double>(kTwoPiCut)) - kPi;
    out->nLat = static_cast<int32_t>(lat * 180.0 / kPi * 262144.0);
    out->nLon = static_cast<int32_t>(lon * -180.0 / kPi * 262144.0);
}

const MapPoint* CalcDestPoint(int32_t hundredthsNm, int32_t courseTenths, const MapPoint& start) {
    DestPoint(hundredthsNm * 0.01 / 60.0 * kPi / 180.0, courseTenths * 0.1 * kPi / 180.0, start, &s_dest);
    return &s_dest;
}

const MapPoint* CalcDestPointRad(double dist, double course, const MapPoint& start) {
    DestPoint(dist, course, start, &s_destRad);
    return &s_destRad;
}
