#include "nav/autopilot.h"

Autopilot G_Autopilot = {};
