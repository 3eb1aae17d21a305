// The small gauges of the engine page: the vertical bar gauges (fuel, oil,
// electrical, gearbox and coolant), the RPM and manifold round gauges, the tank
// bars and the fuel-computer box.
#pragma once
#include <cstdint>

#include "engine/lean.h"

void LayoutBarGauge(int32_t inst);
// mode 0: static parts into the background; 1: marker and value; 2: red cross.
void DrawBarGauge(int32_t inst, int32_t mode);
void DrawEngineBarGauges();
// The engine page's bar group (fuel, oil, electrical ...), drawn each frame.
void DrawElectricalGauges();
// Font of an electrical group label: the slot's font unless the label would
// crowd the neighbouring place `pitch` pixels away, then a smaller one.
int32_t ElectricalLabelFont(int32_t slotFont, const char* text, int32_t pitch);
// Formats the reading's text as the bar gauges show it.
void FormatBarText(int32_t inst);
// Percent of scale of a value; 0 when the scale is empty or inverted.
int32_t PercentOfScale(int32_t inst, int32_t value);
// Marker offset in pixels below the top for a percent.
int32_t BarMarkerOffset(int32_t scaleLength, int32_t markerHeight, int32_t percent);

// Lays out the round gauge of RPM or MANIFOLD and draws its dial into the
// background rows.
void DrawManifoldGauge(int32_t inst);
// Needles and values of both round gauges, or their red crosses.
void DrawRpmGauge();
// Needle angle of a value in tenths of a degree, counter-clockwise from the
// right; the value is held to the dial's scale.
int32_t DialAngle(int32_t inst, int32_t value);

void LayoutTankGauge(int32_t inst);
void DrawTankGauges();
void LayoutFuelComputer();
void DrawFuelComputer();

// The flap and trim indicators (flaptrim.cpp): laid out by the screen
// configuration, drawn into the page being drawn.
void InitFlapGauge();
void DrawFlapGauge();
// Box travel in pixels for a flap reading (tenths of a percent).
int32_t FlapBoxOffset(int32_t value);
// Box offset in pixels from the centre of a trim's travel for its reading,
// held to +/- half the travel; positive is down (elevator) or right (aileron).
int32_t TrimBoxOffset(int32_t inst, int32_t value);
