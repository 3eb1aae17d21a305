// The Internet checksum written out for the test peers, apart from the
// firmware's own.
#pragma once
#include <cstddef>
#include <cstdint>

// Big-endian words of [p, p + n) added to `sum`; an odd last byte is the high half.
inline uint32_t Sum16(const uint8_t* p, size_t n, uint32_t sum = 0) {
    for (size_t i = 0; i + 1 < n; i += 2) sum += static_cast<uint32_t>(p[i] << 8 | p[i + 1]);
    if (n & 1) sum += static_cast<uint32_t>(p[n - 1]) << 8;
    return sum;
}
inline uint16_t Fold(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}
