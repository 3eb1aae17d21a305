// The attitude indicator: sky and ground, pitch ladder, roll pointer over
// the fixed roll scale, the slip ball beneath the pointer and the marker
// that points back to a horizon out of sight. Drawn from G_Ahrs into the
// view of the frame (efis/efisview.h).
#pragma once
#include <cstdint>

#include "efis/efisview.h"

// The horizon line of an attitude: the point where it crosses the normal
// through the aircraft symbol, and its rotation (tenths of a degree,
// positive for a right bank, which turns the line anticlockwise on screen).
struct AdiHorizon {
    int32_t nX, nY;
    int32_t nAngle;
    int32_t nOffset;        // pixels from the aircraft symbol to the line, toward the ground
};
// Roll in tenths (any value), pitch in hundredths (held to -90..90 degrees).
AdiHorizon AttitudeHorizon(const EfisView& view, int32_t roll, int32_t pitch);

// The slip ball's offset from the tube's centre in pixels for a lateral
// acceleration in hundredths of a g: the ball moves against the
// acceleration and stops at the tube's ends.
int32_t SlipBallOffset(int32_t latAccel);
constexpr int32_t kSlipBallMax = 14;

// The roll scale's radius in the view.
int32_t RollScaleRadius(const EfisView& view);

void DrawAttitude();
// A small attitude indicator in the box (x0, y0)-(x1, y1) of the page being
// drawn: sky, ground, horizon and the aircraft, or a red cross without an
// attitude. The map shows it in a corner of its pane.
void DrawAttitudeInset(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void DrawSlipBall();
void DrawAdiClampedMarker();
// The fixed marks of the attitude (roll scale, aircraft symbol) at `rowBase`.
void DrawAttitudeStatic(int32_t rowBase);
