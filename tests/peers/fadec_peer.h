// A simulated FADEC: messages as docs/engine-links.md lays them out, built
// from that description and not from the unit's parser.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace fadec_peer {

constexpr int16_t kNoValue = INT16_MIN;

inline uint16_t Crc16(const std::string& bytes) {
    uint16_t crc = 0xFFFF;   // polynomial 0x1021, not reflected
    for (unsigned char b : bytes) {
        crc ^= static_cast<uint16_t>(b << 8);
        for (int k = 0; k < 8; ++k) crc = static_cast<uint16_t>(crc & 0x8000 ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

// Readings in message order (RPM whole, then tenths): RPM, MANIFOLD,
// FUEL_PSI, OIL_PSI, OIL_TEMP, CARB_TEMP, EGT_1..6, TIT_1..2, CHT_1..6;
// missing ones are sent as "no reading".
inline std::string Message(uint8_t seq, const std::vector<int16_t>& fields, uint8_t status = 0,
                           bool badCrc = false) {
    std::string m = "FDEC";
    m += static_cast<char>(seq);
    m += static_cast<char>(status);
    m += std::string(2, '\0');
    for (int i = 0; i < 20; ++i) {
        const int16_t v = i < static_cast<int>(fields.size()) ? fields[i] : kNoValue;
        m += static_cast<char>(v & 0xFF);
        m += static_cast<char>((v >> 8) & 0xFF);
    }
    uint16_t crc = Crc16(m);
    if (badCrc) crc ^= 1;
    m += static_cast<char>(crc & 0xFF);
    m += static_cast<char>(crc >> 8);
    return m;
}

}  // namespace fadec_peer
