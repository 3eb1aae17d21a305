// Board seconds simulated per host second: a loop that spins on the OS
// timer with the 1 ms tick running, against a bare spin of host reads.
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
// The floor: the same spin with no interrupts.
static void BM_BoardSecondNoTick(benchmark::State& state) { BoardSeconds(state, false); }
BENCHMARK(BM_BoardSecondWithTick)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoardSecondNoTick)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
