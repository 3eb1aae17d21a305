// Airports on the map: which are shown at the zoom, their runways or round
// symbols with letters and direction bars, their labels and weather flags.
#pragma once
#include <cstdint>

// Flag word bits (airport record +101, three bytes).
namespace aptf {
constexpr uint32_t kCloseOnly = 0x1, kBlue = 0x4, kPrivate = 0x8, kTicks = 0x10, kHeliport = 0x40, kWater = 0x80;
constexpr uint32_t kRunwayCoords = 0x100, kMilitary = 0x200, kTicks2 = 0x400, kShown = 0x4000, kInView = 0x8000;
constexpr uint32_t kInnerDot = 0x10000, kVfr = 0x20000, kMvfr = 0x40000, kIfr = 0x80000, kLifr = 0x100000;
constexpr uint32_t kMetarPresent = 0x200000;
}  // namespace aptf

uint32_t AirportFlags(const uint8_t* airport);
// Whether an airport with these flags and longest runway is shown at a zoom.
bool AirportShownAtZoom(uint32_t flags, uint32_t longest, uint32_t zoom);
// True while the METAR set is current.
bool MetarCurrent();
// The category colour of the flag word (the runways' colours); `fallback`
// when no category bit is set.
uint32_t AirportCategoryColour(uint32_t flags, uint32_t fallback);
void MapDrawAirportWx(const uint8_t* airport, int32_t x, int32_t y);
