// Engine page layout: the layout choice, scaling and offsetting of a gauge
// record, and where each gauge lands per engine type and screen configuration.
#include "engine/bargauge.h"
#include "engine/cylinder.h"
#include "page_fixture.h"

TEST(GaugeLayoutTest, ScalingTruncatesTowardZeroAndOffsetsListedPairs) {
    G_GaugeLayout[16] = {};
    GaugeWord(16, 20) = 7;
    GaugeWord(16, 21) = -7;
    GaugeWord(16, 26) = 7;     // not in the scaled lists
    GaugeWord(16, 62) = 7;     // a font word: kept
    GaugeWord(16, 186) = 3;
    ScaleGaugeLayout(16, 150.0f);
    EXPECT_EQ(GaugeWord(16, 20), 10);
    EXPECT_EQ(GaugeWord(16, 21), -10);
    EXPECT_EQ(GaugeWord(16, 26), 7);
    EXPECT_EQ(GaugeWord(16, 62), 7);
    EXPECT_EQ(GaugeWord(16, 186), 4);
    GaugeWord(16, 0) = 100;
    GaugeWord(16, 1) = 200;
    OffsetGaugeLayout(16);
    EXPECT_EQ(GaugeWord(16, 20), 110);
    EXPECT_EQ(GaugeWord(16, 21), 190);
    EXPECT_EQ(GaugeWord(16, 26), 7);
    EXPECT_EQ(GaugeWord(16, 186), 4);   // scaled, never offset
    EXPECT_EQ(GaugeWord(16, 185), 200);   // the y of the pair 184/185
}

TEST_F(EnginePageTest, LayoutChoicePerPage) {
    Engine(kEngStd4);
    struct Case {
        int32_t page;
        uint32_t large;
        int32_t scale;
    };
    for (Case c : {Case{1, 1, 150}, Case{31, 1, 150}, Case{3, 0, 100}, Case{9, 0, 100}, Case{20, 0, 100}}) {
        G_CurPage = c.page;
        SelectEngineLayout();
        EXPECT_EQ(G_EngLayoutIdx, c.large) << c.page;
        EXPECT_EQ(G_EngInfo.nLayoutScale[0], c.scale) << c.page;
    }
    // A page outside both lists keeps the last geometry and scales.
    Page(3);
    const GaugeLayout before = G_GaugeLayout[16];
    G_CurPage = 17;
    SelectEngineLayout();
    EXPECT_EQ(G_EngLayoutIdx, 1u);
    EXPECT_EQ(G_EngInfo.nLayoutScale[2], 100);
    EXPECT_EQ(memcmp(&before, &G_GaugeLayout[16], sizeof before), 0);
}

TEST_F(EnginePageTest, BarGaugeGeometryPerLayout) {
    Engine(kEngStd4);
    Page(3);
    // Normal layout: the template at the OIL_PSI position.
    EXPECT_EQ(GaugeWord(16, 0), 345);
    EXPECT_EQ(GaugeWord(16, 28), 345 + 9);
    EXPECT_EQ(GaugeWord(16, 31), 360 + 73);
    // Limit offsets over 58 pixels: 900 -> 52, 800 -> 46, 200 -> 11, 100 -> 5.
    EXPECT_EQ(GaugeWord(16, 8), 52);
    EXPECT_EQ(GaugeWord(16, 11), 5);
    EXPECT_EQ(GaugeWord(16, 51 + 2), 360 + 16 + 58 - 52);   // second band's top
    Page(1);
    EXPECT_EQ(GaugeWord(16, 0), 485);
    EXPECT_EQ(GaugeWord(16, 28), 485 + 13);     // 9 x 1.5
    EXPECT_EQ(GaugeWord(16, 32), 87);           // 58 x 1.5
    EXPECT_EQ(GaugeWord(16, 44), GaugeWord(16, 28) + 1);   // bands refit to the outline
    EXPECT_EQ(GaugeWord(16, 131 + 3), GaugeWord(16, 30) - 1);
    // Screen configuration 9 moves the bars 178 pixels left; TIT probes 30 right.
    Page(9);
    EXPECT_EQ(GaugeWord(16, 0), 345 - 178);
}

TEST_F(EnginePageTest, ElectricalPlacesWithAndWithoutTitProbes) {
    G_InstCfg[kInstAuxVolts].nEnable = 1;
    G_InstCfg[kInstAmpsShunt].nEnable = 2;
    G_InstCfg[kInstAmpsHall].nEnable = 1;
    Engine(kEngStd4);
    Page(3);
    // Side by side: shared narrow template; AMPS_SHUNT is the second current.
    EXPECT_EQ(GaugeWord(kInstMainVolts, 30), 377 + 14);
    EXPECT_EQ(GaugeWord(kInstAmpsShunt, 0), 406 + 8);
    EXPECT_EQ(GaugeWord(kInstAmpsShunt, 36), 406 + 8 + 4 + 5);
    EXPECT_EQ(GaugeWord(kInstAmpsHall, 0), 406);
    EXPECT_EQ(GaugeWord(kInstAuxVolts, 36), 385 + 4 + 5);
    // One TIT probe: a stacked column right of VOLTS, single template.
    G_InstCfg[kInstTit1].nEnable = 1;
    Engine(kEngStd4);
    ASSERT_EQ(G_EngInfo.nTitCount, 1);
    Page(3);
    struct Case {
        int inst, x, y;
    };
    for (Case c : {Case{kInstMainVolts, 407, 360}, Case{kInstAuxVolts, 407, 390}, Case{kInstAmpsHall, 407, 405},
                   Case{kInstAmpsShunt, 407, 435}}) {
        EXPECT_EQ(GaugeWord(c.inst, 0), c.x) << c.inst;
        EXPECT_EQ(GaugeWord(c.inst, 1), c.y) << c.inst;
    }
    EXPECT_EQ(GaugeWord(kInstMainVolts, 30), 407 + 21);
    EXPECT_EQ(GaugeWord(kInstMainVolts, 61), 375);   // value 15 below the origin
    EXPECT_EQ(GaugeWord(kInstAuxVolts, 61), 390);
    EXPECT_EQ(NvGetU32(kNvCylGaugeType), 0u);        // TIT probes force the bar view
}

