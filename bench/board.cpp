// Board seconds simulated per host second with the 1 ms tick running: a
// wait that knows its end (DelayTicks) and the main loop's shape with
// nothing to do (reading the clock and an input over and over), against the
// floor, the same wait with no interrupts.
#include <benchmark/benchmark.h>

#include "core/irq.h"
#include "core/ostimer.h"
#include "platform/board.h"
#include "platform/hw.h"

using platform::Board;

static void StartTick() {
    InitOsTimer();
    InstallHandlers();
    IrqStateInit();
    HwWrite32(OSMR0, ReadOsTimer() + 18432);
    HwWrite32(OIER, HwRead32(OIER) | 1);
    IntEnable(kIntOsTimer0);
}

// One iteration: one board second of DelayTicks; with or without the tick.
static void BoardSeconds(benchmark::State& state, bool tick) {
    Board* board = Board::Create(platform::TimeMode::Virtual);
    board->PowerOn();
    if (tick) StartTick();
    else InitOsTimer();
    for (auto _ : state) DelayTicks(kTicksPerSecond);
    state.counters["board_s_per_host_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    Board::Destroy();
}

static void BM_BoardSecondWithTick(benchmark::State& state) { BoardSeconds(state, true); }

static void BM_BoardSecondPolled(benchmark::State& state) {
    Board* board = Board::Create(platform::TimeMode::Virtual);
    board->PowerOn();
    StartTick();
    for (auto _ : state) {
        const uint32_t start = ReadOsTimer();
        while (ReadOsTimer() - start < kTicksPerSecond) (void)HwRead32(0x40E00000);   // GPLR0
    }
    state.counters["board_s_per_host_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    Board::Destroy();
}
// The floor: the same spin with no interrupts.
static void BM_BoardSecondNoTick(benchmark::State& state) { BoardSeconds(state, false); }
BENCHMARK(BM_BoardSecondWithTick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoardSecondPolled)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoardSecondNoTick)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
