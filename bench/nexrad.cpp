// The radar picture's drawing stage on the full map pane (640 x 460, every
// pane pixel inside the raster and drawn) as a ratio to the terrain stage on
// the same pane, both timed in the same run. Target: at most 1.5.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>
#include <random>

#include "map/map.h"
#include "map/mapqueue.h"
#include "map/terrain.h"
#include "platform/board.h"
#include "tests/support/map_pane.h"
#include "wx/nexrad.h"
#include "wx/wx.h"

using platform::Board;

namespace {

constexpr double kLat = 45.0, kLon = -122.5;

void Setup() {
    Board* board = Board::Create(platform::TimeMode::Virtual);
    board->PowerOn();
    SetUpFullMapPane();
    G_MapViewMode = 0;   // track up, turned: the general case of both stages
    G_MapRotation = 300;
    G_MapZoom = 5;
    MapReferenceAt(kLat, kLon);
    // Terrain: every class somewhere; radar: every value, no empty pixel.
    std::mt19937 rng(5);
    for (uint32_t i = 0; i < kTerrainCacheSide * kTerrainCacheSide; ++i) G_TerrainCache[i] = static_cast<uint8_t>(rng() % 40);
    for (uint32_t i = 0; i < kNexradBytes; ++i) G_WxNexradImg[i] = static_cast<uint8_t>(1 + rng() % 7);
    // 1 km pixels centred on the aircraft: the pane (about 2.3 x 1.7 degrees) lies inside.
    G_Wx.nNxLatPerRow = 2354;
    G_Wx.nNxLonPerCol = 3329;
    G_Wx.nNxRowsPerLat = 29182038;
    G_Wx.nNxColsPerLon = 20634815;
    G_Wx.nNxLat = G_MapFrame.nRefLat;
    G_Wx.nNxLon = G_MapFrame.nRefLon;
    G_Wx.bNexradRx = 1;
    G_Wx.nNexradRxTime = 1;
}

template <typename F>
double NsPerCall(int64_t n, F f) {
    const auto t0 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < n; ++i) {
        f();
        benchmark::ClobberMemory();
    }
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() /
           static_cast<double>(n);
}

void BM_NexradStageToTerrainStage(benchmark::State& state) {
    Setup();
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        WxDrawNexrad();
        benchmark::ClobberMemory();
    }
    const int64_t n = std::max<int64_t>(state.iterations(), 1);
    const double nexradNs =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / static_cast<double>(n);
    const double terrainNs = NsPerCall(n, [] { MapDrawTerrain(); });
    state.counters["terrain_ms"] = terrainNs / 1e6;
    state.counters["ratio"] = nexradNs / terrainNs;
    Board::Destroy();
}

}  // namespace

BENCHMARK(BM_NexradStageToTerrainStage)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
