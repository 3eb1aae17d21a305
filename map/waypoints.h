// The map's database pages: the selected waypoint's detail lists and page
// counts, the shared formatters and box frame, the FIND box with its
// direct-to selection, the nearest-airports list and box, the airport
// information box and the runway diagram. The boxes are drawn off screen,
// 1127 rows below where the map page shows them.
#pragma once
#include <cstdint>

#include "map/map.h"

// Frame rows below the screen row where the boxes are drawn.
constexpr int32_t kWptBoxDrop = 1127;

// A box rectangle in screen pixels.
struct WptRect {
    int16_t x0, y0, x1, y1;
};
// The FIND, nearest and runway box: beside the engine strip, or at the
// pane's right edge when no engine instruments are shown beside the map.
WptRect WptSmallBoxRect();
// The airport information box in the lower-left corner.
constexpr WptRect kWptInfoRect = {0, 339, 255, 458};
// Where a screen row of a box is drawn: in frame rows for the primitives,
// and as the row that the page offset of DrawTextF brings there.
int32_t WptFrameRow(int32_t row);
int32_t WptTextRow(int32_t row);
// A box rectangle moved to its off-screen rows, for DrawInfoBox.
WptRect WptDropRect(const WptRect& rect);

// ---- the selected airport (waypoints.cpp) ----------------------------------------------------

// Loads the selected airport's runways, frequencies and remarks and wraps the
// remarks; the knob steps the pages from now on.
void AirportPagesLoad();
// Wraps the remark texts into lines narrower than 245 pixels.
void RemarkWrapLines();
// Width in the current font of the first n characters (n below 500).
int32_t TextWidthN(const char* text, int32_t n);
// Recounts the METAR page, the frequency pages and the page count.
void AirportPagesCount();

// "%c%3d.%05d" of each coordinate of an 8-byte point (lat, lon; 2^18 units).
void FormatLatLon(char* latText, char* lonText, int32_t size, const uint8_t* point);
// 11630 -> "116.30", 329 -> "329.0"; text holds at least 12 bytes.
void FormatFreq(uint32_t value, char* text);
// The runway name split at its '/'; each output holds at least 11 bytes.
void SplitRunwayName(uint32_t nameIndex, char* end1, char* end2);
// Clears and outlines a box (y relative to the page being drawn), with its title.
void DrawInfoBox(const WptRect& rect, const char* title);
// True for a table text that holds nothing to show ("" or the read-but-empty " ").
bool WptTextEmpty(const char* text);

// ---- FIND box and direct-to (findbox.cpp) ----------------------------------------------------

void    DirectTo();
int32_t FindPage();
void    WptListScroll(int32_t steps);
void    WptIdCursorMove(int32_t delta);
// Knob function 18: the steps gathered for the next search.
void    WptFindKnob(int32_t delta);

// ---- nearest airports (nearest.cpp) ---------------------------------------------------------

void NearestAirportsPage(const NearestList& list);
// Knob function 17: the next or previous entry becomes the selection.
void NearestSelectStep(int32_t delta);

// ---- airport information (infobox.cpp) ------------------------------------------------------

// The page of a list cursor in page order (main, frequency pages, METAR,
// runways, remarks), and which frequency page, runway or remark page.
enum class WptPage : uint8_t { Main, Freq, Metar, Runway, Remark };
WptPage AirportPageOf(uint32_t cursor, uint32_t* index);
void WptPageOpen();
void WptPageSelect();
void WptListStep(int32_t steps);
// Knob function 19: the pages stepped while the map is loaded and enabled.
void WptInfoKnob(int32_t delta);
void AirportInfoPage();

// ---- runway diagram (runway.cpp) ------------------------------------------------------------

void RunwayDiagram(const uint8_t* airport, int32_t runway);
