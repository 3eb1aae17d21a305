// Calibration mode, setup and auxiliary pages.
#pragma once
#include <cstdint>

void CalibrationMode();
void DrawCalTitle();
void DrawAuxPage();
// The auxiliary pages' keys: a key code, -1 or 1 for the knob, or
// kAuxPageOpen when a page is opened.
constexpr int32_t kAuxPageOpen = -999;
void AuxPageKeys(int32_t code);
void ReadChecklistFile();
void ReadAircraftFile();
void WriteAircraftFile();
void ReadMaintFile();
void LoadAircraftBitmap();
// An instrument's value in its configured display unit; numbers above 47
// come back unchanged.
int32_t ToDisplayUnits(int32_t inst, int32_t value);
// A value in an instrument's display unit back in its internal unit.
float FromDisplayUnits(int32_t inst, float value);
// Selects the instrument's multiplexer group, waits and converts its raw
// input for the calibration screens.
int32_t ReadInstrumentRaw(int32_t inst);
