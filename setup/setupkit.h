// The setup-screen kit every calibration-mode screen stands on: one pass of
// the screen loop (status bar, watchdog, SD card, the battery check every
// 50 ms, the screen's own sampling), the key codes, the cursor and the rows
// in the setup colours, and the shared RETURN/NEXT/PREV handling. A screen
// is an open function and an input handler that takes one key event and one
// knob delta, so each handler can be driven without the loop.
#pragma once
#include <cstdint>

constexpr int32_t kPageSettingsEdit = 52;   // an editable instrument screen
constexpr int32_t kPageSettingsView = 61;   // a read-only one: key 1 alone works
constexpr int32_t kPageSetupInputs  = 53;   // maintenance and inputs screens
constexpr int32_t kPageSoundTest    = 55;

constexpr uint32_t kSetupTicks50ms  = 184300;   // battery check and sampling period
constexpr uint32_t kSetupTicks250ms = 921500;   // pause before flash writes

struct SettingsScreen {
    int32_t  nInst;         // instrument edited
    int32_t  bEditable;     // 0: values shown only, key 1 alone works
    int32_t  nRow;          // cursor row, 1 ..; 0 when there is no cursor
    int32_t  nColumn;       // point tables: the column edited
    int32_t  nLiveAd;       // last raw input of the instrument
    uint32_t nBattStamp;    // OS-timer count of the last battery check
};
extern SettingsScreen G_SettingsScreen;

// Key code 1..6 of a key event (the second codes 17..22 fold onto them).
int32_t SettingsKey(int32_t key);
// 1 when the engine stream is installed and not taken from the other display.
int32_t EngineSettingsEditable();
// An OFF/ON setting turned by a knob delta: odd deltas flip it.
int32_t StepOffOn(int32_t value, int32_t delta);
// Moves the cursor to row `to` (1..rows; otherwise it stays) and redraws the two rows.
void    MoveSettingsCursor(int32_t to, int32_t rows, void (*drawRow)(int32_t row));
// Opens a screen's state for an instrument: editable screens start with the
// cursor on row 1 and show the edit page, view-only ones the view page.
void    BeginSettingsScreen(int32_t inst);
// The keys every screen shares: 1 leaves, and on an editable screen 2 and 3
// move the cursor down and up.
enum class SettingsKeyStep { kLeave, kDone, kOwnKeys };
SettingsKeyStep SharedSettingsKey(int32_t key, int32_t rows, void (*drawRow)(int32_t row));
// Clears the row's line and draws its label from x 210; y of the row. Draw
// the label before the value: the value only clears right of its column.
void    DrawSettingsLabel(int32_t y, const char* text);
// Value at x 500 in the style of the cursor row or of the others.
void    DrawSettingsValue(int32_t y, int32_t selected, const char* format, ...) __attribute__((format(printf, 3, 4)));
void    DrawSettingsCursor(int32_t y, int32_t shown);
// The same at a screen's own columns.
void    DrawSetupLabelAt(int32_t x, int32_t y, int32_t editable, const char* text);
void    DrawSetupCursorAt(int32_t x, int32_t y, int32_t shown);
void    ClearSettingsArea();
// A screen line in the page being drawn, for the primitives that take frame rows.
int32_t SetupPageY(int32_t y);
void    ClearSettingsLine(int32_t y);
// One pass of sampling as the calibration loops keep it: the A/D step, the
// air-data step and the instrument readings step (its result returned).
uint32_t SetupSampleSteps();
// The loop every screen runs until its handler says leave: each pass the
// status bar when asked, the watchdog (10 s), the SD card, `poll` (the
// screen's own sampling and live values; may be null), the battery check
// every 50 ms, then one key event and the knob's delta (dropped when the
// screen is not editable). On leaving it clears the screen area and shows
// the calibration list's page again.
void    RunSettingsScreen(int32_t (*input)(int32_t key, int32_t delta), void (*poll)());
