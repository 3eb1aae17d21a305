// The drawing context of the graphics library.
#pragma once
#include <cstdint>

int  GUI_Init();
void GUI_SelectScreen();
void GUI_SetColorIndex(int32_t index);
void GUI_SetPaletteEntry(uint32_t index, uint32_t rgb);
void GUI_Clear();
void GUI_ClearRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void GUI_DrawRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
void GUI_FillRect(int32_t x0, int32_t y0, int32_t x1, int32_t y1);
