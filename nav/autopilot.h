// Autopilot steering.
#pragma once
#include <cstdint>

struct Autopilot {
    uint8_t  bOutput;            // steering output enabled
    uint8_t  bFlightDirector;
};
extern Autopilot G_Autopilot;

void ApVerticalTick();
void ApLateralTick();
void ApUpdateNav();
void LoadApSettings();
// Writes the autopilot defaults into the autopilot block of the settings image.
void DefaultApSettings();
