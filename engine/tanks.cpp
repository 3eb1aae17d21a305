#include "engine/tanks.h"

TankRecord G_TankTable[kTanks] = {};
