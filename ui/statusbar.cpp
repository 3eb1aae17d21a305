#include "ui/statusbar.h"

uint32_t G_RedrawReq = 0;
