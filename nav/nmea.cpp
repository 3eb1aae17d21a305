// NMEA sentence checksums, shared by the receivers and the calibration port.
#include "nav/navsrc.h"

#include "core/serial.h"

// Index of the "*" after the "$", or -1 when none lies within the length;
// the XOR of the characters between them goes to *sum.
static int32_t ChecksumSpan(const char* sentence, int32_t length, uint8_t* sum) {
    uint8_t x = 0;
    for (int32_t i = 1; i < length; ++i) {
        if (sentence[i] == '*') {
            *sum = x;
            return i;
        }
        x = static_cast<uint8_t>(x ^ static_cast<uint8_t>(sentence[i]));
    }
    return -1;
}

// A hexadecimal digit's value, or -1 for any other character.
static int32_t HexDigit(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) return HexCharToNibble(c);
    return -1;
}

int32_t NmeaCheckCrc(const char* sentence, int32_t length) {
    if (sentence == nullptr || length < 1 || length > kNmeaMaxSentence || sentence[0] != '$') return 0;
    uint8_t sum = 0;
    const int32_t star = ChecksumSpan(sentence, length, &sum);
    if (star < 0 || star + 2 >= length) return 0;   // two digits must follow within the length
    const int32_t hi = HexDigit(sentence[star + 1]), lo = HexDigit(sentence[star + 2]);
    if (hi < 0 || lo < 0) return 0;
    return (hi << 4 | lo) == sum ? 1 : 0;
}

int32_t NmeaSetCrc(char* sentence, int32_t length) {
    if (sentence == nullptr || length < 1 || sentence[0] != '$') return 0;
    uint8_t sum = 0;
    const int32_t star = ChecksumSpan(sentence, length, &sum);
    if (star < 0 || star + 2 >= length) return 0;
    sentence[star + 1] = NibbleToHexChar(sum >> 4);
    sentence[star + 2] = NibbleToHexChar(sum & 0xF);
    return sum;
}
