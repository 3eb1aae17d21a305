#include "engine/pulse.h"

RpmPulse G_RpmPulse = {};
