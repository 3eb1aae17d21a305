// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "nav/navsrc.h"

// No radio decoder yet: its messages are dropped.
void ParseVorMsg(uint8_t*, int32_t, uint32_t) {}
void ClearVorRadio() {}
