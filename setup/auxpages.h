// The pilot's auxiliary pages on screen configurations 10..16: their frame
// and key dispatch, the checklists (CHKLST.KVD), the maintenance log
// (MAINT.KVD) and the unit information page.
#pragma once
#include <cstdint>

// ---- the frame ------------------------------------------------------------------------------
// Pages by G_AuxPageIdx: 0..19 the checklists, then these; any other value
// draws nothing and takes no key.
constexpr uint32_t kAuxChecklists = 20;
constexpr uint32_t kAuxMaint      = 20;
constexpr uint32_t kAuxBalance    = 21;
constexpr uint32_t kAuxStations   = 22;
constexpr uint32_t kAuxAbout      = 23;
extern uint32_t G_AuxPageIdx;

// Menu states of the pages (G_MenuState).
constexpr uint32_t kMenuBalance   = 55;
constexpr uint32_t kMenuMaint     = 555;     // the item list
constexpr uint32_t kMenuMaintLogs = 5553;    // DATA LOGS, SYS LOGS, CALIBRATION, UPDATE
constexpr uint32_t kMenuDataLog   = 55532;   // minutes of data log chosen with the knob
constexpr uint32_t kMenuSysLog    = 55533;   // the system-log copy awaiting START
constexpr uint32_t kMenuUpdate    = 55535;   // the item update awaiting YES

// The key codes: a key code, -1/+1 or -10/+10 for the knob, or kAuxPageOpen.
constexpr int32_t kAuxPageOpen = -999;
void AuxPageKeys(int32_t code);
void DrawAuxPage();
// The pane's set-up callback (InitScreenConfig): the checklist by the engine's RPM.
void AuxPaneInit();
// The aircraft picture at frame (0, 960), whichever page is being drawn.
void DrawPageImage();
void ShowAircraftImage();
// Indicated airspeed 25.0 kt or more with no demonstration source running.
bool AuxInFlight();
// Everything drawn until ClearAuxPaneClip stays inside the auxiliary pane
// placed at frame line `lineOffset` + y: the pages lay out fixed columns
// that the narrow panes cannot hold.
void SetAuxPaneClip(int32_t lineOffset);
void ClearAuxPaneClip();

// The aircraft picture (filled from AIRCRAFT.KVB by the weight-and-balance files).
constexpr int kAircraftImageWidth = 400;
constexpr int kAircraftImageHeight = 340;
struct AircraftImage {
    uint16_t nWidth, nHeight, nBytesPerLine;
    uint32_t aPalette[256];     // 0x00BBGGRR
    uint8_t  abPixels[kAircraftImageWidth * kAircraftImageHeight];   // top row first
};
extern AircraftImage G_AircraftImage;

// ---- checklists -----------------------------------------------------------------------------
constexpr int kChecklists = 20;
constexpr int kChecklistLines = 13;        // the title, then 12 lines
constexpr int kChecklistTextBytes = 96;
extern char G_Checklists[kChecklists][kChecklistLines][kChecklistTextBytes];
void ReadChecklistFile();
// 4 or 5 (page turned) and kAuxPageOpen draw the page's text again.
void DrawChecklistPage(int32_t key);
// The density-altitude box's number and unit for a density altitude in feet.
struct DensityAltText {
    int32_t     nValue;
    const char* pszUnit;
};
DensityAltText DensityAltShown(int32_t densityAltFt, int32_t altitudeUnits);

// ---- maintenance log ------------------------------------------------------------------------
constexpr int kMaintItems = 12;
struct MaintItem {
    char    DESC[96];
    char    LASTDATE[16];
    float   LASTTACH;
    int32_t INTERVAL;
    char    UNITS[32];
};
struct MaintLog {
    MaintItem item[kMaintItems];
    uint32_t  nCount;
};
extern MaintLog G_MaintItems;
extern uint32_t G_MaintSel;
extern uint32_t G_LogMinutes;

void    ReadMaintFile();
int32_t WriteMaintFile();
// mm/dd/yyyy from "m/d/y" with runs of '/', '-' or '.'; the year blank-padded.
int32_t ParseMaintDate(char* text);
// Adds days to "mm/dd/yyyy" in a buffer of at least 32 bytes; -1 (text
// unchanged) when the text is not a date.
int32_t AddDaysToDate(char* text, int32_t days);
// -1 before today's date, 1 today or later.
int32_t CompareDateToday(const char* text);
// The most minutes of data log one export takes, by the logging interval.
int32_t MaxLogMinutes();
void    DrawMaintPage(int32_t key);

// ---- unit information -----------------------------------------------------------------------
void AboutScreen(int32_t key);
// The page's text lines in order (at most `max`); the count.
constexpr int32_t kAboutLineBytes = 128;
constexpr int32_t kAboutLinesMax  = 20;
using AboutLine = char[kAboutLineBytes];
int32_t AboutLines(AboutLine* out, int32_t max);
// The ARINC adapter's version line from the adapter records (a present byte,
// then the version text, within `stride` bytes each).
void FormatArincVersion(const uint8_t* records, int32_t count, int32_t stride, char* out, int32_t size);

// Weight and balance, drawn on pages 21 and 22.
void DrawBalancePage(int32_t key);
void DrawStationsPage(int32_t key);
