#include "nav/vorradio.h"

#include <cstring>

#include "core/ostimer.h"
#include "core/serial.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"

VorRadioRec G_VorRadio;

namespace {

// The radio's sentences, as its serial interface lays them out: "$PMRRV",
// the two-character message id, the data characters at fixed positions,
// the checksum and CR LF. Positions below count from the first data
// character (after the id).
//
//   21  navigation data, 10 characters:
//        0..1  flag byte, two hex digits (kVorFlag... bits)
//        2..5  course deviation, sign and three digits, -127..+127 full scale
//        6..9  glideslope deviation, sign and three digits, -127..+127
//   22  course and bearing, 7 characters:
//        0..2  course (OBS), whole degrees 000..359
//        3..6  bearing to the station, tenths of a degree 0000..3599
//   23  second receiver, 4 characters:
//        0..3  bearing to its station, tenths of a degree 0000..3599
//   24  second receiver's frequencies, 10 characters:
//        0..4  active, 10 kHz units 10800..11795; 5..9 standby, the same
//   25  station identifier, 5 characters:
//        0..4  identifier, printable, blank-padded on the right
//   28  frequencies, 10 characters: as message 24, for the first receiver
//   34  (to the radio) set course: 0..2 whole degrees 000..359
enum class VorCode : uint8_t { Hex, Signed, Digits, Text };

struct VorMsgRow {
    char       id[3];
    VorMsgKind kind;
    int32_t    nDataChars;
};

struct VorField {
    VorMsgKind kind;
    int32_t    nAt, nWidth;
    VorCode    code;
    int32_t    nMin, nMax;
    int32_t VorRadioRec::*dest;   // nullptr: the station identifier
};

constexpr VorMsgRow kVorMsgs[] = {
    {"21", kVor21, 10}, {"22", kVor22, 7}, {"23", kVor23, 4},
    {"24", kVor24, 10}, {"25", kVor25, 5}, {"28", kVor28, 10},
};

constexpr VorField kVorFields[] = {
    {kVor21, 0, 2, VorCode::Hex, 0, 255, &VorRadioRec::nFlags},
    {kVor21, 2, 4, VorCode::Signed, -127, 127, &VorRadioRec::nCdi},
    {kVor21, 6, 4, VorCode::Signed, -127, 127, &VorRadioRec::nVertDev},
    {kVor22, 0, 3, VorCode::Digits, 0, 359, &VorRadioRec::nObs},
    {kVor22, 3, 4, VorCode::Digits, 0, 3599, &VorRadioRec::nBearing},
    {kVor23, 0, 4, VorCode::Digits, 0, 3599, &VorRadioRec::nBearing2},
    {kVor24, 0, 5, VorCode::Digits, 10800, 11795, &VorRadioRec::nActiveFreq2},
    {kVor24, 5, 5, VorCode::Digits, 10800, 11795, &VorRadioRec::nStandbyFreq2},
    {kVor25, 0, 5, VorCode::Text, 0, 0, nullptr},
    {kVor28, 0, 5, VorCode::Digits, 10800, 11795, &VorRadioRec::nActiveFreq},
    {kVor28, 5, 5, VorCode::Digits, 10800, 11795, &VorRadioRec::nStandbyFreq},
};

constexpr int32_t kObsMessageChars = 3;   // data of message 34

int32_t HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool Digits(const uint8_t* p, int32_t n, int32_t* value) {
    int32_t v = 0;
    for (int32_t i = 0; i < n; ++i) {
        if (p[i] < '0' || p[i] > '9') return false;
        v = v * 10 + (p[i] - '0');
    }
    *value = v;
    return true;
}

// One numeric field; false when its characters or its range are wrong.
bool ReadNumber(const VorField& f, const uint8_t* data, int32_t* value) {
    const uint8_t* p = data + f.nAt;
    int32_t v = 0;
    switch (f.code) {
    case VorCode::Hex:
        for (int32_t i = 0; i < f.nWidth; ++i) {
            const int32_t h = HexValue(p[i]);
            if (h < 0) return false;
            v = v << 4 | h;
        }
        break;
    case VorCode::Signed:
        if ((p[0] != '+' && p[0] != '-') || !Digits(p + 1, f.nWidth - 1, &v)) return false;
        if (p[0] == '-') v = -v;
        break;
    case VorCode::Digits:
        if (!Digits(p, f.nWidth, &v)) return false;
        break;
    case VorCode::Text: return false;
    }
    if (v < f.nMin || v > f.nMax) return false;
    *value = v;
    return true;
}

bool ReadText(const VorField& f, const uint8_t* data, char (&out)[8]) {
    char text[8] = {};
    for (int32_t i = 0; i < f.nWidth && i < static_cast<int32_t>(sizeof text) - 1; ++i) {
        if (data[f.nAt + i] < 0x20 || data[f.nAt + i] > 0x7E) return false;
        text[i] = static_cast<char>(data[f.nAt + i]);
    }
    for (int32_t i = static_cast<int32_t>(std::strlen(text)) - 1; i >= 0 && text[i] == ' '; --i) text[i] = 0;
    std::memcpy(out, text, sizeof out);
    return true;
}

const VorMsgRow* RowOfId(const uint8_t* id) {
    for (const VorMsgRow& row : kVorMsgs)
        if (id[0] == static_cast<uint8_t>(row.id[0]) && id[1] == static_cast<uint8_t>(row.id[1])) return &row;
    return nullptr;
}

// Every field of the message into a copy of the record; the record changes
// only when all of them are good.
bool ReadFields(const VorMsgRow& row, const uint8_t* data, VorRadioRec* rec) {
    VorRadioRec r = *rec;
    for (const VorField& f : kVorFields) {
        if (f.kind != row.kind) continue;
        if (f.dest == nullptr) {
            if (!ReadText(f, data, r.szStation)) return false;
        } else if (!ReadNumber(f, data, &(r.*f.dest))) {
            return false;
        }
    }
    *rec = r;
    return true;
}

// Sentence length without its CR LF.
int32_t BodyLength(const uint8_t* msg, int32_t length) {
    int32_t end = length;
    while (end > 0 && (msg[end - 1] == '\r' || msg[end - 1] == '\n')) --end;
    return end;
}

uint32_t s_obsSentStamp[3];
bool     s_obsSent[3];

}  // namespace

