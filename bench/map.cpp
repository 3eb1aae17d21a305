// The moving map's cost, in one run:
// - the terrain layer on the full map pane (north up and turned 30 degrees,
//   at zoom 0 and the closest zoom), as a ratio to a floor that fills the
//   same pane through a 256-entry table lookup per pixel. Target: at most 4.
// - each drawing stage of the map page in board time, as the board charges
//   it (register traffic, the terrain DMA, the 2D engine, card reads), over
//   a flight on a generated card that crosses a whole-degree and a
//   five-degree line (new line work and terrain loads). Target: no stage
//   holds the 50 ms frame block. The 1 ms tick is not running, so interrupt
//   time is not in the figures.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "map/map.h"
#include "map/mapfile.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/terrain.h"
#include "nav/navsrc.h"
#include "platform/board.h"
#include "storage/sdcard.h"
#include "tests/support/map_pane.h"
#include "ui/pages.h"

using platform::Board;

namespace {

constexpr uint32_t kClosestZoom = kTerrainZooms - 1;
constexpr uint32_t kFrameTicks = kTicksPerSecond / 20;   // the main loop's 50 ms frame block

double BoardMs(uint64_t ticks) { return static_cast<double>(ticks) * 1000.0 / kTicksPerSecond; }

// Host time of one call.
template <typename F>
double NsOf(F f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    benchmark::ClobberMemory();
    return std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
}

// ---- the terrain layer against the lookup floor ------------------------------------------------

// Every class somewhere in the cache, once per run: the cache is 17.6 MB.
void FillTerrainCache() {
    static bool filled = false;
    if (filled) return;
    std::mt19937 rng(3);
    for (uint32_t i = 0; i < kTerrainCacheSide * kTerrainCacheSide; ++i) G_TerrainCache[i] = static_cast<uint8_t>(rng());
    filled = true;
}

void TerrainSetup(bool turned, uint32_t zoom) {
    Board::Create(platform::TimeMode::Virtual)->PowerOn();
    SetUpFullMapPane();
    if (turned) {
        G_MapViewMode = 0;   // track up, the aircraft low in the pane
        G_MapRotation = 300;
    }
    G_MapZoom = zoom;
    // North up at zoom 0 the pane reaches about 1,650 samples east and west
    // of cache column 2,088, inside the cache; turned, its top left corner
    // reaches past the west edge, painted with the fixed index.
    MapReferenceAt(45.2, -122.6);
    FillTerrainCache();
}

// The floor: the pixels the terrain layer paints, each one cache byte turned
// into a palette index through a 256-entry table, cache rows read in order.
void LookupFloor(const uint8_t (&table)[256]) {
    const PaneRecord& p = G_MapPane;
    uint8_t* band = Board::Current()->display().Memory() + kMapBandY * 640;
    for (int32_t r = p.y0 + 1; r <= p.y1 - 1; ++r) {
        const uint8_t* src = G_TerrainCache + r * kTerrainCacheSide + 1800;
        uint8_t* dst = band + r * 640;
        for (int32_t c = p.x0 + 1; c <= p.x1; ++c) dst[c] = table[src[c]];
    }
}

// The layer and the floor take turns, so that both see the same load on the machine.
void BM_TerrainToLookupFloor(benchmark::State& state) {
    TerrainSetup(state.range(0) != 0, static_cast<uint32_t>(state.range(1)));
    Board* board = Board::Current();
    const uint64_t t0 = board->Now();
    MapDrawTerrain();
    state.counters["board_ms"] = BoardMs(board->Now() - t0);
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(128 + (i >> 1));
    double terrainNs = 0, floorNs = 0;
    for (auto _ : state) {
        terrainNs += NsOf([] { MapDrawTerrain(); });
        floorNs += NsOf([&] { LookupFloor(table); });
    }
    const double n = static_cast<double>(std::max<int64_t>(state.iterations(), 1));
    state.counters["terrain_ms"] = terrainNs / n / 1e6;
    state.counters["floor_ms"] = floorNs / n / 1e6;
    state.counters["ratio"] = terrainNs / floorNs;
    Board::Destroy();
}

// ---- the stages of the map page in board time ---------------------------------------------------

// A generated card image and a flash file in a folder of their own.
struct CardFolder {
    std::string dir;
    bool ok = false;
    CardFolder() {
        char path[] = "/tmp/kvmapbenchXXXXXX";
        if (!mkdtemp(path)) return;
        dir = path;
        const std::string command = "python3 " + std::string(KV_TOOLS_DIR) + "/make-map-card.py " + dir +
                                    "/files --image " + dir + "/card.img >/dev/null 2>&1";
        ok = std::system(command.c_str()) == 0;
    }
    ~CardFolder() {
        if (!dir.empty()) std::system(("rm -rf " + dir).c_str());
    }
};

// Board time of the calls of one kind: the worst, the sum, how many.
struct Cost {
    uint64_t worst = 0, sum = 0;
    int calls = 0;
    void Add(uint64_t t) {
        worst = std::max(worst, t);
        sum += t;
        ++calls;
    }
    void Report(benchmark::State& state, const std::string& name) const {
        state.counters[name + "_max_ms"] = BoardMs(worst);
        state.counters[name + "_mean_ms"] = calls ? BoardMs(sum) / calls : 0.0;
    }
};

// The map source: a GPS fix at (lat, lon), flying `track` tenths of a degree at 120 kt.
void SetFix(double lat, double lon, int16_t track) {
    NavSrcRec& r = MapSourceRecord();
    r.nGpsFlagsA = kNavGpsValid;
    r.nGpsFlagsB = kNavGpsOwnPos;
    r.fLat = static_cast<float>(lat);
    r.fLon = static_cast<float>(lon);
    r.nTrackTrue = track;
    r.nGroundSpeed = 1200;
}

// The load queue worked off as the main loop's idle passes do, one step a
// call, each step's board time kept.
void RunQueue(Cost* step) {
    for (int i = 0; i < 100000; ++i) {
        const bool idle = G_MapQueue.nRead == G_MapQueue.nWrite && !G_TerrainLoad.nReading && !G_TerrainLoad.nDecompress;
        if (idle) return;
        const uint64_t t0 = Board::Current()->Now();
        MapQueueProcess();
        step->Add(Board::Current()->Now() - t0);
    }
}

void BM_MapStagesBoardTime(benchmark::State& state) {
    CardFolder card;
    if (!card.ok) {
        state.SkipWithError("the card generator failed");
        return;
    }
    Board* board = Board::Create(platform::TimeMode::Virtual);
    if (!board->OpenFlash((card.dir + "/flash.bin").c_str()) || !board->mmc().card().OpenImage((card.dir + "/card.img").c_str())) {
        state.SkipWithError("no flash or card image");
        Board::Destroy();
        return;
    }
    board->PowerOn();
    SysLogOpen();
    SetUpFullMapPane();
    G_MapViewMode = 0;   // track up
    G_MapZoom = static_cast<uint32_t>(state.range(0));
    board->mmc().Insert();
    MountSDCard();
    MapInit();
    if (!MapLoaded() || MapStatusOf(kMapFileTerrain) != kMapOk) {
        state.SkipWithError("the card's map or terrain did not load");
        Board::Destroy();
        return;
    }
    // 15 minutes at 120 kt on 030 from just south of 45 N: about 30 s in, a
    // new five-degree key (terrain shifts and loads, new line work) and a new
    // whole-degree square; then between the card's airports near 45.5 N.
    double lat = 44.985, lon = -122.68;
    const double heading = 30.0 * M_PI / 180.0;
    constexpr int kSeconds = 900;
    SetFix(lat, lon, 300);
    G_MapHeader.nRefLat = G_MapFrame.nRefLat = static_cast<int32_t>(lat * 262144.0);
    G_MapHeader.nRefLon = G_MapFrame.nRefLon = static_cast<int32_t>(lon * 262144.0);

    Cost stage1, stage3, stage4, copy, idle, queue;
    int over = 0, frame = 0, centres = 0;
    int32_t centreLat = G_MapCentres.nLat, centreLon = G_MapCentres.nLon;
    for (auto _ : state) {
        for (int s = 0; s < kSeconds; ++s) {
            const double nm = 120.0 / 3600.0;
            lat += nm / 60.0 * std::cos(heading);
            lon += nm / 60.0 * std::sin(heading) / std::cos(lat * M_PI / 180.0);
            SetFix(lat, lon, 300);
            for (int f = 0; f < 20; ++f, ++frame) {
                const uint32_t start = ReadOsTimer();
                G_FlipCtl.nDrawPageY = (frame & 1) ? 480 : 0;
                const uint32_t before = G_MapFrame.nStage;
                const bool copyDue = G_MapFrame.nBlit[frame & 1] == 0;
                const uint64_t t0 = board->Now();
                MapPageRun(0);
                const uint64_t ticks = board->Now() - t0;
                const uint32_t after = G_MapFrame.nStage;
                // Without a radar picture stage 2 runs straight on into stage 3.
                if (after == 2) stage1.Add(ticks);
                else if (before == 2 || before == 3) stage3.Add(ticks);
                else if (before == 4) stage4.Add(ticks);
                else if (copyDue) copy.Add(ticks);
                else idle.Add(ticks);
                if (ticks > kFrameTicks) ++over;
                if (G_MapCentres.nLat != centreLat || G_MapCentres.nLon != centreLon) ++centres;
                centreLat = G_MapCentres.nLat;
                centreLon = G_MapCentres.nLon;
                RunQueue(&queue);
                const uint32_t used = ReadOsTimer() - start;
                if (used < kFrameTicks) DelayTicks(kFrameTicks - used);
            }
        }
    }
    stage1.Report(state, "stage1");
    stage3.Report(state, "stage3");
    stage4.Report(state, "stage4");
    copy.Report(state, "copy");
    idle.Report(state, "idle");
    queue.Report(state, "queue_step");
    state.counters["pictures"] = stage4.calls;
    state.counters["new_centres"] = centres;
    state.counters["over_50ms"] = over;
    Board::Destroy();
}

}  // namespace

// (turned, zoom): north up and turned, zoom 0 and the closest.
BENCHMARK(BM_TerrainToLookupFloor)
    ->ArgNames({"turned", "zoom"})
    ->Args({0, 0})
    ->Args({0, kClosestZoom})
    ->Args({1, 0})
    ->Args({1, kClosestZoom})
    ->Unit(benchmark::kMillisecond);
// Board time per stage over 15 minutes of flight, by zoom.
BENCHMARK(BM_MapStagesBoardTime)->ArgName("zoom")->Arg(0)->Arg(4)->Arg(8)->Arg(kClosestZoom)->Iterations(1)->Unit(
    benchmark::kSecond);

BENCHMARK_MAIN();
