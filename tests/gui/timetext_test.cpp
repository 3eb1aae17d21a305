// The clock-setting line and the timer readout as the pages draw them: the
// editor's values with the edited field inverted, and the direction arrow.
#include <cstring>
#include "core/irq.h"
#include "core/rtc.h"
#include "core/timefmt.h"
#include "gui/text.h"
#include "gui_fixture.h"
#include "platform/hw.h"
#include "ui/keys.h"
#include "ui/style.h"

class TimeTextTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        ClearFrame();
        G_FlipCtl.nDrawPageY = 0;
        GUI_SetBkColorIndex(0);
    }
    // Reference drawing of the clock font: `text` at (x, y) in index 31,
    // transparent or inverted on black; returns the cursor's x.
    int Ref(int x, int y, const char* text, bool inverted) {
        SelectFont(11);
        GUI_SetColorIndex(31);
        GUI_SetBkColorIndex(0);
        GUI_SetTextAlign(GUI_TA_LEFT);
        GUI_SetTextMode(inverted ? GUI_DM_REV : GUI_DM_TRANS);
        GUI_DrawTextAt(text, x, y);
        GUI_SetTextMode(GUI_DM_NORMAL);
        return GUI_GetTextPosX();
    }
    // Rows y0..y0+23 against rows y1..y1+23.
    bool SameBand(int y0, int y1) {
        return std::memcmp(Frame() + y0 * 640, Frame() + y1 * 640, 640 * 24) == 0;
    }
};

TEST_F(TimeTextTest, ClockLineShowsTheEditedValuesWithTheFieldInverted) {
    HwWrite32(RCNR, 10 * 3600 + 37 * 60);   // the running clock says 10:37
    G_DateTime = DateTime{2015, 10, 5, 30, 10, 37, 0};
    G_UtcOffset = -7;
    G_EditHour = 5;
    G_EditMinute = 7;
    struct Case { uint32_t edit; const char* before; const char* field; const char* after; };
    const Case cases[] = {
        {0, "", "05", ":07:00  10/30/2015  -7"},
        {1, "05:", "07", ":00  10/30/2015  -7"},
        {2, "05:07:00  ", "10", "/30/2015  -7"},
        {3, "05:07:00  10/", "30", "/2015  -7"},
        {4, "05:07:00  10/30/", "2015", "  -7"},
        {5, "05:07:00  10/30/2015  ", "-7", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.edit);
        ClearFrame();
        G_ClockEdit = c.edit;
        FormatClockLine(20, 100);
        int x = Ref(20, 200, c.before, false);
        x = Ref(x, 200, c.field, true);
        Ref(x, 200, c.after, false);
        EXPECT_TRUE(SameBand(100, 200));
    }
    // Outside the editor: the running time in the chosen format.
    ClearFrame();
    G_ClockEdit = 10;
    G_ClockFormat = 1;
    FormatClockLine(20, 100);
    Ref(20, 200, "10:37:00 L ", false);
    EXPECT_TRUE(SameBand(100, 200));
}

TEST_F(TimeTextTest, TimerShowsItsDirectionArrow) {
    G_TimerSec = 75;
    G_TimerDir = 1;
    FormatTimerDisplay(100, 50);
    // Up: the tip at (x + 86, y), the stem down to row y + 9.
    EXPECT_EQ(Px(186, 50), 31);
    EXPECT_EQ(Px(186, 58), 31);
    EXPECT_EQ(Px(186, 61), 0);
    EXPECT_EQ(Px(182, 54), 31);
    ClearFrame();
    G_TimerDir = -1;
    FormatTimerDisplay(100, 50);
    EXPECT_EQ(Px(186, 62), 31);   // down: the tip at (x + 86, y + 12)
    EXPECT_EQ(Px(186, 54), 31);
    EXPECT_EQ(Px(186, 50), 0);
    EXPECT_EQ(Px(182, 58), 31);
    // The arrow stays while the expired readout blinks out.
    G_TimerSec = -1;
    for (int i = 0; i < 40 && Set(0, 40, 180, 80, 31).size() + Set(0, 40, 180, 80, 5).size() != 0; ++i) {
        ClearFrame();
        FormatTimerDisplay(100, 50);
    }
    EXPECT_EQ(Set(0, 40, 180, 80, 31).size() + Set(0, 40, 180, 80, 5).size(), 0u);
    EXPECT_EQ(Px(186, 62), 31);
}
