// Sound playback.
#pragma once
#include <cstdint>

int32_t PlaySound(int32_t sound);
