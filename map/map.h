// The moving map as the boot and the main loop reach it.
#pragma once
#include <cstdint>

#include "map/mapfile.h"
#include "map/records.h"
#include "map/tracklog.h"
#include "wx/metar.h"

// The selected waypoint of the database pages, with the detail lists of a
// selected airport and the state of the FIND box and the information pages.
constexpr uint32_t kWptRunways = 19, kWptFreqs = 99, kWptRemarkRefs = 69;
constexpr uint32_t kWptRemarkLines = 500, kWptRemarkLineBytes = 100;   // parity byte, text, NUL
constexpr uint32_t kWptEditCells = 5;
struct WptDb {
    uint8_t  abAirport[105];     // the selected airport's record
    uint8_t  abRunways[kWptRunways][38];
    uint8_t  abFreqs[kWptFreqs][9];
    uint8_t  abRemarkRefs[kWptRemarkRefs][5];
    char     aRemarkLines[kWptRemarkLines][kWptRemarkLineBytes];
    uint32_t nRemarkLines;
    char     aRemarkTexts[kRemarkTexts][kRemarkTextBytes];
    uint32_t nListCursor;        // information page shown, 0 the main page
    int32_t  nPendingSteps;      // knob steps for the next FIND search
    uint16_t nEditCursor;        // 0..4
    char     szEditId[8];        // 6 characters kept, always terminated
    uint32_t nAlphaIndex;
    uint32_t nSelKind;           // 1 airport, 2 navaid, 3 fix
    uint32_t nPageCount;
    uint32_t bMetarPage;
    uint32_t nFreqPages;
    uint32_t nRemarkPages;
    uint8_t  abFix[26];
    uint8_t  abNavaid[60];
    WxMetarReport metar;         // the selected airport's decoded METAR
    uint32_t nPageFlags;         // kWptInfoOpen, kWptFindOpen, kWptSearch, kWptChartView
};
extern WptDb G_WptDb;
constexpr uint32_t kWptInfoOpen  = 1u << 0;
constexpr uint32_t kWptFindOpen  = 1u << 1;
constexpr uint32_t kWptGoto      = kWptInfoOpen | kWptFindOpen;   // cleared when a direct-to ends
constexpr uint32_t kWptSearch    = 1u << 2;
constexpr uint32_t kWptChartView = 1u << 4;

// Map options, restored from clock memory.
extern uint32_t G_MapPvtOn, G_MapIntsOn, G_MapAirOn, G_NexradOn, G_MapShowEngine;   // 0/1
extern uint32_t G_MapTerrOn;   // terrain shading, 0/1; not kept across a restart
extern uint32_t G_MapZoom;       // zoom step 0..12
extern uint32_t G_MapViewMode;   // view bits 0..3; 2 set means north up
extern uint32_t G_DistUnits;     // distance-unit name index 0..2

extern uint32_t G_MapLonScale;
extern uint32_t G_MapLonScaleInv;


// Display options of the moving map: bit 1 shows the engine strip under the
// map, bit 0 limits that strip to the RPM and manifold gauges.
constexpr uint32_t kMapShowEngineStrip = 1u << 1;
constexpr uint32_t kMapStripRpmOnly    = 1u << 0;
extern uint32_t G_MapDisplayFlags;

// The nearest-airport list: built by the map core, drawn in its box; the
// engine strip is drawn under the map while it is shown.
constexpr int kNearestMax = 8;
constexpr int kAirportRecordBytes = 105;
struct NearestList {
    uint32_t nMode;                              // 0 closed, 1 list shown
    uint32_t nSelected;
    uint32_t nCount;                             // 0..8
    uint8_t  abSelected[kAirportRecordBytes];    // the selected entry's airport record
    const uint8_t* apEntry[kNearestMax];         // airport records, nearest first
    uint32_t anDist[kNearestMax];                // tenths of a nautical mile
    uint32_t anBearing[kNearestMax];             // tenths of a degree, magnetic (true + variation)
};
extern NearestList G_Nearest;

// The map's direct-to: active, and started (set together, cleared together).
struct GotoActive {
    uint8_t bActive;
    uint8_t bStarted;
};
extern GotoActive G_GotoActive;
// Ends the active direct-to.
void CancelGoto();

void ChartPageDraw();
void MapBlitInfoBoxes();
void MapInit();
void MapPageRun(int32_t arg);
void MapQueueProcess();
// Rebuilds the nearest-airport list around the reference position.
void NearestAirportsUpdate();
void NavUpdate();
// One airspace record (its 19-byte head) with its segments from `firstSegment` on.
void MapDrawAirspace(const uint8_t* record, const uint8_t* firstSegment);
