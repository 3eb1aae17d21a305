// Services of this folder whose modules are not written yet: the least that
// keeps the unit running. The drawing context replaces all of these.
#include "gui/font.h"

int16_t GUI_GetTextPosX() { return 0; }
int16_t GUI_GetTextPosY() { return 0; }
int GUI_SetTextPos(int16_t, int16_t) { return 0; }
uint16_t GUI_GetTextMode() { return 0; }
uint8_t GUI_SetDrawMode(uint8_t) { return 0; }
const uint8_t* GUI_GetColorSlots() { static const uint8_t slots[2] = {0, 0}; return slots; }
void GUI_ClipFillRect(int16_t, int16_t, int16_t, int16_t) {}
void GUI_ClipDrawBitmap(int16_t, int16_t, int16_t, int16_t, uint8_t, uint8_t, uint8_t, uint16_t, const uint8_t*,
                        const uint8_t*) {}
