#include "ui/pages.h"

int32_t G_CurPage = 3;
int32_t G_LastPage = 1;
EnginePane G_EnginePane = {};
