// The line work: roads, water, borders and filled areas of the vector
// squares, styled by each chain's flag word and the zoom.
#pragma once
#include <cstdint>

#include "map/records.h"

constexpr int kMapChainPtsMax = 10000;

// Pen and colour of a chain, or false when the zoom hides it.
struct ChainStyle {
    uint8_t pen;
    uint8_t colour;
    bool    fill;       // bits 2 and 4: a filled area
    bool    outline;    // bit 4: a black outline after the fill
};
bool    ChainStyleOf(uint16_t flags, uint32_t zoom, ChainStyle* style);
// Point step of a chain: 5 - z at zooms 0..3, else 1; bit-12 chains by table.
int32_t ChainStep(uint16_t flags, uint32_t zoom);

void MapDrawChains(VecSquare& buffer);
void MapDrawVectors();