TEST_F(EnginePageTest, CylinderOriginPerEngineAndView) {
    struct Case {
        int32_t type, page;
        uint32_t engineView;
        int32_t x, y;
    };
    // Tank 1 - tank 3: 10 in the normal table, 13 in the large one.
    for (Case c : {Case{kEngStd4, 3, 0, 76, 339}, Case{kEngStd6, 3, 0, 56, 339}, Case{kEngStd4, 3, 1, 86, 339},
                   Case{kEngStd6, 1, 1, 5 + 26, 295}, Case{kEngStd6, 1, 0, 5, 295}}) {
        Engine(c.type);
        NvSetU32(kNvCylGaugeType, c.engineView);
        Page(c.page);
        EXPECT_EQ(GaugeWord(kInstEgt1, 0), c.x) << c.type << " " << c.page << " " << c.engineView;
        EXPECT_EQ(GaugeWord(kInstEgt1, 1), c.y);
    }
    // The radial engine never keeps the engine view.
    NvSetU32(kNvCylGaugeType, 1);
    Engine(kEngM14);
    Page(3);
    EXPECT_EQ(NvGetU32(kNvCylGaugeType), 0u);
}

TEST_F(EnginePageTest, SubaruGearboxAndCoolantOnlyOffThePage9Strip) {
    Engine(kEngSubaru6);
    Page(3);
    EXPECT_EQ(GaugeWord(18, 0), 122);
    EXPECT_EQ(GaugeWord(kInstCoolTemp, 0), 193);
    G_GaugeLayout[18] = {};
    G_GaugeLayout[kInstCoolTemp] = {};
    G_InstCfg[18].nEnable = 0;
    Page(9);
    EXPECT_EQ(GaugeWord(18, 0), 0);
    EXPECT_EQ(GaugeWord(kInstCoolTemp, 0), 0);
}

TEST(CylinderSegmentsTest, EngineViewSegmentCounts) {
    struct Case {
        int32_t value, base;
        bool roundUp;
        int32_t segments;
    };
    for (Case c : {Case{1412, 1000, true, 16}, Case{1413, 1000, true, 17}, Case{1700, 1000, true, 28},
                   Case{380, 0, true, 15}, Case{1000, 1000, true, 0}, Case{900, 1000, true, 0},
                   Case{1413, 1000, false, 16}}) {
        EXPECT_EQ(EngineViewSegments(c.value, c.base, c.roundUp), c.segments) << c.value;
    }
}

TEST(BarMarkerTest, OffsetAndPercent) {
    EXPECT_EQ(BarMarkerOffset(58, 5, 0), 56);
    EXPECT_EQ(BarMarkerOffset(58, 5, 100), 0);
    EXPECT_EQ(BarMarkerOffset(58, 5, 50), 28);
    G_InstCfg[16].nMin = 0;
    G_InstCfg[16].nMax = 1000;
    EXPECT_EQ(PercentOfScale(16, 1200), 100);
    EXPECT_EQ(PercentOfScale(16, -5), 0);
    EXPECT_EQ(PercentOfScale(16, 250), 25);
    G_InstCfg[16].nMax = 0;   // an empty scale never divides
    EXPECT_EQ(PercentOfScale(16, 250), 0);
}

TEST(BarTextTest, Formats) {
    struct Case {
        int inst;
        int32_t value, max, units;
        const char* text;
    };
    for (Case c : {Case{12, 5, 200, 0, "0.5"}, Case{12, 123, 200, 0, "12.3"}, Case{12, -5, 200, 0, "-0.5"},
                   Case{12, 1234, 1000, 0, "123"}, Case{16, 1200, 1000, 0, "120"}, Case{17, 2120, 3000, 1, "100"},
                   Case{kInstMainVolts, 138, 300, 0, "13.8"}, Case{kInstAmpsShunt, -25, 600, 0, "-3"}}) {
        G_InstCfg[c.inst].nMax = c.max;
        G_InstCfg[c.inst].nUnits = c.units;
        G_InstCfg[c.inst].nEnable = 1;
        G_InstReading[c.inst].nValue = c.value;
        FormatBarText(c.inst);
        EXPECT_STREQ(G_InstReading[c.inst].szText, c.text) << c.inst << " " << c.value;
    }
}
