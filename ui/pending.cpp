// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/splash.h"
#include "ui/statusbar.h"

int32_t ScanButtons() { return 0; }
int32_t ReadKnobDelta(int32_t) { return 0; }
void InitButtons() {}
void InitKnobs() {}
void ResetKnobAllow() {}
void UpdateSoftKeys() {}
void DrawStatusBar() { G_RedrawReq = 0; }
void RedrawScreen() {}
void SetSoftKeyLabel(int32_t, const char*) { DrawStatusBar(); }
void ShowPopupMsg(uint32_t, int32_t, int32_t, uint32_t, const char*, ...) {}
void ClearPopup() {}
void CalcAvailScreens() {}
void ResetScreenEnableMask() {}
int32_t CheckScreenAvail(int32_t screen) { return screen; }
void InitScreenConfig() {}
void PageListMenu() {}
void KnobListMenu() {}
void SplashScreen() {}
void MainKeyHandler() { G_KeyEvent = 0, G_Knob0.nDelta = 0, G_Knob1.nDelta = 0; }
