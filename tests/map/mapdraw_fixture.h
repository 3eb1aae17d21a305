// A board with the display set up and a full map pane (page 8), for the
// map's drawing layers: pixels are read from the off-screen band.
#pragma once
#include <cstdint>
#include <string>

#include "support/board_fixture.h"
#include "support/map_pane.h"

class MapDrawTest : public BoardTest {
protected:
    void SetUp() override;
    // Band pixel of pane point (x, y).
    uint8_t Band(int x, int y) { return Frame()[(960 + y) * 640 + x]; }
    uint8_t Page(int x, int y) { return Frame()[y * 640 + x]; }
    uint8_t* Frame();
    // Pixels of palette index `colour` in a band rectangle.
    int Count(uint8_t colour, int x0, int y0, int x1, int y1);
    void FillBand(uint8_t colour);
    // Files loaded, the map source with a fix at (lat, lon) degrees.
    void MapAt(double lat, double lon, int16_t track = 0, int16_t speed = 1200);
    std::string Log() { return SysLogSectorText(); }
};
