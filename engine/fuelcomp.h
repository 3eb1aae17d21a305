// Fuel computer.
#pragma once
#include <cstdint>

constexpr int32_t kFuelDataMsgBytes = 13;
extern uint8_t FuelDataMsg[32];

void CalcFuelComputer();
void SnapshotFuelState();
