// Display-unit conversions: the rounding (half away from zero, through single
// precision) and the unit selectors each instrument follows.
#include <gtest/gtest.h>
#include "engine/instrument.h"
#include "setup/setup.h"
#include "storage/nvram.h"

namespace {

struct ToCase {
    int32_t inst, units, value, shown;
    const char* what;
};

// `units` goes to the instrument whose selector applies (ALTITUDE for
// altitude and vertical speed, FUEL_FLOW for fuel and tanks, the NVRAM word
// for the OAT, the instrument itself otherwise).
void SelectUnits(int32_t inst, int32_t units) {
    if (inst == kInstAltitude || inst == kInstVertSpeed) G_InstCfg[kInstAltitude].nUnits = units;
    else if (inst == kInstOat) NvSetU32(kNvOatUnits, static_cast<uint32_t>(units));
    else if (inst == kInstFuelFlow || inst == kInstFuelComp || (inst >= kInstTank1 && inst <= kInstTank4)) G_InstCfg[kInstFuelFlow].nUnits = units;
    else if (inst >= 0 && inst <= 47) G_InstCfg[inst].nUnits = units;
}

TEST(UnitsTest, ToDisplayUnitsByInstrumentAndSelector) {
    const ToCase cases[] = {
        {kInstAltitude, 1, 1000, 305, "feet to metres"},
        {kInstAltitude, 3, 1000, 305, "metres also under selector 3"},
        {kInstAltitude, 0, 1000, 1000, "feet kept"},
        {kInstAltitude, 2, 1000, 1000, "selector 2 keeps feet"},
        {kInstVertSpeed, 1, -500, -152, "vertical speed follows ALTITUDE, negative away from zero"},
        {kInstAirspeed, 1, 1000, 1151, "knots to mph"},
        {kInstAirspeed, 2, 1000, 1852, "knots to km/h"},
        {kInstOat, 1, 320, 0, "32 F is 0 C"},
        {kInstOat, 1, 0, -178, "0 F is -17.8 C, rounded away from zero"},
        {kInstOat, 0, 0, 0, "Fahrenheit kept"},
        {kInstManifold, 1, 299, 10125, "29.9 inHg to 1012.5 mbar"},
        {kInstFuelFlow, 1, 100, 380, "10 gal/h to 37.85 l/h in half litres"},
        {kInstTank1, 1, 123, 465, "tank follows FUEL_FLOW: 46.56 l to 46.5"},
        {kInstFuelComp, 1, 300, 1135, "fuel computer totals follow FUEL_FLOW too"},
        {kInstOilTemp, 1, 2120, 1000, "212 F is 100 C"},
        {kInstEgt1 + 3, 1, 14000, 7600, "EGT in Celsius"},
        {kInstCoolTemp, 1, 320, 0, "coolant in Celsius"},
        {kInstRpm, 1, 24000, 24000, "RPM has no unit choice"},
        {48, 1, 777, 777, "beyond the table"},
        {-1, 1, 777, 777, "negative index"},
    };
    for (const ToCase& c : cases) {
        for (auto& cfg : G_InstCfg) cfg.nUnits = 0;
        NvSetU32(kNvOatUnits, 0);
        SelectUnits(c.inst, c.units);
        EXPECT_EQ(ToDisplayUnits(c.inst, c.value), c.shown) << c.what;
    }
}

TEST(UnitsTest, LitresComeInHalfUnitSteps) {
    G_InstCfg[kInstFuelFlow].nUnits = 1;
    for (int32_t tenths = 0; tenths < 300; ++tenths) EXPECT_EQ(ToDisplayUnits(kInstTank1 + 1, tenths) % 5, 0) << tenths;
}

TEST(UnitsTest, FromDisplayUnitsScalesStepsWithoutOffset) {
    G_InstCfg[kInstOilTemp].nUnits = 1;
    EXPECT_FLOAT_EQ(FromDisplayUnits(kInstOilTemp, 10.0f), 18.0f);   // no 32 added
    G_InstCfg[kInstFuelFlow].nUnits = 1;
    EXPECT_FLOAT_EQ(FromDisplayUnits(kInstTank1 + 2, 100.0f), 26.4172f);
    G_InstCfg[kInstAltitude].nUnits = 3;
    EXPECT_FLOAT_EQ(FromDisplayUnits(kInstVertSpeed, 100.0f), 328.084f);
    EXPECT_FLOAT_EQ(FromDisplayUnits(kInstRpm, 100.0f), 100.0f);
    EXPECT_FLOAT_EQ(FromDisplayUnits(48, 5.0f), 5.0f);
}

}  // namespace
