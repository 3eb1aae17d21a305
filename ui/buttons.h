// Front-panel buttons: six lines (GPIO58..63, low while pressed) scanned by
// the 1 ms tick into the key mailbox, with debounce, long presses, the
// screen-dump request, the battery gestures and stuck-button handling.
#pragma once
#include <cstdint>

extern int32_t G_KeyEvent;        // 0 = empty; written by the tick only while empty

// Bit values of the buttons in the scanner's words (GPIO58 = 0x02 .. GPIO63 = 0x40).
constexpr uint32_t kButtonFirstPin = 58;
constexpr uint32_t kButtonCount    = 6;
constexpr uint32_t kButtonDump     = 0x20;   // soft key 5 held: screen dump

constexpr uint32_t kLongPressHeld    = 3686000;    // while held
constexpr uint32_t kLongPressRelease = 3686400;    // measured at release
constexpr uint32_t kSwitchOffHold    = 18430000;   // 5 s battery switch-off gesture
constexpr uint32_t kStuckHold        = 55296000;   // 15 s
constexpr uint32_t kAlarmAckHoldTicks = 1843000;   // 0.5 s

struct ButtonCell {
    uint16_t nEnabled;
    uint32_t nTime;       // OS-timer count of the last scan that returned this code
};
constexpr int kButtonCells = 12;
extern ButtonCell G_ButtonCell[kButtonCells];
extern uint16_t   G_KeyEnableMask;   // stuck buttons are cleared here until the program restarts

void    InitButtons();
int32_t ScanButtons();
// Main loop: writes the stuck-button lines that the tick could only put in the RAM log.
void    LogStuckButtons();
