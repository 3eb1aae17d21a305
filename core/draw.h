// Formatted text at a page position (the drawing offset is added inside).
#pragma once
#include <cstdint>

int32_t DrawTextF(uint32_t colour, int32_t font, int32_t style, int32_t x, int32_t y, const char* format, ...)
    __attribute__((format(printf, 6, 7)));
