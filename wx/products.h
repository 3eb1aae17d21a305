// The weather products: the dispatcher of checked product payloads, the text
// stores and the sliced decompression into G_WxText.
#pragma once
#include <cstdint>

constexpr uint32_t kWxProductBytes = 100000;
constexpr uint32_t kWxTextHeader   = 14;       // id, spare, n, L, then the stream
constexpr uint32_t kWxNexradHeader = 29;
constexpr uint32_t kWxTfrTextMax   = 400000;   // L + 2 at most
constexpr uint32_t kWxMetarTextMax = 300000;
constexpr uint8_t  kWxIdNexrad = 1, kWxIdMetar = 5, kWxIdTfr = 35, kWxIdCycle = 47;
constexpr uint32_t kWxDecoding = 2;

// Output capacities handed to the decompressor: TFR, NEXRAD, METAR.
extern uint32_t G_WxOutLen[3];

// The payload of one checked product message, `length` bytes.
void WxProductDispatch(const uint8_t* payload, uint32_t length);
void WxTfrStore(const uint8_t* payload, uint32_t length);
void WxMetarStore(const uint8_t* payload, uint32_t length);
// The copy of the product in decompression (kWxProductBytes): the
// decompressor reads its stream from here slice after slice.
uint8_t* WxProductCopy();
