// The map page's draw cycle: when a new picture is due, where the map is
// centred and turned, the picture drawn in stages into the off-screen band
// below the display pages, its copy to both pages, and the status banner.
#pragma once
#include <cstdint>

#include "nav/navsrc.h"

#pragma pack(push, 1)
// The draw-cycle record. Its two blit words are also what the screen
// configuration sets to 1 on the map layouts.
struct MapFrameRecord {
    int16_t  box[4];          // view box: west, south, east, north in 1/180 degree
    int32_t  nCentreLon, nCentreLat;   // last whole-degree centre (kept by the load queue)
    int32_t  nKeyLon, nKeyLat;         // last five-degree keys
    uint32_t nBlit[2];        // 1 once the finished picture reached display page 0 / 1
    uint32_t nStage;          // 0 idle, 1..4 drawing, 5 done
    int32_t  nRefLat;         // 2^18 units per degree: the position at the own-ship point
    int32_t  nRefLon;
    uint32_t nPanStamp;       // OS timer of the last pan
    uint32_t nPanHold;        // non-zero while the user has moved the map away
};
#pragma pack(pop)
static_assert(sizeof(MapFrameRecord) == 52);
extern MapFrameRecord G_MapFrame;

// Frame-state word of the map pane (G_MapPane.nRedraw).
constexpr uint32_t kMapFrameNormal = 0, kMapFrameNow = 1, kMapFrameSkip = 2;

// The band the map is drawn in: row 960 + pane row.
constexpr int32_t kMapBandY = 960;
// Rows of the database boxes drawn off-screen, and where they are shown.
constexpr int32_t kMapBoxRow = 1440, kMapWideBoxRow = 1466;
constexpr int32_t kMapBoxShowRow = 313, kMapWideBoxShowRow = 339;

extern uint32_t G_MapRotation;       // tenths of a degree (mapmath.h)
extern float    G_MapRotationRad;
extern uint32_t G_MapTerrOn;

// The map navigation source's record.
NavSrcRec& MapSourceRecord();
bool    MapSourceHasFix(const NavSrcRec& rec);
// The heading that turns a track-up map (and the aircraft symbol): the AHRS
// heading less the variation below 5 kt with a usable AHRS, else the track.
int32_t MapHeadingOf(const NavSrcRec& rec);

int32_t IsSplitMapPage();
int32_t MapNeedsRedraw(const NavSrcRec& rec);
void    MapScroll();
void    MapCalcVisibleBox();
void    MapRender();
int32_t MapBlitToScreen();
void    MapStatusBanner();
void    MapInfoPageRun(int32_t force);
// Places the own-ship point of each view mode in the current pane.
void    MapPlaceOwnShip();
// The user moved the map: the new centre, held for 5 s.
void    MapPanTo(int32_t lat, int32_t lon);
// Where stage 4 puts the navigation source box and the attitude inset in
// the map pane (pane rows, inclusive).
struct MapInset {
    int32_t x0, y0, x1, y1;
};
constexpr int32_t kNavBoxW = 110, kNavBoxH = 60, kAttInsetW = 76, kAttInsetH = 60;
MapInset NavSourceBoxPlace();
MapInset AttitudeInsetPlace();
// The wild-jump counter and the stamps, back to a fresh start (tests).
void    MapFrameReset();
