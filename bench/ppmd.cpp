// Decoding speed of the weather codec on multi-MB products (varied text at
// order 6, a radar-like raster), in slices as the main loop decodes them,
// against the distribution's python3-ppmd decoding the same stream in the same
// run (its decode call only, timed inside the interpreter).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "tests/support/sample_data.h"
#include "wx/ppmd.h"

namespace {

struct Product {
    sample::Bytes data;
    sample::Bytes stream;
    double pythonSeconds = 0;   // 0: python3-ppmd not available
};

std::string TempDir() {
    char dir[] = "/tmp/kvppmdbenchXXXXXX";
    if (!mkdtemp(dir)) std::abort();
    return dir;
}

sample::Bytes Encode(const sample::Bytes& data) {
    sample::Bytes out(data.size() * 2 + 64);
    uint32_t cap = static_cast<uint32_t>(out.size());
    if (PpmdCompress(out.data(), &cap, data.data(), static_cast<uint32_t>(data.size()), 6, 1, 0) != kPpmdOk) std::abort();
    out.resize(cap);
    return out;
}

// The reference decoder's time on our stream, body after the 3-byte header.
double PythonDecodeSeconds(const sample::Bytes& stream, size_t length) {
    const std::string dir = TempDir();
    const std::string path = dir + "/s";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()) + 3, stream.size() - 3);
    const std::string cmd =
        "/usr/bin/python3 -c \"import io,sys,time,ppmd\n"
        "b=open('" + path + "','rb').read()\n"
        "d=ppmd.Ppmd8Decoder(io.BytesIO(b),6,393216,0)\n"
        "t=time.perf_counter(); o=d.decode(" + std::to_string(length) + "); t=time.perf_counter()-t\n"
        "print(t if len(o)==" + std::to_string(length) + " else 0)\" 2>/dev/null";
    double seconds = 0;
    if (FILE* p = popen(cmd.c_str(), "r")) {
        if (std::fscanf(p, "%lf", &seconds) != 1) seconds = 0;
        pclose(p);
    }
    std::system(("rm -rf " + dir).c_str());
    return seconds;
}

Product Make(sample::Bytes data) {
    Product p;
    p.data = std::move(data);
    p.stream = Encode(p.data);
    p.pythonSeconds = PythonDecodeSeconds(p.stream, p.data.size());
    return p;
}

const Product& Text() {
    static const Product p = Make(sample::VariedText(4000000, 21));
    return p;
}

const Product& Raster() {
    static const Product p = Make(sample::Raster(4000000, 22));
    return p;
}

void Decode(benchmark::State& state, const Product& p) {
    sample::Bytes out(p.data.size());
    const uint32_t cap = static_cast<uint32_t>(out.size());
    double seconds = 0;
    for (auto _ : state) {
        const auto t0 = std::chrono::steady_clock::now();
        int32_t r = PpmdDecompress(out.data(), &cap, p.stream.data(), static_cast<uint32_t>(p.stream.size()), 1);
        while (r == kPpmdMore) r = PpmdDecompress(nullptr, nullptr, nullptr, 0, 0);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (r != kPpmdDone) state.SkipWithError("decode failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.data.size()));
    if (p.pythonSeconds > 0 && state.iterations() > 0)
        state.counters["ratio_to_python"] = seconds / static_cast<double>(state.iterations()) / p.pythonSeconds;
}

void BM_DecodeText(benchmark::State& state) { Decode(state, Text()); }
void BM_DecodeRaster(benchmark::State& state) { Decode(state, Raster()); }

}  // namespace

BENCHMARK(BM_DecodeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeRaster)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
