// The monitor's flash file system as the configuration files use it.
#pragma once
#include <cstdint>

extern uint32_t G_TfsSize;
// Defragments when space runs short (force 0) or always (force 1); built
// with the configuration files, which are what fills the space.
void TFS_Defrag(int32_t force);
