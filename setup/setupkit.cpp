// The setup-screen kit: the loop pass and drawing shared by every
// calibration-mode screen.
#include "setup/setupkit.h"

#include <cstdarg>
#include <cstdio>

#include "core/adc.h"
#include "core/battery.h"
#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "engine/engine.h"
#include "gui/gui.h"
#include "storage/sdcard.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

SettingsScreen G_SettingsScreen;

static constexpr int32_t kLabelX = 210, kValueX = 500, kCursorX = 200, kFont = 6;

int32_t SettingsKey(int32_t key) { return (key >= 17 && key <= 22) ? key - 16 : key; }

int32_t EngineSettingsEditable() {
    const NetStreamCfg& s = G_NetStreamCfg[kStreamEngine];
    return (s.INST != 0 && s.NET != 2) ? 1 : 0;
}

int32_t StepOffOn(int32_t value, int32_t delta) {
    const int32_t r = (value + delta) % 2;
    return r < 0 ? -r : r;
}

int32_t SetupPageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }
static int32_t PageY(int32_t y) { return SetupPageY(y); }

// Labels run left from their column, values end at theirs.
void DrawSetupLabelAt(int32_t x, int32_t y, int32_t editable, const char* text) {
    DrawTextF(editable ? 31 : 21, kFont, 3, x, y, "%s", text);
}

void DrawSetupCursorAt(int32_t x, int32_t y, int32_t shown) { DrawTextF(shown ? 14 : 0, kFont, 2, x, y, "*"); }

void DrawSettingsLabel(int32_t y, const char* text) {
    GUI_ClearRect(kCursorX + 1, PageY(y), 639, PageY(y + 12));
    DrawSetupLabelAt(kLabelX, y, G_SettingsScreen.bEditable, text);
}

void DrawSettingsValue(int32_t y, int32_t selected, const char* format, ...) {
    char text[64];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    GUI_ClearRect(kValueX, PageY(y), 639, PageY(y + 12));
    DrawTextF(14, kFont, selected ? 14 : 2, kValueX, y, "%s", text);
}

void DrawSettingsCursor(int32_t y, int32_t shown) { DrawSetupCursorAt(kCursorX, y, shown); }

void ClearSettingsLine(int32_t y) { GUI_ClearRect(kCursorX, PageY(y), 639, PageY(y + 12)); }

void ClearSettingsArea() { GUI_ClearRect(200, PageY(25), 500, PageY(459)); }

uint32_t SetupSampleSteps() {
    SampleAdcStep();
    AirdataSampleStep();
    return UpdateInstReadingsStep();
}

void RunSettingsScreen(int32_t (*input)(int32_t key, int32_t delta), void (*poll)()) {
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    G_SettingsScreen.nBattStamp = ReadOsTimer();
    for (;;) {
        if (G_RedrawReq) DrawStatusBar();
        KickWatchdog(10);
        PollSDCard();
        if (poll != nullptr) poll();
        if (TicksElapsed(ReadOsTimer(), G_SettingsScreen.nBattStamp, kSetupTicks50ms)) {
            G_SettingsScreen.nBattStamp = ReadOsTimer();
            CheckBattery();
        }
        const int32_t key = G_KeyEvent;
        G_KeyEvent = 0;
        const int32_t delta = G_SettingsScreen.bEditable ? G_Knob0.nDelta : 0;
        G_Knob0.nDelta = 0;
        if ((key != 0 || delta != 0) && input(key, delta) != 0) break;
        IdleHook();
    }
    ClearSettingsArea();
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    DrawStatusBar();
}

void MoveSettingsCursor(int32_t to, int32_t rows, void (*drawRow)(int32_t row)) {
    if (to < 1 || to > rows) return;
    const int32_t from = G_SettingsScreen.nRow;
    G_SettingsScreen.nRow = to;
    drawRow(from);
    drawRow(to);
}

void BeginSettingsScreen(int32_t inst) {
    G_SettingsScreen = {};
    G_SettingsScreen.nInst = inst;
    G_SettingsScreen.bEditable = EngineSettingsEditable();
    G_SettingsScreen.nRow = G_SettingsScreen.bEditable ? 1 : 0;
    G_CurPage = G_SettingsScreen.bEditable ? kPageSettingsEdit : kPageSettingsView;
}

SettingsKeyStep SharedSettingsKey(int32_t key, int32_t rows, void (*drawRow)(int32_t row)) {
    if (key == 1) return SettingsKeyStep::kLeave;
    if (!G_SettingsScreen.bEditable) return SettingsKeyStep::kDone;
    if (key == 2) MoveSettingsCursor(G_SettingsScreen.nRow + 1, rows, drawRow);
    if (key == 3) MoveSettingsCursor(G_SettingsScreen.nRow - 1, rows, drawRow);
    return SettingsKeyStep::kOwnKeys;
}
