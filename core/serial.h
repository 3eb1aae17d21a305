// Serial ports: the port table, the rings, and the on-chip UARTs' polled
// output (the rest of the port framework grows here).
#pragma once
#include <cstdint>

// On-chip UART register bases, by port: 0 BTUART, 1 STUART, 3 FFUART.
constexpr uint32_t kBtUartBase = 0x40200000;
constexpr uint32_t kStUartBase = 0x40700000;
constexpr uint32_t kFfUartBase = 0x40100000;
// 16550-style register offsets.
constexpr uint32_t kUartThr = 0x00;
constexpr uint32_t kUartIer = 0x04;
constexpr uint32_t kUartIir = 0x08;
constexpr uint32_t kUartLsr = 0x14;

constexpr int kSerialPorts = 5;

using SerialFrameFn = void (*)(uint32_t port);
using SerialParseFn = void (*)(uint8_t* msg, int32_t length, uint32_t port);

struct SerialPort {
    uint32_t nPort;
    uint32_t nFunction;     // 0 = disabled
    uint32_t nBaudIdx;
    uint32_t bRxPending;    // set at interrupt level, cleared by the main loop
    uint32_t bTxReady;
    uint32_t nRxCount;
    SerialFrameFn fpFrame;
    SerialParseFn fpMsgParse;
    uint32_t nLastArincTx;
};
extern SerialPort G_Serial[kSerialPorts];

constexpr int32_t kSerialRingSize = 8192;
constexpr int32_t kSerialMsgSize  = 512;

struct SerialRing {
    uint8_t  abRing[kSerialRingSize];
    uint8_t  abMsg[kSerialMsgSize];
    int32_t  nMsgEnd;
    int32_t  nMsgStart;
    int32_t  nWr;
    int32_t  nRd;
    uint32_t nLastRxTime;
    uint32_t nLastTxTime;
    int32_t  nBurstStart;
};

struct SerialBuf {
    uint32_t   pUart;
    SerialRing rx;
    SerialRing tx;
};
extern SerialBuf G_SerialBuf[kSerialPorts];

extern uint32_t G_DebugPort;      // port of the system log's console copy

// Writes one character by polling; a line feed is followed by a carriage return.
void UartPutcPolled(uint32_t port, char c);

// Interrupt-level services of the ports.
void UartPortService(uint32_t port, uint32_t dataReg, uint32_t ierReg, uint32_t iirReg, uint32_t lsrReg);
void DuartRx(uint32_t port);
void DuartTx(uint32_t port);

// Output ports chosen by the port set-up; 5 = none.
constexpr uint32_t kNoPort = 5;
extern uint32_t G_AltOutPort;     // altitude encoder output
extern uint32_t G_EngFramePort;   // 73-byte engine data frame
extern uint32_t G_EngCsvPort;     // CSV engine stream
extern uint32_t G_NavRadioPort;   // course to the navigation radio
extern uint32_t G_AhrsAidPort;    // AHRS aiding message

void    InitSerialPorts();
int32_t SerialPrintf(uint32_t port, const char* format, ...) __attribute__((format(printf, 2, 3)));
int32_t SerialWrite(uint32_t port, const uint8_t* bytes, int32_t count);
int32_t SerialTxService(uint32_t port);
