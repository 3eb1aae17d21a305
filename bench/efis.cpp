// One EFIS frame on the emulated board, full page and main pane with the
// engine strip, each as a ratio to a full-page copy through the 2D engine
// timed in the same run (the frame should stay within 30 of them).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "core/boot.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/efis.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "nav/navsrc.h"
#include "platform/board.h"
#include "ui/pages.h"

using platform::Board;

static void Setup(int32_t page) {
    Board* board = Board::Create(platform::TimeMode::Virtual);
    board->PowerOn();
    GUI_Init();
    InitPalette();
    for (int s : {kStreamAir, kStreamAhrs}) G_NetStreamCfg[s].INST = 1;
    G_AirspeedCfg = {45, 50, 85, 120, 160};
    G_Ahrs.nRoll = 150, G_Ahrs.nPitch = 500, G_Ahrs.nHeading = 450, G_Ahrs.nFresh = 40;
    G_AirData.nIas = 1234, G_AirData.nBaroAlt = 12500, G_AirData.nVs = 800, G_AirData.nFresh = 40;
    NavSrcRec& r = G_NavSrc.rec[0];
    r.nType = 1;
    r.nGpsFlagsA = kNavGpsValid | kNavGpsWptValid | kNavGpsTrack | kNavGpsXtkUsable | kNavGpsDtkValid;
    r.nDesiredTrack = 300, r.nCrossTrack = 40, r.nCdiFullScale = 100;
    G_NavSrc.hdr.nCrsSlot = 0, G_NavSrc.hdr.nBrgSlot = 0;
    G_CurPage = page;
    InitScreenConfig();
}

static void Frame(benchmark::State& state, int32_t page) {
    Setup(page);
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) DrawEfisPage();
    const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    const double frameNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;
    t0 = std::chrono::steady_clock::now();
    for (int64_t i = 0; i < static_cast<int64_t>(n); ++i) BltCopyRect(0, 480, 0, 0, 640, 480, kBltCopy);
    const double copyNs = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count() / n;
    state.counters["copy_ns"] = copyNs;
    state.counters["ratio"] = frameNs / copyNs;
    Board::Destroy();
}

static void BM_EfisFrameFull(benchmark::State& state) { Frame(state, 2); }
static void BM_EfisFrameStrip(benchmark::State& state) { Frame(state, 3); }

BENCHMARK(BM_EfisFrameFull)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_EfisFrameStrip)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
