// The weather status box in the map pane's lower right corner: the link's
// and the radar picture's state in one word, the receiver icon, and where
// the weather products age out.
#pragma once
#include <cstdint>

// Product ages: the radar picture in whole minutes, the texts in seconds.
constexpr uint32_t kNexradMaxMinutes = 15;
constexpr uint32_t kMetarMaxAge = 1800;
constexpr uint32_t kTfrMaxAge = 3600;

// The status word of the current state ("" for none); ages nothing.
const char* WxStatusWord(char* buf, uint32_t size);
// Ages the products and draws the box into the map's off-screen band
// (nothing without a weather role).
void WxStatusBox();
