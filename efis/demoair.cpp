// The demo air-data source: a deterministic flight of 400 s that repeats,
// climbing and descending 1500 ft about 3000 ft with the matching vertical
// speed, speeding up and slowing down about 110 kt, the OAT falling with
// altitude and the angle of attack following the airspeed.
#include <cmath>
#include <initializer_list>

#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"

namespace {
constexpr double kStepSeconds = 0.025;
constexpr double kAltPeriod = 200.0, kIasPeriod = 400.0, kTwoPi = 6.283185307179586;
uint32_t s_step = 0;
}  // namespace

void DemoAirdataStep() {
    const double t = (s_step++ % 16000u) * kStepSeconds;   // 400 s at 25 ms
    const double altPhase = kTwoPi * t / kAltPeriod;
    const int32_t pa = RoundHalfAwayF(3000.0 + 1500.0 * std::sin(altPhase));
    const int32_t vs = RoundHalfAwayF(1500.0 * kTwoPi / kAltPeriod * 60.0 * std::cos(altPhase));
    const int32_t ias = RoundHalfAwayF(1100.0 - 350.0 * std::cos(kTwoPi * t / kIasPeriod));
    G_AirData.nPressAlt = pa;
    G_AirData.nBaroAlt = pa + G_AirData.nBaroAltOffset;
    G_AirData.nVs = vs;
    G_AirData.nVsAvg = vs;
    G_AirData.nIas = ias;
    // Standard lapse of about 3.6 degF per 1000 ft from 65 degF at sea level.
    G_AirData.nOat = RoundHalfAwayF(650.0 - 0.0357 * pa);
    G_AirData.bOatValid = 1;
    G_AirData.nFresh = kAirFreshLoad;
    CalcDensityAlt();
    CalcTas();
    // 30 segments from 75 kt down to zero lift at 145 kt and above.
    const double seg = (1450.0 - ias) / 700.0 * kAoaTopSegment;
    G_Aoa.nAoa = seg <= 0 ? 0 : (seg >= kAoaTopSegment ? kAoaTopSegment : static_cast<int32_t>(seg));
    G_AirData.nStallIas = ias;
    G_AirData.nStallArmIas = G_AoaCfg.nArmIas * 10;
    for (int32_t inst : {kInstAltitude, kInstAirspeed, kInstOat, kInstVertSpeed}) G_InstReading[inst].bValid = 1;
    G_InstReading[kInstAltitude].nValue = pa;
    G_InstReading[kInstAirspeed].nValue = ias;
    G_InstReading[kInstOat].nValue = G_AirData.nOat;
    G_InstReading[kInstVertSpeed].nValue = vs;
}
