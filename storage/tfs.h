// The monitor's flash file system as the configuration files use it.
#pragma once
#include <cstdint>

extern uint32_t G_TfsSize;
void TFS_Defrag(int32_t force);
