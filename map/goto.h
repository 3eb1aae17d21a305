// The map's own navigation: the GOTO leg in navigation slot 3, and what the
// map draws of navigation over its picture: the track dots, the preview line
// to the selected waypoint, VOR radials, the route or GOTO course lines, the
// scale bar or range arc and the data-box strip. CancelGoto and NavUpdate
// are declared in map/map.h, where their callers look.
#pragma once
#include <cstdint>

#include "map/mapmath.h"
#include "nav/navsrc.h"

// Slot 3 flags A (+26) as the GOTO uses them.
constexpr uint8_t kGotoLegStarted = 1u << 1;
constexpr uint8_t kGotoOriginSet  = 1u << 4;
constexpr uint8_t kGotoDestSet    = 1u << 5;
constexpr uint8_t kGotoDtkSet     = 1u << 6;
// Bit 1 of slot byte +29: the route is not drawn.
constexpr uint8_t kNavNoRouteDraw = 1u << 1;

constexpr uint32_t kGotoShareTicks = 921500;     // type 17 at most every 250 ms
constexpr uint32_t kGotoStaleTicks = 11059200;   // 3 s: the data-valid byte clears
constexpr uint32_t kGotoCancelWait = 36864;      // 10 ms after telling the other display

// Starts a GOTO to the waypoint selected on the waypoint pages (kind 1
// airport, 2 navaid, 3 fix of G_WptDb); nothing without a selection.
void StartGoto();
// Starts a GOTO to a position with its identifier (at most five characters kept).
void StartGotoTo(const MapPoint& dest, const char* ident);
// The selected waypoint's position and identifier (9 bytes); 0 without one.
int32_t SelectedWaypoint(MapPoint* pos, char* ident);

// The angle between two courses in tenths of a degree, 0..1800, across north too.
int32_t CourseDiffTenths(int32_t a, int32_t b);

// The record the map navigates by: the EFIS source-box slot, or slot 3 while
// this display follows the other display's GOTO (its copies at most 3 s old).
const NavSrcRec& MapCourseRecord();

// ---- drawing (pane rows; the band offset is added here) -------------------------------------
void MapDrawTrackDots();
void MapDrawRouteOverlay();
// A line from `p` along a bearing (whole degrees), labelled with it.
void MapDrawBearingLine(const MapPoint& p, int32_t bearing, uint32_t colour);
// A great-circle line in the current colour and pen size, within the pane.
void MapDrawGreatCircle(const MapPoint& a, const MapPoint& b);
// Scale bar and north arrow (north up) or the range arc (track up).
void MapDrawRangeArc();
void MapNavDataBoxes();

// Texts of the boxes, for the drawing and its tests.
// A value in tenths (nautical miles or knots) in display units, rounded half away from zero.
int32_t ToDistUnitTenths(int32_t tenths, uint32_t units);
// ETE: "HH:MM " from one hour on; below it "MM:" and "SS " (`seconds` gets the
// second part, empty from one hour on).
void FormatEte(int32_t sec, char* main, char* seconds);
// The scale bar's or range arc's length text of `pixels` at the current zoom.
void FormatRange(int32_t pixels, bool bar, char* out, int32_t size);
