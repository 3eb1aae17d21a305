// The binary AHRS frame: 26 bytes, big-endian, opened by 0xAA 0x55 and closed
// by a 16-bit sum; found again after any loss by its own sync pair.
#include "core/boot.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"
#include "nav/autopilot.h"

const char* const kAhrsBitNames[kAhrsBits] = {
    "HARD FAILURE",     "SOFT FAILURE",      "RESERVED",          "POWER FAIL",
    "COMM ERROR",       "REBOOT DETECTED",   "CALIBRATION ERROR", "AIDING DISABLED",
    "COORDINATED TURN", "MAG CAL LSB",       "ALGORITHM STATUS",  "MAG CAL MSB",
    "MAG LEVELING INVALID", "IRON CAL INVALID", "MAG HEADING OFFSET INVALID", "REMOTE MAG ERROR",
};
const uint16_t kAhrsBitMasks[kAhrsBits] = {
    1u << 0, 1u << 1, 1u << 2,  1u << 3,  1u << 4,  1u << 5,  1u << 6,  1u << 7,
    1u << 8, 1u << 9, 1u << 10, 1u << 11, 1u << 12, 1u << 13, 1u << 14, 1u << 15,
};
AhrsBitLog G_AhrsBits[kAhrsBits];

namespace {

constexpr uint8_t kSync0 = 0xAA, kSync1 = 0x55;
constexpr uint16_t kNoStatusAgeBit = 1u << 10;
constexpr uint16_t kNoExtremesBits = 0x40A;
constexpr uint16_t kStickyBits = (1u << 4) | (1u << 5);

// Frame fields (byte offsets).
constexpr int32_t kRollAt = 2, kPitchAt = 4, kYawAt = 6, kRateAt = 8, kAccelAt = 14;
constexpr int32_t kModelAt = 20, kBitAt = 22, kSumAt = 24;

struct XbowFramer {
    uint32_t bSearching = 1;   // looking for 0xAA 0x55
    uint32_t nBytes = 0;       // frame bytes seen since the sync
    uint32_t nTossed = 0;      // bytes passed over while searching
};
XbowFramer s_framer[kSerialPorts];
bool s_modelPrinted = false;
int32_t s_lateral = 0;   // 1/256 of the acceleration unit
int32_t s_normal = 0;

int32_t Wrap(int32_t i) { return i & (kSerialRingSize - 1); }

int32_t Be16(const uint8_t* p) { return static_cast<int16_t>(p[0] << 8 | p[1]); }
uint32_t BeU16(const uint8_t* p) { return static_cast<uint32_t>(p[0] << 8 | p[1]); }

// raw x scale / 2^15, rounded toward minus infinity (an arithmetic shift).
int32_t Scale(int32_t raw, int32_t scale) { return (raw * scale) >> 15; }

int32_t Div10HalfAway(int32_t v) { return (v + (v >= 0 ? 5 : -5)) / 10; }

void DeliverFrame(uint32_t port, SerialRing& rx) {
    if (SerialParseFn parse = G_Serial[port].fpMsgParse) {
        for (int32_t i = 0; i < kXbowMsgBytes; ++i) {
            rx.abMsg[i] = rx.abRing[rx.nMsgStart];
            rx.nMsgStart = Wrap(rx.nMsgStart + 1);
        }
        parse(rx.abMsg, kXbowMsgBytes, port);
    } else {
        RamLogPrintf("G_Serial[%d].fpMsgParse is NULL\n", static_cast<int>(port));
    }
}

void TrackBits(uint16_t bits) {
    const uint32_t now = ReadOsTimer();
    for (int n = 0; n < kAhrsBits; ++n) {
        AhrsBitLog& b = G_AhrsBits[n];
        if (bits & kAhrsBitMasks[n]) {
            if (b.nActive == 0) {
                b.nActive = 1;
                b.nFirstSeen = now;
            }
        } else if (!(kStickyBits & kAhrsBitMasks[n])) {
            b.nActive = 0;
        }
    }
}

}  // namespace

