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
// After new AHRS data: the autopilot follows it.
void ApUpdateAhrs();
void LoadApSettings();
// Writes the autopilot defaults into the autopilot block of the settings image.
void DefaultApSettings();
