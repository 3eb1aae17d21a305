// The ARINC 429 adapter link and its word images.
#include "nav/arinc.h"

#include <cstring>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "efis/ahrs.h"
#include "nav/autopilot.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"
#include "storage/nvram.h"

// The AHRS status owns the "heading usable" predicate; until it is linked in,
// the heading counts as usable.
bool AhrsHeadingUsable();
__attribute__((weak)) bool AhrsHeadingUsable() { return true; }

ArincAdapterRec G_ArincAdapter[kArincRecords];
uint8_t G_ArincVersionSeen;

// Published label definitions: significant bits, range (the sign bit's weight)
// and the factor to the stored unit.
const ArincLabelDef ArincLabelDefs[kArincLabels] = {
    {0x1C, 0, 0, 0},              // 034 VOR/ILS frequency, BCD: 10 kHz
    {0x40, 12, 180.0, 10.0},      // 100 selected course: 0.1 degree
    {0x4C, 12, 180.0, 10.0},      // 114 desired track (true)
    {0x4D, 12, 180.0, 10.0},      // 115 waypoint bearing (true)
    {0x4E, 15, 128.0, 100.0},     // 116 cross-track distance: 0.01 NM, + right of course
    {0x4F, 11, 2048.0, 1.0},      // 117 vertical deviation: ft, + above the path
    {0x51, 14, 180.0, 100.0},     // 121 roll command: 0.01 degree, + right wing down
    {0x67, 11, 180.0, 10.0},      // 147 magnetic variation: 0.1 degree, + east
    {0x7B, 12, 0.4, 1000.0},      // 173 localizer deviation: 0.001 DDM
    {0x7C, 12, 0.8, 1000.0},      // 174 glideslope deviation: 0.001 DDM
    {0x92, 12, 180.0, 10.0},      // 222 VOR omnibearing: 0.1 degree
    {0xA9, 15, 4096.0, 10.0},     // 251 distance to go: 0.1 NM
    {0xB0, 0, 0, 0},              // 260 date, BCD: ddmmyy
    {0xB1, 0, 0, 0},              // 261 GPS discrete word: data bits
    {0xC8, 20, 180.0, 262144.0},  // 310 latitude: 2^18 per degree
    {0xC9, 20, 180.0, 262144.0},  // 311 longitude
    {0xCA, 15, 4096.0, 10.0},     // 312 ground speed: 0.1 kt
    {0xCB, 12, 180.0, 10.0},      // 313 track angle (true): 0.1 degree
    {0xD0, 15, 180.0, 10.0},      // 320 magnetic heading: 0.1 degree
    {0xD6, 15, 128.0, 100.0},     // 326 lateral scale factor: 0.01 NM
    {0xD7, 15, 1024.0, 1.0},      // 327 vertical scale factor: ft
};

