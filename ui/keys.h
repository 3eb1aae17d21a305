// The main key handler and the words it shares with the main loop.
#pragma once
#include <cstdint>

extern uint32_t G_MenuState;     // soft-key menu path as decimal digits
extern uint32_t G_LastKeySec;    // G_UptimeSec at the last key or knob event
extern uint32_t G_ClockSyncReq;  // 1: send date and time to the other display
extern uint32_t G_DemoIdleReq;   // 1: run the demo idle reset now
extern uint32_t G_ClockEdit;     // clock-setting field being edited (0..5), 10 when none

void MainKeyHandler();
