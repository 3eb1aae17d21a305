// ARINC 429 adapter test peer, written from the adapter's framing and the
// published ARINC 429 word layout: bits 1..8 the label (octal), 9..10 SDI,
// 11..28 data, 29 the BNR sign, 30..31 SSM (11 normal, 00 failure warning),
// 32 odd parity. BNR data are two's complement with the most significant
// bit worth half the range; BCD digits fill four bits each.
//
// The adapter exchanges "images" of line words with the unit: the label's
// octal value in image bits 0..7, the SSM in image bits 9..10 (0x600 normal),
// and the line's bits 9..29 three bits higher (the sign in image bit 31).
#pragma once
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

namespace arinc_peer {

// Label number written in octal digits, e.g. 320 -> 0xD0.
constexpr uint32_t Octal(uint32_t digits) {
    return (digits / 100) * 64 + (digits / 10 % 10) * 8 + digits % 10;
}

inline uint32_t WithParity(uint32_t line) {
    uint32_t ones = 0;
    for (int i = 0; i < 31; ++i) ones += (line >> i) & 1u;
    return (line & 0x7FFFFFFFu) | ((ones % 2 == 0) ? 0x80000000u : 0u);
}

// A BNR line word: `value` in the label's unit, `range` the full scale
// (sign weight), `bits` significant bits ending at line bit 28.
inline uint32_t BnrLine(uint32_t label, double value, double range, int bits, uint32_t ssm = 3) {
    const double lsb = range / std::ldexp(1.0, bits);
    long count = std::lround(value / lsb);
    const uint32_t field = static_cast<uint32_t>(count) & ((1u << (bits + 1)) - 1);   // with the sign
    const uint32_t data = field << (28 - bits);   // sign at 0-based bit 28 (line bit 29)
    return WithParity(Octal(label) | data | (ssm & 3) << 29);
}

// BCD digits from the most significant, each given with its first line bit (1-based).
struct Digit { uint32_t value; int firstBit; int width; };
inline uint32_t BcdLine(uint32_t label, const std::vector<Digit>& digits, uint32_t ssm = 0) {
    uint32_t line = Octal(label) | (ssm & 3) << 29;
    for (const Digit& d : digits) line |= (d.value & ((1u << d.width) - 1)) << (d.firstBit - 1);
    return WithParity(line);
}

inline uint32_t LineToImage(uint32_t line) {
    return ((line & 0x1FFFFF00u) << 3) | ((line >> 29) & 3u) << 9 | (line & 0xFFu);
}

inline uint32_t ImageToLine(uint32_t image) {
    return WithParity(((image >> 3) & 0x1FFFFF00u) | ((image >> 9) & 3u) << 29 | (image & 0xFFu));
}

struct Decoded {
    uint32_t label;    // octal digits, e.g. 320
    uint32_t ssm;
    double   value;
    bool     parityOk;
};

// Decodes a line word with the given BNR definition.
inline Decoded DecodeBnr(uint32_t line, double range, int bits) {
    const uint32_t raw = line & 0xFFu;
    Decoded d{(raw / 64) * 100 + (raw / 8 % 8) * 10 + raw % 8, (line >> 29) & 3u, 0.0, false};
    uint32_t ones = 0;
    for (int i = 0; i < 32; ++i) ones += (line >> i) & 1u;
    d.parityOk = ones % 2 == 1;
    const uint32_t field = (line >> (28 - bits)) & ((1u << (bits + 1)) - 1);
    long count = static_cast<long>(field);
    if (field & (1u << bits)) count -= static_cast<long>(1u) << (bits + 1);
    d.value = count * range / std::ldexp(1.0, bits);
    return d;
}

// Published definitions of the labels the unit sends.
inline Decoded Course100(uint32_t image) { return DecodeBnr(ImageToLine(image), 180.0, 12); }
inline Decoded Roll121(uint32_t image) { return DecodeBnr(ImageToLine(image), 180.0, 14); }
inline Decoded Vs104(uint32_t image) { return DecodeBnr(ImageToLine(image), 16384.0, 14); }
inline Decoded Heading320(uint32_t image) { return DecodeBnr(ImageToLine(image), 180.0, 15); }

// An adapter message: STX '$' type digit L payload sum CR LF ETX, the words
// most significant byte first.
inline std::string Message(char type, char digit, const std::string& payload, int lengthByte = -1,
                           int sumDelta = 0) {
    std::string m = {'\x02', '$', type, digit, static_cast<char>(lengthByte < 0 ? payload.size() : lengthByte)};
    unsigned sum = 0;
    for (char c : payload) sum += static_cast<unsigned char>(c);
    m += payload;
    m += static_cast<char>((sum + sumDelta) & 0xFF);
    m += "\r\n\x03";
    return m;
}

inline std::string Words(const std::vector<uint32_t>& images) {
    std::string p;
    for (uint32_t w : images)
        for (int s = 24; s >= 0; s -= 8) p += static_cast<char>((w >> s) & 0xFF);
    return p;
}

// A frame from the unit: '$' 0x1C, six words little-endian, dimming, three
// zeros, '*', the byte sum of bytes 2..29, CR LF.
struct Frame {
    uint32_t word[6];
    uint8_t  dim;
    bool     ok;
};

inline Frame ReadFrame(const std::string& b) {
    Frame f{};
    if (b.size() != 34 || b[0] != '$' || b[1] != 0x1C || b[30] != '*' || b[32] != '\r' || b[33] != '\n') return f;
    unsigned sum = 0;
    for (int i = 2; i < 30; ++i) sum += static_cast<unsigned char>(b[i]);
    if ((sum & 0xFF) != static_cast<unsigned char>(b[31])) return f;
    for (int k = 0; k < 6; ++k) {
        uint32_t w = 0;
        for (int i = 3; i >= 0; --i) w = w << 8 | static_cast<unsigned char>(b[2 + 4 * k + i]);
        f.word[k] = w;
    }
    f.dim = static_cast<uint8_t>(b[26]);
    f.ok = true;
    return f;
}

// Splits a captured output stream into frames and single commands.
struct Stream {
    std::vector<Frame> frames;
    std::string commands;   // letters of the single commands, in order
    size_t tail = 0;        // bytes of a frame cut off by the end of the capture
};

inline Stream Split(const std::string& out) {
    Stream s;
    size_t i = 0;
    while (i < out.size()) {
        if (out[i] == '$' && i + 34 > out.size()) {
            s.tail = out.size() - i;
            break;
        }
        if (out[i] == '$') {
            const Frame f = ReadFrame(out.substr(i, 34));
            if (f.ok) {
                s.frames.push_back(f);
                i += 34;
                continue;
            }
        }
        s.commands += out[i];
        ++i;
    }
    return s;
}

}  // namespace arinc_peer
