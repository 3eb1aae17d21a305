#include "efis/airdata.h"

AirData G_AirData = {};
