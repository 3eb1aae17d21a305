// The frame of the auxiliary pages: which page draws, where their keys go,
// the checklist chosen when the pages open and the aircraft picture.
#include "setup/auxpages.h"

#include <cmath>

#include "core/boot.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "engine/bargauge.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "storage/nvram.h"
#include "ui/knob.h"
#include "ui/knobadjust.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/statusbar.h"

uint32_t      G_AuxPageIdx = 0;
AircraftImage G_AircraftImage = {kAircraftImageWidth, kAircraftImageHeight, kAircraftImageWidth, {}, {}};

constexpr int32_t kIasInFlight = 250;      // tenths of a knot
constexpr uint32_t kDemoGround = 0x1FC;    // any demonstration source counts as on the ground
constexpr int32_t kRpmIdle = 15000;        // tenths of RPM

static bool EngineInstalled() { return G_NetStreamCfg[kStreamEngine].INST != 0; }

bool AuxInFlight() { return G_AirData.nIas >= kIasInFlight && (G_DemoFlags & kDemoGround) == 0; }

void SetAuxPaneClip(int32_t lineOffset) {
    const PaneRecord& p = G_AuxPane;
    const GUI_Rect r = {static_cast<int16_t>(p.x0), static_cast<int16_t>(p.y0 + lineOffset),
                        static_cast<int16_t>(p.x1), static_cast<int16_t>(p.y1 + lineOffset)};
    GUI_SetClipRect(&r);
}

void ClearAuxPaneClip() { GUI_SetClipRect(nullptr); }

void AuxPaneInit() {
    if (G_AuxPane.pRect == nullptr) return;
    const int32_t rpm = G_InstReading[kInstRpm].nValue;
    G_AuxPageIdx = rpm == 0 ? 0 : (rpm < kRpmIdle ? 2 : 5);
    InitFlapGauge();
    InitTrimGauge();
}

void DrawPageImage() {
    const AircraftImage& a = G_AircraftImage;
    static const GUI_Palette pal = {256, 0, G_AircraftImage.aPalette};
    // The descriptor comes from a file: never let it reach past the pixels.
    const uint16_t w = a.nWidth < kAircraftImageWidth ? a.nWidth : kAircraftImageWidth;
    const uint16_t h = a.nHeight < kAircraftImageHeight ? a.nHeight : kAircraftImageHeight;
    const GUI_Bitmap bitmap = {w, h, kAircraftImageWidth, 8, a.abPixels, &pal, nullptr};
    GUI_DrawBitmap(&bitmap, 0, kOffscreenBandY);
}

void ShowAircraftImage() { DrawPageImage(); }

void DrawAuxPage() {
    const uint32_t idx = G_AuxPageIdx;
    if (idx < kAuxChecklists) DrawChecklistPage(0);
    else if (idx == kAuxMaint) DrawMaintPage(0);
    else if (idx == kAuxBalance) DrawBalancePage(0);
    else if (idx == kAuxStations) DrawStationsPage(0);
    else if (idx == kAuxAbout) AboutScreen(0);
}

// ---- keys -----------------------------------------------------------------------------------

// The next titled checklist in the direction; an untitled set leaves the
// index where 21 steps end.
static void TurnChecklist(int32_t dir) {
    int32_t idx = WrapIndex(static_cast<int32_t>(G_AuxPageIdx), kChecklists, dir);
    for (int n = 0; n < kChecklists && G_Checklists[idx][0][0] == 0; ++n) idx = WrapIndex(idx, kChecklists, dir);
    G_AuxPageIdx = static_cast<uint32_t>(idx);
}

// Maintenance and weight and balance take the whole screen, or the screen
// above the engine strip.
static void OpenFullPane(uint32_t idx, uint32_t menu) {
    G_CurPage = EngineInstalled() ? 12 : 11;
    InitScreenConfig();
    G_AuxPageIdx = idx;
    G_MenuState = menu;
}

static uint32_t LastFlightMinutes() {
    const float minutes = NvGetF32(kNvLastFlight) * 60.0f;
    if (!(std::fabs(minutes) < 1e9f)) return 0;   // an image never written holds no time
    const int32_t m = RoundNearest(minutes);
    return static_cast<uint32_t>(m < 0 ? -m : m);
}

static void ChecklistKeys(int32_t code) {
    switch (code) {
    case -10: case 10: KnobAdjust(1); break;
    case -1: case 1: KnobAdjust(0); break;
    case 2:
        OpenFullPane(kAuxMaint, kMenuMaint);
        G_LogMinutes = LastFlightMinutes();
        RedrawScreen();
        DrawMaintPage(0);
        break;
    case 3:
        OpenFullPane(kAuxBalance, kMenuBalance);
        RedrawScreen();
        ShowAircraftImage();
        DrawBalancePage(0);
        break;
    case 4: TurnChecklist(-1); DrawChecklistPage(4); break;
    case 5: TurnChecklist(1); DrawChecklistPage(5); break;
    case 6: KnobPress(0); break;
    case 22: KnobPushSync(0); break;
    case 7: case 23: break;
    default: DrawChecklistPage(code); break;
    }
}

void AuxPageKeys(int32_t code) {
    if (code == kAuxPageOpen) InitScreenConfig();
    const uint32_t idx = G_AuxPageIdx;
    if (idx < kAuxChecklists) ChecklistKeys(code);
    else if (idx == kAuxMaint) DrawMaintPage(code);
    else if (idx == kAuxBalance) DrawBalancePage(code);
    else if (idx == kAuxStations) DrawStationsPage(code);
    else if (idx == kAuxAbout) AboutScreen(code);
}
