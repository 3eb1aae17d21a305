// Settings screens of the fuel-flow, fuel-computer, tank and flap
// instruments. They share one pattern: numbered rows, a cursor, key 1
// leaves, keys 2 and 3 move the cursor, key 5 saves and reloads, knob turns
// edit the row under the cursor. Each screen is a loop (the *Menu function)
// around an input handler that takes one key event and one knob delta, so
// the handlers can be driven directly.
#pragma once
#include <cstdint>

#include "setup/setupkit.h"

// Input handlers: key 0 = no key, delta 0 = no turn. They return 1 when the
// screen is to be left, else 0.
void    FuelFlowScreenOpen();
int32_t FuelFlowScreenInput(int32_t key, int32_t delta);
void    FuelCompScreenOpen();
int32_t FuelCompScreenInput(int32_t key, int32_t delta);
void    TankScreenOpen(int32_t inst);
int32_t TankScreenInput(int32_t key, int32_t delta);
void    FlapScreenOpen();
int32_t FlapScreenInput(int32_t key, int32_t delta);

// Rows the screens show (the cursor stays within them) and the value text
// of a row as drawn.
int32_t     FuelFlowScreenRows();
int32_t     TankScreenRows();
const char* FuelFlowScreenValue(int32_t row);
const char* FuelCompScreenValue(int32_t row);
const char* TankScreenValue(int32_t row);
const char* FlapScreenValue(int32_t row);

// The screens: each runs its own loop and returns when the user leaves.
void FuelFlowCalMenu();
void FuelCompMenu();
void TanksCalMenu(int32_t inst);
void FlapCalMenu();

// ---- shared by the screens ------------------------------------------------------------------
// Limit in tenths of a gallon moved by a knob delta in display units
// (1 gallon-tenth or 10 litre-tenths a step).
int32_t EditFuelLimit(int32_t inst, int32_t value, int32_t delta);
// Limit as shown: in display units, divided by the step.
int32_t ShownFuelLimit(int32_t inst, int32_t value);
