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

// The numeric-row screens of RPM, the probes, horsepower and the trims:
// opened, driven one key and knob delta at a time, and their value texts.
void        RpmScreenOpen();
void        EgtChtScreenOpen(int32_t first);
void        HorsepowerScreenOpen();
void        TrimScreenOpen(int32_t inst);
void        EngineTimersScreenOpen();
int32_t     EngineMenuInput(int32_t key, int32_t delta);
int32_t     EngineMenuRows();
const char* EngineMenuValue(int32_t row);

// The screens: each runs its own loop and returns when the user leaves.
void FuelFlowCalMenu();
void FuelCompMenu();
void TanksCalMenu(int32_t inst);
void FlapCalMenu();
void RpmCalMenu();
// The probe group that starts at first: 26 EGT, 32 TIT, 34 CHT.
void EgtChtCalMenu(int32_t first);
void HorsepowerMenu();
// 23 elevator, 24 aileron.
void TrimCalMenu(int32_t inst);
// Tach, Hobbs, today's time and date and the last flight; writes the NVRAM image.
void EngineTimersMenu();

// ---- shared by the screens ------------------------------------------------------------------
// Limit in tenths of a gallon moved by a knob delta in display units
// (1 gallon-tenth or 10 litre-tenths a step).
int32_t EditFuelLimit(int32_t inst, int32_t value, int32_t delta);
// Limit as shown: in display units, divided by the step.
int32_t ShownFuelLimit(int32_t inst, int32_t value);
