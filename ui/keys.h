// The main key handler and the words it shares with the main loop.
#pragma once
#include <cstdint>

extern uint32_t G_MenuState;     // soft-key menu path as decimal digits
extern uint32_t G_LastKeySec;    // G_UptimeSec at the last key or knob event
extern uint32_t G_ClockSyncReq;  // 1: send date and time to the other display
extern uint32_t G_DemoIdleReq;   // 1: run the demo idle reset now
extern uint32_t G_ClockEdit;     // clock-setting field being edited (0..5), 10 when none, 20 timer shown
extern uint32_t G_AlarmAckHold;  // 1: soft key 1 acknowledged an alarm; cleared by the scan 0.5 s later
extern uint32_t G_AlarmAckTime;
extern uint32_t G_ListCursor;    // cursor of the page list (7 entries) and the knob list (9)
extern uint32_t G_KnobListSide;  // knob whose list the knob-list screen edits: 0 left, 1 right
extern uint32_t G_SavedMenuState;
extern uint32_t G_EditHour;      // clock editor's copies of the time
extern uint32_t G_EditMinute;
extern uint32_t G_MagAlignStep;

void MainKeyHandler();
