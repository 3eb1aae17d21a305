// Engine settings files.
#pragma once

void LoadEngineSettings();
void LoadEngineCal();
void LoadTanksCal();
