// The aircraft symbol at the own position.
#pragma once
#include <cstdint>

// The symbol's angle in radians for a heading in tenths of a degree.
float OwnShipAngle(int32_t heading);
// rotate: turn the symbol to the heading; (x, y) in pane rows, the caller's
// band added by the drawing offset.
void MapDrawOwnShip(int32_t rotate, int32_t x, int32_t y);
