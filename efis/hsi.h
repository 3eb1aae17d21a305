// Heading and the HSI: the compass rose turning with the display heading,
// the heading bug, the course pointer of the course source with its CDI
// bar, TO/FROM and the vertical deviation scale.
#pragma once
#include <cstdint>

struct NavSrcRec;

// The heading shown, tenths 0..3599. *flag: 1 the AHRS heading, 2 the GPS
// track of the course source (the AHRS heading is stale), 0 none (0 given).
int32_t GetDisplayHeading(int32_t* flag);

// CDI bar deflection in pixels for a deviation against its full scale
// (same units), `dots2` pixels at full scale, pegged just beyond it.
int32_t CdiDeflection(int32_t deviation, int32_t fullScale, int32_t dots2);
// GPS cross-track full scale (hundredths of a nautical mile) of a slot: its
// own, else the one of the header's phase code.
int32_t GpsFullScale(const NavSrcRec& rec);
// Full scale of the radio's course and vertical deviation words.
constexpr int32_t kRadioFullScale = 127;
// 1 TO, 2 FROM, 0 neither, for a GPS slot: FROM once the waypoint lies more
// than 90 degrees off the desired track.
int32_t GpsToFrom(const NavSrcRec& rec);
// The vertical deviation of a GPS slot's guidance bytes: a signed percent of
// full scale, positive when the path lies above.
int32_t GpsVertDeviation(const NavSrcRec& rec);

void DrawHsiGps();
void DrawHsiVor();
// The heading bug on the rose (header byte 0 bit 4).
void DrawBearingPointer();
// The rose without a course source, and its fixed lubber line.
void DrawCompassRose();
