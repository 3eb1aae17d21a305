// The demonstration aircraft for the weight-and-balance page: a sample
// AIRCRAFT.KVD and a plain side view drawn here as the 8-bit BMP AIRCRAFT.KVB,
// nose left, so that the stations and the CG limits sit along the fuselage.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sim/host.h"

namespace {

constexpr int kWidth = 400, kHeight = 340;
constexpr uint8_t kBlack = 0, kWhite = 1, kGrey = 2, kBlue = 3;

// Colours the display palette holds as they are (black, white, grey, blue),
// so the picture shows without a colour change.
constexpr uint32_t kColours[] = {0x000000, 0xFFFFFF, 0x808080, 0xFF0000};   // 0x00BBGGRR

const char kDemoAircraftKvd[] =
    "# Caution: Do not change Empty Aircraft or Minimum fuel sections.,  \n"
    "# Caution: The DESC field must be TANK1, TANK2, etc, for your fuel tanks,,  \n"
    "#          if you want the balance page to work properly.,  \n"
    "AIRCRAFT, Demo Trainer\n"
    "MAX_GROSS_WEIGHT, 1650\n"
    "DESIGN_CG_LOWER, 82.0\n"
    "DESIGN_CG_UPPER, 93.0\n"
    "CG_LOWER_X, 120\n"
    "CG_UPPER_X, 300\n"
    "WEIGHT_UNITS, lbs\n"
    "LENGTH_UNITS, in\n"
    "LIQUID_UNITS, gal\n"
    "LIQUID_DENSITY, 6.00\n"
    "DESC, Empty Aircraft\nQUANTITY, 1100\nLENGTH, 85.0\nTYPE, W\nX, 0\nY, 0\nNEXTLINE, 0\n"
    "DESC, Minimum Fuel\nQUANTITY, 10\nLENGTH, 95.0\nTYPE, L\nX, 0\nY, 0\nNEXTLINE, 0\n"
    "DESC, Pilot\nQUANTITY, 170\nLENGTH, 88.0\nTYPE, S\nX, 150\nY, 130\nNEXTLINE, 0\n"
    "DESC, Passenger\nQUANTITY, 0\nLENGTH, 88.0\nTYPE, S\nX, 205\nY, 130\nNEXTLINE, 0\n"
    "DESC, TANK1\nQUANTITY, 15\nLENGTH, 95.0\nTYPE, L\nX, 150\nY, 70\nNEXTLINE, 0\n"
    "DESC, TANK2\nQUANTITY, 15\nLENGTH, 95.0\nTYPE, L\nX, 205\nY, 70\nNEXTLINE, 0\n"
    "DESC, Baggage\nQUANTITY, 0\nLENGTH, 110.0\nTYPE, S\nX, 265\nY, 125\nNEXTLINE, 0\n";

struct Canvas {
    std::vector<uint8_t> px = std::vector<uint8_t>(kWidth * kHeight, kBlack);   // top row first
    void Dot(int x, int y, uint8_t c) {
        for (int dy = 0; dy < 2; ++dy)
            for (int dx = 0; dx < 2; ++dx)
                if (x + dx >= 0 && x + dx < kWidth && y + dy >= 0 && y + dy < kHeight) px[(y + dy) * kWidth + x + dx] = c;
    }
    void Line(int x0, int y0, int x1, int y1, uint8_t c) {
        const int dx = std::abs(x1 - x0), dy = -std::abs(y1 - y0), sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
        for (int err = dx + dy;;) {
            Dot(x0, y0, c);
            if (x0 == x1 && y0 == y1) break;
            const int e2 = 2 * err;
            if (e2 >= dy) { err += dy; x0 += sx; }
            if (e2 <= dx) { err += dx; y0 += sy; }
        }
    }
    void Outline(const std::vector<std::pair<int, int>>& pts, uint8_t c) {
        for (size_t i = 0; i + 1 < pts.size(); ++i) Line(pts[i].first, pts[i].second, pts[i + 1].first, pts[i + 1].second, c);
    }
    void Wheel(int cx, int cy, int r) {
        for (int y = -r; y <= r; ++y)
            for (int x = -r; x <= r; ++x)
                if (x * x + y * y <= r * r) px[(cy + y) * kWidth + cx + x] = x * x + y * y <= (r - 3) * (r - 3) ? kGrey : kWhite;
    }
};

std::vector<uint8_t> DrawSideView() {
    Canvas c;
    c.Outline({{38, 128}, {50, 112}, {120, 104}, {150, 84}, {235, 82}, {262, 102}, {330, 110}, {352, 112},
               {352, 124}, {330, 128}, {250, 140}, {140, 146}, {60, 142}, {38, 128}}, kWhite);   // fuselage
    c.Outline({{318, 110}, {336, 50}, {362, 50}, {356, 112}}, kWhite);                            // fin
    c.Outline({{296, 117}, {372, 115}, {372, 121}, {300, 123}}, kWhite);                          // stabiliser
    c.Outline({{132, 78}, {232, 76}, {232, 84}, {132, 86}, {132, 78}}, kBlue);                    // wing
    c.Outline({{158, 90}, {196, 90}, {196, 102}, {154, 102}, {158, 90}}, kGrey);                  // windows
    c.Outline({{202, 90}, {232, 90}, {242, 102}, {202, 102}, {202, 90}}, kGrey);
    c.Line(34, 98, 34, 158, kGrey);                                                             // propeller
    c.Line(160, 146, 150, 176, kWhite);                                                         // main gear
    c.Line(72, 142, 72, 176, kWhite);                                                           // nose gear
    c.Wheel(150, 184, 9);
    c.Wheel(72, 184, 8);
    return c.px;
}

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// An 8-bit BMP, rows bottom-up, 256-entry colour table.
std::vector<uint8_t> BmpOf(const std::vector<uint8_t>& px) {
    constexpr uint32_t kOffset = 14 + 40 + 1024;
    std::vector<uint8_t> b(kOffset + kWidth * kHeight, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, kOffset);
    Put32(b, 14, 40);
    Put32(b, 18, kWidth);
    Put32(b, 22, kHeight);
    Put16(b, 26, 1);
    Put16(b, 28, 8);
    Put32(b, 34, kWidth * kHeight);
    Put32(b, 46, 256);
    for (size_t i = 0; i < sizeof kColours / sizeof kColours[0]; ++i) {
        const uint32_t rgb = kColours[i];
        b[54 + 4 * i] = static_cast<uint8_t>(rgb >> 16);      // blue
        b[54 + 4 * i + 1] = static_cast<uint8_t>(rgb >> 8);   // green
        b[54 + 4 * i + 2] = static_cast<uint8_t>(rgb);        // red
    }
    for (int k = 0; k < kHeight; ++k)
        std::memcpy(&b[kOffset + k * kWidth], &px[(kHeight - 1 - k) * kWidth], kWidth);
    return b;
}

}  // namespace

bool WriteDemoAircraft(platform::Board& board) {
    const std::vector<uint8_t> bmp = BmpOf(DrawSideView());
    return board.tfs().Add("AIRCRAFT.KVD", nullptr, nullptr, reinterpret_cast<const uint8_t*>(kDemoAircraftKvd),
                           static_cast<int>(sizeof kDemoAircraftKvd - 1)) == 0 &&
           board.tfs().Add("AIRCRAFT.KVB", nullptr, nullptr, bmp.data(), static_cast<int>(bmp.size())) == 0;
}
