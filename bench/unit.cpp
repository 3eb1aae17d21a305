// The whole unit: board seconds per host second of `kv5100 --demo --headless`
// on its default page (the splash and warning page for its first two minutes,
// then the map page with the engine strip), on the engine page and on the
// full EFIS page (chosen in NVRAM.KVD, the liability page accepted by a
// script). Host time is the CPU
// time of the run's processes, so that other load on the machine does not
// count; the wall time is reported beside it. The floor is bench_board's bare
// board second.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr int kRunSeconds = 150;

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// `page`: the screen chosen in NVRAM.KVD, 0 for the default page.
void RunUnit(benchmark::State& state, int page) {
    char dir[] = "/tmp/kv5100benchXXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string d = dir;
    std::ofstream(d + "/NVRAM.KVD") << "MAJOR_REL, 7\nMINOR_REL, 5\nBUG_FIX, 0\nSCREEN_CONFIG, " << page
                                    << "\nSCREEN_ENABLE, 255\n";
    std::ofstream(d + "/agree.txt") << "9 press 3\n";
    const std::string extra = " --tfs NVRAM.KVD=" + d + "/NVRAM.KVD --script " + d + "/agree.txt";
    double cpu = 0, wall = 0;
    int runs = 0;
    for (auto _ : state) {
        const std::string command = std::string(KV5100_PATH) + " --demo --headless --run-for " +
                                    std::to_string(kRunSeconds) + " --flash " + d + "/flash" + std::to_string(runs) +
                                    ".bin" + (page != 0 ? extra : "") + " >/dev/null 2>&1";
        const double cpu0 = ChildCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        if (std::system(command.c_str()) != 0) {
            state.SkipWithError("kv5100 failed");
            break;
        }
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += ChildCpuSeconds() - cpu0;
        ++runs;
    }
    std::system(("rm -rf " + d).c_str());
    if (runs == 0) return;
    state.counters["board_s_per_cpu_s"] = kRunSeconds * runs / cpu;
    state.counters["board_s_per_wall_s"] = kRunSeconds * runs / wall;
}

void BM_UnitDefaultPage(benchmark::State& state) { RunUnit(state, 0); }
void BM_UnitEnginePage(benchmark::State& state) { RunUnit(state, 1); }
// The full EFIS page: at least 20 board seconds a host second.
void BM_UnitEfisPage(benchmark::State& state) { RunUnit(state, 2); }

}  // namespace

BENCHMARK(BM_UnitDefaultPage)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_UnitEnginePage)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_UnitEfisPage)->Unit(benchmark::kSecond)->Iterations(3);

BENCHMARK_MAIN();
