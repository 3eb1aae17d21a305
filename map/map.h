// The moving map as the boot and the main loop reach it.
#pragma once
#include <cstdint>

struct WptDb {
    uint32_t nPageFlags;         // bits 0, 1 go-to, bit 2 identifier mode, bit 4 chart view
};
extern WptDb G_WptDb;
constexpr uint32_t kWptGoto      = 3u;        // a direct-to is active
constexpr uint32_t kWptChartView = 1u << 4;

// Map options, restored from clock memory.
extern uint32_t G_MapPvtOn, G_MapIntsOn, G_MapAirOn, G_NexradOn, G_MapShowEngine;   // 0/1
extern uint32_t G_MapZoom;       // zoom step 0..12
extern uint32_t G_MapViewMode;   // view bits 0..3; 2 set means north up
extern uint32_t G_DistUnits;     // distance-unit name index 0..2

extern uint32_t G_MapLonScale;
extern uint32_t G_MapLonScaleInv;

void ChartPageDraw();
void MapBlitInfoBoxes();
void MapInit();
void MapPageRun(int32_t arg);
void MapQueueProcess();
void NavUpdate();
void TrackAddPoint(float lat, float lon);
