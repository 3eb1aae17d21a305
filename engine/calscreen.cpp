// Fuel limits in display units, shared by the engine settings screens
// (which stand on the setup-screen kit).
#include <climits>
#include <cstdint>

#include "core/util.h"
#include "engine/calscreens.h"
#include "engine/instrument.h"
#include "setup/setup.h"
#include "ui/knob.h"

static int32_t FuelStep(int32_t inst) { return G_InstCfg[inst].nUnits == 1 ? 10 : 1; }

int32_t EditFuelLimit(int32_t inst, int32_t value, int32_t delta) {
    const float step = FromDisplayUnits(inst, static_cast<float>(delta * FuelStep(inst)));
    const int64_t sum = static_cast<int64_t>(value) + RoundHalfAway(step);
    if (sum > INT32_MAX) return INT32_MAX;
    if (sum < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(sum);
}

int32_t ShownFuelLimit(int32_t inst, int32_t value) {
    return RoundHalfAway(static_cast<float>(ToDisplayUnits(inst, value)) / static_cast<float>(FuelStep(inst)));
}
