// Screen configurations: the current page, the pane records of its layout,
// the screens available for the installed inputs and the user's page and
// knob lists.
#pragma once
#include <cstdint>

constexpr int32_t kPageSplash = 40;
constexpr int32_t kPageCalibration = 51;
constexpr int32_t kPageMagAlign = 17;

extern int32_t G_CurPage;    // the current page, also the screen configuration
extern int32_t G_LastPage;

struct PaneRect {
    int16_t x0, y0, x1, y1;   // inclusive; all zero = no rectangle
};
// Layouts: full; main and strip; three panes; two panes.
constexpr int kPaneLayouts = 4;
extern const PaneRect PaneLayouts[kPaneLayouts][3];

// Where a pane of the current screen configuration is drawn (zero = not shown).
struct PaneRecord {
    const PaneRect* pRect;
    int32_t  x0, y0, x1, y1;
    int32_t  nCenterX, nCenterY;
    int32_t  nWidth, nHeight;
    uint32_t nFlagA, nFlagB, nFlagC;   // interpreted by the pane's owner
    uint32_t nRedraw;                   // 1: the owner redraws the pane
    uint32_t nReady;                    // engine pane: laid out once
    uint32_t nState;                    // engine pane: trim/flap state from the one-second work
};
using EnginePane = PaneRecord;
extern PaneRecord G_EfisLayout;
extern PaneRecord G_MapPane;
extern PaneRecord G_AuxPane;
extern PaneRecord G_EnginePane;

extern uint32_t G_ScreenAvail;    // bit n: main screen n has its inputs
constexpr uint32_t kScreenMaskReset = 0x2FE;
constexpr uint32_t kScreenMaskBad   = 767;

extern const char ScreenNames[8][24];

void    CalcAvailScreens();
// The user's screen-enable mask back to the screens whose inputs exist.
void    ResetScreenEnableMask();
int32_t CheckScreenAvail(int32_t screen);
void    GetNextScreen();
void    InitScreenConfig();
void    PageListMenu();
void    KnobListMenu();
void    ClearMenuStrip();
bool    MapPaneShown();
// The page-list screen over the current main screen (pages 30..33).
void    OpenPageList();
