// Calibration mode, setup and auxiliary pages.
#pragma once

void CalibrationMode();
void DrawCalTitle();
void DrawAuxPage();
void ReadChecklistFile();
void ReadAircraftFile();
void ReadMaintFile();
void LoadAircraftBitmap();
