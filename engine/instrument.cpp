#include "engine/instrument.h"

const char InstrumentNames[kInstruments][16] = {
    "ALTITUDE",  "SENSORTEMP", "WINGPRES",  "AIRSPEED",   "BATVOLTS",  "VOLTS",      "OAT",          "BACKVOLTS",
    "VERTSPEED", "FUEL_COMP",  "RPM",       "MANIFOLD",   "FUEL_PSI",  "FUEL_FLOW",  "AMPS_SHUNT",   "AMPS_HALL",
    "OIL_PSI",   "OIL_TEMP",   "CARB_TEMP", "TANK_1",     "TANK_2",    "TANK_3",     "TANK_4",       "ELEV_TRIM",
    "AIL_TRIM",  "FLAP_ANG",   "EGT_1",     "EGT_2",      "EGT_3",     "EGT_4",      "EGT_5",        "EGT_6",
    "TIT_1",     "TIT_2",      "CHT_1",     "CHT_2",      "CHT_3",     "CHT_4",      "CHT_5",        "CHT_6",
    "HP",        "HOBBS_TIME", "TACH_TIME", "TODAY_TIME", "THRMCPL_TEMP", "CLOCK",    "FLIGHT_TIME",  "COOL_TEMP",
};
InstReading G_InstReading[kInstruments] = {};
InstCfg     G_InstCfg[kInstruments] = {};
