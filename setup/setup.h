// Calibration mode, setup and auxiliary pages.
#pragma once
#include <cstdint>

#include "setup/auxpages.h"

// ---- calibration mode and its list ---------------------------------------------------------
constexpr int32_t kCalRows = 34;        // rows 1..25 on the first page, 26..34 on the second
constexpr int32_t kCalRowsPage1 = 25;

// Runs instead of the main loop until the second key 1, then leaves through
// a warm restart (REBOOT "1").
void    CalibrationMode();
void    DrawCalTitle();
// Each draws its page of the list and returns the marker line of its last row.
int32_t DrawCalListPage1();
int32_t DrawCalListPage2();
// The list's opening and its handler of one key event (1 when leaving),
// callable without the loop.
void    CalListOpen();
int32_t CalListInput(int32_t key, int32_t delta);
int32_t CalListRow();
int32_t CalListMarkerY();
// A row greyed by the module configuration and the engine type, and its text.
bool        CalRowGrey(int32_t row);
const char* CalRowText(int32_t row);
// False for the rows that open nothing: 32, and 21 on the radial engine.
bool        CalRowOpens(int32_t row);

// ---- the screens the list opens ------------------------------------------------------------
void    GaugeCalScreen(int32_t inst);
void    GaugeCalOpen(int32_t inst);
int32_t GaugeCalInput(int32_t key, int32_t delta);
void    GaugeCalPoll();
// The value text of a gauge-screen row as drawn (rows 1..11, then points).
const char* GaugeCalValue(int32_t row);
int32_t GaugeCalRows();        // the highest row
int32_t GaugeCalRowY(int32_t row);

void    EngineTypeScreen();
void    EngineTypeOpen();
int32_t EngineTypeInput(int32_t key, int32_t delta);

void    InputsConfigScreen();
void    InputsConfigOpen();
int32_t InputsConfigInput(int32_t key, int32_t delta);
// Reads the three input pins and draws their live boxes; returns the bits shown.
uint32_t InputsLiveState();
// The value text of an inputs-screen row (1..15) as drawn.
const char* InputsConfigValue(int32_t row);
char    NextLabelChar(char c, int32_t delta);
void    InputsNop();

void    AdminSettingsScreen();
// Opened from the administrator settings.
void    FileTransferScreen();
void    MaintenanceMenu();
void    DiagnosticsMenu();
// Opened from the maintenance menu; draws from line y down.
void    ArincUpgradeScreen(int32_t y);

// ---- configuration file transfer -----------------------------------------------------------
constexpr int32_t kXferRows = 21;   // rows 15..21 only in administrator mode
struct XferRow {
    char szDesc[40];
    char szLabel[16];
};
static_assert(sizeof(XferRow) == 56);
extern const XferRow XferRowText[kXferRows + 1];   // row 0 unused
extern const char    XferStateNames[5][16];
// Copies one file (file and extension ids) in direction 1 BACKUP or 2
// RESTORE, showing it right-aligned at x in the row at y, cleared from
// clearX; CopyFileSD's result, -1 for any other direction.
int32_t TransferFileAction(int32_t file, int32_t ext, int32_t dir, int32_t clearX, int32_t x, int32_t y);
void    FileTransferOpen();
int32_t FileTransferInput(int32_t key, int32_t delta);
int32_t FileTransferRow();
int32_t FileTransferRowsShown();
// The row's state as drawn (" --- ", " BACKUP ", " RESTORE ", " DONE ", " ERROR ").
const char* FileTransferState(int32_t row);

// ---- system maintenance menu ---------------------------------------------------------------
constexpr int32_t kMaintMenuRows = 4;
constexpr int32_t kMaintListCap = 50;   // files listed at most
void    MaintenanceMenuOpen();
int32_t MaintenanceMenuInput(int32_t key, int32_t delta);
int32_t MaintenanceMenuRow();
// The flash statistics and the sorted file list from line y down.
void    ShowMemoryUsage(int32_t y);

// ---- diagnostics ---------------------------------------------------------------------------
constexpr int32_t kDiagItems = 10;
extern const char DiagItemText[kDiagItems][32];
struct NamedColour {
    const char* szName;
    uint32_t    nRgb;        // 0x00BBGGRR
};
constexpr int32_t kDiagNamedColours = 23;
extern const NamedColour DiagNamedColours[kDiagNamedColours];
// Port 1..4 with a plug joining its transmit and receive lines; until key 4.
void    SerialLoopbackTest(int32_t port, int32_t x, int32_t y);
// Calibration sentences on the port, acted on only in administrator mode;
// until key 4 or 1.
void    AirdataAutoCalScreen(int32_t port, int32_t x, int32_t y);
// The palette chart in rect (x0, y0, x1, y1); until any key, which stays in
// the mailbox.
void    DumpColorIndexes(const int16_t rect[4]);
// The ARINC adapter's live view: kind 0 VOR, 1 GPS; until key 1 or 4.
void    ArincTestScreen(int32_t x, int32_t y, int32_t kind);
// What the screens showed last, as their words (the tests read them).
uint32_t    LoopbackTotal();
const char* LoopbackShownText();
int32_t     DiagMenuRow();
int32_t     DiagAlarmOutput();   // row 5's state
// Opened from the list, owned by the flight instruments and the engine
// monitor.
void AltitudeCalScreen();
void AirspeedCalScreen();
void AoaCalScreen();
void OatCalScreen();
void RpmCalMenu();
void EgtChtCalMenu(int32_t first);
void HorsepowerMenu();
void TrimCalMenu(int32_t inst);

// ---- weight and balance files --------------------------------------------------------------
void ReadAircraftFile();
void WriteAircraftFile();
void LoadAircraftBitmap();

// ---- readouts and units --------------------------------------------------------------------
// An instrument's value in its configured display unit; numbers outside
// 0..47 come back unchanged.
int32_t ToDisplayUnits(int32_t inst, int32_t value);
// A value in an instrument's display unit back in its internal unit.
float FromDisplayUnits(int32_t inst, float value);
// 1: the calibration screens read one input at a time (the diagnostics
// switch); 0 at every start.
extern uint32_t G_AnalogReadMode;
// Outside analog read mode one pass of normal sampling (the readings step's
// result); in it the instrument's raw count, after selecting its multiplexer
// group and letting it settle when the group changes. An instrument outside
// 0..47 reads 0.
int32_t ReadInstrumentRaw(int32_t inst);
// The two-unit readout line of an instrument as the calibration screens show
// it; false (and an empty text) for an instrument without one.
bool    FormatCalReadout(int32_t inst, char* out, int32_t size);
// The line drawn right-aligned at (x, y); nothing for those without one.
void    ShowCalReadout(int32_t inst, int32_t x, int32_t y);
