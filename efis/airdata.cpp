// The air-data computer: the 8-step channel cycle of the air-data converter
// and the chain from each channel to the record: pressure and indicated
// altitude with vertical speed and density altitude, IAS with TAS, the
// sensor temperature and OAT.
#include "efis/airdata.h"

#include <cmath>
#include <cstring>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/spi.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "setup/setup.h"
#include "storage/nvram.h"

AirData     G_AirData = {};
AirspeedCfg G_AirspeedCfg = {};

namespace {
constexpr int32_t kHistoryWindow = 60;
constexpr int32_t kPrimePasses = 40;
constexpr int32_t kSensorTempSettleReads = 100;
constexpr uint32_t kCycleStates = 8;
constexpr double kVsiPerTickSlope = 221184000.0;   // ticks per minute

uint32_t s_cycle = 0;
// Local sampling ran primed: false after a start with the other display as
// source, so the history is primed when local sampling begins.
bool s_primed = false;

struct CycleRow {
    int32_t count;
    int32_t ch[2];
};
// Altitude, airspeed and angle of attack every 50 ms; the temperatures every 200 ms.
constexpr CycleRow kCycle[kCycleStates] = {
    {1, {0, 0}}, {2, {3, 2}}, {2, {0, 1}}, {2, {3, 2}}, {1, {0, 0}}, {2, {3, 2}}, {2, {6, 0}}, {2, {3, 2}},
};

float ActiveProduct(int32_t inst, int32_t raw) {
    SetInstCalSegment(inst, raw, 1);
    const GaugeLayout& g = G_GaugeLayout[inst];
    return static_cast<float>(raw) * g.fActiveSlope + g.fActiveIntercept;
}

uint8_t InWindow(int32_t inst, int32_t raw) {
    const InstAd& a = G_InstAd[inst];
    return (a.nAdLow <= raw && raw <= a.nAdHigh) ? 1 : 0;
}

int32_t AddShift(int32_t value, int32_t inst) {
    return SaturateI32(static_cast<double>(value) + G_InstCfg[inst].nShiftAdj);
}

void SetReading(int32_t inst, int32_t value, uint8_t valid) {
    G_InstReading[inst].nValue = value;
    G_InstReading[inst].bValid = valid;
}

// Sensor temperature and OAT: the offset is added before the truncation.
void ConvertTemperature(int32_t c) {
    const int32_t raw = ReadAdc(c);
    const float v = ActiveProduct(c, raw);
    const int32_t value = SaturateI32(std::trunc(static_cast<double>(v) + 0.5 + G_InstCfg[c].nShiftAdj));
    const uint8_t valid = InWindow(c, raw);
    SetReading(c, value, valid);
    if (c == kInstOat) {
        G_AirData.nOat = value;
        G_AirData.bOatValid = valid;
    }
}
}  // namespace

int32_t RoundHalfAwayF(double v) { return RoundNearest(static_cast<double>(static_cast<float>(v))); }

uint32_t& AirdataCycleState() { return s_cycle; }

void ReadAltitudeChannel() {
    ScaleAdcChannel(kInstAltitude);
    const int32_t raw = ReadAdc(kInstAltitude);
    const double v = static_cast<double>(ActiveProduct(kInstAltitude, raw));
    const int32_t pa = AddShift(SaturateI32(std::trunc(v < 0 ? v - 0.5 : v + 0.5)), kInstAltitude);
    G_AirData.nPressAlt = pa;
    G_AirData.nBaroAlt = SaturateI32(static_cast<double>(pa) + G_AirData.nBaroAltOffset);
    SetReading(kInstAltitude, pa, InWindow(kInstAltitude, raw));
    AvgCircAdd(&G_AirData.history, pa, static_cast<uint32_t>(G_InstAd[kInstAltitude].nStamp));
    CalcVsi();
    CalcDensityAlt();
}

void ReadAirspeedChannel() {
    ScaleAdcChannel(kInstAirspeed);
    const int32_t raw = ReadAdc(kInstAirspeed);
    const double v = static_cast<double>(ActiveProduct(kInstAirspeed, raw));
    const int32_t ias = AddShift(SaturateI32(std::trunc(v + 0.5)), kInstAirspeed);
    SetReading(kInstAirspeed, ias, InWindow(kInstAirspeed, raw));
    G_AirData.nIas = ias;
}

