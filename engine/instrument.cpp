#include "engine/instrument.h"

InstReading G_InstReading[kInstruments] = {};
InstCfg     G_InstCfg[kInstruments] = {};
