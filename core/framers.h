// Framing callbacks shared by several serial devices: each finds whole
// messages in a port's receive ring and hands them to its parse callback.
#pragma once
#include <cstdint>

void NmeaResync(uint32_t port);        // "$" .. CR LF
void AvtnResync(uint32_t port);        // STX letter .. CR|LF ETX
void ArincResync(uint32_t port);       // STX "$" A|V|G hdr L payload sum CR LF ETX
void SerialDleResync(uint32_t port);   // DLE id .. DLE ETX, with stuffed DLEs
// Every framer of a port back to hunting (its ring was reset).
void ResetSerialFramers(uint32_t port);
