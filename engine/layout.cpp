#include "engine/layout.h"

GaugeLayout G_GaugeLayout[kInstruments] = {};