namespace {

constexpr uint32_t kLabel100 = 0x40, kLabel117 = 0x4F, kLabel121 = 0x51, kLabel104 = 0x44;
constexpr uint32_t kLabel122 = 0x52, kLabel320 = 0xD0, kLabel324 = 0xD4;
constexpr uint32_t kCourseGpsBit = 0x4000;

uint8_t s_staging[kArincFrameBytes];   // shared by all ports: each frame is queued before the next is built

// Single precision product, widened, then half away from zero.
int32_t RoundScaled(int32_t value, float scale) {
    const double p = static_cast<float>(value) * scale;
    return static_cast<int32_t>(p < 0 ? p - 0.5 : p + 0.5);
}

uint32_t Image(int32_t v, uint32_t shift, uint32_t label) {
    return static_cast<uint32_t>(v) << shift | label | kArincValid;
}

int32_t Wrap(int32_t v, int32_t full) { return ((v % full) + full) % full; }

bool SteeringSlot(int32_t slot) { return slot >= 0 && slot <= kNavMapSlot && slot == G_NavSrc.hdr.nCrsSlot; }

// Image bit of 1-based line bit n (the line's data sits three bits higher).
uint32_t Bcd(uint32_t word, int32_t lineBit, int32_t bits) {
    return (word >> (lineBit + 2)) & ((1u << bits) - 1);
}

int32_t Decode(const ArincLabelDef& d, uint32_t word) {
    if (d.nBits != 0) {
        const double lsb = d.fRange / static_cast<double>(1u << d.nBits);
        const double v = ArincBnr(word, d.nBits) * lsb * d.fUnit;
        return static_cast<int32_t>(v < 0 ? v - 0.5 : v + 0.5);
    }
    switch (d.nLabel) {
    case 0x1C:   // 1xx.xx MHz
        return static_cast<int32_t>(10000 + Bcd(word, 27, 3) * 1000 + Bcd(word, 23, 4) * 100 + Bcd(word, 19, 4) * 10 +
                                    Bcd(word, 15, 4));
    case 0xB0:
        return static_cast<int32_t>((Bcd(word, 28, 2) * 10 + Bcd(word, 24, 4)) * 10000 +
                                    (Bcd(word, 23, 1) * 10 + Bcd(word, 19, 4)) * 100 + Bcd(word, 15, 4) * 10 +
                                    Bcd(word, 11, 4));
    default: return static_cast<int32_t>((word >> 13) & 0x7FFFFu);
    }
}

int32_t LabelIndex(uint32_t label) {
    for (int32_t i = 0; i < kArincLabels; ++i)
        if (ArincLabelDefs[i].nLabel == label) return i;
    return -1;
}

void TakeWord(ArincAdapterRec& rec, uint32_t word, uint32_t now) {
    const int32_t i = LabelIndex(word & 0xFF);
    if (i < 0) return;
    ArincLabelData& d = rec.label[i];
    d.nWord = word;
    d.nSsm = static_cast<uint8_t>((word >> 9) & 3);
    d.nValue = Decode(ArincLabelDefs[i], word);
    d.nStamp = now;
    const bool normal = d.nSsm == 3;
    switch (i) {
    case kAl121:
        rec.bRollSteer = normal ? 1 : 0;
        rec.nRollWord = word;
        break;
    case kAl117: rec.nVertWord = word; break;
    case kAl310: case kAl311: rec.nGpsInteg = normal ? 1 : 0; break;
    default: break;
    }
}

void TakeVersion(ArincAdapterRec& rec, uint32_t length) {
    std::memset(rec.szVersion, 0, sizeof rec.szVersion);
    std::memcpy(rec.szVersion, rec.abPayload, length < 5 ? length : 5);
    const char c1 = rec.szVersion[1], c3 = rec.szVersion[3];
    if (c1 >= '0' && c1 <= '9' && c3 >= '0' && c3 <= '9') {
        rec.nVersion = (c1 - '0') * 10 + (c3 - '0');
    } else {
        rec.nVersion = -1;
        DebugPrintf("Bad Arinc Version:%s\n", rec.szVersion);
    }
    rec.bVersionRx = 1;
    if (!G_ArincVersionSeen) {
        G_ArincVersionSeen = 1;
        DebugPrintf("ARINC Version: %s\n", rec.szVersion);
    }
}

void SendWordCmd(uint32_t port, char letter, uint32_t word, int32_t imageWord) {
    if (port < static_cast<uint32_t>(kArincRecords) && imageWord >= 0)
        std::memcpy(G_ArincAdapter[port].abFrame + 4 + 4 * imageWord, &word, 4);
    const uint8_t cmd[5] = {static_cast<uint8_t>(letter), static_cast<uint8_t>(word >> 24),
                            static_cast<uint8_t>(word >> 16), static_cast<uint8_t>(word >> 8),
                            static_cast<uint8_t>(word)};
    SerialWrite(port, cmd, 5);
}

int32_t SendLetter(uint32_t port, char letter) {
    SerialWrite(port, &letter, 1);
    return 1;
}

}  // namespace

int32_t ArincBnr(uint32_t word, int32_t bits) { return static_cast<int32_t>(word) >> (31 - bits); }

uint8_t ArincDimByte() {
    uint32_t p = NvGetU32(kNvDimPercent);
    if (p > 100) p = 100;
    return static_cast<uint8_t>(p * 255 / 100);
}

// ---- encoders ---------------------------------------------------------------------------------

void ArincSelCourseWord(uint32_t* word, int32_t slot) {
    if (!SteeringSlot(slot) || G_NavSrc.rec[slot].nType != 1) {
        *word = 0;
        return;
    }
    int32_t c = Wrap(G_NavSrc.rec[slot].nCourse, 360);
    if (c > 179) c -= 360;
    *word = Image(RoundScaled(c, 22.755556f), 19, kLabel100) | kCourseGpsBit;
}

void ArincGpsPassWord(uint32_t* word) {
    const int32_t slot = G_NavSrc.hdr.nCrsSlot;
    *word = kLabel117;
    if (slot <= kNavMapSlot) {
        const NavSrcRec& r = G_NavSrc.rec[slot];
        if ((r.nGpsFlagsA & kNavGpsVertical) && NavSlotIsArinc(r)) *word = NavGetU32(r.abVertGuide);
    }
    G_Autopilot.nLastGpsWord = *word;
}

