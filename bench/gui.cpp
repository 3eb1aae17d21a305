// Drawing speed on the emulated board, each as a ratio to the plain memory
// operation on the same bytes, timed in the same run right after: a
// full-screen fill (memset), a full-page copy (memcpy), 10,000 random lines
// and 1,000 filled polygons (memset of the pixels they cover, shape by shape).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>
#include "gui/gui.h"
#include "gui/lcd.h"
#include "platform/board.h"

using platform::Board;

static std::vector<uint8_t> g_buf(640 * 1638);

static void Setup() {
    Board* board = Board::Create(platform::TimeMode::Virtual);
    board->PowerOn();
    GUI_Init();
}

// Times `floor` as many times as the benchmark ran and reports the ratio.
template <typename F>
static void Report(benchmark::State& state, double drawNs, F floor) {
    int64_t n = std::max<int64_t>(state.iterations(), 1);
    auto t0 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < n; ++i) {
        floor(static_cast<int>(i));
        benchmark::ClobberMemory();
    }
    double floorNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;
    state.counters["floor_ns"] = floorNs;
    state.counters["ratio"] = drawNs / floorNs;
}

template <typename Draw, typename Floor>
static void Run(benchmark::State& state, Draw draw, Floor floor) {
    auto t0 = std::chrono::steady_clock::now();
    int i = 0;
    for (auto _ : state) draw(++i);
    double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() /
                static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    Report(state, ns, floor);
}

static void BM_FullScreenFill(benchmark::State& state) {
    Setup();
    Run(state, [](int i) { GUI_SetColorIndex(static_cast<uint32_t>(i & 255)); GUI_FillRect(0, 0, 639, 479); },
        [](int i) { std::memset(g_buf.data(), i, 640 * 480); });
    Board::Destroy();
}

static void BM_FullPageCopy(benchmark::State& state) {
    Setup();
    Run(state, [](int) { BltCopyRect(0, 480, 0, 0, 640, 480, kBltCopy); },
        [](int) { std::memcpy(g_buf.data(), g_buf.data() + 640 * 480, 640 * 480); });
    Board::Destroy();
}

struct Line { int x0, y0, x1, y1, pixels; };
static std::vector<Line> Lines() {
    std::mt19937 rng(7);
    std::vector<Line> v;
    for (int i = 0; i < 10000; ++i) {
        Line l{int(rng() % 640), int(rng() % 480), int(rng() % 640), int(rng() % 480), 0};
        l.pixels = std::max(std::abs(l.x1 - l.x0), std::abs(l.y1 - l.y0)) + 1;
        v.push_back(l);
    }
    return v;
}

static void BM_RandomLines10k(benchmark::State& state) {
    auto lines = Lines();
    Setup();
    Run(state, [&](int) { for (const Line& l : lines) GUI_DrawLine(l.x0, l.y0, l.x1, l.y1); },
        [&](int) { for (const Line& l : lines) std::memset(g_buf.data() + l.y0 * 640, 1, static_cast<size_t>(l.pixels)); });
    Board::Destroy();
}

struct Poly { GUI_Point p[6]; int pixels; };
static std::vector<Poly> Polys() {
    std::mt19937 rng(11);
    std::vector<Poly> v;
    // The pixels each covers, measured once by drawing it alone.
    Setup();
    const uint8_t* frame = Board::Current()->display().Memory();
    for (int i = 0; i < 1000; ++i) {
        Poly q{};
        int cx = 60 + int(rng() % 520), cy = 60 + int(rng() % 360);
        for (int k = 0; k < 6; ++k) {
            int r = 10 + int(rng() % 50), a = k * 4096 / 6 + int(rng() % 300);
            q.p[k] = {static_cast<int16_t>(cx + GUI_Cos(a) * r / 1024), static_cast<int16_t>(cy - GUI_Sin(a) * r / 1024)};
        }
        GUI_SetColorIndex(1);
        GUI_FillPolygon(q.p, 6, 0, 0);
        for (int y = cy - 60; y <= cy + 60; ++y)
            for (int x = cx - 60; x <= cx + 60; ++x)
                if (frame[y * 640 + x]) {
                    ++q.pixels;
                    Board::Current()->display().Memory()[y * 640 + x] = 0;
                }
        v.push_back(q);
    }
    Board::Destroy();
    return v;
}

static void BM_FilledPolygons1k(benchmark::State& state) {
    auto polys = Polys();
    Setup();
    Run(state, [&](int) { for (const Poly& q : polys) GUI_FillPolygon(q.p, 6, 0, 0); },
        [&](int) { for (const Poly& q : polys) std::memset(g_buf.data(), 1, static_cast<size_t>(q.pixels)); });
    Board::Destroy();
}

BENCHMARK(BM_FullScreenFill)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FullPageCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RandomLines10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilledPolygons1k)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
