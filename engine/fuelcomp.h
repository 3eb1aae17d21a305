// Fuel computer: endurance from the totals and the flow, the fuel data
// message for serial ports of function 8, and the colour rule the engine
// gauges share.
#pragma once
#include <cstdint>

constexpr int32_t kFuelDataMsgBytes = 13;
extern uint8_t FuelDataMsg[32];

void CalcFuelComputer();
void SnapshotFuelState();
// Endurance in seconds of remaining fuel at a flow (both tenths), clamped.
int32_t FuelEndurance(double remaining, int32_t flow);
void    BuildFuelDataMsg();

// Colour of a reading from its value and limits (0x00BBGGRR), stored whole in
// the reading; the reading's flag byte is cleared.
constexpr uint32_t kColourRed = 0x0000FF, kColourYellow = 0x00FFFF, kColourGreen = 0x00FF00,
                   kColourWhite = 0xFFFFFF;
uint32_t SetInstColor(int32_t inst);