void SyncXbowMsg(uint32_t port) {
    if (port >= kSerialPorts) return;
    SerialRing& rx = G_SerialBuf[port].rx;
    if (G_NetStreamCfg[kStreamAhrs].DSRC == 3) {   // the demo AHRS owns the record
        rx.nRd = Wrap(rx.nWr);
        return;
    }
    if (rx.nRd < 0 || rx.nRd >= kSerialRingSize) rx.nRd = 0;
    XbowFramer& f = s_framer[port];
    const int32_t stop = Wrap(rx.nWr);
    while (rx.nRd != stop) {
        if (f.bSearching) {
            const int32_t prev = Wrap(rx.nRd - 1);
            if (rx.abRing[prev] == kSync0 && rx.abRing[rx.nRd] == kSync1) {
                if (f.nTossed >= 2)
                    RamLogPrintf("Port:%d, %d tossed for resync eom:%d, bom:%d, rP:%d, wP:%d @%s\n",
                                 static_cast<int>(port), static_cast<int>(f.nTossed), static_cast<int>(rx.nMsgEnd),
                                 static_cast<int>(rx.nMsgStart), static_cast<int>(rx.nRd), static_cast<int>(rx.nWr),
                                 FormatTime(4));
                rx.nMsgStart = rx.nMsgEnd = prev;
                f.bSearching = 0;
                f.nBytes = 2;
                f.nTossed = 0;
            } else {
                ++f.nTossed;
            }
        } else if (++f.nBytes >= static_cast<uint32_t>(kXbowMsgBytes)) {
            rx.nMsgEnd = rx.nRd;
            DeliverFrame(port, rx);
            rx.nMsgEnd = Wrap(rx.nMsgEnd + 1);
            rx.nMsgStart = rx.nMsgEnd;
            f.bSearching = 1;
            f.nBytes = 0;
            f.nTossed = 0;
        }
        rx.nRd = Wrap(rx.nRd + 1);
    }
}

int32_t CheckXbowCrc(const uint8_t* msg) {
    uint32_t sum = 0;
    for (int32_t i = kRollAt; i < kSumAt; ++i) sum += msg[i];
    sum %= 65535;
    const uint32_t sent = BeU16(msg + kSumAt);
    if (sum == sent) return 1;
    RamLogPrintf("ERROR: XBOW CRC, Msg:%02x%02x, calc:%04x!=%04x @%s\n", msg[0], msg[1], static_cast<unsigned>(sum),
                 static_cast<unsigned>(sent), FormatTime(4));
    return 0;
}

void ParseXbow500Msg(uint8_t* msg, int32_t length, uint32_t port) {
    if (length != kXbowMsgBytes) {
        RamLogPrintf("ParseXbow500Msg() numChars:%d, @%s\n", static_cast<int>(length), FormatTime(4));
        return;
    }
    if (!CheckXbowCrc(msg)) return;
    AhrsRecord& a = G_Ahrs;
    a.nRoll = Scale(Be16(msg + kRollAt), 1800);
    a.nPitch = Scale(Be16(msg + kPitchAt), 18000);
    a.nHeading = Scale(Be16(msg + kYawAt), 1800);
    a.nRollRate = Scale(Be16(msg + kRateAt), 12000);
    a.nPitchRate = Scale(Be16(msg + kRateAt + 2), 12000);
    a.nYawRate = Scale(Be16(msg + kRateAt + 4), 12000);
    a.nAccelX = Scale(Be16(msg + kAccelAt), 15000);
    a.nAccelY = -Scale(Be16(msg + kAccelAt + 2), 15000);
    a.nAccelZ = Scale(Be16(msg + kAccelAt + 4), 15000);
    a.nModel = BeU16(msg + kModelAt);
    if (!s_modelPrinted) {
        s_modelPrinted = true;
        DebugPrintf("AHRS Model Number: %d\n", static_cast<int>(a.nModel));
    }
    const uint16_t bits = static_cast<uint16_t>(BeU16(msg + kBitAt));
    if (msg[kBitAt + 1] & ~a.nStatus & 0xFFu)
        DebugPrintf("AHRS: Lower bit(s) set, was:0x%04X, now:0x%04X @%s\n", static_cast<unsigned>(a.nStatus),
                    static_cast<unsigned>(bits), FormatTime(4));
    a.nType = 0;
    a.nStatus = bits;
    if (!(bits & kNoStatusAgeBit)) a.nStatusAge = 0;
    TrackBits(bits);
    if (a.nHeading < 0) a.nHeading += 3600;
    ApplyAttitudeAdjust(&a, AhrsClockSettings());
    // Written as L + ((Y x 256 - L) >> 4): a quarter (N) or a sixteenth (L)
    // of the way to the new value at each frame.
    s_lateral += (a.nAccelY * 256 - s_lateral) >> 4;
    a.nLatAccel = s_lateral >> 8;
    s_normal += (a.nAccelZ * 256 - s_normal) >> 2;
    a.nLoadFactor = ClampLoadFactor(Div10HalfAway(s_normal >> 8));
    if (!(bits & kNoExtremesBits)) KeepLoadFactorExtremes(a.nLoadFactor);
    a.nFresh = kAhrsFreshLoad;
    if (port < kSerialPorts) G_Serial[port].nRxCount = 1;
    ApUpdateAhrs();
}
