// Framed messages per host second for each framer on a long stream, fed
// through a port's receive ring in 4 KB bursts; the floor is a plain scan
// of the same bytes through the ring.
#include <benchmark/benchmark.h>

#include <string>

#include "core/framers.h"
#include "core/serial.h"

constexpr uint32_t kPort = 0;
static int64_t s_messages;

static void Count(uint8_t*, int32_t, uint32_t) { ++s_messages; }

static std::string Stream(char kind) {
    std::string one;
    switch (kind) {
    case 'N': one = "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47\r\n"; break;
    case 'V': one = std::string("\x02" "A123 4567 89AB CDEF 0123 4567\r\x03"); break;
    case 'A': one = std::string("\x02$Ah\x10" "0123456789ABCDEF" "\x55\r\n\x03"); break;
    default:  one = std::string("\x10\x8C" "0123\x10\x10" "456789ABCDEF0123456789\x10\x03", 32); break;
    }
    std::string s;
    while (s.size() < (1u << 20)) s += one;
    return s;
}

static void Feed(const std::string& stream, SerialFrameFn framer) {
    SerialRing& rx = G_SerialBuf[kPort].rx;
    for (size_t at = 0; at < stream.size(); at += 4096) {
        for (size_t i = at; i < at + 4096 && i < stream.size(); ++i) {
            rx.abRing[rx.nWr] = static_cast<uint8_t>(stream[i]);
            rx.nWr = (rx.nWr + 1) & (kSerialRingSize - 1);
        }
        framer(kPort);
    }
}

static uint32_t s_sum;
static void ScanFloor(uint32_t port) {
    SerialRing& rx = G_SerialBuf[port].rx;
    while (rx.nRd != rx.nWr) {
        s_sum += rx.abRing[rx.nRd];
        rx.nRd = (rx.nRd + 1) & (kSerialRingSize - 1);
    }
}

static void Run(benchmark::State& state, char kind, SerialFrameFn framer) {
    const std::string stream = Stream(kind);
    SerialBufReset(kPort, 0);
    G_Serial[kPort].fpMsgParse = Count;
    s_messages = 0;
    for (auto _ : state) Feed(stream, framer);
    benchmark::DoNotOptimize(s_sum);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * stream.size()));
    state.counters["msgs_per_s"] = benchmark::Counter(static_cast<double>(s_messages), benchmark::Counter::kIsRate);
}

static void BM_Nmea(benchmark::State& s) { Run(s, 'N', NmeaResync); }
static void BM_Avtn(benchmark::State& s) { Run(s, 'V', AvtnResync); }
static void BM_Arinc(benchmark::State& s) { Run(s, 'A', ArincResync); }
static void BM_Dle(benchmark::State& s) { Run(s, 'D', SerialDleResync); }
static void BM_ScanFloor(benchmark::State& s) { Run(s, 'N', ScanFloor); }
BENCHMARK(BM_Nmea)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Avtn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Arinc)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Dle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScanFloor)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
