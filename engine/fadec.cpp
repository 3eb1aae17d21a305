// The FADEC link: messages framed on the FADEC's serial port, decoded into
// the engine readings the FADEC owns, and its status page. The message
// layout is documented in docs/engine-links.md.
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "core/util.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "ui/pages.h"

namespace {
constexpr uint8_t  kMarker[4] = {'F', 'D', 'E', 'C'};
constexpr int32_t  kFieldsAt = 8;
constexpr int32_t  kCrcAt = kFadecMsgBytes - 2;
constexpr int16_t  kNoValue = INT16_MIN;
constexpr int32_t  kFresh = 40;
// Readings carried, in message order: RPM, manifold, fuel pressure, oil
// pressure and temperature, carburettor, EGT 1..6, TIT 1..2, CHT 1..6.
constexpr int32_t kFields[kFadecFields] = {10, 11, 12, 16, 17, 18, 26, 27, 28, 29, 30,
                                           31, 32, 33, 34, 35, 36, 37, 38, 39};
static_assert(kFieldsAt + 2 * kFadecFields == kCrcAt);

struct FadecFramer {
    int32_t  nCount;     // bytes of the message collected so far
    int32_t  nTossed;    // bytes thrown away since the last message began
    uint32_t bAligned;   // the last byte ended a whole message
};
FadecFramer s_framer[kSerialPorts] = {};
}  // namespace

uint16_t FadecCrc(const uint8_t* bytes, int32_t count) {
    uint16_t crc = 0xFFFF;
    for (int32_t i = 0; i < count; ++i) {
        crc = static_cast<uint16_t>(crc ^ (bytes[i] << 8));
        for (int b = 0; b < 8; ++b) crc = static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

static int32_t Wrap(int32_t i) { return i & (kSerialRingSize - 1); }

// A message begins with its marker either at the first byte after a pause
// of more than 50 ms or right after a whole message; anything else is
// thrown away until the next pause.
static void FrameByte(uint32_t port, SerialRing& rx, FadecFramer& st, int32_t at) {
    const uint8_t b = rx.abRing[at];
    const bool pause = at == rx.nBurstStart;
    if (pause && st.nCount > 0) {
        st.nTossed += st.nCount;   // cut short by the pause
        st.nCount = 0;
    }
    if (st.nCount == 0 && !pause && !st.bAligned) {
        ++st.nTossed;
        return;
    }
    if (st.nCount < 4 && b != kMarker[st.nCount]) {
        st.nTossed += st.nCount + 1;
        st.nCount = 0;
        st.bAligned = 0;
        return;
    }
    if (st.nCount == 0 && st.nTossed > 0) {
        RamLogPrintf("FADEC:%d, %d tossed for resync\n", static_cast<int>(port), static_cast<int>(st.nTossed));
        st.nTossed = 0;
    }
    rx.abMsg[st.nCount++] = b;
    if (st.nCount < kFadecMsgBytes) return;
    st.nCount = 0;
    st.bAligned = 1;
    if (SerialParseFn parse = G_Serial[port].fpMsgParse) parse(rx.abMsg, kFadecMsgBytes, port);
}

void FadecMsgFrame(uint32_t port) {
    if (port >= static_cast<uint32_t>(kSerialPorts)) return;
    SerialRing& rx = G_SerialBuf[port].rx;
    rx.nRd = Wrap(rx.nRd);
    const int32_t stop = Wrap(rx.nWr);
    while (rx.nRd != stop) {
        FrameByte(port, rx, s_framer[port], rx.nRd);
        rx.nRd = Wrap(rx.nRd + 1);
    }
}

static int16_t Field(const uint8_t* msg, int32_t i) {
    const int32_t at = kFieldsAt + 2 * i;
    return static_cast<int16_t>(msg[at] | (msg[at + 1] << 8));
}

void ParseFadecMsg(uint8_t* msg, int32_t length, uint32_t port) {
    (void)port;
    if (msg == nullptr || length != kFadecMsgBytes) return;
    const uint16_t crc = static_cast<uint16_t>(msg[kCrcAt] | (msg[kCrcAt + 1] << 8));
    if (crc != FadecCrc(msg, kCrcAt)) {
        ++G_Fadec.nBadCrc;
        DebugPrintf("ParseFadecMsg Bad CRC @%s\n", FormatTime(4));
        return;
    }
    G_Fadec.nStatus = msg[5];
    for (int32_t i = 0; i < kFadecFields; ++i) {
        const int16_t v = Field(msg, i);
        InstReading& r = G_InstReading[kFields[i]];
        r.bValid = v == kNoValue ? 0 : 1;
        // RPM travels in whole revolutions, the readings hold tenths.
        r.nValue = v == kNoValue ? 0 : (kFields[i] == kInstRpm ? v * 10 : v);
    }
    ++G_Fadec.nMessages;
    G_Fadec.nLastStamp = ReadOsTimer();
    G_EngFresh = kFresh;
}

// ---- status page --------------------------------------------------------------------------------

static void StatusLine(int32_t row, uint32_t colour, const char* text) {
    const PaneRecord& p = G_AuxPane;
    const int32_t y = p.y0 + 30 + row * 22;
    if (y + 20 > p.y1) return;
    const int32_t page = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    GUI_ClearRect(p.x0 + 20, y + page, p.x1 - 20, y + 19 + page);
    DrawTextF(colour, 9, 33, p.x0 + 20, y, "%s", text);
}

// The status page fills the upper pane of page 20; the engine strip below
// keeps the gauges.
void FadecStatusPage() {
    if (G_CurPage != kPageFadec || G_Fadec.nPresent == 0) return;
    constexpr uint32_t kWhite = 31, kGreen = 5, kRed = 2;
    const uint32_t fn = G_Fadec.nFunction < kFunctionCount ? G_Fadec.nFunction : 0;
    char line[64];
    std::snprintf(line, sizeof line, "FADEC%.19sPORT %d", G_SerialFuncName[fn], static_cast<int>(G_FadecPort));
    StatusLine(0, kWhite, line);
    const bool fresh = G_Fadec.nMessages != 0 && G_EngFresh > 0;
    StatusLine(1, fresh ? kGreen : kRed, fresh ? "LINK: RECEIVING" : "LINK: NO DATA");
    std::snprintf(line, sizeof line, "LANE A: %s   LANE B: %s", (G_Fadec.nStatus & 1) ? "FAULT" : "OK",
                  (G_Fadec.nStatus & 2) ? "FAULT" : "OK");
    StatusLine(2, (G_Fadec.nStatus & 3) ? kRed : kWhite, line);
    std::snprintf(line, sizeof line, "MESSAGES: %u   BAD CRC: %u", static_cast<unsigned>(G_Fadec.nMessages),
                  static_cast<unsigned>(G_Fadec.nBadCrc));
    StatusLine(3, kWhite, line);
}
