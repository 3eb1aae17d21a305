// The moving map as the boot and the main loop reach it.
#pragma once
#include <cstdint>

#include "map/mapfile.h"
#include "map/tracklog.h"

// The selected waypoint of the database pages.
struct WptDb {
    uint8_t  abAirport[105];     // the selected airport's record
    uint8_t  abFix[26];
    uint8_t  abNavaid[60];
    uint32_t nSelKind;           // 1 airport, 2 navaid, 3 fix
    uint32_t nPageFlags;         // bits 0, 1 go-to, bit 2 identifier mode, bit 4 chart view
};
extern WptDb G_WptDb;
constexpr uint32_t kWptGoto      = 3u;        // a direct-to is active
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
    uint32_t anBearing[kNearestMax];             // tenths of a degree, relative to the heading
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
