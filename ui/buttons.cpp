#include "ui/buttons.h"

int32_t G_KeyEvent = 0;
