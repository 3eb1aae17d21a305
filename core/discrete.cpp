#include "core/discrete.h"

DiscreteInputs G_DiscreteIn = {};
