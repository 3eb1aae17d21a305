// The SPI bus and its devices (dual UART, A/D converters).
#pragma once
#include <cstdint>

void InitSsp();
