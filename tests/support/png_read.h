// Reads a PNG that kv5100 or a test wrote, for pixel checks.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct RgbImage {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgb;
    // 0xRRGGBB of a pixel.
    uint32_t At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * width + static_cast<size_t>(x)) * 3;
        return uint32_t{rgb[i]} << 16 | uint32_t{rgb[i + 1]} << 8 | rgb[i + 2];
    }
    // Pixels that are not black in a rectangle.
    int Lit(int x0, int y0, int x1, int y1) const {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) n += At(x, y) != 0;
        return n;
    }
};

bool ReadPng(const std::string& path, RgbImage& out);
