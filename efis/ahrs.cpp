// The AHRS record and what both protocols share: the pilot's adjustments and
// the load-factor extremes kept in the settings image.
#include "efis/ahrs.h"

#include <cstring>

#include "storage/nvram.h"

AhrsRecord G_Ahrs = {};
AhrsState G_AhrsState = {};

uint8_t* AhrsClockSettings() { return G_NVRam + kNvClockBlock; }

static int32_t ReadI32(const uint8_t* p) {
    int32_t v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// Non-negative remainder, for any sign of a.
static int64_t Modulo(int64_t a, int64_t m) {
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

void ApplyAttitudeAdjust(AhrsRecord* ahrs, const uint8_t* clk) {
    // 64-bit sums: an adjustment read from a damaged settings image cannot overflow.
    int64_t roll = Modulo(int64_t{ahrs->nRoll} + ReadI32(clk + kClkRollAdj), 3600);
    if (roll > 1800) roll -= 3600;   // past +180 degrees is banked the other way
    ahrs->nRoll = static_cast<int32_t>(roll);
    // Pitch does not fold over: 89 degrees nose up plus 2 stays 90, never 1.
    int64_t pitch = int64_t{ahrs->nPitch} + 10 * int64_t{ReadI32(clk + kClkPitchAdj)};
    if (pitch > 9000) pitch = 9000;
    if (pitch < -9000) pitch = -9000;
    ahrs->nPitch = static_cast<int32_t>(pitch);
    ahrs->nHeading = static_cast<int32_t>(Modulo(int64_t{ahrs->nHeading} + ReadI32(clk + kClkHeadingAdj), 3600));
}

int32_t ClampLoadFactor(int32_t value) {
    if (value > kLoadFactorMax) return kLoadFactorMax;
    if (value < -kLoadFactorMax) return -kLoadFactorMax;
    return value;
}

void KeepLoadFactorExtremes(int32_t loadFactor) {
    if (loadFactor > static_cast<int32_t>(NvGetU32(kNvGMeterMax))) NvSetU32(kNvGMeterMax, static_cast<uint32_t>(loadFactor));
    if (loadFactor < static_cast<int32_t>(NvGetU32(kNvGMeterMin))) NvSetU32(kNvGMeterMin, static_cast<uint32_t>(loadFactor));
}
