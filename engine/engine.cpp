#include "engine/engine.h"

int32_t  G_EngFresh = 0;
uint32_t G_EngScanStep = 44;
EngineDataFrame G_EngineDataFrame = {};
PercentPower G_PercentPower = {};
