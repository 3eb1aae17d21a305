// The EFIS page composition: which instrument is drawn when and where, the
// static background of the pane, the two saved screen areas, and the
// air-data pane; the magnetometer alignment page.
#pragma once
#include <cstdint>

void DrawEfisPage();
void DrawEfisStatic();
void EfisScreenInit();
void MagAlignProcedure();
void DrawEfisBackground();
void DrawEfisBackground9();
// The AHRS diagnostics page over the EFIS pane.
void DrawAhrsDiagPage();
// The angle-of-attack indicator is to be shown: its stream installed, the
// instrument enabled and its gauge on, and not decluttered below its segment.
bool AoaIndicatorDue();

// The composition's steps as they run, for tests that follow the order.
enum class EfisElem : uint8_t {
    Attitude, SaveAoaArea, SaveVdiArea, Background, Background9, GMeter, SlipBall, AltitudeTape,
    AltitudeBox, AirspeedTape, Oat, GpsInfoBox, VorInfoBox, RestoreVdiArea, HsiGps, HsiVor, BearingPointer,
    RestoreAoaArea, AoaIndicator, FreeAoaArea, FlapGauge, TrimGauge, Timer, Clock, AhrsDiag, Wind, ClampedMarker,
    StandbyBox, MagAlign, MagError, ApModeBox, AltitudeCompact, TasBox, VsiTape,
};
using EfisTraceFn = void (*)(EfisElem elem);
// Called before each step (null: no trace).
void SetEfisTrace(EfisTraceFn fn);

// The static background's first row and the copy modes of the 2D engine.
constexpr int32_t kEfisStaticY = 960;
