// The live readout line of the calibration screens and the raw read of an
// instrument's input, in normal sampling or in analog read mode.
#include <cstdio>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/spi.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "ui/knob.h"

uint32_t G_AnalogReadMode = 0;

static constexpr uint32_t kMuxSettleTicks = 92160;   // 25 ms for the multiplexed input to settle
static constexpr int32_t  kReadoutBytes   = 64;

static bool ValidInst(int32_t inst) { return inst >= 0 && inst < kInstruments; }

int32_t ReadInstrumentRaw(int32_t inst) {
    if (G_AnalogReadMode == 0) return static_cast<int32_t>(SetupSampleSteps());
    if (!ValidInst(inst)) return 0;
    // The readings cycle keeps the group it applied last in its scan word:
    // a group it does not know makes it start again at its first step.
    const int32_t mux = G_InstAd[inst].nMuxGroup;
    if (static_cast<uint32_t>(mux) != G_EngScanStep) {
        G_EngScanStep = static_cast<uint32_t>(mux);
        SetAdcChannelMode(mux);
        DelayTicks(kMuxSettleTicks);
    }
    if (inst == kInstSensorTemp) {
        ScaleAdcChannel(0);
        ScaleAdcChannel(3);
        ScaleAdcChannel(2);
    } else if (inst == kInstThermoTemp) {
        for (int32_t ch = kInstEgt1; ch <= kInstTit2; ++ch) ScaleAdcChannel(ch);
    }
    return ReadAdc(inst);
}

// Tenths of a degree Celsius from tenths of a degree Fahrenheit, rounded
// half away from zero through single precision.
static int32_t CelsiusTenths(int32_t f) {
    const double c = (static_cast<double>(static_cast<float>(f)) / 10.0 - 32.0) * 5.0 / 9.0;
    return RoundHalfAway(static_cast<float>(10.0 * static_cast<double>(static_cast<float>(c))));
}

// Tenths of a litre from tenths of a gallon.
static int32_t LitreTenths(int32_t g) {
    return RoundHalfAway(static_cast<float>(10.0 * static_cast<double>(static_cast<float>(
                             static_cast<double>(static_cast<float>(g)) / 10.0 * static_cast<double>(3.78541f)))));
}

static int32_t Scaled(double value, float factor) {
    return RoundHalfAway(static_cast<float>(value * static_cast<double>(factor)));
}

static bool IsReadoutTemperature(int32_t inst) {
    return inst == kInstSensorTemp || inst == kInstOat || inst == kInstOilTemp || inst == kInstCarbTemp ||
           inst == kInstEgt1 || inst == kInstTit1 || inst == kInstCht1 || inst == kInstCoolTemp;
}

bool FormatCalReadout(int32_t inst, char* out, int32_t size) {
    if (!ValidInst(inst) || out == nullptr || size <= 0) return false;
    const int32_t v = G_InstReading[inst].nValue;
    char a[24], b[24];
    auto tenths = [](char* buf, int32_t value, int32_t width) { FormatScaled(buf, 24, value, 1, width); };
    if (inst == kInstAltitude) {
        const int32_t palt = G_AirData.nBaroAlt;
        std::snprintf(out, size, "        PALT: %3d M / %3d FT", static_cast<int>(Scaled(palt, 0.3048f)),
                      static_cast<int>(palt));
    } else if (inst == kInstAirspeed) {
        const bool kmh = G_InstCfg[kInstAirspeed].nUnits == 2;
        const double kt = static_cast<double>(G_AirData.nIas) / 10.0;
        std::snprintf(out, size, kmh ? "   IAS: %3d KPH / %3d KTS" : "   IAS: %3d MPH / %3d KTS",
                      static_cast<int>(Scaled(kt, kmh ? 1.852f : 1.15078f)),
                      static_cast<int>(RoundHalfAway(static_cast<float>(kt))));
    } else if (IsReadoutTemperature(inst)) {
        tenths(a, CelsiusTenths(v), 3);
        tenths(b, v, 3);
        std::snprintf(out, size, "    %s degC / %s degF", a, b);
    } else if (inst == kInstBattVolts || inst == kInstMainVolts || inst == kInstAuxVolts) {
        tenths(a, v, 3);
        std::snprintf(out, size, "    %s Volts", a);
    } else if (inst == kInstManifold) {
        tenths(a, v, 3);
        std::snprintf(out, size, "     %d MBAR / %s INHG",
                      static_cast<int>(Scaled(static_cast<double>(v) / 10.0, 33.8639f)), a);
    } else if (inst == kInstFuelFlow) {
        tenths(a, LitreTenths(v), 3);
        tenths(b, v, 3);
        std::snprintf(out, size, "     %s LPH / %s GPH", a, b);
    } else if (inst == 12 || inst == 16) {
        tenths(a, v, 3);
        std::snprintf(out, size, "    %s PSI", a);
    } else if (inst == kInstAmpsShunt || inst == kInstAmpsHall) {
        tenths(a, v, 3);
        std::snprintf(out, size, "    %s AMPS", a);
    } else if (inst >= kInstElevTrim && inst <= kInstFlapAng) {
        std::snprintf(out, size, "    Pos: %3d %%", static_cast<int>(v / 10));
    } else if (inst == kInstRpm) {
        std::snprintf(out, size, "    %3d RPM", static_cast<int>(v / 10));
    } else if (inst >= kInstTank1 && inst <= kInstTank4) {
        tenths(a, LitreTenths(v), 1);
        tenths(b, v, 1);
        std::snprintf(out, size, "    %s LITERS / %s GALLONS", a, b);
    } else {
        out[0] = 0;
        return false;
    }
    return true;
}

void ShowCalReadout(int32_t inst, int32_t x, int32_t y) {
    char text[kReadoutBytes];
    if (!FormatCalReadout(inst, text, sizeof text)) return;
    // A shorter line leaves nothing of the last one behind.
    const int32_t top = y + static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    GUI_ClearRect(x - 300 < 0 ? 0 : x - 300, top, x, top + 12);
    DrawTextF(14, 6, 2, x, y, "%s", text);
}
