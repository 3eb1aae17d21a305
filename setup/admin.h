// The administrator settings screen of calibration mode: log copies, the
// data-logging interval, serial port functions, the autopilot vertical mode,
// navigation sources, the module configuration and network numbers, remote
// files, administrator mode, erasing logs, clock defaults, the debug-port and
// autopilot-output switches and the application exit.
//
// For service staff: administrator mode (item 23) opens with the access
// number kAdminAccessNumber, the application exit (item 30) with
// kExitAccessNumber; both are dialled with the knob from 1000 and confirmed
// with SELECT.
#pragma once
#include <cstdint>

constexpr int32_t kAdminAccessNumber = 1042;
constexpr int32_t kExitAccessNumber  = 1066;
constexpr int32_t kAdminDialStart    = 1000;

constexpr int32_t kAdminItems     = 30;
constexpr int32_t kAdminItemsUser = 23;   // the last item while administrator mode is off
constexpr int32_t kAdminFirstY    = 41;
constexpr int32_t kAdminPitch     = 13;
constexpr int32_t kAdminValueX    = 550;

// Item numbers the other modules of the screen act on.
enum AdminItem : int32_t {
    kItemTransfer = 1, kItemDebugLogs = 2, kItemDataLogs = 3, kItemInterval = 4,
    kItemSerial1 = 5, kItemSerial4 = 8, kItemVertMode = 9, kItemNav1 = 10, kItemLatLon = 13,
    kItemRemoteFiles = 14, kItemEngineModule = 15, kItemAirModule = 16, kItemAhrsModule = 17,
    kItemWxModule = 18, kItemUnitIp = 19, kItemPartnerIp = 20, kItemMaintenance = 21,
    kItemDiagnostics = 22, kItemAdminMode = 23, kItemTimers = 24, kItemEraseData = 25,
    kItemEraseSys = 26, kItemClockDefaults = 27, kItemDebugPort = 28, kItemApOutput = 29,
    kItemExit = 30,
};

extern const char AdminItemText[kAdminItems + 1][36];
extern const char OnOffNames[2][16];
extern const char NavPortNames[9][24];
extern const char ModuleStateNames[6][20];
extern const char WxModeNames[3][20];

// The screen, callable without its loop: the entry, one key event and one
// knob delta (1 when leaving), and the start of each loop pass.
void    AdminSettingsOpen();
int32_t AdminSettingsInput(int32_t key, int32_t delta);
void    AdminSettingsPoll();
int32_t AdminCursor();
int32_t AdminLastItem();
int32_t AdminItemY(int32_t item);
// The value text of an item as the full drawing shows it.
const char* AdminItemValue(int32_t item);
// The value texts that actions and the dials showed since the screen
// opened, each followed by '|' (the newest 255 characters).
const char* AdminValueTrail();
// 1 when leaving must restart the unit (the own network number changed).
int32_t AdminResetRequired();
// The data-log copy span in minutes, and the watchdog time given before it.
int32_t AdminCopySpan();
int32_t AdminCopyWatchdogSeconds(int32_t spanMinutes);

// The NVRAM image written twice, as every immediate change of this screen does.
void    AdminWriteImage();

// ---- items 5..13 --------------------------------------------------------------------------
struct SerialPort;
// Steps a port's function code by a knob delta, passing over TEST and
// REMOTE NAV on odd steps and never resting on ARINC DWNLD or NRV CAL, and
// sets the baud index the function runs at.
void    StepSerialFunction(SerialPort* port, int32_t delta);
int32_t SerialFuncBaudIdx(uint32_t code);
// A navigation source port stepped by one in the delta's direction over
// 1..8 (port 0 passed over); an even delta leaves it.
uint8_t StepNavPort(uint8_t port, int32_t delta);
const char* AdminPortValue(int32_t item);
void    AdminPortKnob(int32_t item, int32_t delta);

// ---- items 14..20 -------------------------------------------------------------------------
// The state of items 15..17 decoded from a stream record (a stray source word
// is cleared), and item 18's.
int32_t ModuleStateOf(int32_t stream);
int32_t WxStateOf();
void    AdminNetOpen();
const char* AdminNetValue(int32_t item);
void    AdminNetKnob(int32_t item, int32_t delta);
void    AdminNetDrawn(int32_t item);   // normalises what the drawing shows
int32_t AdminModuleState(int32_t item);
// Key 4 on item 14: fetches the other display's files; `show` draws each
// step's text in the item's value column.
void    RequestRemoteFiles(void (*show)(const char* text));
// The start of each loop pass: lets the monitor answer the other display
// while the cursor has rested on item 14 for more than a second.
void    RemoteFilesService(int32_t cursor, uint32_t drawnAt);
