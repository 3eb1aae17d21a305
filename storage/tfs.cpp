#include "storage/tfs.h"

uint32_t G_TfsSize = 0;
