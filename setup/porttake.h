// A service screen borrowing a serial port: its function, rate and
// callbacks saved, replaced for the screen, and handed back on the way out.
#pragma once
#include <cstdint>

#include "core/serial.h"

struct PortTakeover {
    uint32_t      nPort;
    uint32_t      nFunction;
    uint32_t      nBaudIdx;
    SerialFrameFn fpFrame;
    SerialParseFn fpMsgParse;
};

// Saves the port's set-up, installs the new one and programs its rate.
PortTakeover TakeOverPort(uint32_t port, uint32_t function, uint32_t baudIdx, SerialFrameFn frame,
                          SerialParseFn parse);
// Puts the saved set-up back and programs the saved rate.
void RestorePort(const PortTakeover& saved);
// The first of ports 3, 2, 1, 4 set to the ARINC adapter, 0 when none.
uint32_t FindArincPort();
// Empties the port's receive ring unread and clears its pending flag.
void DiscardSerialRx(uint32_t port);
