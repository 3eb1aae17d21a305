// A full map pane (page 8) set up as the page does it, and the map's files
// and reference placed at a point: shared by the drawing tests and the
// benchmarks, so it needs nothing from the test libraries.
#pragma once
#include <cstdint>

#include "core/boot.h"
#include "gui/gui.h"
#include "map/map.h"
#include "map/mapfile.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "nav/navsrc.h"
#include "ui/pages.h"

// The display, the palette, the navigation table and a full north-up map
// pane (page 8).
inline void SetUpFullMapPane() {
    GUI_Init();
    InitPalette();
    InitNavSrc();
    G_CurPage = 8;
    G_MapPane = {};
    G_MapPane.pRect = &PaneLayouts[0][0];
    G_MapPane.x1 = 639;
    G_MapPane.y1 = 459;
    G_MapPane.nCenterX = 319;
    G_MapPane.nCenterY = 229;
    G_MapPane.nWidth = 640;
    G_MapPane.nHeight = 460;
    G_MapViewMode = 2;   // north up
    MapPlaceOwnShip();
    MapFrameReset();
}

// Every map file loaded, and the map's reference at (lat, lon) degrees.
inline void MapReferenceAt(double lat, double lon) {
    for (MapFileCtx& f : G_MapFile) f.nStatus = kMapOk;
    G_MapHeader.nRefLat = G_MapFrame.nRefLat = static_cast<int32_t>(lat * 262144.0);
    G_MapHeader.nRefLon = G_MapFrame.nRefLon = static_cast<int32_t>(lon * 262144.0);
    MapSetLonScale(G_MapFrame.nRefLat);
}
