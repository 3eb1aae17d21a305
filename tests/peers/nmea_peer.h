// NMEA 0183 test peer, written from the published sentence format: a body
// between "$" and "*" gets its XOR checksum as two upper-case hex digits and
// CR LF; SL-30 radio sentences carry the 8-bit sum of the characters after
// "$PMRRV" instead.
#pragma once
#include <cstdio>
#include <string>

namespace nmea_peer {

inline std::string Sentence(const std::string& body) {
    unsigned x = 0;
    for (char c : body) x ^= static_cast<unsigned char>(c);
    char sum[8];
    std::snprintf(sum, sizeof sum, "*%02X\r\n", x & 0xFF);
    return "$" + body + sum;
}

// "$PMRRV" + id and data + two hex digits of their byte sum + CR LF.
inline std::string RadioSentence(const std::string& idAndData) {
    unsigned sum = 0;
    for (char c : idAndData) sum += static_cast<unsigned char>(c);
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", sum & 0xFF);
    return "$PMRRV" + idAndData + hex + "\r\n";
}

}  // namespace nmea_peer
