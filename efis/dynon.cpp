// The ASCII AHRS sentence: 51 characters of fixed columns, CR LF. The framer
// hands the parser each sentence from its first character through its CR LF,
// so a sentence is exactly 53 bytes and its columns are indices into them.
#include <cstdlib>
#include <cstring>

#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"

namespace {

constexpr uint8_t kCr = 13, kLf = 10;

// Columns of the sentence (first character 0).
struct Column { int32_t at, width; };
constexpr Column kPitch{8, 4};        // 0.1 degree
constexpr Column kRoll{12, 5};        // 0.1 degree
constexpr Column kHeading{17, 3};     // whole degrees
constexpr Column kYawRate{29, 4};     // turn rate, or vertical speed with status bit 0
constexpr Column kAccelY{33, 3};
constexpr Column kAccelZ{36, 3};
constexpr int32_t kStatusAt = 41;     // the three status digits read
constexpr int32_t kStatusLowAt = 46;  // the status mask's last digit: bit 0
constexpr int32_t kCrcAt = 49;        // two hex digits over columns 0..48
constexpr uint32_t kFaultBits = 0x408;

int32_t Wrap(int32_t i) { return i & (kSerialRingSize - 1); }

// Decimal conversion of one column: leading blanks and a sign accepted,
// stopping at the first non-digit.
int32_t Field(const uint8_t* msg, Column c) {
    char scratch[8] = {};
    std::memcpy(scratch, msg + c.at, static_cast<size_t>(c.width));
    return static_cast<int32_t>(std::strtol(scratch, nullptr, 10));
}

// 0..15, or -1 for anything that is not a hex digit.
int32_t HexDigit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

uint32_t HexOrZero(uint8_t c) {
    const int32_t d = HexDigit(c);
    return d < 0 ? 0u : static_cast<uint32_t>(d);
}

}  // namespace

void SyncDynonMsg(uint32_t port) {
    if (port >= kSerialPorts) return;
    SerialRing& rx = G_SerialBuf[port].rx;
    if (rx.nRd < 0 || rx.nRd >= kSerialRingSize) rx.nRd = 0;
    const int32_t stop = Wrap(rx.nWr);
    while (rx.nRd != stop) {
        const int32_t prev = Wrap(rx.nRd - 1);
        if (rx.abRing[prev] == kCr && rx.abRing[rx.nRd] == kLf) {
            rx.nMsgEnd = rx.nRd;   // the sentence's own LF is its last byte
            if (SerialParseFn parse = G_Serial[port].fpMsgParse) {
                const int32_t n = CopySerialMsg(&rx);
                parse(rx.abMsg, n, port);
            } else {
                RamLogPrintf("G_Serial[%d].fpMsgParse is NULL\n", static_cast<int>(port));
            }
            rx.nMsgStart = Wrap(rx.nRd + 1);   // the next sentence starts after this LF
        }
        rx.nRd = Wrap(rx.nRd + 1);
    }
}

int32_t CheckDynonCrc(const uint8_t* msg) {
    uint32_t sum = 0;
    for (int32_t i = 0; i < kCrcAt; ++i) sum += msg[i];
    const int32_t hi = HexDigit(msg[kCrcAt]), lo = HexDigit(msg[kCrcAt + 1]);
    if (hi >= 0 && lo >= 0 && static_cast<uint32_t>(hi * 16 + lo) == (sum & 0xFF)) return 1;
    RamLogPrintf("ERROR: Bad Dynon CRC @%s\n", FormatTime(4));
    return 0;
}

void ParseDynonMsg(uint8_t* msg, int32_t length, uint32_t port) {
    // Only a whole sentence: a longer run of noise could pass an 8-bit sum by chance.
    if (length != kDynonMsgBytes || msg[length - 2] != kCr || msg[length - 1] != kLf) {
        RamLogPrintf("ParseDynonMsg() numChars:%d, @%s\n", static_cast<int>(length), FormatTime(4));
        return;
    }
    if (!CheckDynonCrc(msg)) return;
    AhrsRecord& a = G_Ahrs;
    a.nPitch = Field(msg, kPitch) * 10;
    a.nRoll = Field(msg, kRoll);
    a.nHeading = Field(msg, kHeading) * 10;
    // Status bit 0 set: the column carries vertical speed, not the turn rate.
    if ((HexOrZero(msg[kStatusLowAt]) & 1u) == 0) a.nYawRate = Field(msg, kYawRate);
    a.nAccelY = Field(msg, kAccelY) * -10;
    a.nAccelZ = Field(msg, kAccelZ);
    a.nStatus = HexOrZero(msg[kStatusAt]) << 16 | HexOrZero(msg[kStatusAt + 1]) << 8 | HexOrZero(msg[kStatusAt + 2]);
    if ((a.nStatus & kFaultBits) == 0) a.nStatusAge = 0;
    ApplyAttitudeAdjust(&a, AhrsClockSettings());
    a.nLatAccel = a.nAccelY * 10;
    a.nLoadFactor = ClampLoadFactor(a.nAccelZ * 10);
    KeepLoadFactorExtremes(a.nLoadFactor);
    a.nFresh = kAhrsFreshLoad;
    if (port < kSerialPorts) G_Serial[port].nRxCount = 1;
}
