#include "efis/ahrs.h"

AhrsRecord G_Ahrs = {};
AhrsState G_AhrsState = {};
