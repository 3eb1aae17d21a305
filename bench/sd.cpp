// Sequential throughput of a 1 MB file through the FAT layer, the sector
// cache and the card driver on the emulated card, against copying the same
// bytes of the raw image in the same run (the floor).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/ostimer.h"
#include "platform/board.h"
#include "storage/fat.h"
#include "storage/mmc.h"

using platform::Board;

constexpr uint32_t kFileBytes = 1024 * 1024;
constexpr uint32_t kChunk = 4096;   // the size of one call, as a map reader would ask

struct Card {
    Board* board = nullptr;
    DFS_VolInfo vol{};
    uint8_t scratch[512]{};
    std::string image;
    Card() {
        char dir[] = "/tmp/kvbenchXXXXXX";
        if (!mkdtemp(dir)) std::abort();
        image = std::string(dir) + "/card.img";
        if (std::system(("mkfs.fat -C -F 16 --invariant " + image + " 16384 >/dev/null").c_str()) != 0) std::abort();
        board = Board::Create(platform::TimeMode::Virtual);
        board->PowerOn();
        if (!board->mmc().card().OpenImage(image.c_str()) || !board->mmc().Insert()) std::abort();
        InitOsTimer();
        if (InitMMC(0) != 0) std::abort();
        SdCacheClear();
        if (DFS_ReadVolumeInfo(0, scratch, DFS_PartitionStart(0, scratch, 0, nullptr, nullptr, nullptr), &vol)) std::abort();
    }
    ~Card() {
        Board::Destroy();
        std::system(("rm -rf " + image.substr(0, image.rfind('/'))).c_str());
    }
};

static void BM_WriteFile(benchmark::State& state) {
    Card card;
    std::vector<uint8_t> data(kFileBytes, 0x5A);
    for (auto _ : state) {
        DFS_DeleteFile(&card.vol, "BENCH.BIN", card.scratch);
        DFS_FileInfo fi;
        DFS_OpenFile(&card.vol, "BENCH.BIN", DFS_WRITE, card.scratch, &fi);
        for (uint32_t at = 0, n = 0; at < kFileBytes; at += kChunk)
            DFS_WriteFile(&fi, card.scratch, data.data() + at, &n, kChunk);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}

static void BM_ReadFile(benchmark::State& state) {
    Card card;
    std::vector<uint8_t> data(kFileBytes, 0x5A);
    DFS_FileInfo fi;
    uint32_t n = 0;
    DFS_OpenFile(&card.vol, "BENCH.BIN", DFS_WRITE, card.scratch, &fi);
    DFS_WriteFile(&fi, card.scratch, data.data(), &n, kFileBytes);
    for (auto _ : state) {
        SdCacheClear();   // from the card, not from the cache
        DFS_OpenFile(&card.vol, "BENCH.BIN", DFS_READ, card.scratch, &fi);
        for (uint32_t at = 0; at < kFileBytes; at += kChunk) DFS_ReadFile(&fi, card.scratch, data.data() + at, &n, kChunk);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}

// The floor: the same bytes copied straight out of the mapped image.
static void BM_RawImageCopy(benchmark::State& state) {
    Card card;
    std::vector<uint8_t> data(kFileBytes);
    for (auto _ : state) {
        std::memcpy(data.data(), card.board->mmc().card().Image() + 512 * 1024, kFileBytes);
        benchmark::DoNotOptimize(data.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * kFileBytes);
}

BENCHMARK(BM_WriteFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RawImageCopy)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