void ArincRollSteerWord(uint32_t* word) {
    const ApLateral& l = G_ApLateral;
    if (!G_Autopilot.bOutput || !l.bEngaged || !(G_NVRam[kNvApSteerEnable] & 1))
        *word = l.bRollSteerAvail ? l.nRollSteerWord : kLabel121;
    else if (!l.bRollSteer)
        *word = Image(RoundScaled(l.nRollCmd, 0.90909088f), 17, kLabel121);
    else
        *word = l.nRollSteerWord;
    G_Autopilot.nLastRollWord = *word;
}

uint32_t ArincVsImage(float vs) {
    const double d = vs;
    return Image(static_cast<int32_t>(d < 0 ? d - 0.5 : d + 0.5), 17, kLabel104);
}

void ArincSelVsWord(uint32_t* word) {
    const ApVertical& v = G_ApVertical;
    *word = kLabel104;
    const bool on = G_Autopilot.bOutput && (G_NVRam[kNvApSteerEnable] & 1) && (G_NavSrc.hdr.nFlags0 & kNavHdrAltSteer);
    if (on && !(v.bHold && !v.bEngaged)) *word = ArincVsImage(static_cast<float>(v.nVertCmd));
    G_Autopilot.nLastVertWord = *word;
}

void ArincLabel122Word(uint32_t* word) {
    *word = kLabel122;
    G_Autopilot.nLast122Word = *word;
}

void ArincHeadingWord(uint32_t* word, int32_t heading) {
    int32_t h = Wrap(heading, 3600);
    if (h > 1799) h -= 3600;
    *word = static_cast<uint32_t>(RoundScaled(h, 18.204439f)) << 16 | kLabel320;
    if (AhrsHeadingUsable()) *word |= kArincValid;
    G_Autopilot.nLastHdgWord = *word;
}

void ArincLabel324Word(uint32_t* word) { *word = kLabel324; }

// ---- frame and commands -----------------------------------------------------------------------

int32_t ArincSourceSlot(uint32_t port) {
    for (int32_t s = 0; s <= kNavMapSlot; ++s)
        if (G_NavSrc.rec[s].nPort == port) return s;
    return 0;
}

void SendArincFrame(uint32_t port) {
    if (port >= static_cast<uint32_t>(kArincRecords)) return;
    uint8_t* image = G_ArincAdapter[port].abFrame;
    const int32_t slot = ArincSourceSlot(port);
    image[0] = s_staging[0] = '$';
    image[1] = s_staging[1] = 0x1C;
    uint32_t sum = 0;
    for (int32_t k = 0; k < 6; ++k) {
        uint32_t w = 0;
        switch (k) {
        case 0: ArincSelCourseWord(&w, slot); break;
        case 1: ArincGpsPassWord(&w); break;
        case 2:
            G_ApLateral.bBusy = 1;
            ArincRollSteerWord(&w);
            G_ApLateral.bBusy = 0;
            break;
        case 3:
            G_ApVertical.bBusy = 1;
            if (G_NVRam[kNvLabel122]) ArincLabel122Word(&w);
            else ArincSelVsWord(&w);
            G_ApVertical.bBusy = 0;
            break;
        case 4: ArincHeadingWord(&w, Wrap(G_Ahrs.nHeading + 3600, 3600)); break;
        default: ArincLabel324Word(&w); break;
        }
        std::memcpy(image + 4 + 4 * k, &w, 4);
        for (int32_t b = 0; b < 4; ++b) {
            s_staging[2 + 4 * k + b] = static_cast<uint8_t>(w >> (8 * b));
            sum += static_cast<uint8_t>(w >> (8 * b));
        }
    }
    s_staging[26] = ArincDimByte();
    sum += s_staging[26];
    s_staging[27] = s_staging[28] = s_staging[29] = 0;
    s_staging[30] = image[28] = '*';
    s_staging[31] = image[29] = static_cast<uint8_t>(sum);
    s_staging[32] = image[30] = '\r';
    s_staging[33] = image[31] = '\n';
    SerialWrite(port, s_staging, kArincFrameBytes);
}

void SendArincHeading(uint32_t port, int32_t heading) {
    uint32_t w = 0;
    ArincHeadingWord(&w, heading);
    SendWordCmd(port, 'h', w, 4);
}

void SendArincRollSteer(uint32_t port) {
    uint32_t w = 0;
    ArincRollSteerWord(&w);
    SendWordCmd(port, 'r', w, 2);
}

void SendArincLabel122(uint32_t port) {
    uint32_t w = 0;
    ArincLabel122Word(&w);
    SendWordCmd(port, 's', w, 3);
}

void SendArincLabel324(uint32_t port) {
    uint32_t w = 0;
    ArincLabel324Word(&w);
    SendWordCmd(port, 't', w, 5);
}