void CalcTas() {
    const float f = static_cast<float>(std::pow(1.0 - 6.8755856e-6 * G_AirData.nDensityAlt, 2.12794));
    // Beyond about 145,000 ft (an invalid sensor) the base turns negative:
    // a factor that is not a positive number gives no TAS rather than garbage.
    if (!std::isfinite(f) || !(f > 0.0f)) {
        G_AirData.nTas = 0;
        return;
    }
    const float kt = (static_cast<float>(G_AirData.nIas) / 10.0f) / f;
    const int32_t tas = SaturateI32(std::trunc(static_cast<double>(kt) * 10.0 + 0.5));
    G_AirData.nTas = tas < 0 ? 0 : tas;
}

void CalcDensityAlt() {
    const double pa = G_AirData.nPressAlt;
    const float tc = static_cast<float>((static_cast<double>(G_AirData.nOat) / 10.0 - 32.0) * 5.0 / 9.0);
    const double da = pa + 118.6 * (static_cast<double>(tc) - (15.0 - 0.0019812 * pa));
    G_AirData.nDensityAlt = RoundHalfAwayF(da);
}

void CalcVsi() {
    const double slope = AvgCircSlope(&G_AirData.history);
    const double product = slope * kVsiPerTickSlope;
    const float single = static_cast<float>(product);
    const double mag = std::trunc(std::fabs(static_cast<double>(single)) + 0.5);
    int32_t vs = SaturateI32(product < 0 ? -mag : mag);
    if (vs > kVsLimit) vs = kVsLimit;
    if (vs < -kVsLimit) vs = -kVsLimit;
    G_AirData.nVs = vs;
    G_InstReading[kInstVertSpeed].nValue = vs;
    G_AirData.nVsAvg = AvgAdd(&G_AirData.vsAvg, vs);
}

void ConvertAirChannel(int32_t channel) {
    switch (channel) {
    case 0: ReadAltitudeChannel(); break;
    case 1: case 6: ConvertTemperature(channel); break;
    case 2: ReadAoaChannel(); break;
    case 3:
        ReadAirspeedChannel();
        CalcTas();
        break;
    default: break;
    }
}

static void PrimeHistory() {
    AvgCircInit(&G_AirData.history, kHistoryWindow, G_AirData.nPressAlt, ReadOsTimer());
    AvgInit(&G_AirData.vsAvg, 0, kHistoryWindow);
    s_primed = true;
}

void PrimeAirdata() {
    for (int32_t i = 0; i < kSensorTempSettleReads; ++i) ReadAdc(kInstSensorTemp);
    for (int32_t pass = 0; pass < kPrimePasses; ++pass)
        for (int32_t c = 0; c < 8; ++c) ConvertAirChannel(c);
    PrimeHistory();
}

void InitOatInstrument() {
    GaugeLayout& g = G_GaugeLayout[kInstOat];
    int32_t x = 0, y = 0;
    GaugePosition(kInstOat, static_cast<int32_t>(G_EngLayoutIdx), &x, &y);
    g.nOrigin[0] = x;
    g.nOrigin[1] = y;
    CalcInstCalSlopes(kInstOat);
    // The A/D value of MAX on the scale; a flat segment has none.
    SetInstCalSegment(kInstOat, G_InstCfg[kInstOat].nMax, 0);
    if (g.fActiveSlope != 0.0f) {
        const double ad = (static_cast<double>(G_InstCfg[kInstOat].nMax) - g.fActiveIntercept) / g.fActiveSlope;
        g.nScale[1] = SaturateI32(std::trunc(ad < 0 ? ad - 0.5 : ad + 0.5));
        g.nScale2[2] = SaturateI32(static_cast<double>(g.nScale[0]) - g.nScale[1]);
    }
    G_InstCfg[kInstOat].nUnits = static_cast<int32_t>(NvGetU32(kNvOatUnits) & 0xFF);
}

void InitAirdata() {
    std::memset(G_AirData.scratch, 0, sizeof(AirData) - offsetof(AirData, scratch));
    s_cycle = 0;
    s_primed = false;
    InputsNop();
    InitOatInstrument();
    if (G_NetStreamCfg[kStreamAir].NET != 2) PrimeAirdata();
    InitAoa();
}

void AirdataSampleStep() {
    const bool local = G_NetStreamCfg[kStreamAir].NET != 2;
    if (local) {
        if (!s_primed) PrimeAirdata();
        G_AirData.nFresh = kAirFreshLoad;
        std::memset(G_AirData.bNetState, 0, sizeof G_AirData.bNetState);
    }
    if (s_cycle >= kCycleStates) {
        s_cycle = 0;
        return;
    }
    const CycleRow& row = kCycle[s_cycle];
    for (int32_t i = 0; i < row.count; ++i) ConvertAirChannel(row.ch[i]);
    s_cycle = (s_cycle + 1) % kCycleStates;
}
