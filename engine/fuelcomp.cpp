#include "engine/fuelcomp.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "engine/instrument.h"
#include "engine/pulse.h"
#include "setup/setup.h"
#include "storage/nvram.h"

uint8_t FuelDataMsg[32] = {};

namespace {
constexpr int32_t kMaxEndurance = 359999;   // 99:59:59
}

static int32_t RoundHalfAway(double v) {
    if (!std::isfinite(v)) return 0;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
}

int32_t FuelEndurance(double remaining, int32_t flow) {
    if (flow == 0) return 0;
    const double s = static_cast<double>(static_cast<float>(remaining) / static_cast<float>(flow) * 3600.0f) + 0.5;
    if (!std::isfinite(s) || s <= 0) return 0;
    return s >= kMaxEndurance ? kMaxEndurance : static_cast<int32_t>(s);
}

void CalcFuelComputer() {
    if (G_NetStreamCfg[kStreamEngine].NET == 2) {
        NvSetF64(kNvGalsUsed, G_InstReading[kInstFuelComp].nValue);
        NvSetF64(kNvGalsRem, G_InstReading[kInstFuelComp].nValue2);
    } else {
        FoldFuelTotals();
    }
    const int32_t endurance = FuelEndurance(FuelRemaining(), G_InstReading[kInstFuelFlow].nValue);
    NvSetU32(164, static_cast<uint32_t>(endurance));
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d", static_cast<int>((endurance / 3600) % 3600),
                  static_cast<int>((endurance / 60) % 60));
    for (uint32_t i = 0; i < sizeof text; ++i) G_NVRam[172 + i] = static_cast<uint8_t>(text[i]);
    BuildFuelDataMsg();
}

// Four digits, last first, and their check digit; the field holds 0..9999.
static void PutField(uint8_t* at, int32_t value) {
    value = value < 0 ? 0 : (value > 9999 ? 9999 : value);
    char digits[8];
    std::snprintf(digits, sizeof digits, "%04d", static_cast<int>(value));
    int32_t sum = 0;
    for (int i = 0; i < 4; ++i) {
        at[i] = static_cast<uint8_t>(digits[3 - i]);
        sum += digits[3 - i] - '0';
    }
    at[4] = static_cast<uint8_t>('0' + sum % 10);
}

// Tenths of a gallon, or whole litres.
static int32_t MsgUnits(int32_t inst, int32_t value, bool litres) {
    const int32_t shown = ToDisplayUnits(inst, value);
    return litres ? RoundHalfAway(shown / 10.0) : shown;
}

void BuildFuelDataMsg() {
    std::memset(FuelDataMsg, 0, sizeof FuelDataMsg);
    const bool litres = G_InstCfg[kInstFuelFlow].nUnits == 1;
    FuelDataMsg[0] = 0x02;
    FuelDataMsg[1] = litres ? 'L' : 'G';
    PutField(&FuelDataMsg[2], MsgUnits(kInstFuelComp, G_InstReading[kInstFuelComp].nValue2, litres));
    PutField(&FuelDataMsg[7], MsgUnits(kInstFuelFlow, G_InstReading[kInstFuelFlow].nValue, litres));
    FuelDataMsg[12] = 0x03;
}

// ---- colour rule ------------------------------------------------------------------

static uint32_t ColourOf(int32_t inst, int32_t v) {
    const InstCfg& c = G_InstCfg[inst];
    if (inst == kInstFuelComp || (inst >= kInstTank1 && inst <= kInstTank4)) {
        if (v <= c.nRedLow) return kColourRed;
        if (v > c.nYellowLow) return kColourGreen;
        return kColourYellow;
    }
    if (inst == kInstRpm) {
        if (v == 0) return kColourWhite;
        if (v >= c.nRedHigh) return kColourRed;
        if (v >= c.nYellowHigh) return kColourYellow;
        if (v > c.nYellowLow || v < c.nRedLow) return kColourWhite;   // outside the mid band
        return kColourYellow;
    }
    if (v >= c.nRedHigh) return kColourRed;
    if (v >= c.nYellowHigh) return kColourYellow;
    if (v > c.nYellowLow) return kColourGreen;
    if (v > c.nRedLow) return kColourYellow;
    return c.nRedLow == c.nMin ? kColourGreen : kColourRed;
}

uint32_t SetInstColor(int32_t inst) {
    if (inst < 0 || inst >= kInstruments) return kColourWhite;
    InstReading& r = G_InstReading[inst];
    const uint32_t colour = ColourOf(inst, r.nValue);
    r.nColour = colour;
    r.reserved[0] = 0;
    return colour;
}
