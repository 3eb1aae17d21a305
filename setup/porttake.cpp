#include "setup/porttake.h"

constexpr uint32_t kFuncArinc = 5;

PortTakeover TakeOverPort(uint32_t port, uint32_t function, uint32_t baudIdx, SerialFrameFn frame,
                          SerialParseFn parse) {
    SerialPort& p = G_Serial[port];
    const PortTakeover saved = {port, p.nFunction, p.nBaudIdx, p.fpFrame, p.fpMsgParse};
    // The function first: programming the rate enables the receiver only
    // for a port in use.
    p.nFunction = function;
    p.nBaudIdx = baudIdx;
    p.fpFrame = frame;
    p.fpMsgParse = parse;
    SetSerialBaud(port, baudIdx);
    return saved;
}

void RestorePort(const PortTakeover& saved) {
    SerialPort& p = G_Serial[saved.nPort];
    p.nFunction = saved.nFunction;
    p.nBaudIdx = saved.nBaudIdx;
    p.fpFrame = saved.fpFrame;
    p.fpMsgParse = saved.fpMsgParse;
    SetSerialBaud(saved.nPort, saved.nBaudIdx);
}

uint32_t FindArincPort() {
    static constexpr uint32_t kOrder[4] = {3, 2, 1, 4};
    for (uint32_t port : kOrder)
        if (G_Serial[port].nFunction == kFuncArinc) return port;
    return 0;
}

void DiscardSerialRx(uint32_t port) {
    SerialRing& rx = G_SerialBuf[port].rx;
    rx.nRd = rx.nWr;
    G_Serial[port].bRxPending = 0;
}