void ArincCmdNop(uint32_t) {}

ArincAdapterRec* ArincInputRec(uint32_t port) {
    const int32_t slot = NavSlotOfPort(port);
    return &G_ArincAdapter[slot < 0 ? 4 : slot];
}

int32_t SendArincCmd(uint32_t port, int32_t code) {
    static const char kLetters[] = "ipmwnv";
    switch (code) {
    case 1: case 2: case 3: case 4: case 5: case 6: return SendLetter(port, kLetters[code - 1]);
    case 7:
        if (ArincSourceSlot(port) == G_NavSrc.hdr.nCrsSlot) {
            ArincCmdNop(port);
            return 0;
        }
        SendWordCmd(port, 'c', 0, -1);
        return 5;
    case 8:
        if (!AhrsHeadingUsable()) SendWordCmd(port, 'h', 0, -1);
        else SendArincHeading(port, Wrap(G_Ahrs.nHeading + 3600, 3600));
        return 5;
    case 9: return SendLetter(port, 'b');
    case 10: return SendLetter(port, 'x');
    case 11: return SendLetter(port, 'R');
    case 12:
        G_ApLateral.bBusy = 1;
        SendArincRollSteer(port);
        G_ApLateral.bBusy = 0;
        return 5;
    case 13:
        G_ApVertical.bBusy = 1;
        SendArincLabel122(port);
        G_ApVertical.bBusy = 0;
        return 5;
    case 15: SendArincLabel324(port); return 5;
    case 17: {
        const uint8_t cmd[2] = {'d', ArincDimByte()};
        SerialWrite(port, cmd, 2);
        return 2;
    }
    default: return 0;
    }
}

// ---- messages from the adapter ----------------------------------------------------------------

void ParseArincMsg(uint8_t* msg, int32_t length, uint32_t port) {
    if (port >= static_cast<uint32_t>(kSerialPorts)) return;
    ArincAdapterRec& rec = *ArincInputRec(port);
    rec.bValid = 0;
    rec.cType = '0';
    rec.nDigit = 0;
    rec.nLength = 0;
    rec.abPayload[0] = 0;
    rec.nChecksum = 0;
    if (msg == nullptr || length <= 8) return;
    const uint8_t type = msg[2];
    if (type != 'A' && type != 'V' && type != 'G') {
        DebugPrintf("ARINC UKNOWN MSG %c%c%c @%s\n", msg[0], msg[1], msg[2], FormatTime(4));
        return;
    }
    const int32_t l = msg[4];
    // The record holds 63 payload bytes; the message must really carry L of them.
    if (l > kArincPayloadMax || length < l + 9) {
        RamLogPrintf("ARINC Bad Length: %c%d, L:%d, Sz:%d @%s\n", type, msg[3] - '0', l, length, FormatTime(4));
        return;
    }
    rec.cType = static_cast<char>(type);
    rec.nDigit = static_cast<uint8_t>(msg[3] - '0');
    rec.nLength = static_cast<uint32_t>(l);
    uint32_t sum = 0;
    for (int32_t i = 0; i < l; ++i) {
        rec.abPayload[i] = msg[5 + i];
        sum += msg[5 + i];
    }
    rec.abPayload[l] = 0;
    rec.nChecksum = msg[5 + l];
    if (rec.nChecksum != (sum & 0xFF)) {
        RamLogPrintf("ARINC Bad CRC: %c%d, Sz:%d @%s\n", type, rec.nDigit, length, FormatTime(4));
        return;
    }
    rec.bValid = 1;
    ParseArincData(&rec, l);
    G_Serial[port].nRxCount = 1;
}

void ParseArincData(ArincAdapterRec* rec, int32_t length) {
    if (rec == nullptr || length < 0 || length > kArincPayloadMax) return;
    const uint32_t l = static_cast<uint32_t>(length);
    if (rec->cType == 'A' && rec->nDigit == 0) {
        TakeVersion(*rec, l);
        return;
    }
    int32_t kind;
    if (rec->cType == 'V' && rec->nDigit == 1) kind = 0;
    else if (rec->cType == 'G' && rec->nDigit >= 1 && rec->nDigit <= 4) kind = rec->nDigit;
    else return;
    rec->nType = kind == 0 ? 2 : 1;
    const uint32_t now = ReadOsTimer();
    for (uint32_t i = 0; i + 4 <= l; i += 4) {
        const uint8_t* p = rec->abPayload + i;
        TakeWord(*rec, static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                           static_cast<uint32_t>(p[2]) << 8 | p[3], now);
    }
    rec->bFresh[kind] = 1;
    rec->nKindStamp[kind] = now;
}
