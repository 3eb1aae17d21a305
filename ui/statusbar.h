// Status bar and soft keys.
#pragma once
#include <cstdint>

extern uint32_t G_RedrawReq;   // 1: redraw the soft keys and status bar

void UpdateSoftKeys();
void DrawStatusBar();
void RedrawScreen();
void SetSoftKeyLabel(int32_t key, const char* text);
// A timed pop-up message box; ends after duration ticks or at ClearPopup.
void ShowPopupMsg(uint32_t colour, int32_t x, int32_t y, uint32_t duration, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void ClearPopup();
