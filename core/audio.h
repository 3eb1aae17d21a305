// Audio playback through the codec.
#pragma once
#include <cstdint>

int32_t InitAudio();
