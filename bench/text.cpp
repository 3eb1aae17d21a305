// Text speed: a line of 40 characters in a small (8-row) and a large
// (32-row) font, drawn on the display (glyphs through the 2D engine's colour
// expansion) and into an offscreen surface (software). Each reports glyphs per
// second and its ratio to the floor: a memset of the same glyph cells.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>
#include "gui/gui.h"
#include "gui/text.h"
#include "platform/board.h"

using platform::Board;

namespace {

constexpr int kGlyphs = 40;
// The large font's 40 glyphs do not fit in 640 pixels: two lines of 20.
const char kSmallLine[] = "The quick brown fox jumps over 012345678";
const char kLargeLines[] = "Quick brown fox 0123\njumps over dog 45678";
static_assert(sizeof kSmallLine - 1 == kGlyphs && sizeof kLargeLines - 2 == kGlyphs);

std::vector<uint8_t> g_buf(640 * 80);

void Setup() {
    Board* board = Board::Create(platform::TimeMode::Virtual);
    board->PowerOn();
    GUI_Init();
    GUI_SetColorIndex(1);
    GUI_SetBkColorIndex(0);
}

// The cells the text paints, as rows of bytes: the floor's work.
struct Cells { int width[2]; int rows; };

void Bench(benchmark::State& state, const GUI_Font* font, const char* text, bool surface) {
    Setup();
    int16_t s = 0;
    if (surface) {
        s = GUI_CreateSurface(0, 0, 640, 2 * font->YDist);
        if (s == 0) {
            state.SkipWithError("no surface");
            Board::Destroy();
            return;
        }
        GUI_SelectSurface(s);
    }
    GUI_SetFont(font);
    Cells cells{{GUI_LineWidth(text, GUI_LineCharCount(text, 100)), 0}, font->YDist};
    if (const char* lf = std::strchr(text, '\n')) cells.width[1] = GUI_TextWidth(lf + 1);

    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) GUI_DrawTextAt(text, 0, 0);
    const int64_t n = std::max<int64_t>(state.iterations(), 1);
    const double drawNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;

    t0 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < n; ++i) {
        for (int line = 0; line < 2; ++line)
            for (int r = 0; r < cells.rows; ++r)
                std::memset(g_buf.data() + (line * cells.rows + r) * 640, static_cast<int>(i),
                            static_cast<size_t>(cells.width[line]));
        benchmark::ClobberMemory();
    }
    const double floorNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;

    state.SetItemsProcessed(state.iterations() * kGlyphs);
    state.counters["floor_ns"] = floorNs;
    state.counters["ratio"] = drawNs / floorNs;
    if (surface) {
        GUI_SelectSurface(0);
        GUI_DeleteSurface(s);
    }
    Board::Destroy();
}

void BM_Text40SmallDisplay(benchmark::State& state) { Bench(state, &G_FontP8, kSmallLine, false); }
void BM_Text40SmallSurface(benchmark::State& state) { Bench(state, &G_FontP8, kSmallLine, true); }
void BM_Text40LargeDisplay(benchmark::State& state) { Bench(state, &G_FontP32, kLargeLines, false); }
void BM_Text40LargeSurface(benchmark::State& state) { Bench(state, &G_FontP32, kLargeLines, true); }

}  // namespace

BENCHMARK(BM_Text40SmallDisplay)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Text40SmallSurface)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Text40LargeDisplay)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Text40LargeSurface)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
