// Conversion of instrument values between their internal units (feet, knots,
// tenths of a degree Fahrenheit, tenths of a gallon ...) and the display unit
// the pilot has chosen. Conversions are linear (temperatures with their 32
// degree offset), so tenths stay tenths.
#include <cstdint>
#include "engine/instrument.h"
#include "setup/setup.h"
#include "storage/nvram.h"
#include "ui/style.h"

namespace {

constexpr int32_t kLastInst = 47;

enum class Unit { kNone, kMetres, kMph, kKmh, kCelsius, kMbar, kLitres };

int32_t UnitsOf(int32_t inst) { return G_InstCfg[inst].nUnits; }

bool IsTemperature(int32_t inst) {
    return inst == kInstOilTemp || inst == kInstCarbTemp || (inst >= kInstEgt1 && inst <= kInstCht6) ||
           inst == kInstCoolTemp;
}

Unit UnitOf(int32_t inst) {
    if (inst < 0 || inst > kLastInst) return Unit::kNone;
    if (inst == kInstAltitude || inst == kInstVertSpeed) {
        const int32_t u = UnitsOf(kInstAltitude);
        return (u == 1 || u == 3) ? Unit::kMetres : Unit::kNone;
    }
    if (inst == kInstAirspeed) {
        const int32_t u = UnitsOf(kInstAirspeed);
        return u == 1 ? Unit::kMph : u == 2 ? Unit::kKmh : Unit::kNone;
    }
    if (inst == kInstOat) return NvGetU32(kNvOatUnits) == 1 ? Unit::kCelsius : Unit::kNone;
    if (inst == kInstManifold) return UnitsOf(inst) == 1 ? Unit::kMbar : Unit::kNone;
    // The fuel computer's totals are fuel quantities like the tanks and share
    // FUEL_FLOW's unit; left out, a litre box would show gallon tenths.
    if (inst == kInstFuelFlow || inst == kInstFuelComp || (inst >= kInstTank1 && inst <= kInstTank4))
        return UnitsOf(kInstFuelFlow) == 1 ? Unit::kLitres : Unit::kNone;
    if (IsTemperature(inst)) return UnitsOf(inst) == 1 ? Unit::kCelsius : Unit::kNone;
    return Unit::kNone;
}

// Half away from zero, saturated to the i32 range.
int32_t RoundHalfAway(double x) {
    if (!(x == x)) return 0;
    const double r = x < 0 ? x - 0.5 : x + 0.5;
    if (r >= 2147483647.0) return INT32_MAX;
    if (r <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(r);
}

// The integer through single precision, as the unit computes it.
double Tenths(int32_t value) { return static_cast<double>(static_cast<float>(value)) / 10.0; }

// A product narrowed to single precision and widened again.
double ViaFloat(double x) { return static_cast<double>(static_cast<float>(x)); }

int32_t Scaled(int32_t value, float factor) {
    return RoundHalfAway(10.0 * ViaFloat(Tenths(value) * static_cast<double>(factor)));
}

}  // namespace

int32_t ToDisplayUnits(int32_t inst, int32_t value) {
    switch (UnitOf(inst)) {
    case Unit::kMetres: return Scaled(value, 0.3048f);
    case Unit::kMph: return Scaled(value, 1.15078f);
    case Unit::kKmh: return Scaled(value, 1.852f);
    case Unit::kMbar: return Scaled(value, 33.8639f);
    case Unit::kCelsius: return RoundHalfAway(10.0 * ViaFloat((Tenths(value) - 32.0) * 5.0 / 9.0));
    case Unit::kLitres:
        return RoundTo5(static_cast<float>(Tenths(value) * static_cast<double>(3.78541f) * 10.0));
    case Unit::kNone: break;
    }
    return value;
}

float FromDisplayUnits(int32_t inst, float value) {
    switch (UnitOf(inst)) {
    case Unit::kMetres: return value * 3.28084f;
    case Unit::kMph: return value * 0.868976f;
    case Unit::kKmh: return value * 0.5399568f;
    case Unit::kMbar: return value * 0.02953337f;
    case Unit::kCelsius: return value * 1.8f;
    case Unit::kLitres: return value * 0.264172f;
    case Unit::kNone: break;
    }
    return value;
}
