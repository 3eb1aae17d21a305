// EGT, TIT and CHT cylinder group of the engine page: engine view, bar view
// (each with its lean form) and the radial view.
#pragma once
#include <cstdint>

void LayoutCylinderGauges();
void DrawCylinderBackground();
void DrawCylinderGauges();
// Value of scale line k (0 at the top) of the bar view, in the probe's unit.
int32_t CylinderScaleValue(int32_t inst, int32_t k);
// Segment count of the engine view for a reading (tenths) and its base.
int32_t EngineViewSegments(int32_t value, int32_t base, bool roundUp);
// Centres for texts a pitch wide wanted at the ascending centres x[0..n-1]
// (at most 16): each as near its own as the pitch between neighbours allows.
void SpreadCentres(const int32_t* x, int32_t n, int32_t pitch, int32_t* out);
