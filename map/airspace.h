// Airspace outlines and their altitude labels; the same records carry the
// weather's TFR areas (class 'T').
#pragma once
#include <cstdint>

#include "map/mapmath.h"

namespace asp {
constexpr uint32_t kFloor = 8, kCeiling = 10, kClass = 12, kFlags = 13;
constexpr uint32_t kSegLat = 0, kSegLon = 4, kSegLat2 = 8, kSegLon2 = 12, kSegRadius = 16, kSegKind = 20;
constexpr uint8_t kSegLine = 0x01, kSegCircle = 0x02, kSegArc = 0x04, kSegLabel = 0x20;
constexpr uint16_t kLabelZoom4 = 0x0040, kLabelZoom1 = 0x0080, kCeilingAgl = 0x0100, kFloorAgl = 0x0200;
constexpr uint16_t kTfrYellow = 0x1000;
constexpr int16_t kSurface = -10000, kUnlimited = -20000;
}  // namespace asp

// Pen and colours of a class letter; false for classes that are not drawn.
struct AirspaceStyle {
    uint8_t pen, outline, bar, text;
};
bool AirspaceStyleOf(uint8_t cls, uint16_t flags, AirspaceStyle* style);
bool AirspaceLabelShown(uint16_t flags, uint32_t zoom);
// The label's upper and lower texts of a record.
void AirspaceLabelTexts(const uint8_t* record, char* ceiling, char* floor, int bytes);
// Where a label goes: the box centre, the middle of an arc just inside it,
// or just inside a circle's south edge.
MapPoint AirspaceLabelPoint(const uint8_t* record, const uint8_t* segment);

void MapAirspaceLabel(const uint8_t* segment, const uint8_t* record);
// Pixels of a circle around (cx, cy) in pane rows between two angles.
void MapDrawArcPixels(int32_t cx, int32_t cy, float start, float end, int32_t r);
