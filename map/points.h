// The point layers: obstacles coloured by the aircraft's height above them,
// navaids by kind, and intersections while INTS is on.
#pragma once
#include <cstdint>

namespace obs {
constexpr uint32_t kHeight = 16, kTop = 18, kLit = 20;
}

// Palette index of an obstacle (height above ground and top elevation, feet)
// for the aircraft's altitude at a zoom; 0 when it is not drawn.
uint32_t ObstacleColour(uint32_t height, int32_t top, int32_t altitude, uint32_t zoom);
// A point (pane rows) inside the map pane, its edges included.
bool InMapPane(int32_t x, int32_t y);
