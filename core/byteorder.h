// Fields of frames, files and messages that carry their own byte order,
// read and written a byte at a time (no alignment or host order assumed).
#pragma once
#include <cstdint>

inline uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }
inline uint32_t Be32(const uint8_t* p) { return Be16(p) << 16 | Be16(p + 2); }
inline uint32_t Le16(const uint8_t* p) { return uint32_t{p[1]} << 8 | p[0]; }
inline uint32_t Le32(const uint8_t* p) { return Le16(p + 2) << 16 | Le16(p); }

inline void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}
inline void PutBe32(uint8_t* p, uint32_t v) {
    PutBe16(p, v >> 16);
    PutBe16(p + 2, v);
}
