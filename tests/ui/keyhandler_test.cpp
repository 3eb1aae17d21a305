#include "efis/airdata.h"
#include "nav/navsrc.h"
#include "storage/clockmem.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/knobadjust.h"
#include "ui/popup.h"
#include "efis/ahrs.h"
#include "core/timefmt.h"
#include "core/rtc.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "support/key_input.h"
#include "ui_fixture.h"

namespace {

class KeyHandlerTest : public WithKeyInput<MainPagesTest> {
protected:
    uint8_t ChipReg(int r) { return board().rtcChip().Reg(r, board().Now()); }
};

TEST_F(KeyHandlerTest, MenuWalkThroughTheTopLevelMenus) {
    struct Step { int32_t key; uint32_t state; int32_t page; const char* label2; };
    const Step walk[] = {
        {4, 4, 3, "SETTINGS"}, {2, 42, 3, "MORE"}, {2, 422, 3, "AHRS"}, {5, 4225, 30, "NEXT"},
        {2, 4225, 30, "NEXT"}, {4, 42254, 34, "NEXT"}, {1, 0, 3, "TIMER"},
        {2, 2, 3, "START"}, {4, 24, 3, "FORMAT"}, {1, 0, 3, "TIMER"},
        {3, 3, 3, "FUEL"}, {2, 32, 3, "MODE"}, {1, 3, 3, "FUEL"}, {1, 0, 3, "TIMER"},
        {4, 4, 3, "SETTINGS"}, {3, 43, 3, "CRS/NONE"}, {5, 435, 3, "HDG OFF"}, {2, 435, 3, "HDG ON"},
        {1, 43, 3, "CRS/NONE"}, {1, 4, 3, "SETTINGS"}, {5, 45, 3, "SETTINGS"}, {2, 452, 3, "LATERAL"},
        {2, 4522, 3, "ROLLGAIN"}, {1, 452, 3, "LATERAL"}, {1, 45, 3, "SETTINGS"}, {1, 4, 3, "SETTINGS"},
        {1, 0, 3, "TIMER"},
    };
    for (const Step& s : walk) {
        SCOPED_TRACE(testing::Message() << "state " << G_MenuState << " key " << s.key);
        Key(s.key);
        EXPECT_EQ(G_MenuState, s.state);
        EXPECT_EQ(G_CurPage, s.page);
        EXPECT_STREQ(G_SoftKeyLabel[2], s.label2);
    }
    EXPECT_EQ(ChipReg(12) & 0x10, 0x10) << "heading bug shown stored in clock memory";
}

TEST_F(KeyHandlerTest, PageKeyCyclesEnabledScreensAndStoresThePage) {
    Key(1);
    EXPECT_EQ(G_CurPage, 4);
    Key(1);
    EXPECT_EQ(G_CurPage, 9);
    Key(1);
    EXPECT_EQ(G_CurPage, 1);
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 1u);
    EXPECT_EQ(ChipReg(17), 1);
}

TEST_F(KeyHandlerTest, ClockFormatStepsThroughItsThreeValues) {
    Key(2);
    Key(4);
    ASSERT_EQ(G_MenuState, 24u);
    RunApp([] { G_ClockFormat = 0; });
    for (uint32_t expect : {1u, 2u, 0u, 1u}) {
        Key(2);
        EXPECT_EQ(NvGetU32(kNvClockFormat), expect);
        EXPECT_EQ(ChipReg(16), expect);
    }
}

TEST_F(KeyHandlerTest, SyncBugs) {
    struct Case { int32_t alt; int32_t ias; int32_t hdg; int16_t altBug; int16_t spd; int16_t hdgBug; };
    const Case cases[] = {{1237, 974, 3596, 1250, 95, 0}, {1212, 1000, 100, 1200, 100, 10},
                          {-1400, 0, 0, -1000, 0, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.alt);
        G_AirData.nBaroAlt = c.alt;
        G_AirData.nIas = c.ias;
        G_Ahrs.nHeading = c.hdg;
        RunApp([] { G_MenuState = 435; });
        Key(5);
        EXPECT_EQ(G_NavSrc.hdr.nAltBug, c.altBug);
        EXPECT_EQ(G_NavSrc.hdr.nMinAltBug, c.altBug);
        EXPECT_EQ(G_NavSrc.hdr.nSpeedBug, c.spd);
        EXPECT_EQ(G_NavSrc.hdr.nHdgBug, c.hdgBug);
        EXPECT_EQ(static_cast<int16_t>(ChipReg(33) | ChipReg(34) << 8), c.altBug);
    }
}

