// Gauge geometry of the engine page, one record per instrument; the record
// also carries the instrument's active calibration segment.
#pragma once
#include <cstdint>

#include "engine/instad.h"

struct GaugeLayout {
    int32_t nOrigin[2];          // x, y of the gauge in the current layout
    int32_t nScale[11];          // words 2..12: scale values set by the gauge set-up
    float   fActiveSlope;        // word 13: segment chosen by the last SetInstCalSegment
    float   fActiveIntercept;    // word 14
    int32_t nScale2[4];          // words 15..18
    int32_t nElem[174];          // words 19..192: element geometry from the templates
    int32_t nShownValue;         // word 193: last trim or flap value shown
};
static_assert(sizeof(GaugeLayout) == 194 * 4);

extern GaugeLayout G_GaugeLayout[kInstruments];
