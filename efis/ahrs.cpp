#include "efis/ahrs.h"

AhrsRecord G_Ahrs = {};
