// The display driver.
#pragma once
#include <cstdint>

void LCD_SetScanOrigin(int32_t x, int32_t y);
