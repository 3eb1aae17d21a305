// A board with the graphics library initialised, and pixel access to the
// frame memory as the controller holds it.
#pragma once
#include <set>
#include <utility>
#include "gui/gui.h"
#include "gui/lcd.h"
#include "support/board_fixture.h"

class GuiTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        GUI_Init();
    }
    uint8_t* Frame() { return board().display().Memory(); }
    uint8_t Px(int x, int y) { return Frame()[y * 640 + x]; }
    // Pixels of index `index` within a window around the origin.
    std::set<std::pair<int, int>> Set(int x0, int y0, int x1, int y1, uint8_t index = 1) {
        std::set<std::pair<int, int>> s;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x)
                if (Px(x, y) == index) s.insert({x, y});
        return s;
    }
    void ClearFrame() { std::fill(Frame(), Frame() + 640 * 1638, 0); }
};
