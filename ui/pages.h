// Screen configurations: the current page and the pane records.
#pragma once
#include <cstdint>

constexpr int32_t kPageSplash = 40;
constexpr int32_t kPageCalibration = 51;

extern int32_t G_CurPage;    // the current page, also the screen configuration
extern int32_t G_LastPage;

struct EnginePane {
    uint32_t nReady;      // 1 once laid out
    uint32_t nState;      // trim/flap pane state from the one-second work
};
extern EnginePane G_EnginePane;

void    CalcAvailScreens();
// The user's screen-enable mask back to the screens whose inputs exist.
void    ResetScreenEnableMask();
int32_t CheckScreenAvail(int32_t screen);
void    InitScreenConfig();
void    PageListMenu();
void    KnobListMenu();