int32_t CalcNmeaVorCrc(const uint8_t* msg, int32_t length) {
    if (msg == nullptr) return 0;
    const int32_t end = BodyLength(msg, length);   // past the checksum
    if (end < kVorHeaderChars + 2 + 2) return 0;   // header, id and checksum at least
    uint32_t sum = 0;
    for (int32_t i = kVorHeaderChars; i < end - 2; ++i) sum += msg[i];
    const int32_t hi = HexValue(msg[end - 2]), lo = HexValue(msg[end - 1]);
    if (hi < 0 || lo < 0) return 0;
    return static_cast<uint32_t>(hi << 4 | lo) == (sum & 0xFFu) ? 1 : 0;
}

VorRadioRec* VorRadioOfPort(uint32_t port) {
    for (int32_t s = 0; s < 3; ++s) {
        const uint32_t p = G_NavSrc.hdr.nPort[s];
        if (p < static_cast<uint32_t>(kSerialPorts) && G_Serial[p].nFunction == 4)
            return p == port ? &G_VorRadio : nullptr;
    }
    return nullptr;
}

void ParseVorMsg(uint8_t* msg, int32_t length, uint32_t port) {
    VorRadioRec* rec = VorRadioOfPort(port);
    if (rec == nullptr) {
        ++G_VorRadio.nOtherPort;
        return;
    }
    if (msg == nullptr || length < 1) return;
    if (length > kVorMaxSentence) {   // never read: the framer's line may be far longer
        ++rec->nTooLong;
        return;
    }
    const int32_t end = BodyLength(msg, length);
    if (end < kVorHeaderChars + 2 + 2 || std::memcmp(msg, "$PMRRV", kVorHeaderChars) != 0) {
        ++rec->nBadFrame;
        return;
    }
    if (CalcNmeaVorCrc(msg, length) == 0) {
        ++rec->nBadCrc;
        return;
    }
    const VorMsgRow* row = RowOfId(msg + kVorHeaderChars);
    if (row == nullptr) {
        ++rec->nUnknownId;   // the radio's other messages
        return;
    }
    if (end - kVorHeaderChars - 2 - 2 != row->nDataChars) {
        ++rec->nBadLength;
        return;
    }
    if (!ReadFields(*row, msg + kVorHeaderChars + 2, rec)) {
        ++rec->nBadField;
        return;
    }
    rec->nPort = port;
    rec->msg[row->kind].bReceived = 1;
    rec->msg[row->kind].nStamp = ReadOsTimer();
    G_Serial[port].nRxCount = 1;
}

void ClearVorRadio() { std::memset(&G_VorRadio, 0, sizeof G_VorRadio); }

// "$PMRRV34" + three course digits + checksum: the radio's set-course message.
void SendNavObs(int32_t slot, int32_t course) {
    if (slot < 0 || slot > 2) return;
    const uint32_t port = G_NavSrc.hdr.nPort[slot];
    if (port >= static_cast<uint32_t>(kSerialPorts)) return;
    const int32_t c = ((course % 360) + 360) % 360;
    uint8_t msg[kVorHeaderChars + 2 + kObsMessageChars + 4] = {
        '$', 'P', 'M', 'R', 'R', 'V', '3', '4', static_cast<uint8_t>('0' + c / 100),
        static_cast<uint8_t>('0' + c / 10 % 10), static_cast<uint8_t>('0' + c % 10)};
    constexpr int32_t kSumAt = kVorHeaderChars + 2 + kObsMessageChars;
    uint32_t sum = 0;
    for (int32_t i = kVorHeaderChars; i < kSumAt; ++i) sum += msg[i];
    msg[kSumAt] = static_cast<uint8_t>(NibbleToHexChar((sum >> 4) & 0xF));
    msg[kSumAt + 1] = static_cast<uint8_t>(NibbleToHexChar(sum & 0xF));
    msg[kSumAt + 2] = '\r';
    msg[kSumAt + 3] = '\n';
    SerialWrite(port, msg, static_cast<int32_t>(sizeof msg));
    s_obsSent[slot] = true;
    s_obsSentStamp[slot] = ReadOsTimer();
}

bool NavObsResendDue(int32_t slot) {
    if (slot < 0 || slot > 2) return false;
    return !s_obsSent[slot] || TicksElapsed(ReadOsTimer(), s_obsSentStamp[slot], kNavObsResendTicks);
}
