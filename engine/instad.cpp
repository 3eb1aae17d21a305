#include "engine/instad.h"

#include <cstring>

InstAd G_InstAd[kInstruments];

namespace {
constexpr InstAd Row(int32_t cmd, int32_t mode, int32_t group, int32_t avgShift, int32_t samples, int32_t filtShift,
                     int32_t low, int32_t high, int32_t holdLimit) {
    return InstAd{cmd, mode, group, avgShift, samples, 8, filtShift, 0, 0, 0, low, high, holdLimit, 0, 0};
}
constexpr InstAd Engine(int32_t cmd, int32_t group = 44, int32_t low = 20, int32_t high = 4050) {
    return Row(cmd, 64, group, 0, 15, 2, low, high, 50);
}
constexpr InstAd Trim(int32_t cmd) { return Row(cmd, 64, 44, 0, 5, 1, 0, 4095, 50); }
constexpr InstAd Probe(int32_t cmd, int32_t group) { return Engine(cmd, group, 5, 4095); }
constexpr InstAd Tank(int32_t group) { return Engine(0x0C00, group, 0, 4095); }
constexpr InstAd kUnused = Engine(0xCC00);

constexpr InstAd kDefaults[kInstruments] = {
    Row(0x0087, 512, 44, 0, 50, 2, 500, 32700, 30),   // 0 ALTITUDE
    Row(0x00C7, 512, 44, 3, 15, 2, 20, 4050, 50),     // 1 SENSORTEMP
    Row(0x0097, 512, 44, 0, 50, 2, 500, 32700, 40),   // 2 WINGPRES
    Row(0x00D7, 512, 44, 0, 50, 2, 500, 32700, 40),   // 3 AIRSPEED
    Row(0x00A7, 512, 44, 0, 15, 2, 20, 32700, 50),    // 4 BATVOLTS
    Row(0x00E7, 512, 44, 0, 15, 2, 20, 32700, 50),    // 5 VOLTS
    Row(0x00F7, 512, 44, 1, 15, 2, 8000, 11500, 50),  // 6 OAT
    Row(0x00B7, 512, 44, 0, 15, 2, 20, 32700, 50),    // 7 BACKVOLTS
    Row(0x0087, 512, 44, 0, 15, 2, 20, 32700, 50),    // 8 VERTSPEED
    Engine(0xDC00),                                   // 9 FUEL_COMP
    kUnused,                                          // 10 RPM
    Engine(0x4C00),                                   // 11 MANIFOLD
    Engine(0x5C00, 44, 1),                            // 12 FUEL_PSI
    kUnused,                                          // 13 FUEL_FLOW
    Engine(0x0C00, 14),                               // 14 AMPS_SHUNT
    Engine(0x0C00, 15),                               // 15 AMPS_HALL
    Engine(0x3C00, 44, 1),                            // 16 OIL_PSI
    Engine(0x2C00),                                   // 17 OIL_TEMP
    Engine(0x1C00),                                   // 18 CARB_TEMP
    Tank(19), Tank(20), Tank(21), Tank(22),           // 19..22 TANK_1..4
    Trim(0x6C00),                                     // 23 ELEV_TRIM
    Trim(0x8C00),                                     // 24 AIL_TRIM
    Trim(0x7C00),                                     // 25 FLAP_ANG
    Probe(0x9C00, 44), Probe(0x9C00, 19), Probe(0x9C00, 20), Probe(0x9C00, 15),   // 26..29 EGT_1..4
    Probe(0x9C00, 47), Probe(0x9C00, 21),                                         // 30, 31 EGT_5, 6
    Probe(0x9C00, 22), Probe(0x9C00, 14),                                         // 32, 33 TIT_1, 2
    Probe(0xAC00, 44), Probe(0xAC00, 19), Probe(0xAC00, 20), Probe(0xAC00, 15),   // 34..37 CHT_1..4
    Probe(0xAC00, 47), Probe(0xAC00, 21),                                         // 38, 39 CHT_5, 6
    kUnused, kUnused, kUnused, kUnused,               // 40 HP, 41..43
    Engine(0x0C00),                                   // 44 THRMCPL_TEMP
    kUnused, kUnused,                                 // 45, 46
    Engine(0x0C00, 47),                               // 47 COOL_TEMP
};
}  // namespace

void InitAdcTable() { std::memcpy(G_InstAd, kDefaults, sizeof G_InstAd); }
