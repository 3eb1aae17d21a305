// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "gui/gui.h"

// The text module supplies the default 6 x 8 font and the one-byte encoding.
const GUI_Font* GUI_DefaultFont() { return nullptr; }
const GUI_TextEncoding* GUI_DefaultEncoding() { return nullptr; }
// YSize x YMag of the current font: no fonts yet.
int GUI_GetFontSizeY() { return 0; }
