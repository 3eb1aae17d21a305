// The NEXRAD radar picture: the product's header read into the raster's
// geometry, the raster decompressed in slices, and its drawing onto the map
// pane by running the map projection backwards for every pane pixel.
#pragma once
#include <cstdint>

constexpr int32_t kNexradCols = 2988;
constexpr int32_t kNexradRows = 1642;
constexpr uint32_t kNexradBytes = static_cast<uint32_t>(kNexradCols) * kNexradRows;
// The first radar colour (value 1); value 7 and anything stronger use the last.
constexpr uint32_t kNexradColour0 = 119;
constexpr uint32_t kNexradStrongest = 126;

// Row after row, row 0 at the north edge, 2,988 bytes a row.
extern uint8_t G_WxNexradImg[kNexradBytes];

// A NEXRAD product payload, `length` bytes (the message that carried it).
void WxNexradDecode(const uint8_t* payload, uint32_t length);
// After the last slice: a product smaller than the raster is moved to the
// raster's stride and centred on it.
void WxNexradFinish();
// The raster over the map's off-screen band.
void WxDrawNexrad();
