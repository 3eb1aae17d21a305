// Status bar and soft keys: the labels of the five keys and the knob, the
// card, DEMO and NETLOG marks or one message line, composed off screen and
// copied into the page being drawn.
#pragma once
#include <cstdint>

extern uint32_t G_RedrawReq;   // 1: redraw the soft keys and status bar
extern char     G_SoftKeyLabel[8][16];   // 1..5 keys, 6 knob label

// Message mode, written by the battery monitor: the bar shows one line.
struct StatusMsg {
    uint32_t bShown;
    uint32_t nColour;
    char     szText[64];
};
extern StatusMsg G_StatusMsg;
extern uint32_t  G_ScreenDumpLatch;   // a dump was requested since the card was polled

void UpdateSoftKeys();
void DrawStatusBar();
void RedrawScreen();
void SetSoftKeyLabel(int32_t key, const char* text);
