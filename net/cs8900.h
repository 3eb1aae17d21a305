// The Ethernet controller, polled in 16-bit I/O mode: the only code that
// touches its ports.
#pragma once
#include <cstdint>

// I/O ports: the chip's offset x 2 from its base.
constexpr uint32_t kCsData0     = 0x08000300;   // receive/transmit data port 0
constexpr uint32_t kCsTxCmd     = 0x08000308;
constexpr uint32_t kCsTxLength  = 0x0800030C;
constexpr uint32_t kCsIsq       = 0x08000310;   // never read: the interrupt is not used
constexpr uint32_t kCsPpPointer = 0x08000314;
constexpr uint32_t kCsPpData    = 0x08000318;

// PacketPage registers.
constexpr uint16_t kPpProductId  = 0x0000;   // reads kCsProductId
constexpr uint16_t kPpRxCfg      = 0x0102;
constexpr uint16_t kPpRxCtl      = 0x0104;
constexpr uint16_t kPpTxCfg      = 0x0106;
constexpr uint16_t kPpBufCfg     = 0x010A;
constexpr uint16_t kPpLineCtl    = 0x0112;
constexpr uint16_t kPpSelfCtl    = 0x0114;
constexpr uint16_t kPpRxEvent    = 0x0124;
constexpr uint16_t kPpLineStatus = 0x0134;
constexpr uint16_t kPpSelfSt     = 0x0136;
constexpr uint16_t kPpBusSt      = 0x0138;
constexpr uint16_t kPpLogicalAddr = 0x0150;   // four words
constexpr uint16_t kPpIndividualAddr = 0x0158;   // three words, first byte of each pair low

constexpr uint16_t kCsProductId  = 0x630E;
constexpr uint16_t kRxCfgSkip1   = 0x0040;   // discard the current received frame
constexpr uint16_t kRxCtlAccept  = 0x0D00;   // good frames to the own address and broadcasts
constexpr uint16_t kLineCtlOn    = 0x00C0;   // receiver and transmitter on
constexpr uint16_t kSelfCtlReset = 0x0040;
constexpr uint16_t kRxEventOk    = 0x0100;
constexpr uint16_t kLineStLinkOk = 0x0080;
constexpr uint16_t kSelfStInitD  = 0x0080;
constexpr uint16_t kBusStRdy4TxNow = 0x0100;
constexpr uint16_t kBufCfgGpio14 = 0x0100;   // cleared by the GPIO14 service
constexpr uint16_t kTxCmdAfterAll = 0x02C0;   // start after the whole frame, one collision retry

constexpr uint32_t kCsBadLength  = 1512;    // a received length this long is refused
constexpr int32_t  kCsReceiveTries = 9;

extern uint8_t G_CsMac[6];                   // the controller's copy of the own MAC

uint16_t CS_ReadPP(uint16_t reg);
void     CS_WritePP(uint16_t reg, uint16_t value);
// Reset, product check and set-up: 0, or -1 for a wrong product code.
int32_t  CS_Init();
// 0, or -1 when the chip does not finish its initialisation.
int32_t  CS_Reset();
void     CS_SetMac();
// The frame to data port 0, after an accepted transmit command.
void     CS_WriteTxFrame(const uint8_t* frame, uint32_t length);
// One received frame into `buffer` (at least kCsBadLength bytes): its length, 0 when none or bad.
uint32_t CS_Receive(uint8_t* buffer);
// LineST read with the tick held off, so the pointer-and-data pair stays whole.
bool     CS_LinkUp();
