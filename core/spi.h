// The SPI bus: the SSP port as master, the one exchange routine for its three
// devices (dual UART, engine and air-data converters), the multiplexer in
// front of the engine converter, and the averaged, filtered A/D reading.
#pragma once
#include <cstdint>

// SSP registers.
constexpr uint32_t SSCR0 = 0x41400000;
constexpr uint32_t SSCR1 = 0x41400004;
constexpr uint32_t SSSR  = 0x41400008;
constexpr uint32_t SSDR  = 0x41400010;
constexpr uint32_t SSPSP = 0x4140002C;

// Transfer modes: the chip-select bit within its GPIO bank.
constexpr uint32_t kSpiDuart  = 0x40000;   // GPIO 50
constexpr uint32_t kSpiEngine = 64;        // GPIO 70
constexpr uint32_t kSpiAir    = 512;       // GPIO 73

extern uint32_t G_SpiBusy;   // 1 while an exchange runs: the tick keeps off the bus

// GPIO pin set-up shared by the bus and the serial ports.
void SetPinMode(uint32_t pin, bool output, uint32_t function);
void SetPinLevel(uint32_t pin, bool high);

void InitSsp();
// 1 once InitSsp has set the bus up: the tick leaves the dual UART alone before.
uint32_t SpiReady();
// One exchange: *word is the command in and the answer out. 1 on success.
int32_t SpiTransfer(uint32_t mode, uint16_t* word);
int32_t ReadAdc(int32_t inst);
void    SetAdcChannelMode(int32_t inst);
void    ScaleAdcChannel(int32_t inst);
