// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include <cmath>

#include "core/pending.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"

void SetNavSrcKinds() {}
void FindNavSources() {}
void UpdateNavSrc(int32_t) { ++G_PendingCalls[kPcUpdateNavSrc]; }
void DemoNavCtrl(uint32_t) {}
void RestartDemoNav() {}
uint16_t GetCdiScale(uint8_t) { return 0; }
void SendAviationOutput(uint32_t) {}
void SendArincFrame(uint32_t) { ++G_PendingCalls[kPcSendArincFrame]; }
void ApVerticalTick() {}
void ApLateralTick() {}
void ApUpdateNav() {}
void LoadApSettings() {}
void DefaultApSettings() {}
// No receiver decoders yet: their messages are dropped.
void ParseNmeaMsg(uint8_t*, int32_t, uint32_t) {}
void ParseVorMsg(uint8_t*, int32_t, uint32_t) {}
void ParseArincMsg(uint8_t*, int32_t, uint32_t) {}
void ParseAvaiationMsg(uint8_t*, int32_t, uint32_t) {}
void ClearNmeaGpsSlot() {}
void ClearVorRadio() {}
void ClearAvtnGps() {}

// The spherical law of cosines, until the navigation maths land here.
double GreatCircleBrg(const int32_t* a, const int32_t* b) {
    constexpr double kRad = 3.14159265358979323846 / 180.0 / 262144.0;
    const double lat1 = a[0] * kRad, lat2 = b[0] * kRad, dlon = (a[1] - static_cast<double>(b[1])) * kRad;
    double c = std::sin(lat1) * std::sin(lat2) + std::cos(lat1) * std::cos(lat2) * std::cos(dlon);
    if (c > 1.0) c = 1.0;
    if (c < -1.0) c = -1.0;
    return std::acos(c);
}

double GreatCircleDist(const int32_t* a, const int32_t* b) {
    return GreatCircleBrg(a, b) * (180.0 / 3.14159265358979323846) * 60.0;
}
