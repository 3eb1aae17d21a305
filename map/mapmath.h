// Map positions on the pane and back, and the great-circle routines of the
// map and navigation pages. Points are s32 latitude then longitude, 2^18
// units per degree, east and north positive.
#pragma once
#include <cstdint>

constexpr int32_t kMapUnitsPerDeg = 1 << 18;
constexpr int kMapZooms = 13;

struct MapPoint {
    int32_t nLat;
    int32_t nLon;
};
static_assert(sizeof(MapPoint) == 8);

struct MapScreenPoint {
    int16_t x, y;
};

// Pixels per degree of latitude and degrees per pixel, 2^18 fixed point.
extern const int32_t MapScaleTab[kMapZooms];
extern const int32_t MapScaleInvTab[kMapZooms];

extern uint32_t G_MapRotation;                 // tenths of a degree; 0 north up
extern MapScreenPoint G_MapOwnPos[4];          // where the reference is drawn, by view mode

// The longitude scale of a reference latitude (2^18 units per degree):
// cos and 1/cos in 2^18 fixed point, both 1.0 where the cosine vanishes.
void MapSetLonScale(int32_t refLat);

// Forward projection about the reference position.
void MapProject(const MapPoint& ref, const MapPoint& p, int32_t* x, int32_t* y);
// Inverse projection of a pane pixel.
void MapScreenToLatLon(int32_t x, int32_t y, const MapPoint& ref, MapPoint* out);

int32_t CalcBearing(const MapPoint& a, const MapPoint& b);        // tenths 0..3599
double  CalcBearingRad(const MapPoint& a, const MapPoint& b);
double  CalcAngularDist(const MapPoint& a, const MapPoint& b);
int32_t CalcDistTenths(const MapPoint& a, const MapPoint& b);     // tenths of a nautical mile
float   MapFlatDistDeg(const MapPoint& a, const MapPoint& b);
int32_t CalcCrossTrack(const MapPoint& a, const MapPoint& b, const MapPoint& p);   // hundredths, right negative
// Static results, overwritten by the next call. Longitudes past the
// antimeridian are not folded back (a leg across it gives |lon| > 180).
const MapPoint* CalcDestPoint(int32_t hundredthsNm, int32_t courseTenths, const MapPoint& start);
const MapPoint* CalcDestPointRad(double dist, double course, const MapPoint& start);
