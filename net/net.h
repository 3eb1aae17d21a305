// Ethernet chip access and frame polling used by the 1 ms tick.
#pragma once
#include <cstdint>

constexpr uint16_t kPpLineStatus = 0x0134;   // bit 7: link
constexpr uint16_t kPpBufCfg     = 0x010A;

uint16_t CS_ReadPP(uint16_t reg);
void     CS_WritePP(uint16_t reg, uint16_t value);
void     NET_RxPoll();
void     NET_TxFlush();
