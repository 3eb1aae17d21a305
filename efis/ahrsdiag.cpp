// The AHRS diagnostic page's text, decided from the records so that the page
// only places it: one line per built-in-test bit, and the ASCII AHRS's
// status digits.
#include <cstdio>

#include "core/ostimer.h"
#include "efis/ahrs.h"

void FormatAhrsBitLine(int32_t bit, char* out, int32_t size) {
    if (out == nullptr || size <= 0) return;
    if (bit < 0 || bit >= kAhrsBits) {
        out[0] = 0;
        return;
    }
    const AhrsBitLog& b = G_AhrsBits[bit];
    if (b.nActive == 0) {
        std::snprintf(out, static_cast<size_t>(size), "%2d %-26s -", static_cast<int>(bit), kAhrsBitNames[bit]);
        return;
    }
    const uint32_t seconds = (ReadOsTimer() - b.nFirstSeen) / kTicksPerSecond;   // wrap-aware difference
    std::snprintf(out, static_cast<size_t>(size), "%2d %-26s ACTIVE %4us", static_cast<int>(bit), kAhrsBitNames[bit],
                  static_cast<unsigned>(seconds));
}

void FormatDynonStatus(char* out, int32_t size) {
    if (out == nullptr || size <= 0) return;
    const uint32_t s = G_Ahrs.nStatus;
    std::snprintf(out, static_cast<size_t>(size), "%X%X%X", static_cast<unsigned>(s >> 16 & 0xF),
                  static_cast<unsigned>(s >> 8 & 0xF), static_cast<unsigned>(s & 0xF));
}
