// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "gui/gui.h"
#include "gui/lcd.h"

int GUI_Init() { return 0; }
void GUI_SelectScreen() {}
void GUI_SetColorIndex(int32_t) {}
void GUI_SetPaletteEntry(uint32_t, uint32_t) {}
void GUI_Clear() {}
void GUI_ClearRect(int32_t, int32_t, int32_t, int32_t) {}
void GUI_DrawRect(int32_t, int32_t, int32_t, int32_t) {}
void GUI_FillRect(int32_t, int32_t, int32_t, int32_t) {}
void LCD_SetScanOrigin(int32_t, int32_t) {}
