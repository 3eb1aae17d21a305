// The whole unit: board seconds per host second of `kv5100 --demo --headless`
// on its default page (the splash and warning page for its first two minutes,
// then the map page with the engine strip), on the engine page and on the
// full EFIS page (chosen in NVRAM.KVD, the liability page accepted by a
// script); and of `kv5100 --sd card.img` on the map page with terrain, a
// generated card and a GPS track replayed on a serial port. Host time is the
// CPU time of the run's processes, so that other load on the machine does not
// count; the wall time is reported beside it. The floor is bench_board's bare
// board second.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int kRunSeconds = 150;

double ChildCpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Runs `command`, adding its CPU and wall seconds; false when it failed.
bool TimedRun(const std::string& command, double* cpu, double* wall) {
    const double cpu0 = ChildCpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    if (std::system(command.c_str()) != 0) return false;
    *wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    *cpu += ChildCpuSeconds() - cpu0;
    return true;
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
        if (!TimedRun(command, &cpu, &wall)) {
            state.SkipWithError("kv5100 failed");
            break;
        }
        ++runs;
    }
    std::system(("rm -rf " + d).c_str());
    if (runs == 0) return;
    state.counters["board_s_per_cpu_s"] = kRunSeconds * runs / cpu;
    state.counters["board_s_per_wall_s"] = kRunSeconds * runs / wall;
}

// The map page with terrain and the moving GPS: the generated card and the
// track of the map's end-to-end tests, I AGREE pressed at 14 s. Each
// iteration runs the unit to kMapFrom and to kMapFrom + kMapSeconds; the
// difference is the map page alone (start-up and the warning page cancel).
// Target: at least 20 board seconds a wall second.
constexpr int kMapFrom = 20, kMapSeconds = 120;

void BM_UnitMapPageTerrainGps(benchmark::State& state) {
    char dir[] = "/tmp/kv5100benchXXXXXX";
    if (!mkdtemp(dir)) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string d = dir, tools = KV_TOOLS_DIR;
    if (std::system(("python3 " + tools + "/make-map-card.py " + d + "/files --image " + d + "/card.img >/dev/null 2>&1 && " +
                     "python3 " + tools + "/make-gps-track.py " + d + "/track.nmea >/dev/null 2>&1")
                        .c_str()) != 0) {
        state.SkipWithError("the card or track generator failed");
        return;
    }
    std::ofstream(d + "/system.kvd") << "MAP_INSTALLED, 1\nEFIS_INSTALLED, 0\nENGINE_INSTALLED, 0\nAIR_INSTALLED, 0\n"
                                        "SERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\nMAP_LATLON_PORT, 3\n";
    std::ofstream(d + "/agree.txt") << "14 press 3\n";
    double cpu[2] = {}, wall[2] = {};
    int runs = 0;
    for (auto _ : state) {
        for (int longRun = 0; longRun < 2; ++longRun) {
            const int seconds = kMapFrom + longRun * kMapSeconds;
            const std::string flash = d + "/flash" + std::to_string(runs) + std::to_string(longRun) + ".bin";
            const std::string command = std::string(KV5100_PATH) + " --headless --run-for " + std::to_string(seconds) +
                                        " --flash " + flash + " --sd " + d + "/card.img --tfs SYSTEM.KVD=" + d +
                                        "/system.kvd --serial 3=file:" + d + "/track.nmea --script " + d +
                                        "/agree.txt --print-syslog >" + d + "/out.txt 2>&1";
            if (!TimedRun(command, &cpu[longRun], &wall[longRun])) {
                state.SkipWithError("kv5100 failed");
                break;
            }
        }
        ++runs;
    }
    std::ifstream out(d + "/out.txt");
    const std::string text((std::istreambuf_iterator<char>(out)), std::istreambuf_iterator<char>());
    std::system(("rm -rf " + d).c_str());
    if (runs == 0) return;
    if (text.find("Map Loaded -->") == std::string::npos) {
        state.SkipWithError("the card's map did not load");
        return;
    }
    state.counters["board_s_per_cpu_s"] = kMapSeconds * runs / (cpu[1] - cpu[0]);
    state.counters["board_s_per_wall_s"] = kMapSeconds * runs / (wall[1] - wall[0]);
}

void BM_UnitDefaultPage(benchmark::State& state) { RunUnit(state, 0); }
void BM_UnitEnginePage(benchmark::State& state) { RunUnit(state, 1); }
// The full EFIS page: at least 20 board seconds a host second.
void BM_UnitEfisPage(benchmark::State& state) { RunUnit(state, 2); }

}  // namespace

BENCHMARK(BM_UnitDefaultPage)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_UnitEnginePage)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_UnitEfisPage)->Unit(benchmark::kSecond)->Iterations(3);
BENCHMARK(BM_UnitMapPageTerrainGps)->Unit(benchmark::kSecond)->Iterations(3);

BENCHMARK_MAIN();
