// Status bar and soft keys.
#pragma once
#include <cstdint>

extern uint32_t G_RedrawReq;   // 1: redraw the soft keys and status bar

void UpdateSoftKeys();
void DrawStatusBar();
void RedrawScreen();
