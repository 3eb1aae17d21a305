// The EFIS page and the magnetometer alignment.
#pragma once

void DrawEfisPage();
void DrawEfisStatic();
void EfisScreenInit();
void MagAlignProcedure();
