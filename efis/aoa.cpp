// Angle of attack from the wing-pressure input, its calibration file and
// the in-flight calibration (see aoa.h for the model and the file keys).
#include "efis/aoa.h"

#include <cmath>

#include "core/boot.h"
#include "core/spi.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "storage/config.h"

AoaRecord G_Aoa = {};
AoaCfg    G_AoaCfg = {};

namespace {
constexpr int32_t kInstWing = 2;
constexpr int32_t kCfgAoa = 16;
// Dynamic pressure in tenths of a psf per (tenths of a knot)^2, sea-level density.
constexpr double kQPerIas2 = 0.0023769 * 0.5 * (1.6878099 * 1.6878099) * 10.0 / 100.0;
// Below this IAS (tenths of a knot) the pitot pressure is too small for a ratio.
constexpr int32_t kMinRatioIas = 300;

constexpr AoaCfg kDefaultCfg = {0, 1000, 50, 1, 10};

struct AoaKey {
    const char* key;
    int32_t AoaCfg::*field;
};
constexpr AoaKey kKeys[] = {
    {"ZERO_LIFT_CRUISE", &AoaCfg::nZeroLift}, {"STALL", &AoaCfg::nStall},
    {"ARM_AIRSPEED", &AoaCfg::nArmIas},       {"AOA_ENABLE", &AoaCfg::nEnable},
    {"DECLUTTER_SEGMENT", &AoaCfg::nDeclutter},
};

// Wing pressure in tenths of a psf, rounded like the airspeed.
int32_t ReadWingPressure() {
    ScaleAdcChannel(kInstWing);
    const int32_t raw = ReadAdc(kInstWing);
    SetInstCalSegment(kInstWing, raw, 1);
    const GaugeLayout& g = G_GaugeLayout[kInstWing];
    const float v = static_cast<float>(raw) * g.fActiveSlope + g.fActiveIntercept;
    const int32_t psf = SaturateI32(std::trunc(static_cast<double>(v) + 0.5 + G_InstCfg[kInstWing].nShiftAdj));
    const InstAd& a = G_InstAd[kInstWing];
    G_InstReading[kInstWing].nValue = psf;
    G_InstReading[kInstWing].bValid = (a.nAdLow <= raw && raw <= a.nAdHigh) ? 1 : 0;
    return psf;
}
}  // namespace

int32_t AoaSegment(int32_t ratio) {
    const double span = static_cast<double>(G_AoaCfg.nStall) - G_AoaCfg.nZeroLift;
    if (span <= 0) return 0;   // no calibration, or points that give no scale
    const double seg = (static_cast<double>(ratio) - G_AoaCfg.nZeroLift) / span * kAoaTopSegment;
    if (!(seg > 0)) return 0;
    if (seg >= kAoaTopSegment) return kAoaTopSegment;
    return static_cast<int32_t>(seg + 0.5);
}

void ReadAoaChannel() {
    const int32_t psf = ReadWingPressure();
    G_AirData.nWingPressure = static_cast<uint16_t>(psf < 0 ? 0 : (psf > 65535 ? 65535 : psf));
    const int32_t ias = G_AirData.nIas;
    G_AirData.nStallArmIas = SaturateI32(static_cast<double>(G_AoaCfg.nArmIas) * 10.0);
    G_AirData.nStallIas = ias;
    if (ias < kMinRatioIas) {
        G_Aoa.nRatio = 0;
        G_Aoa.nAoa = 0;
        return;
    }
    const double q = kQPerIas2 * static_cast<double>(ias) * ias;
    G_Aoa.nRatio = SaturateI32(std::trunc(static_cast<double>(psf) / q * 1000.0));
    G_Aoa.nAoa = G_AoaCfg.nEnable == 1 ? AoaSegment(G_Aoa.nRatio) : 0;
}

void ReadAoaFile() {
    for (const AoaKey& k : kKeys) LookupCfgInt(k.key, &(G_AoaCfg.*k.field));
}

void LoadAoaFile() {
    G_AoaCfg = kDefaultCfg;
    if (ReadConfigFile(kCfgAoa, kExtKvc) == 0) ParseCalFile(kCfgAoa);
}

void WriteAoaFile() {
    LineWriter out;
    for (const AoaKey& k : kKeys) out.Int(k.key, G_AoaCfg.*k.field);
    WriteEngineFile("AOA.KVC", out.Count(), kCfgAoa, kExtKvc, kPopupRed);
}

void InitAoa() {
    G_Aoa = {};
    LoadAoaFile();
    DebugPrintf("AOA: %s, ZeroLift=%d, Stall=%d\n", G_AoaCfg.nEnable == 1 ? "Enabled" : "Disabled",
                static_cast<int>(G_AoaCfg.nZeroLift), static_cast<int>(G_AoaCfg.nStall));
}

void AoaInflightCal(int32_t step) {
    if (G_Aoa.nCalStep < 1 || G_Aoa.nCalStep > 3) G_Aoa.nCalStep = 1;
    if (step == 2) {
        G_Aoa.nCalStep = 1;
        return;
    }
    if (step != 3) return;
    switch (G_Aoa.nCalStep) {
    case 1:
        G_AoaCfg.nZeroLift = G_Aoa.nRatio;
        G_Aoa.nCalStep = 2;
        break;
    case 2:
        G_AoaCfg.nStall = G_Aoa.nRatio;
        G_Aoa.nCalStep = 3;
        break;
    default:
        WriteAoaFile();
        DebugPrintf("AOA: In-flight Cal Saved, ZeroLift=%d, Stall=%d\n", static_cast<int>(G_AoaCfg.nZeroLift),
                    static_cast<int>(G_AoaCfg.nStall));
        G_Aoa.nCalStep = 1;
        break;
    }
}
