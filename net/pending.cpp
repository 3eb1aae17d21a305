// Services of this folder whose modules are not written yet: the least that
// keeps the unit running.
#include "net/net.h"

uint16_t CS_ReadPP(uint16_t) { return 0; }   // no link
void CS_WritePP(uint16_t, uint16_t) {}
void NET_RxPoll() {}
void NET_TxFlush() {}
