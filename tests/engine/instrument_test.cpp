// Calibration curves, segment choice and the conversion of each instrument kind.
#include "engine/instrument.h"

#include <cmath>

#include "core/adc.h"
#include "core/boot.h"
#include "engine/engine.h"
#include "engine/layout.h"
#include "engine_fixture.h"
#include "platform/gpio.h"
#include "storage/config.h"
#include "storage/nvram.h"

namespace {

constexpr int kInManifold = 4, kInCommon = 0, kInEgt = 9, kInElevTrim = 6;

class InstrumentTest : public EngineTest {
protected:
    // Sets an engine input and converts the instrument with its filter
    // settled on that input (a first conversion fills the converter's pipeline).
    void Convert(int32_t inst, int input, uint16_t ad) {
        board().engineAdc().SetInput(input, -1, ad);
        SetAdcChannelMode(inst);
        UpdateInstReading(inst);
        G_InstAd[inst].nFiltAcc = ad << G_InstAd[inst].nFiltScale;
        UpdateInstReading(inst);
    }
    // The reading's fields, copied out of the packed record.
    struct Reading {
        int32_t nValue, nValue2;
        uint8_t bValid;
    };
    static Reading R(int32_t inst) {
        const InstReading& r = G_InstReading[inst];
        return {r.nValue, r.nValue2, r.bValid};
    }
};

TEST_F(InstrumentTest, StandardConversionThroughTheCurve) {
    struct Case {
        const char* name;
        std::vector<std::pair<int32_t, int32_t>> points;   // (display, A/D)
        int32_t shift;
        uint16_t ad;
        int32_t value;
        uint8_t valid;
    };
    const Case cases[] = {
        {"inside a rising line", {{0, 0}, {1000, 4000}}, 0, 2000, 500, 1},
        {"plus SHIFT_ADJ", {{0, 0}, {1000, 4000}}, 7, 2000, 507, 1},
        {"beyond the last point, out of range", {{0, 0}, {1000, 4000}}, 0, 4095, 1024, 0},
        {"below the plausible range", {{0, 0}, {1000, 4000}}, 0, 10, 3, 0},
        {"falling A/D", {{0, 4000}, {1000, 0}}, 0, 1000, 750, 1},
        {"falling A/D, extrapolated", {{0, 4000}, {1000, 2000}}, 0, 1000, 1500, 1},
        {"on an inner point", {{0, 0}, {100, 1000}, {300, 2000}}, 0, 1000, 100, 1},
        {"second segment", {{0, 0}, {100, 1000}, {300, 2000}}, 0, 1500, 200, 1},
        {"equal display values: slope 1", {{50, 0}, {50, 1000}, {150, 2000}}, 0, 500, 550, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        G_InstCfg[kInstManifold].nShiftAdj = c.shift;
        SetCurve(kInstManifold, c.points);
        Convert(kInstManifold, kInManifold, c.ad);
        EXPECT_EQ(R(kInstManifold).nValue, c.value);
        EXPECT_EQ(R(kInstManifold).bValid, c.valid);
    }
}

TEST_F(InstrumentTest, SegmentChoiceAndExtrapolation) {
    // Rising and falling three-point curves; the active slope names the segment.
    struct Case {
        std::vector<std::pair<int32_t, int32_t>> points;
        int32_t x;
        int32_t column;
        float slope;
    };
    const Case cases[] = {
        {{{0, 0}, {100, 1000}, {300, 2000}}, -50, 1, 0.1f},   // before the first point: segment 0
        {{{0, 0}, {100, 1000}, {300, 2000}, {400, 3000}}, 1000, 1, 0.2f},   // shared point: the later segment
        {{{0, 0}, {100, 1000}, {300, 2000}}, 9000, 1, 0.2f},  // beyond the last point: the copy
        {{{0, 0}, {100, 1000}, {300, 2000}}, 150, 0, 0.2f},   // display column
        {{{0, 3000}, {100, 2000}, {300, 1000}}, 3500, 1, -0.1f},
        {{{0, 3000}, {100, 2000}, {300, 1000}}, 500, 1, -0.2f},
        {{{0, 3000}, {100, 2000}, {300, 1000}}, 2500, 1, -0.1f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "x " << c.x << " column " << c.column);
        SetCurve(kInstManifold, c.points);
        SetInstCalSegment(kInstManifold, c.x, c.column);
        EXPECT_FLOAT_EQ(G_GaugeLayout[kInstManifold].fActiveSlope, c.slope);
    }
}

TEST_F(InstrumentTest, PointCountsAreClampedAndShortCurvesAreTheIdentity) {
    G_InstCfg[kInstManifold].nMin = 10;
    G_InstCfg[kInstManifold].nMax = 90;
    for (int32_t count : {-3, 0, 1}) {
        SCOPED_TRACE(count);
        G_InstCal[kInstManifold].nNumPts = count;
        CalcInstCalSlopes(kInstManifold);
        const InstCal& cal = G_InstCal[kInstManifold];
        EXPECT_EQ(cal.nNumPts, 2);
        EXPECT_FLOAT_EQ(cal.segment[0].fSlope, 1.0f);
        EXPECT_EQ(cal.segment[0].nStartAd, 10);
        EXPECT_EQ(cal.segment[1].nStartAd, 90);
    }
    G_InstCal[kInstManifold].nNumPts = 30;
    for (int i = 0; i < kCalPoints; ++i) G_InstCal[kInstManifold].point[i] = {i * 10, i * 100};
    CalcInstCalSlopes(kInstManifold);
    EXPECT_EQ(G_InstCal[kInstManifold].nNumPts, 24);
    Convert(kInstManifold, kInManifold, 4000);
    EXPECT_EQ(R(kInstManifold).nValue, 400) << "extrapolated from the 24th point";
}

TEST_F(InstrumentTest, BrokenCurvesGiveAnInvalidReadingNeverACrash) {
    // Equal A/D values with different display values: no slope joins them.
    SetCurve(kInstManifold, {{0, 1000}, {500, 1000}, {1000, 2000}});
    EXPECT_TRUE(std::isfinite(G_InstCal[kInstManifold].segment[0].fSlope));
    EXPECT_NE(Log().find("InstNum:11 equal A/D points\n"), std::string::npos);
    Convert(kInstManifold, kInManifold, 1000);
    EXPECT_EQ(R(kInstManifold).bValid, 0) << "on the broken segment";
    Convert(kInstManifold, kInManifold, 1500);
    EXPECT_EQ(R(kInstManifold).bValid, 1) << "on the sound segment";
    EXPECT_EQ(R(kInstManifold).nValue, 750);

    // Points spanning the whole i32 range: the value does not fit a reading.
    SetCurve(kInstManifold, {{INT32_MIN, 0}, {INT32_MAX, 1}});
    Convert(kInstManifold, kInManifold, 3000);
    EXPECT_EQ(R(kInstManifold).bValid, 0);
    EXPECT_EQ(R(kInstManifold).nValue, INT32_MAX);

    // A flat segment's zero slope is replaced and logged.
    SetCurve(kInstManifold, {{0, 0}, {0, 0}});
    G_InstCal[kInstManifold].segment[0].fSlope = 0.0f;
    G_InstCal[kInstManifold].segment[1].fSlope = 0.0f;
    SetInstCalSegment(kInstManifold, 5, 1);
    EXPECT_FLOAT_EQ(G_GaugeLayout[kInstManifold].fActiveSlope, 1.0f);
    EXPECT_NE(Log().find("InstNum:11 ZERO Slope Corrected\n"), std::string::npos);
}

TEST_F(InstrumentTest, KindsOfConversion) {
    SetCurve(kInstAmpsHall, {{0, 0}, {4095, 4095}});
    Convert(kInstAmpsHall, kInCommon, 1000);
    EXPECT_EQ(R(kInstAmpsHall).nValue, 3095) << "Hall current rises as its voltage falls";
    EXPECT_EQ(R(kInstAmpsHall).bValid, 1);

    // Trims: no SHIFT_ADJ, always valid, show timer only on a move of more than one count.
    G_InstCfg[kInstElevTrim].nShiftAdj = 50;
    Convert(kInstElevTrim, kInElevTrim, 500);
    EXPECT_EQ(R(kInstElevTrim).nValue, 500);
    EXPECT_EQ(R(kInstElevTrim).nValue2, 30);
    G_InstReading[kInstElevTrim].nValue2 = 5;
    Convert(kInstElevTrim, kInElevTrim, 501);
    EXPECT_EQ(R(kInstElevTrim).nValue2, 5) << "one count keeps the timer";
    Convert(kInstElevTrim, kInElevTrim, 503);
    EXPECT_EQ(R(kInstElevTrim).nValue2, 30);
    EXPECT_EQ(G_GaugeLayout[kInstElevTrim].nShownValue, 503);
    Convert(kInstElevTrim, kInElevTrim, 4095);
    EXPECT_EQ(R(kInstElevTrim).bValid, 1);

    // Disabled: converted, but invalid.
    G_InstCfg[kInstManifold].nEnable = 0;
    Convert(kInstManifold, kInManifold, 2000);
    EXPECT_EQ(R(kInstManifold).nValue, 2000);
    EXPECT_EQ(R(kInstManifold).bValid, 0);

    // FADEC data: the manifold is not converted, the shunt current is.
    G_NetStreamCfg[kStreamEngine].DSRC = 1;
    G_InstCfg[kInstManifold].nEnable = 1;
    Convert(kInstManifold, kInManifold, 1234);
    EXPECT_EQ(R(kInstManifold).nValue, 2000);
    Convert(kInstAmpsShunt, kInCommon, 1234);
    EXPECT_EQ(R(kInstAmpsShunt).nValue, 1234);
}

TEST_F(InstrumentTest, ProbeTemperatureCorrection) {
    struct Case {
        const char* name;
        int32_t reference;
        int32_t value;
    };
    // Calibrated at a reference of 2000 counts: +50 % above, -20 % at or below.
    const Case cases[] = {
        {"reference above", 2100, 1050},
        {"reference below, rounded toward zero", 1900, 981},
        {"reference at the calibration", 2000, 1000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstCal& cal = G_InstCal[kInstEgt1];
        cal.nTempCalAd = 2000, cal.nHiTempSlope = 50, cal.nLowTempSlope = -20;
        G_InstAd[kInstThermoTemp].nAdValue = c.reference;
        Convert(kInstEgt1, kInEgt, 1000);
        EXPECT_EQ(R(kInstEgt1).nValue, c.value);
    }
    // A huge stored slope saturates the correction instead of overflowing.
    G_InstCal[kInstEgt1].nHiTempSlope = INT32_MAX;
    G_InstAd[kInstThermoTemp].nAdValue = 4000;
    Convert(kInstEgt1, kInEgt, 1000);
    EXPECT_EQ(R(kInstEgt1).bValid, 0);
}

TEST_F(InstrumentTest, SupplyVoltagesFromTheSystemCalibration) {
    Put("SYSTEM.KVC",
        "VOLTS.NUM_CAL_PTS, 2\nVOLTS.DISPLAY_VALUE_1, 0\nVOLTS.AD_VALUE_1, 0\n"
        "VOLTS.DISPLAY_VALUE_2, 1500\nVOLTS.AD_VALUE_2, 15000\n");
    ASSERT_EQ(ReadConfigFile(kCfgSystem, kExtKvc), 0);
    ParseCalFile(kCfgSystem);
    board().airAdc().SetInput(6, 12000);
    PrimeVoltChannels();
    EXPECT_NEAR(R(kInstMainVolts).nValue, 1200, 1);
    EXPECT_EQ(R(kInstMainVolts).bValid, 1);
    board().airAdc().SetInput(6, 10);
    for (int i = 0; i < 40; ++i) SampleVoltChannel(kInstMainVolts);
    EXPECT_EQ(R(kInstMainVolts).bValid, 0) << "below the plausible range";
    EXPECT_LT(R(kInstMainVolts).nValue, 10) << "still converted";
}

TEST_F(InstrumentTest, ProbeCountsByEngineType) {
    struct Case {
        int32_t type;
        int32_t egt, cht, tit;
    };
    const Case cases[] = {
        {kEngStd4, 4, 4, 1}, {kEngStd6, 6, 6, 1}, {kEngRotax912, 2, 2, 0}, {kEngJabiru6, 6, 6, 1},
        {kEngSubaru6, 0, 0, 0}, {kEngM14, 9, 5, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        G_InstCfg[kInstTit1].nEnable = 1;
        G_InstCfg[kInstTit2].nEnable = 0;
        NvSetU32(kNvCylGaugeType, 3);
        G_EngInfo.nEngineType = c.type;
        LogEngineInfo();
        EXPECT_EQ(G_EngInfo.nEgtCount, c.egt);
        EXPECT_EQ(G_EngInfo.nChtCount, c.cht);
        EXPECT_EQ(G_EngInfo.nTitCount, c.tit);
        EXPECT_EQ(G_EngInfo.bEngInfoSet, 1);
        if (c.type != kEngM14) {
            EXPECT_EQ(NvGetU32(kNvCylGaugeType), c.tit == 0 && c.egt != 2 ? 3u : 0u);
        }
    }
    EXPECT_NE(Log().find("ENG_INFO: 9 EGT, 5 CHT, 0 TIT\n"), std::string::npos);
}

TEST_F(InstrumentTest, M14ProbesCarryEgt1) {
    G_InstCfg[kInstEgt1].nRedHigh = 1650;
    G_InstCfg[kInstEgt1].nEnable = 1;
    SetCurve(kInstEgt1, {{0, 0}, {2000, 4000}});
    G_EngInfo.nEngineType = kEngM14;
    LogEngineInfo();
    for (int32_t inst : {kInstTit1, kInstTit2, kInstCht6}) {
        SCOPED_TRACE(inst);
        EXPECT_EQ(G_InstCfg[inst].nRedHigh, 1650);
        EXPECT_EQ(std::memcmp(&G_InstCal[inst], &G_InstCal[kInstEgt1], sizeof(InstCal)), 0);
    }
    EXPECT_EQ(G_EngInfo.nTitCount, 0) << "the TIT inputs serve as EGT 7 and 8";
}

TEST_F(InstrumentTest, PrimingLeavesTheScanAtGroup44) {
    board().engineAdc().SetInput(kInManifold, -1, 1000);
    InitInstReadings();
    EXPECT_EQ(G_EngScanStep, 44u);
    for (uint32_t pin = 67; pin <= 69; ++pin) EXPECT_FALSE(board().gpio().Level(pin)) << pin;
    EXPECT_EQ(R(kInstManifold).bValid, 1);
    EXPECT_NEAR(R(kInstManifold).nValue, 1000, 2) << "40 passes settle the filter";
}

TEST(InstrumentTables, SegmentIndexAndFonts) {
    const int32_t rows[3][3] = {{0, 0, 10}, {0, 0, 20}, {0, 0, 30}};
    const std::pair<int32_t, int32_t> cases[] = {{15, 0}, {20, 1}, {30, 1}, {35, 2}, {5, 0}};
    for (auto [x, index] : cases) EXPECT_EQ(FindSegmentIndex(rows, 3, x), index) << x;
    const int32_t falling[3][3] = {{0, 0, 30}, {0, 0, 20}, {0, 0, 10}};
    EXPECT_EQ(FindSegmentIndex(falling, 3, 25), 0);
    EXPECT_EQ(FindSegmentIndex(falling, 3, 5), 2);
    EXPECT_EQ(FindSegmentIndex(rows, 1, 5), -1);

    const int32_t fonts[] = {2, 3, 4, 6, 7, 8, 10, 11, 12, 22, 23};
    const int32_t large[] = {8, 8, 10, 11, 11, 11, 12, 21, 12, 2, 4};
    for (size_t i = 0; i < std::size(fonts); ++i) {
        EXPECT_EQ(MapGaugeFont(fonts[i], 1), large[i]) << fonts[i];
        EXPECT_EQ(MapGaugeFont(fonts[i], 0), fonts[i]);
    }
    EXPECT_STREQ(InstrumentNames[44], "THRMCPL_TEMP");
    EXPECT_STREQ(InstFieldNames[13], "NUM_CAL_PTS");
    EXPECT_EQ(offsetof(InstReading, bValid), 8u);
    EXPECT_EQ(offsetof(InstReading, nColour), 17u);
    EXPECT_EQ(offsetof(InstReading, szText), 21u);
}

}  // namespace
