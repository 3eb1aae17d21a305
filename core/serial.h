// Serial ports: the port table, the rings, the set-up of the five ports from
// their function codes, the receive and transmit services of the on-chip
// UARTs and of the external dual UART, and the output calls.
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
constexpr uint32_t kUartLcr = 0x0C;
constexpr uint32_t kUartMcr = 0x10;
constexpr uint32_t kUartLsr = 0x14;
constexpr uint32_t kUartSpr = 0x1C;
constexpr uint32_t kUartDll = 0x00;   // with the divisor latch on
constexpr uint32_t kUartDlh = 0x04;
constexpr uint32_t kUartFcr = 0x08;

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

constexpr int32_t  kBaudCount = 10;
constexpr uint32_t kFunctionCount = 23;           // codes 0..22
constexpr uint32_t kNoPort = 5;
extern const char G_SerialBaudText[kBaudCount + 2][16];   // then " OFF", " ON"
extern const char G_SerialFuncName[kFunctionCount][20];
// OS-timer ticks per character at a baud index (any other index: that of 9,600).
uint32_t SerialTicksPerChar(uint32_t baudIdx);

// Ports set up for a device, kNoPort when none.
extern uint32_t G_AhrsPort;
extern uint32_t G_AltOutPort;
extern uint32_t G_EngFramePort;
extern uint32_t G_EngCsvPort;
extern uint32_t G_FadecPort;
extern uint32_t G_NavRadioPort;   // course to the navigation radio
extern uint32_t G_AhrsAidPort;    // AHRS aiding message
// Output refused because the transmit ring had no room for it, per port.
extern uint32_t G_SerialTxDropped[kSerialPorts];

void InitSerialPorts();
void SetSerialBaud(uint32_t port, uint32_t baudIdx);
void SetDuartBaud(uint32_t port, uint32_t baudIdx);
void SerialBufReset(uint32_t port, uint32_t uartBase);
void SerialTxService(uint32_t port);
void UartTxFill(uint32_t port);
// Queue output; a call that does not fit whole is dropped and counted.
void SerialWrite(uint32_t port, const void* bytes, int32_t count);
void SerialPrintf(uint32_t port, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Copies nMsgStart..nMsgEnd (inclusive, at most 512 bytes) into abMsg.
int32_t CopySerialMsg(SerialRing* ring);
void SerialRawFrame(uint32_t port);
void ParseTestSerial(uint8_t* msg, int32_t length, uint32_t port);
char    NibbleToHexChar(uint32_t value);
int32_t HexCharToNibble(char c);

// Writes one character by polling; a line feed is followed by a carriage return.
void UartPutcPolled(uint32_t port, char c);

// Interrupt-level services of the ports.
void UartPortService(uint32_t port, uint32_t dataReg, uint32_t ierReg, uint32_t iirReg, uint32_t lsrReg);
void DuartRx(uint32_t port);
void DuartTx(uint32_t port);

