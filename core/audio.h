// Sound playback through the codec.
#pragma once
#include <cstdint>

int32_t InitAudio();
int32_t PlaySound(int32_t sound);
