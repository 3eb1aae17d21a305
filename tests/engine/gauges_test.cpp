// Engine page pixels: bar gauge bands and markers in their limit colours,
// the invalid cross, the flap box, engine-view segments, and screenshots of
// the whole page at known readings.
#include <unistd.h>
#include <cstdio>
#include <fstream>
#include <vector>

#include "gui/lcd.h"

#include "engine/bargauge.h"
#include "engine/cylinder.h"
#include "page_fixture.h"

namespace {

// The distribution's interpreter with its image library.
int Python(const std::string& script) {
    // One file per test process: the reference tests run in parallel.
    const std::string path = "/tmp/kv_engine_png_check_" + std::to_string(getpid()) + ".py";
    std::ofstream(path) << script;
    const int rc = std::system(("/usr/bin/python3 " + path).c_str());
    std::remove(path.c_str());
    return rc;
}

class EngineGaugeTest : public EnginePageTest {
protected:
    // Writes the shown page and compares it with the reference PNG beside the
    // tests (KV_UPDATE_GOLDEN=1 rewrites the reference).
    void ExpectScreenshotMatches(const char* golden) {
        const std::string png = "/tmp/kv_engine_" + std::to_string(getpid()) + "_" + golden;
        // Show the page just drawn, as the flip after a frame does.
        LCD_SetDisplayStart(0, static_cast<int>(G_FlipCtl.nDrawPageY));
        std::string error;
        ASSERT_TRUE(WriteScreenshotPng(board().display(), png.c_str(), error)) << error;
        const std::string reference = std::string(KV_ENGINE_TEST_DIR) + "/" + golden;
        if (std::getenv("KV_UPDATE_GOLDEN")) {
            ASSERT_EQ(std::system(("cp " + png + " " + reference).c_str()), 0);
        }
        const int rc = Python("from PIL import Image, ImageChops\n"
                              "a = Image.open('" + png + "').convert('RGB'); b = Image.open('" + reference +
                              "').convert('RGB')\n"
                              "assert ImageChops.difference(a, b).getbbox() is None, 'page differs'\n");
        EXPECT_EQ(rc, 0) << "the page drawn is kept in " << png;
        if (rc == 0) std::remove(png.c_str());
    }
    void Draw() { DrawEngineGauges(); }
    int CountRow(int y, int x0, int x1, uint8_t index) {
        int n = 0;
        for (int x = x0; x <= x1; ++x) n += Px(x, y) == index;
        return n;
    }
    // Known readings on every gauge of the page.
    static void Readings() {
        Set(kInstRpm, 24000);
        Set(kInstManifold, 245);
        Set(kInstFuelFlow, 95);
        Set(12, 52);
        Set(16, 620);
        Set(17, 1850);
        Set(kInstMainVolts, 138);
        Set(kInstAmpsShunt, 120);
        const int32_t egt[6] = {14120, 14500, 15700, 13900, 16600, 14300};
        const int32_t cht[6] = {3500, 3800, 4400, 3600, 4700, 3700};
        for (int i = 0; i < 6; ++i) {
            Set(kInstEgt1 + i, egt[i]);
            Set(kInstCht1 + i, cht[i]);
        }
        Set(kInstTank1, 180);
        Set(20, 50);
        Set(kInstFuelComp, 120);
        G_InstReading[kInstFuelComp].nValue2 = 230;
        Set(kInstFlapAng, 500);
    }
};

TEST_F(EngineGaugeTest, BarGaugeBandsAndMarkerColours) {
    Engine(kEngStd4);
    Page(3);
    const int x = 345 + 15, y = 360;   // OIL_PSI column
    struct Case {
        int32_t value;
        uint32_t marker;
        int markerRow;
    };
    // 50 % green (shown white), 85 % yellow, above MAX red at the top.
    for (Case c : {Case{500, kColourWhite, 45}, Case{850, kColourYellow, 22}, Case{1200, kColourRed, 17}}) {
        Set(16, c.value);
        Draw();
        EXPECT_EQ(Px(x, y + c.markerRow), Index(c.marker)) << c.value;
    }
    Set(16, 500);
    Draw();
    struct Band {
        int row;
        uint32_t colour;
    };
    for (Band b : {Band{18, kColourRed}, Band{25, kColourYellow}, Band{35, kColourGreen}, Band{65, kColourYellow},
                   Band{70, kColourRed}})
        EXPECT_EQ(Px(x, y + b.row), Index(b.colour)) << b.row;
    // Invalid: the red cross, no marker.
    Set(16, 500, false);
    Draw();
    EXPECT_EQ(Px(345 + 15, 360 + 44), 2);
    EXPECT_NE(Px(x, y + 45), Index(kColourWhite));
}

TEST_F(EngineGaugeTest, EmptyScaleDrawsNoBandsAndPercentZero) {
    Engine(kEngStd4);
    Limits(16, 500, 500, 500, 500, 500, 500);
    Page(3);
    Set(16, 700);
    Draw();
    EXPECT_EQ(int32_t{G_InstReading[16].nPercent}, 0);
    EXPECT_EQ(Px(345 + 15, 360 + 35), 0);   // no band behind the column
}

// Limits near the ends of the integer range: differences taken in 32 bits
// would wrap and turn the scale upside down.
TEST_F(EngineGaugeTest, ScaleWiderThanTheIntegerRange) {
    Engine(kEngStd4);
    Limits(16, -2000000000, 2000000000, 0, 1000000000, -1000000000, -1500000000);
    Limits(kInstEgt1, -2000000000, 2000000000, 2000000000, 2000000000, -2000000000, -2000000000);
    Page(3);
    EXPECT_EQ(GaugeWord(16, 8), 29) << "RED_HIGH at half the scale";
    Set(kInstEgt1, 0);
    Draw();
    EXPECT_EQ(int32_t{G_InstReading[kInstEgt1].nPercent}, 50);
}

TEST_F(EngineGaugeTest, FlapBoxTravelAndBusPower) {
    Engine(kEngStd4);
    Page(1);
    Readings();
    for (auto [value, offset] : {std::pair{500, 25}, {1000, 49}, {1500, 49}, {-50, 0}})
        EXPECT_EQ(FlapBoxOffset(value), offset) << value;
    Set(kInstFlapAng, 500);
    Draw();
    const int bx = GaugeWord(kInstFlapAng, 36) + 2, by = GaugeWord(kInstFlapAng, 37);
    EXPECT_EQ(Px(bx, by + 26), 5);
    EXPECT_NE(Px(bx, by + 1), 5);
    // Both bus voltages at 1499 counts or less: no indicator.
    G_InstAd[kInstMainVolts].nAdValue = 1499;
    Draw();
    EXPECT_NE(Px(bx, by + 26), 5);
    Page(3);   // the normal layout's indicator travels 32 pixels
    EXPECT_EQ(FlapBoxOffset(500), 16);
    EXPECT_EQ(FlapBoxOffset(1000), 32);
}

TEST_F(EngineGaugeTest, EngineViewSegmentLines) {
    Engine(kEngStd4);
    NvSetU32(kNvCylGaugeType, 1);
    Page(3);
    const int x = GaugeWord(kInstEgt1, 0) + 89, y = GaugeWord(kInstEgt1, 1) + 40 + 6;
    for (auto [value, lines] : {std::pair{14120, 16}, {14130, 17}, {17000, 24}}) {
        Set(kInstEgt1, value);
        Draw();
        const uint8_t colour = Index(G_InstReading[kInstEgt1].nColour);
        EXPECT_EQ(CountRow(y, x, x + 31, colour), lines) << value;
    }
    // Stale and invalid: a red cross over the cell.
    Set(kInstEgt1, 0, false);
    G_EngFresh = 0;
    Draw();
    EXPECT_GT(CountRow(y, x, x + 32, 2), 0);
}

// Two voltage inputs share one place: VOLTS for two seconds of every four,
// then BACKVOLTS.
TEST_F(EngineGaugeTest, SharedVoltagePlaceAlternates) {
    G_InstCfg[kInstAuxVolts].nEnable = 1;
    Engine(kEngStd4);
    Page(3);
    Set(kInstMainVolts, 138);
    Set(kInstAuxVolts, 126);
    auto area = [&](uint32_t uptime) {
        G_UptimeSec = uptime;
        Draw();
        std::string pixels;
        for (int y = 355; y <= 450; ++y)
            for (int x = 360; x <= 420; ++x) pixels += static_cast<char>(Px(x, y));
        return pixels;
    };
    const std::string first = area(8), second = area(10), again = area(13);
    EXPECT_NE(first, second);
    EXPECT_EQ(area(12), first);
    EXPECT_EQ(again, first);
    EXPECT_EQ(area(11), second);
}

// Pages 31 and 35 show the large layout without the bar group and the
// cylinder group; page 1 draws both.
TEST_F(EngineGaugeTest, LargePagesWithoutBarAndCylinderGroups) {
    Engine(kEngStd4);
    for (auto [page, drawn] : {std::pair{31, false}, {35, false}, {1, true}}) {
        Page(page);
        Readings();
        G_InstReading[16].nPercent = -1;
        G_InstReading[kInstEgt1].nPercent = -1;
        Draw();
        EXPECT_EQ(G_InstReading[16].nPercent != -1, drawn) << page;
        EXPECT_EQ(G_InstReading[kInstEgt1].nPercent != -1, drawn) << page;
    }
}

// A current input is named by its live label alone: the background under
// the label slot holds no unit label, and an invalid input keeps its name
// beside the red cross.
TEST_F(EngineGaugeTest, CurrentLabelDrawnOnce) {
    Engine(kEngStd4);
    Page(3);
    const int x0 = 406, x1 = 436, y0 = 360, y1 = 373;   // AMPS_SHUNT label slot
    auto white = [&](int rowOffset) {
        int n = 0;
        const uint8_t* m = board().display().Memory();
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += m[(y + rowOffset) * 640 + x] == Index(kColourWhite);
        return n;
    };
    EXPECT_EQ(white(960), 0) << "unit label in the background";
    for (bool valid : {true, false}) {
        Set(kInstAmpsShunt, 120, valid);
        Draw();
        EXPECT_GT(white(static_cast<int>(G_FlipCtl.nDrawPageY)), 0) << valid;
    }
}

TEST(EngineLabels, CentredLabelStaysOnScreen) {
    struct Case { int32_t x, width, centre; };
    for (Case c : {Case{612, 56, 610}, Case{400, 56, 400}, Case{10, 40, 22}, Case{637, 1, 637}})
        EXPECT_EQ(LabelCentreOnScreen(c.x, c.width), c.centre) << c.x << " " << c.width;
}

// Values wanted at their columns move apart only as far as the pitch needs,
// symmetrically within each group of touching values.
TEST(EngineLabels, SpreadCentres) {
    struct Case {
        std::vector<int32_t> x;
        int32_t pitch;
        std::vector<int32_t> out;
    };
    const Case cases[] = {
        {{10, 50, 90}, 36, {10, 50, 90}},                   // already apart
        {{38, 70, 108, 140}, 36, {35, 71, 107, 143}},       // two pairs that then meet
        {{0, 10}, 30, {-10, 20}},                           // one pair
        {{0, 100, 110}, 30, {0, 90, 120}},                  // only the touching pair moves
    };
    for (const Case& c : cases) {
        std::vector<int32_t> out(c.x.size());
        SpreadCentres(c.x.data(), static_cast<int32_t>(c.x.size()), c.pitch, out.data());
        EXPECT_EQ(out, c.out) << c.x[0] << ".." << c.x.back();
    }
}

TEST_F(EngineGaugeTest, LargeBarViewPage) {
    Engine(kEngStd4);
    G_InstCfg[21].nEnable = G_InstCfg[22].nEnable = 0;
    Page(1);
    Readings();
    Draw();
    ExpectScreenshotMatches("engine_large_bar.png");
}

TEST_F(EngineGaugeTest, BarViewScaleFollowsTheProbeUnit) {
    Engine(kEngStd4);
    Page(3);
    // EGT 1000..1700 F: steps of 140 F; CHT 0..500 F.
    const int32_t fahrenheit[] = {1700, 1560, 1420, 1280, 1140};
    const int32_t celsius[] = {927, 849, 771, 693, 616};
    for (int k = 0; k < 5; ++k) {
        EXPECT_EQ(CylinderScaleValue(kInstEgt1, k), fahrenheit[k]) << k;
        EXPECT_EQ(CylinderScaleValue(kInstCht1, k), 500 - 100 * k) << k;
    }
    for (int i = kInstEgt1; i <= kInstCht6; ++i) G_InstCfg[i].nUnits = 1;
    for (int k = 0; k < 5; ++k) EXPECT_EQ(CylinderScaleValue(kInstEgt1, k), celsius[k]) << k;
    EXPECT_EQ(CylinderScaleValue(kInstCht1, 0), 260);   // 500 F
}

TEST_F(EngineGaugeTest, NormalEngineViewSixCylinders) {
    Engine(kEngStd6);
    NvSetU32(kNvCylGaugeType, 1);
    G_InstCfg[21].nEnable = G_InstCfg[22].nEnable = 0;
    Page(3);
    Readings();
    Draw();
    ExpectScreenshotMatches("engine_strip_eng6.png");
}

}  // namespace