TEST_F(KeyHandlerTest, LiabilityPageAcceptsOnlyKeyThree) {
    RunApp([] {
        G_LastPage = 3;
        G_CurPage = kPageSplash;
        UpdateSoftKeys();
    });
    EXPECT_STREQ(G_SoftKeyLabel[3], "I AGREE");
    Key(2);
    EXPECT_EQ(G_CurPage, kPageSplash);
    Key(3);
    EXPECT_EQ(G_CurPage, 3);
}

TEST_F(KeyHandlerTest, KnobFunctionStepsAndLimits) {
    struct Case { int32_t function; int32_t start; int32_t delta; int32_t end; };
    const Case cases[] = {
        {kKnobDim, 12, -1, 7}, {kKnobDim, 7, -1, 2}, {kKnobDim, 2, -1, 0}, {kKnobDim, 95, 1, 100},
        {kKnobBaro, 29920, 19, 29930}, {kKnobBaro, 31495, 9, 31500}, {kKnobBaro, 27505, -3, 27500},
        {kKnobBaro, 29920, 2, 29920},
        {kKnobHdg, 358, 19, 13}, {kKnobHdg, 0, -1, 359},
        {kKnobAlt, 1250, 1, 1400}, {kKnobAlt, 24950, 1, 25000}, {kKnobAlt, -900, -19, -1000},
        {kKnobMinAlt, 1234, 19, 1400}, {kKnobMinAlt, 1234, 9, 1250}, {kKnobMinAlt, 1234, 3, 1240},
        {kKnobSpd, 498, 19, 500}, {kKnobSpd, 3, -9, 0},
        {kKnobVspd, 1450, 19, 1500}, {kKnobVspd, 100, -1, 100},
        {kKnobPadj, 295, 19, 300}, {kKnobRadj, -45, -9, -50},
        {kKnobMin, 5, -19, 0}, {kKnobMax, 250, 19, 255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "function " << c.function << " from " << c.start << " by " << c.delta);
        auto value = [f = c.function]() -> int32_t {
            switch (f) {
            case kKnobDim: return static_cast<int32_t>(NvGetU32(kNvDimPercent));
            case kKnobBaro: return G_AirData.nBaroSetting;
            case kKnobHdg: return G_NavSrc.hdr.nHdgBug;
            case kKnobAlt: return G_NavSrc.hdr.nAltBug;
            case kKnobMinAlt: return G_NavSrc.hdr.nMinAltBug;
            case kKnobSpd: return G_NavSrc.hdr.nSpeedBug;
            case kKnobVspd: return NvGetU16(kNvVspdLimit);
            case kKnobPadj: return static_cast<int32_t>(NvGetU32(kNvPitchAdj));
            case kKnobRadj: return static_cast<int32_t>(NvGetU32(kNvRollAdj));
            case kKnobMin: return G_NVRam[kNvApMinSpd];
            default: return G_NVRam[kNvApMaxSpd];
            }
        };
        switch (c.function) {
        case kKnobDim: NvSetU32(kNvDimPercent, static_cast<uint32_t>(c.start)); break;
        case kKnobBaro: G_AirData.nBaroSetting = c.start; break;
        case kKnobHdg: G_NavSrc.hdr.nHdgBug = static_cast<int16_t>(c.start); break;
        case kKnobAlt: G_NavSrc.hdr.nAltBug = static_cast<int16_t>(c.start); break;
        case kKnobMinAlt: G_NavSrc.hdr.nMinAltBug = static_cast<int16_t>(c.start); break;
        case kKnobSpd: G_NavSrc.hdr.nSpeedBug = static_cast<int16_t>(c.start); break;
        case kKnobVspd: NvSetU16(kNvVspdLimit, static_cast<uint16_t>(c.start)); break;
        case kKnobPadj: NvSetU32(kNvPitchAdj, static_cast<uint32_t>(c.start)); break;
        case kKnobRadj: NvSetU32(kNvRollAdj, static_cast<uint32_t>(c.start)); break;
        case kKnobMin: G_NVRam[kNvApMinSpd] = static_cast<uint8_t>(c.start); break;
        default: G_NVRam[kNvApMaxSpd] = static_cast<uint8_t>(c.start); break;
        }
        G_Knob0.nFunction = c.function;
        Knob(c.delta);
        EXPECT_EQ(value(), c.end);
        EXPECT_EQ(G_Knob0.nDelta, 0);
    }
    EXPECT_EQ(ChipReg(28), 100) << "dim level in clock memory";
}

