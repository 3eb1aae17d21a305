// The boxes around the attitude: the information box of the bearing source,
// the G-meter, wind, OAT, the angle-of-attack indicator, the autopilot mode
// box and the standby box.
#pragma once
#include <cstdint>

// Wind from the air and ground vectors, kept by CalcWind for the drawing.
struct WindRecord {
    int32_t bValid;
    int32_t nFrom;       // direction the wind blows from, tenths 0..3599 (magnetic)
    int32_t nSpeed;      // tenths of a knot
};
extern WindRecord G_Wind;
// The wind of one triangle: true airspeed along heading, ground speed along
// track (tenths of a knot and of a degree).
WindRecord WindTriangle(int32_t tas, int32_t heading, int32_t groundSpeed, int32_t track);

// The G-meter's text of a load factor in hundredths of a g ("1.0", "-2.5").
void FormatLoadFactor(char* out, int32_t size, int32_t hundredths);

void DrawGpsInfoBox();
void DrawVorInfoBox();
// The information box of the bearing source in the box (x0, y0)-(x1, y1)
// of the page being drawn: a GPS with a waypoint or a radio with data;
// nothing otherwise.
void DrawNavSourceBox(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void DrawGMeter();
void DrawGMeterFrame();
void DrawWind();
void DrawAoaIndicator();
void DrawApModeBox();
void DrawStandbyBox();
