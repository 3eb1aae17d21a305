// Settings screens of the fuel-flow, fuel-computer, tank and flap
// instruments. They share one pattern: numbered rows, a cursor, key 1
// leaves, keys 2 and 3 move the cursor, key 5 saves and reloads, knob turns
// edit the row under the cursor. Each screen is a loop (the *Menu function)
// around an input handler that takes one key event and one knob delta, so
// the handlers can be driven directly.
#pragma once
#include <cstdint>

constexpr int32_t kPageSettingsEdit = 52;
constexpr int32_t kPageSettingsView = 61;

struct SettingsScreen {
    int32_t  nInst;         // instrument edited
    int32_t  bEditable;     // 0: values shown only, key 1 alone works
    int32_t  nRow;          // cursor row, 1 ..; 0 when there is no cursor
    int32_t  nColumn;       // tank point rows: 0 display value, 1 ground A/D, 2 flight A/D
    int32_t  nLiveAd;       // last raw input of the instrument
    uint32_t nBattStamp;    // OS-timer count of the last battery check
};
extern SettingsScreen G_SettingsScreen;

// Input handlers: key 0 = no key, delta 0 = no turn. They return 1 when the
// screen is to be left, else 0.
void    FuelFlowScreenOpen();
int32_t FuelFlowScreenInput(int32_t key, int32_t delta);
void    FuelCompScreenOpen();
int32_t FuelCompScreenInput(int32_t key, int32_t delta);
void    TankScreenOpen(int32_t inst);
int32_t TankScreenInput(int32_t key, int32_t delta);
void    FlapScreenOpen();
int32_t FlapScreenInput(int32_t key, int32_t delta);

// Rows the screens show (the cursor stays within them) and the value text
// of a row as drawn.
int32_t     FuelFlowScreenRows();
int32_t     TankScreenRows();
const char* FuelFlowScreenValue(int32_t row);
const char* FuelCompScreenValue(int32_t row);
const char* TankScreenValue(int32_t row);
const char* FlapScreenValue(int32_t row);

// The numeric-row screens of RPM, the probes, horsepower and the trims:
// opened, driven one key and knob delta at a time, and their value texts.
void        RpmScreenOpen();
void        EgtChtScreenOpen(int32_t first);
void        HorsepowerScreenOpen();
void        TrimScreenOpen(int32_t inst);
void        EngineTimersScreenOpen();
int32_t     EngineMenuInput(int32_t key, int32_t delta);
int32_t     EngineMenuRows();
const char* EngineMenuValue(int32_t row);

// The screens: each runs its own loop and returns when the user leaves.
void FuelFlowCalMenu();
void FuelCompMenu();
void TanksCalMenu(int32_t inst);
void FlapCalMenu();
void RpmCalMenu();
// The probe group that starts at first: 26 EGT, 32 TIT, 34 CHT.
void EgtChtCalMenu(int32_t first);
void HorsepowerMenu();
// 23 elevator, 24 aileron.
void TrimCalMenu(int32_t inst);
// Tach, Hobbs, today's time and date and the last flight; writes the NVRAM image.
void EngineTimersMenu();

// ---- shared by the screens ------------------------------------------------------------------
// Key code 1..6 of a key event (the second codes 17..22 fold onto them).
int32_t SettingsKey(int32_t key);
// 1 when the engine stream is installed and not taken from the other display.
int32_t EngineSettingsEditable();
// Limit in tenths of a gallon moved by a knob delta in display units
// (1 gallon-tenth or 10 litre-tenths a step).
int32_t EditFuelLimit(int32_t inst, int32_t value, int32_t delta);
// An OFF/ON setting turned by a knob delta: odd deltas flip it.
int32_t StepOffOn(int32_t value, int32_t delta);
// Limit as shown: in display units, divided by the step.
int32_t ShownFuelLimit(int32_t inst, int32_t value);
// Moves the cursor to row `to` (1..rows; otherwise it stays) and redraws the two rows.
void    MoveSettingsCursor(int32_t to, int32_t rows, void (*drawRow)(int32_t row));
// Opens a screen's state for an instrument: editable screens start with the
// cursor on row 1 and show the edit page, view-only ones the view page.
void    BeginSettingsScreen(int32_t inst);
// The keys every screen shares: 1 leaves, and on an editable screen 2 and 3
// move the cursor down and up.
enum class SettingsKeyStep { kLeave, kDone, kOwnKeys };
SettingsKeyStep SharedSettingsKey(int32_t key, int32_t rows, void (*drawRow)(int32_t row));
// Draws a row label at x 210 and clears its line; y of the row.
void    DrawSettingsLabel(int32_t y, const char* text);
// Value at x 500 in the style of the cursor row or of the others.
void    DrawSettingsValue(int32_t y, int32_t selected, const char* format, ...) __attribute__((format(printf, 3, 4)));
void    DrawSettingsCursor(int32_t y, int32_t shown);
void    ClearSettingsArea();
void    ClearSettingsLine(int32_t y);
// The loop every screen runs until its handler says leave.
void    RunSettingsScreen(int32_t (*input)(int32_t key, int32_t delta), void (*poll)());
