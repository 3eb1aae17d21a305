#include "core/framers.h"

#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"

constexpr uint8_t kStx = 0x02, kEtx = 0x03, kLf = 0x0A, kCr = 0x0D, kDle = 0x10;

struct FramerState {
    uint32_t bHunting;
    int32_t  nTossed;
    int32_t  nExpected;   // ARINC: L + 6
    int32_t  nCount;      // ARINC: bytes of the frame so far
    int32_t  nDleRun;     // DLE: consecutive DLEs ending at the last byte
    uint32_t bEndSeen;    // DLE: the last byte was an ETX after an unpaired DLE
};

struct Framers {
    FramerState nmea[kSerialPorts], avtn[kSerialPorts], arinc[kSerialPorts], dle[kSerialPorts];
};
static Framers s_fr = {
    {{1}, {1}, {1}, {1}, {1}}, {{1}, {1}, {1}, {1}, {1}}, {{1}, {1}, {1}, {1}, {1}}, {{1}, {1}, {1}, {1}, {1}},
};

void ResetSerialFramers(uint32_t port) {
    if (port >= kSerialPorts) return;
    s_fr.nmea[port] = s_fr.avtn[port] = s_fr.arinc[port] = s_fr.dle[port] = FramerState{1};
}

static int32_t Wrap(int32_t i) { return i & (kSerialRingSize - 1); }
static uint8_t Back(const SerialRing& rx, int32_t n) { return rx.abRing[Wrap(rx.nRd - n)]; }

static void StartMessage(SerialRing& rx, FramerState& st, int32_t first) {
    rx.nMsgStart = rx.nMsgEnd = Wrap(first);
    st.bHunting = 0;
    st.nTossed = 0;
}

// The message ends at nRd: hand it over and hunt for the next one.
static void CompleteMessage(uint32_t port, SerialRing& rx, FramerState& st) {
    rx.nMsgEnd = rx.nRd;
    const int32_t n = CopySerialMsg(&rx);
    if (SerialParseFn parse = G_Serial[port].fpMsgParse) parse(rx.abMsg, n, port);
    rx.nMsgEnd = rx.nMsgStart = Wrap(rx.nRd + 1);
    st = FramerState{1};
}

using FramerRule = void (*)(uint32_t port, SerialRing& rx, FramerState& st);

// Examines each byte that had arrived at entry, then leaves nRd at that point.
static void RunFramer(uint32_t port, FramerState* states, FramerRule rule) {
    if (port >= kSerialPorts) return;
    SerialRing& rx = G_SerialBuf[port].rx;
    if (rx.nRd < 0 || rx.nRd >= kSerialRingSize) rx.nRd = 0;
    const int32_t stop = Wrap(rx.nWr);
    while (rx.nRd != stop) {
        rule(port, rx, states[port]);
        rx.nRd = Wrap(rx.nRd + 1);
    }
}

static void NmeaRule(uint32_t port, SerialRing& rx, FramerState& st) {
    const uint8_t b = Back(rx, 0);
    if (st.bHunting) {
        if (b != '$') {
            ++st.nTossed;
            return;
        }
        if (st.nTossed > 0)
            RamLogPrintf("NMEA:%d, %d tossed for resync RD:%d, WR:%d, BOM:%d\n", static_cast<int>(port),
                         static_cast<int>(st.nTossed), static_cast<int>(rx.nRd), static_cast<int>(rx.nWr),
                         static_cast<int>(rx.nMsgStart));
        StartMessage(rx, st, rx.nRd);
    } else if (b == '$') {
        // A truncated sentence must not swallow the good one that follows.
        StartMessage(rx, st, rx.nRd);
    } else if (b == kLf && Back(rx, 1) == kCr) {
        CompleteMessage(port, rx, st);
    }
}

static void AvtnRule(uint32_t port, SerialRing& rx, FramerState& st) {
    const uint8_t b = Back(rx, 0), prev = Back(rx, 1);
    if (st.bHunting) {
        if (prev == kStx && b >= 0x41 && b <= 0x7A) StartMessage(rx, st, rx.nRd - 1);
        else ++st.nTossed;
    } else if (b == kEtx && (prev == kCr || prev == kLf)) {
        CompleteMessage(port, rx, st);
    }
}

static bool ArincType(uint8_t c) { return c == 'A' || c == 'V' || c == 'G'; }

static void ArincRule(uint32_t port, SerialRing& rx, FramerState& st) {
    const uint8_t b = Back(rx, 0);
    if (st.bHunting) {
        if (Back(rx, 4) != kStx || Back(rx, 3) != '$' || !ArincType(Back(rx, 2))) {
            ++st.nTossed;
            return;
        }
        if (st.nTossed > 5)
            RamLogPrintf("ARINC:%d, %d tossed for resync RD:%d, WR:%d, BOM:%d\n", static_cast<int>(port),
                         static_cast<int>(st.nTossed), static_cast<int>(rx.nRd), static_cast<int>(rx.nWr),
                         static_cast<int>(rx.nMsgStart));
        StartMessage(rx, st, rx.nRd - 4);
        st.nExpected = b + 6;
        st.nCount = 5;
        return;
    }
    ++st.nCount;
    // Only a whole frame ends: its CR LF ETX follow the checksum at L + 5.
    if (st.nCount >= st.nExpected + 3 && b == kEtx && Back(rx, 1) == kLf && Back(rx, 2) == kCr)
        CompleteMessage(port, rx, st);
}

static bool DleId(uint8_t c) {
    return c == 0x35 || c == 0x36 || c == 0x06 || c == 0x22 || c == 0x4B || c == 0x8C;
}

static void DleRule(uint32_t port, SerialRing& rx, FramerState& st) {
    const uint8_t b = Back(rx, 0);
    if (st.bHunting) {
        if (Back(rx, 1) != kDle || !DleId(b)) {
            ++st.nTossed;
            return;
        }
        if (st.nTossed > 1) {
            const int32_t d = rx.nRd - rx.nMsgEnd;
            RamLogPrintf("Port:%d, %d tossed for resync readPtr:%d, bomPtr:%d @%s\n", static_cast<int>(port),
                         static_cast<int>(d < 0 ? -d : d), static_cast<int>(rx.nRd), static_cast<int>(rx.nMsgStart),
                         FormatTime(4));
        }
        StartMessage(rx, st, rx.nRd - 1);
        st.nDleRun = 0;
        st.bEndSeen = 0;
        return;
    }
    if (st.bEndSeen && b == kDle) {
        // DLE ETX is known to end the message once the next message's DLE arrives.
        rx.nRd = Wrap(rx.nRd - 1);
        CompleteMessage(port, rx, st);
        return;
    }
    st.bEndSeen = (b == kEtx && (st.nDleRun & 1)) ? 1 : 0;   // a stuffed DLE DLE never ends a message
    st.nDleRun = (b == kDle) ? st.nDleRun + 1 : 0;
}

void NmeaResync(uint32_t port) { RunFramer(port, s_fr.nmea, NmeaRule); }
void AvtnResync(uint32_t port) { RunFramer(port, s_fr.avtn, AvtnRule); }
void ArincResync(uint32_t port) { RunFramer(port, s_fr.arinc, ArincRule); }
void SerialDleResync(uint32_t port) { RunFramer(port, s_fr.dle, DleRule); }
