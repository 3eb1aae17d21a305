// Deterministic sample inputs for the weather codec's tests and benchmark.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace sample {

using Bytes = std::vector<uint8_t>;

struct Lcg {
    uint32_t state;
    uint32_t Next() { return state = state * 1664525u + 1013904223u; }
    uint32_t Below(uint32_t n) { return (Next() >> 8) % n; }
};

// Words, numbers and line breaks: the model keeps finding new contexts, so a
// few MB fill the arena again and again.
inline Bytes VariedText(size_t n, uint32_t seed) {
    static const char* const kWords[] = {"METAR", "KJFK", "wind", "gusting", "overcast", "visibility",
                                         "runway", "TFR", "altimeter", "the", "and", "of", "radar",
                                         "temperature", "dew", "point", "broken", "few", "scattered"};
    Lcg r{seed};
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        const uint32_t pick = r.Below(10);
        std::string piece;
        if (pick < 6) piece = kWords[r.Below(sizeof kWords / sizeof kWords[0])];
        else if (pick < 9) piece = std::to_string(r.Below(100000));
        else piece = std::string(1, static_cast<char>('A' + r.Below(26))) + static_cast<char>('a' + r.Below(26));
        piece += r.Below(12) == 0 ? '\n' : ' ';
        for (char c : piece) {
            if (out.size() < n) out.push_back(static_cast<uint8_t>(c));
        }
    }
    return out;
}

// A radar-like raster: runs of a few colour indices with noise between.
inline Bytes Raster(size_t n, uint32_t seed) {
    Lcg r{seed};
    Bytes out;
    out.reserve(n);
    while (out.size() < n) {
        const uint8_t colour = static_cast<uint8_t>(r.Below(8));
        const uint32_t run = 1 + r.Below(40);
        for (uint32_t i = 0; i < run && out.size() < n; i++) out.push_back(r.Below(16) == 0 ? r.Below(256) : colour);
    }
    return out;
}

}  // namespace sample
