// The EFIS page composition: the order and conditions of its steps in each
// layout class, the two saved areas and the pool, the angle-of-attack
// declutter, the tape pointers pixel for pixel, nothing drawn outside the
// pane, and the reference images of every layout.
#include <string>
#include <vector>

#include "efis/boxes.h"
#include "efis/tapes.h"
#include "efis_fixture.h"
#include "gui/pool.h"
#include "nav/autopilot.h"

namespace {

std::vector<EfisElem> g_steps;
void Record(EfisElem e) { g_steps.push_back(e); }

using E = EfisElem;

class EfisComposeTest : public EfisPageTest {
protected:
    void SetUp() override {
        EfisPageTest::SetUp();
        g_steps.clear();
        SetEfisTrace(Record);
    }
    void TearDown() override {
        SetEfisTrace(nullptr);
        EfisPageTest::TearDown();
    }
    // Every optional element switched on: AOA shown, OAT, a GPS course with
    // vertical guidance as course and bearing source, the heading bug, wind
    // and the clamped marker.
    static void EverythingOn() {
        G_NetStreamCfg[kStreamAoa].INST = 1;
        G_AoaCfg.nEnable = 1;
        NvSetU32(kNvAoaGaugeOn, 1);
        G_InstCfg[kInstOat].nEnable = 1;
        GpsCourse(300, 40, true, 20);
        G_NavSrc.hdr.nFlags0 |= kNavHdrHdgSteer;
        NvSetU32(kNvWindsGaugeOn, 1);
        NvSetU32(kNvTargetType, 1);
    }
    std::vector<E> Steps(int32_t page) {
        Page(page);
        g_steps.clear();
        Draw();
        return g_steps;
    }
    static bool Has(const std::vector<E>& steps, E e) {
        for (E s : steps)
            if (s == e) return true;
        return false;
    }
};

TEST_F(EfisComposeTest, StepOrderByLayoutClass) {
    EverythingOn();
    const std::vector<E> flag0 = {E::Attitude,    E::Background,   E::GMeter,         E::SlipBall,   E::AltitudeTape,
                                  E::AltitudeBox, E::AirspeedTape, E::Oat,            E::GpsInfoBox, E::HsiGps,
                                  E::BearingPointer, E::AoaIndicator, E::Clock,       E::Wind,       E::ClampedMarker,
                                  E::ApModeBox};
    const std::vector<E> flag1 = {E::Attitude,       E::SaveAoaArea,    E::SaveVdiArea,  E::Background,   E::GMeter,
                                  E::SlipBall,       E::AltitudeTape,   E::AltitudeBox,  E::AirspeedTape, E::Oat,
                                  E::GpsInfoBox,     E::RestoreVdiArea, E::HsiGps,       E::BearingPointer,
                                  E::RestoreAoaArea, E::AoaIndicator,   E::FreeAoaArea,  E::Clock,        E::Wind,
                                  E::ClampedMarker,  E::ApModeBox};
    std::vector<E> page9 = flag0;
    page9[1] = E::Background9;
    struct Case { int32_t page; const std::vector<E>* steps; };
    for (const Case& c : {Case{2, &flag0}, Case{3, &flag0}, Case{17, &flag0}, Case{30, &flag0}, Case{5, &flag1},
                          Case{6, &flag1}, Case{10, &flag1}, Case{13, &flag1}, Case{9, &page9}}) {
        SCOPED_TRACE(c.page);
        EXPECT_EQ(Steps(c.page), *c.steps);
    }
}

TEST_F(EfisComposeTest, ConditionalSteps) {
    // A radio with a localizer restores the strip on the VOR branch.
    Page(5);
    NavSrcRec& r = G_NavSrc.rec[1];
    r.nType = 2;
    r.nRadioFlagsA = kNavRadioValid | (1u << 2);
    G_NavSrc.hdr.nCrsSlot = 1;
    const std::vector<E> vor = Steps(5);
    EXPECT_TRUE(Has(vor, E::SaveVdiArea) && Has(vor, E::RestoreVdiArea) && Has(vor, E::HsiVor));
    // Slot 4 (none): no HSI and no information box.
    G_NavSrc.hdr.nCrsSlot = kNavNoneSlot;
    G_NavSrc.hdr.nBrgSlot = kNavNoneSlot;
    for (int32_t page : {2, 5}) {
        const std::vector<E> s = Steps(page);
        for (E e : {E::HsiGps, E::HsiVor, E::GpsInfoBox, E::VorInfoBox, E::SaveVdiArea}) EXPECT_FALSE(Has(s, e)) << page;
    }
    // Flap and trim with the engine and a trim word, except on page 6.
    G_NetStreamCfg[kStreamEngine].INST = 1;
    Page(3);
    G_EnginePane.nState = 1;
    g_steps.clear();
    Draw();
    EXPECT_TRUE(Has(g_steps, E::FlapGauge) && Has(g_steps, E::TrimGauge));
    Page(6);
    G_EnginePane.nState = 1;
    g_steps.clear();
    Draw();
    EXPECT_FALSE(Has(g_steps, E::FlapGauge));
    // The timer in place of the clock.
    G_ClockEdit = 20;
    EXPECT_TRUE(Has(Steps(2), E::Timer));
    EXPECT_FALSE(Has(Steps(2), E::Clock));
    G_ClockEdit = 10;
    // Stale attitude: the standby box.
    G_Ahrs.nFresh = 0;
    EXPECT_TRUE(Has(Steps(2), E::StandbyBox));
}

TEST_F(EfisComposeTest, AhrsDiagnosticsOnlyWithoutSavedAreas) {
    NvSetU32(kNvAhrsDebug, 1);
    for (int32_t page : {2, 3, 5, 6}) {
        G_NavSrc.hdr.nFlags0 = kNavHdrCrsGps | kNavHdrCrsRadio | kNavHdrHdgSteer;
        const std::vector<E> s = Steps(page);
        const bool flag0 = page == 2 || page == 3;
        EXPECT_EQ(Has(s, E::AhrsDiag), flag0) << page;
        // Drawing the page clears the course type bits, as it always has.
        EXPECT_EQ(G_NavSrc.hdr.nFlags0 & (kNavHdrCrsGps | kNavHdrCrsRadio), flag0 ? 0 : 3) << page;
        EXPECT_TRUE(G_NavSrc.hdr.nFlags0 & kNavHdrHdgSteer) << page;
    }
}

TEST_F(EfisComposeTest, AoaDeclutterIsAtLeastOnEfisAndAboveOnAirDataPane) {
    G_NetStreamCfg[kStreamAoa].INST = 1;
    G_AoaCfg.nEnable = 1;
    G_AoaCfg.nDeclutter = 10;
    NvSetU32(kNvAoaGaugeOn, 1);
    NvSetU32(kNvAoaDeclutterOn, 1);
    struct Case { int32_t segment; bool efis, air; };
    for (const Case& c : {Case{9, false, false}, Case{10, true, false}, Case{11, true, true}}) {
        G_Aoa.nAoa = c.segment;
        EXPECT_EQ(Has(Steps(2), E::AoaIndicator), c.efis) << c.segment;
        EXPECT_EQ(Has(Steps(4), E::AoaIndicator), c.air) << c.segment;
    }
    // Not decluttered: always; switched off: never, and surface A is still freed.
    NvSetU32(kNvAoaDeclutterOn, 0);
    G_Aoa.nAoa = 0;
    EXPECT_TRUE(Has(Steps(2), E::AoaIndicator));
    EXPECT_TRUE(Has(Steps(4), E::AoaIndicator));
    NvSetU32(kNvAoaGaugeOn, 0);
    const std::vector<E> off = Steps(5);
    EXPECT_FALSE(Has(off, E::AoaIndicator));
    EXPECT_TRUE(Has(off, E::SaveAoaArea) && Has(off, E::FreeAoaArea));
}

TEST_F(EfisComposeTest, SurfacesFreedOverThousandsOfFrames) {
    EverythingOn();
    for (uint32_t shown : {0u, 1u}) {
        SCOPED_TRACE(shown);
        NvSetU32(kNvAoaGaugeOn, shown);
        for (int32_t page : {5, 6}) {
            Page(page);
            Draw();
            const uint32_t used = GUI_PoolStat.nUsedBlocks, bytes = GUI_PoolStat.nUsedBytes;
            for (int i = 0; i < 3000; ++i) DrawEfisPage();
            EXPECT_EQ(GUI_PoolStat.nUsedBlocks, used) << page;
            EXPECT_EQ(GUI_PoolStat.nUsedBytes, bytes) << page;
            // And the areas are still saved on the last frame.
            g_steps.clear();
            Draw();
            EXPECT_TRUE(Has(g_steps, E::RestoreVdiArea)) << page;
            EXPECT_EQ(Has(g_steps, E::RestoreAoaArea), shown == 1) << page;
        }
    }
}

TEST_F(EfisComposeTest, FullPoolSkipsTheSavedAreas) {
    EverythingOn();
    Page(5);
    // Take every byte the pool has: the areas cannot be made.
    std::vector<int16_t> taken;
    for (int16_t h; (h = GUI_PoolAlloc(256)) != 0;) taken.push_back(h);
    for (int16_t h; (h = GUI_PoolAlloc(16)) != 0;) taken.push_back(h);
    const uint32_t used = GUI_PoolStat.nUsedBlocks;
    Draw();
    EXPECT_EQ(GUI_PoolStat.nUsedBlocks, used);
    EXPECT_TRUE(Has(g_steps, E::HsiGps) && Has(g_steps, E::AoaIndicator)) << "the page is still drawn";
    for (int16_t h : taken) GUI_PoolFree(h);
}

#include "tapepointer_golden.inc"

TEST_F(EfisComposeTest, TapePointerStylesPixelForPixel) {
    struct Case { uint32_t style; const char* const* rows; };
    for (const Case& c : {Case{1, kStyle1}, Case{2, kStyle2}, Case{4, kStyle4}, Case{3, nullptr}}) {
        SCOPED_TRACE(c.style);
        GUI_SelectScreen();
        const int py = static_cast<int>(G_FlipCtl.nDrawPageY);
        GUI_SetColorIndex(77);
        GUI_FillRect(0, py, 60, py + 60);
        DrawTapePointer(20, 20, c.style, 5);
        for (int y = 3; y <= 37; ++y) {
            std::string row;
            for (int x = 12; x <= 31; ++x) {
                const uint8_t p = Px(x, y);
                row += p == 77 ? '.' : p == 0 ? 'k' : p == 14 ? 'y' : p == 31 ? 'w' : p == 5 ? 'c' : '?';
            }
            EXPECT_EQ(row, c.rows ? c.rows[y - 3] : "....................") << "row " << y;
        }
    }
}

TEST_F(EfisComposeTest, NothingOutsideThePane) {
    EverythingOn();
    G_Autopilot.bOutput = 1;
    G_NVRam[kNvNavMode] = 2;
    NvSetU32(kNvGMeterOn, 1);
    G_NavSrc.hdr.MAP_LATLON_PORT = 1;
    G_NavSrc.rec[0].nPort = 1;
    CalcWind();
    // Extreme values everywhere: nothing may spill.
    Attitude(1234, -8000, 3599);
    Air(9999, -2000, -3850);
    for (int32_t page : {2, 3, 5, 6, 9, 10, 13, 17, 19, 30, 34, 4, 14, 32, 36}) {
        SCOPED_TRACE(page);
        Page(page);
        uint8_t* m = board().display().Memory();
        const int py = static_cast<int>(G_FlipCtl.nDrawPageY);
        for (int i = 0; i < 480 * 640; ++i) m[py * 640 + i] = 77;
        Draw();
        const PaneRecord& p = G_EfisLayout;
        int outside = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if ((x < p.x0 || x > p.x1 || y < p.y0 || y > p.y1) && Px(x, y) != 77) ++outside;
        EXPECT_EQ(outside, 0);
    }
}

// Reference images: every layout from fixed records, banked and climbing on
// a GPS course with vertical guidance, all boxes on.
TEST_F(EfisComposeTest, ReferenceImages) {
    EverythingOn();
    G_Autopilot.bOutput = 1;
    G_NVRam[kNvNavMode] = 2;
    G_NVRam[kNvApVertMode] = 6;
    NvSetU32(kNvGMeterOn, 1);
    NvSetU32(kNvGMeterMax, 250);
    NvSetU32(kNvGMeterMin, static_cast<uint32_t>(-50));
    NvSetU32(kNvTargetType, 0);
    G_NavSrc.hdr.nHdgBug = 60;
    G_NavSrc.hdr.MAP_LATLON_PORT = 1;
    G_NavSrc.rec[0].nPort = 1;
    G_AirData.bOatValid = 1;
    G_AirData.nOat = 590;
    G_Aoa.nAoa = 12;
    Attitude(150, 500, 450);
    Air(1234, 12500, 800);
    CalcWind();
    SetEfisTrace(nullptr);
    struct Case { int32_t page; const char* golden; };
    for (const Case& c : {Case{2, "efis_full"}, Case{3, "efis_strip"}, Case{5, "efis_two_panes"},
                          Case{6, "efis_three_panes"}, Case{9, "efis_page9"}, Case{4, "efis_airdata"}}) {
        SCOPED_TRACE(c.golden);
        Page(c.page);
        Draw();
        ExpectMatches(c.golden);
    }
}

}  // namespace

