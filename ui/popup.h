// The knob label, the knob menus above the status bar and timed pop-up messages.
#pragma once
#include <cstdint>

struct PopupMsg {
    uint32_t bActive;
    uint32_t nShown;       // OS-timer count when shown
    uint32_t nDuration;    // ticks
    int16_t  x0, y0, x1, y1;
    uint32_t nColour;
    char     szText[128];
};
extern PopupMsg G_Popup;

extern const char KnobMenuNames[30][12];

void UpdateKnobLabel();
void DrawKnobMenu(int32_t knob);
void ShowPopupMsg(uint32_t colour, int32_t x, int32_t y, uint32_t duration, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
void DrawBoxText();
void ClearPopup();
