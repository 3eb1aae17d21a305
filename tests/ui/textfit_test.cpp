// Every fixed text of the built pages measured in the font it is drawn in,
// against the room its page gives it: soft-key and knob labels between their
// neighbours, knob-menu rows, the splash warning inside its frame, the page
// and knob lists' columns, the timer before its arrow. Failures are listed
// together, so a font change shows all it breaks at once.
#include <cstdio>
#include <string>
#include <vector>

#include "core/alarm.h"
#include "core/boot.h"
#include "core/discrete.h"
#include "core/timefmt.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "gui/gui.h"
#include "map/map.h"
#include "nav/navsrc.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/splash.h"
#include "ui/statusbar.h"
#include "ui/style.h"
#include "ui_fixture.h"

namespace {

constexpr int32_t kLabelFont = 7, kLabelSpacing = 95, kKnobLabelX = 578, kLastKeyX = 463;

class TextFitTest : public MainPagesTest {
protected:
    // Notes `text` when it is wider than `room` pixels in program font `font`.
    void Fits(const std::string& where, int32_t font, const char* text, int32_t room) {
        const int32_t w = TextWidth(font, text);
        if (w > room) misfits_.push_back(where + " \"" + text + "\": " + std::to_string(w) + " px in " + std::to_string(room));
    }
    void ExpectAllFit() {
        std::string all;
        for (const std::string& m : misfits_) all += m + "\n";
        EXPECT_TRUE(misfits_.empty()) << misfits_.size() << " texts out of their boxes:\n" << all;
    }
    // Lit pixels of `index` in rows y0..y1, columns x0..x1 of the first page.
    int Count(uint8_t index, int x0, int y0, int x1, int y1) {
        const uint8_t* mem = board().display().Memory();
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += mem[y * 640 + x] == index;
        return n;
    }
    std::vector<std::string> misfits_;
};

// Soft-key labels 1..5 sit 95 px apart, centred: each keeps a pixel from its
// neighbours in every menu state and with every setting it reports.
TEST_F(TextFitTest, SoftKeyLabelsFitBetweenTheirNeighbours) {
    static const uint32_t kStates[] = {0,   2,   3,   4,   6,   24,  32,   33,   34,   42,   43,    45,    62,   63,  64,
                                       422, 423, 425, 435, 452, 622, 632,  633,  642,  4222, 4225, 4253, 4522, 4523,
                                       42224, 42225, 42254};
    static const int32_t kPages[] = {1, 3, 7, 8, 10, 17, 30, 34, kPageSplash, 51, 52, 53, 54, 55, 61};
    // The longest source names in every navigation slot.
    size_t longest = 0;
    for (int k = 0; k < kNavKinds - 1; ++k)
        if (std::strlen(NavSrcKindNames[k]) > std::strlen(NavSrcKindNames[longest])) longest = static_cast<size_t>(k);
    for (int s = 0; s < kNavSlots; ++s) {
        G_NavSrc.rec[s].nKind = static_cast<uint8_t>(longest);
        G_NavSrc.rec[s].bInUse = 1;
    }
    G_NavSrc.hdr.nCrsSlot = G_NavSrc.hdr.nBrgSlot = G_NavSrc.hdr.nMapSrcSlot = 0;
    G_NetStreamCfg[kStreamAoa].INST = 1;
    NvSetU32(kNvAdminUser, 1);
    RunApp([] { for (int i = 0; i < kDiscreteInputs; ++i) SetDiscreteLabel(i, "CANOPY OPEN"); });
    for (uint32_t on : {0u, 1u}) {
        G_TimerRun = G_MapTerrOn = G_NexradOn = G_MapPvtOn = G_MapIntsOn = G_MapAirOn = G_MapShowEngine = on;
        G_AhrsState.nAiding = on;
        G_KnobPushSel = on;
        for (uint32_t w : {kNvWindsGaugeOn, kNvGMeterOn, kNvAhrsDebug}) NvSetU32(w, on);
        for (int32_t page : kPages)
            for (uint32_t state : kStates)
                for (int32_t alarm : {-1, 0, 9, 26, 48, 51}) {
                    RunApp([&] {
                        G_CurPage = page;
                        G_MenuState = state;
                        G_AlarmCur = alarm;
                        G_ClockEdit = on ? 10 : 0;
                        UpdateSoftKeys();
                    });
                    char where[48];
                    std::snprintf(where, sizeof where, "page %d state %u", static_cast<int>(page), state);
                    for (int key = 1; key <= 5; ++key) Fits(where, kLabelFont, G_SoftKeyLabel[key], kLabelSpacing - 2);
                }
    }
    for (int32_t slot = 0; slot < 52; ++slot) {
        RunApp([slot] {
            G_CurPage = 3;
            G_MenuState = 0;
            G_AlarmCur = slot;
            UpdateSoftKeys();
        });
        Fits("alarm " + std::to_string(slot), kLabelFont, G_SoftKeyLabel[1], kLabelSpacing - 2);
    }
    ExpectAllFit();
}

// The knob label is centred at x 578: it clears key 5's label on its left and
// "DEMO" (bottom-right at x 639, in the same rows) on its right.
TEST_F(TextFitTest, KnobLabelsClearKeyFiveAndDemo) {
    const int32_t demoLeft = 640 - TextWidth(2, "DEMO");
    const int32_t keyFiveRight = kLastKeyX + (kLabelSpacing - 2) / 2;
    NvSetU32(kNvDimPercent, 100);
    NvSetU32(kNvPitchAdj, static_cast<uint32_t>(-100));
    NvSetU32(kNvHeadingAdj, static_cast<uint32_t>(-100));
    NvSetU32(kNvRollAdj, static_cast<uint32_t>(-100));
    NvSetU32(kNvFuelAdjust, static_cast<uint32_t>(-9999));
    NvSetU16(kNvVspdLimit, 1500);
    G_NVRam[kNvApMinSpd] = 255;
    G_NVRam[kNvApMaxSpd] = 255;
    for (int i = 0; i < 40; ++i) G_NVRam[kNvApGains + i] = 0xFF;
    for (uint32_t state : {0u, 64u, 642u, 4522u, 4523u})
        for (int32_t f = 0; f <= kKnobFunctions + 1; ++f) {
            RunApp([state, f] {
                G_MenuState = state;
                G_Knob0.nFunction = f;
                UpdateKnobLabel();
            });
            // Centred as the text output centres: from x - w / 2, w pixels wide.
            const int32_t w = TextWidth(kLabelFont, G_SoftKeyLabel[6]);
            const int32_t left = kKnobLabelX - w / 2, right = left + w - 1;
            if (left <= keyFiveRight + 1 || right >= demoLeft - 1)
                misfits_.push_back("knob function " + std::to_string(f) + " \"" + G_SoftKeyLabel[6] + "\": " +
                                   std::to_string(left) + ".." + std::to_string(right) + " between " +
                                   std::to_string(keyFiveRight) + " and " + std::to_string(demoLeft));
        }
    ExpectAllFit();
}

// Knob-menu rows are 80 px boxes, the name centred.
TEST_F(TextFitTest, KnobMenuNamesFitTheirRows) {
    for (int f = 1; f <= kKnobFunctions; ++f) Fits("knob menu", kLabelFont, KnobMenuNames[f], 78);
    ExpectAllFit();
}

// The timer's digits end before its direction arrow (8 px left of x + 90).
TEST_F(TextFitTest, TimerEndsBeforeItsArrow) {
    Fits("timer", 11, "-99:59 T", 90 - 8 - 1);   // its last character is a blank
    ExpectAllFit();
}

// The warning lines stay inside the frame (x 100..540) with a pixel to spare,
// and every splash line inside the screen, in demo mode with a map file.
TEST_F(TextFitTest, SplashTextsStayInTheirFrame) {
    G_DemoFlags = kDemoAll;
    RunApp([] {
        InitPalette();
        GUI_Clear();
        SplashScreen();
    });
    const uint8_t white = 31;
    EXPECT_EQ(Count(white, 0, 272, 99, 420), 0) << "warning text left of the frame";
    EXPECT_EQ(Count(white, 541, 272, 639, 420), 0) << "warning text right of the frame";
    EXPECT_EQ(Count(white, 101, 272, 101, 420) + Count(white, 539, 272, 539, 420), 0) << "text touches the frame";
    for (uint8_t colour : {uint8_t{31}, uint8_t{14}, uint8_t{2}})
        EXPECT_EQ(Count(colour, 0, 130, 0, 445) + Count(colour, 639, 130, 639, 445), 0) << "a line reaches the screen edge";
}

// The lists' title ends before the number column, each name before the state
// column, each state before the help column.
TEST_F(TextFitTest, ListColumnsHoldTheirTexts) {
    RunApp([] {
        G_CurPage = 30;
        G_MenuState = 4225;
        InitScreenConfig();
        GUI_Clear();
        PageListMenu();
    });
    const PaneRect& strip = PaneLayouts[1][1];
    const int32_t x0 = strip.x0, c1 = x0 + 100, c2 = x0 + 250, c3 = x0 + 400;
    EXPECT_EQ(Count(5, c1 - 1, strip.y0, 639, strip.y1), 0) << "the title runs into the first column";
    for (int s = 1; s < 8; ++s) {
        char text[40];
        std::snprintf(text, sizeof text, "%d:  %s", s, ScreenNames[s]);
        Fits("page list", 9, text, c2 - c1 - 2);
    }
    for (int f = 1; f < 10; ++f) {
        char text[40];
        std::snprintf(text, sizeof text, "%d:  %s", f, KnobMenuNames[f]);
        Fits("knob list", 3, text, c2 - c1 - 2);
    }
    for (int32_t font : {9, 3}) Fits("list state", font, "  DISABLED  ", c3 - c2 - 2);
    ExpectAllFit();
    EXPECT_EQ(Count(31, 639, strip.y0, 639, strip.y1), 0) << "the help text reaches the screen edge";
}

}  // namespace