namespace {

// Beside a narrowed map the instruments stay in the 90-pixel strips.
TEST_F(EfisComposeTest, SplitPageInstrumentsStayInTheStrips) {
    G_NetStreamCfg[kStreamAoa].INST = 1;
    G_AoaCfg.nEnable = 1;
    G_InstCfg[kInstOat].nEnable = 1;
    NvSetU32(kNvGMeterOn, 1);
    GpsCourse(300, 40);
    G_NavSrc.hdr.MAP_LATLON_PORT = 1;
    G_NavSrc.rec[0].nPort = 1;
    Air(9999, 99999, 3850);
    CalcWind();
    G_MapPane = {};
    G_MapPane.x0 = 0, G_MapPane.y0 = 0, G_MapPane.x1 = 639, G_MapPane.y1 = 459;
    uint8_t* m = board().display().Memory();
    const int py = static_cast<int>(G_FlipCtl.nDrawPageY);
    for (int i = 0; i < 480 * 640; ++i) m[py * 640 + i] = 77;
    GUI_SelectScreen();
    DrawAirspeedFrame();
    DrawAirspeedTape();
    DrawAoaIndicator();
    DrawAltitudeFrame();
    DrawAltitudeTape();
    DrawVsiScale();
    DrawAltitudeBox();
    DrawWind();
    DrawOat();
    DrawGMeterFrame();
    DrawGMeter();
    int inMap = 0, left = 0, right = 0;
    for (int y = 0; y < 480; ++y)
        for (int x = 0; x < 640; ++x) {
            if (Px(x, y) == 77) continue;
            if (x >= 90 && x <= 549) ++inMap;
            else if (y > 459) ++inMap;
            else if (x < 90) ++left;
            else ++right;
        }
    EXPECT_EQ(inMap, 0);
    EXPECT_GT(left, 5000) << "airspeed strip drawn";
    EXPECT_GT(right, 5000) << "altitude strip drawn";
    // The vertical speed's needle, pegged at the top, survives the scale drawn after it.
    int needle = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 615; x < 636; ++x) needle += Px(x, y) == kEfGreen;
    EXPECT_GT(needle, 30);
}

}  // namespace
