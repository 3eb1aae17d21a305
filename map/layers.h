// The map's point and area layers that the draw cycle calls after the line
// work, in drawing order, and the database boxes it draws off-screen.
#pragma once
#include <cstdint>

// Obstacles coloured by the aircraft's height above them.
void MapDrawObstacles();
// Marks each airport in view (0x8000) and shown at this zoom (0x4000).
void MapMarkAirports();
void MapDrawAirports();
// The stand-alone airspaces of every square slot.
void MapDrawAirspaces();
void MapDrawNavaids();
void MapDrawIntersections();
// The nearest, find or airport information box; 1 while a find is pending.
int32_t MapDrawInfoBoxes();
