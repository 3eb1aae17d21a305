#include "engine/fuelcomp.h"

uint8_t FuelDataMsg[32] = {};