TEST_F(KeyHandlerTest, ScreenAvailabilityAndPaneLayouts) {
    struct Case { bool engine, ahrs, map; int32_t screen; int32_t result; };
    const Case cases[] = {{true, false, false, 3, 1}, {false, true, true, 6, 5}, {false, true, false, 8, 11},
                          {false, false, false, 5, 11}, {false, false, false, 0, 11}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "screen " << c.screen);
        for (NetStreamCfg& s : G_NetStreamCfg) s.INST = 0;
        G_NetStreamCfg[kStreamEngine].INST = c.engine;
        G_NetStreamCfg[kStreamAhrs].INST = c.ahrs;
        G_NetStreamCfg[kStreamMap].INST = c.map;
        int32_t got = 0;
        RunApp([&] {
            CalcAvailScreens();
            got = CheckScreenAvail(c.screen);
        });
        EXPECT_EQ(got, c.result);
    }
    struct Layout { int32_t page; int32_t efis[4]; int32_t map[4]; int32_t engine[4]; int32_t endPage; };
    G_NetStreamCfg[kStreamEngine].INST = 0;
    const Layout layouts[] = {
        {1, {}, {}, {0, 0, 639, 459}, 1},
        {3, {0, 0, 639, 339}, {}, {0, 339, 639, 459}, 3},
        {6, {0, 0, 383, 339}, {383, 0, 639, 339}, {0, 339, 639, 459}, 6},
        {7, {}, {0, 0, 639, 459}, {}, 8},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(testing::Message() << "page " << l.page);
        RunApp([&] {
            G_MenuState = 1;
            G_CurPage = l.page;
            InitScreenConfig();
        });
        EXPECT_EQ(G_CurPage, l.endPage);
        auto rect = [](const PaneRecord& p) { return std::vector<int32_t>{p.x0, p.y0, p.x1, p.y1}; };
        auto want = [](const int32_t (&r)[4]) { return std::vector<int32_t>(r, r + 4); };
        EXPECT_EQ(rect(G_EfisLayout), want(l.efis));
        EXPECT_EQ(rect(G_MapPane), want(l.map));
        EXPECT_EQ(rect(G_EnginePane), want(l.engine));
    }
}

TEST_F(KeyHandlerTest, PopupAndKnobMenuLifetimes) {
    RunApp([] {
        ShowPopupMsg(0xFFFFFF, 320, 240, kTicksPerSecond, "HELLO");
        G_Knob0.nFunction = kKnobDim;
        KnobPress(0);
    });
    EXPECT_EQ(G_Knob0.bSelecting, 1u);
    EXPECT_EQ(G_Knob0.bMenuVisible, 1u);
    RunApp([] { DrawStatusBar(); });
    EXPECT_EQ(G_Popup.bActive, 1u);
    const uint64_t t0 = board().Now();
    RunApp([&] {
        while (board().Now() < t0 + 2 * kTicksPerSecond) HwIdle();
        DrawStatusBar();
    });
    EXPECT_EQ(G_Popup.bActive, 0u) << "ended at the first bar after its second";
    EXPECT_EQ(G_Knob0.bMenuVisible, 1u);
    RunApp([&] {
        while (board().Now() < t0 + 4 * kTicksPerSecond) HwIdle();
        DrawStatusBar();
        G_MapPane.nRedraw = 0;
        DrawStatusBar();
    });
    EXPECT_EQ(G_Knob0.bMenuVisible, 0u) << "closed after 3 s";
    EXPECT_EQ(G_Knob0.bMenuWasVisible, 0u);
    EXPECT_EQ(G_MapPane.nRedraw, 1u) << "the map pane redrawn once where the menu was";
}

}  // namespace
