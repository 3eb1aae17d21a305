// The moving tapes: airspeed with its colour bands, speed bug and TAS box;
// altitude with the altitude bug and alerter, the minimum-altitude bug and
// the baro box; the vertical-speed scale; their compact forms for the
// air-data pane and their frames beside a narrowed map. Values are stored
// in the records' units and converted to the pilot's only for display.
#pragma once
#include <cstdint>

// The pointer shapes of the tapes' bugs (styles 1, 2 and 4; others draw
// nothing), at pane coordinates (x, y) on the page being drawn.
void DrawTapePointer(int32_t x, int32_t y, uint32_t style, uint32_t colour);

// A band of the airspeed tape, in tenths of the display unit.
struct SpeedBand {
    int32_t nLow, nHigh;
    uint32_t nColour;        // palette index
    int32_t nInset;          // 0: full width stripe, else a narrower one (white arc)
};
constexpr int kSpeedBands = 4;
struct SpeedBands {
    SpeedBand band[kSpeedBands];
    int32_t nCount;
    int32_t nRedLine;        // tenths of the display unit; 0: none
};
extern SpeedBands G_SpeedBands;

// The row of `value` on a tape whose centre shows `centre`, at `pxPer100`
// pixels per 100 units of the value, the centre on row `cy`; saturated to
// a row a little beyond the tape when far off it.
int32_t TapeRow(int32_t value, int32_t centre, int32_t pxPer100, int32_t cy);
// The vertical-speed pointer's row offset from the zero mark for ft/min,
// pegged at the scale's ends.
int32_t VsiOffset(int32_t vs, int32_t halfHeight);
constexpr int32_t kVsiFullScale = 2000;   // ft/min at the end of the scale

void InitAirspeedBands();
void InitAirspeedScale();
void InitAltitudeTape();
void InitTapeLabels();
void InitVsiTable();

void DrawAirspeedTape();
void DrawTasBox();
// The altitude tape with its bugs, and the vertical-speed scale beside it.
void DrawAltitudeTape();
void DrawAltitudeBox();
void DrawAltitudeCompact();
void DrawVsiTape();
// Beside a narrowed map: the frames first, then the tapes over them.
void DrawAirspeedFrame();
void DrawAltitudeFrame();
void DrawVsiScale();
