// NMEA GPS input: sentence checksums (shared by the receivers and the
// calibration port), the dispatcher and the field parsers of each sentence
// type into the GPS's parse record.
#include "nav/nmea.h"

#include <cstdlib>
#include <cstring>

#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "core/util.h"
#include "nav/navsrc.h"
#include "nav/vorradio.h"

NmeaGpsRec G_NmeaGps[kNmeaRecords];
uint32_t   G_NmeaCrcErrors;

namespace {

constexpr int32_t kMaxFields = 48;      // an RTE of 31 identifiers has 36
constexpr uint32_t kCrcReportTicks = 3686400;

uint32_t s_crcReportStamp;
bool     s_crcReported;

// Index of the "*" after the "$", or -1 when none lies within the length;
// the XOR of the characters between them goes to *sum.
int32_t ChecksumSpan(const char* sentence, int32_t length, uint8_t* sum) {
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
int32_t HexDigit(char c) {
    if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f')) return HexCharToNibble(c);
    return -1;
}

// The fields of one sentence, as offsets into it: ',' ends a field; '*', CR
// or LF ends the last one. Nothing past the length is read.
struct Fields {
    const char* s;
    int32_t n;
    int32_t at[kMaxFields];
    int32_t len[kMaxFields];
};

void Split(const char* s, int32_t length, Fields* f) {
    f->s = s;
    f->n = 0;
    int32_t start = 0;
    for (int32_t i = 0; i <= length; ++i) {
        const char c = i < length ? s[i] : '\r';
        const bool last = c == '*' || c == '\r' || c == '\n';
        if (c != ',' && !last) continue;
        if (f->n < kMaxFields) {
            f->at[f->n] = start;
            f->len[f->n] = i - start;
            ++f->n;
        }
        start = i + 1;
        if (last) return;
    }
}

bool Has(const Fields& f, int32_t i) { return i < f.n; }
int32_t Len(const Fields& f, int32_t i) { return Has(f, i) ? f.len[i] : 0; }

// Copies at most maxChars of a field, NUL-terminated within dstSize; an empty
// field becomes "---".
void Text(char* dst, int32_t dstSize, const Fields& f, int32_t i, int32_t maxChars) {
    int32_t n = Len(f, i);
    if (n > maxChars) n = maxChars;
    if (n > dstSize - 1) n = dstSize - 1;
    if (n == 0) {
        std::strncpy(dst, "---", static_cast<size_t>(dstSize));
        dst[dstSize - 1] = 0;
        return;
    }
    std::memcpy(dst, f.s + f.at[i], static_cast<size_t>(n));
    dst[n] = 0;
}

uint8_t Char(const Fields& f, int32_t i) { return Len(f, i) > 0 ? static_cast<uint8_t>(f.s[f.at[i]]) : 0; }

// A field as a NUL-terminated number text (bounded).
void NumberText(char (&buf)[24], const Fields& f, int32_t i, int32_t skip = 0) {
    int32_t n = Len(f, i) - skip;
    if (n < 0) n = 0;
    if (n > 23) n = 23;
    if (n > 0) std::memcpy(buf, f.s + f.at[i] + skip, static_cast<size_t>(n));
    buf[n] = 0;
}

float Float(const Fields& f, int32_t i) {
    char buf[24];
    NumberText(buf, f, i);
    return static_cast<float>(std::strtod(buf, nullptr));
}

int32_t Int(const Fields& f, int32_t i) {
    char buf[24];
    NumberText(buf, f, i);
    return static_cast<int32_t>(std::strtol(buf, nullptr, 10));
}

// ddmm.mmmm (two degree digits) or dddmm.mmmm (three), unsigned degrees.
float Position(const Fields& f, int32_t i, int32_t degreeDigits) {
    if (Len(f, i) < degreeDigits) return 0.0f;
    char deg[24], min[24];
    NumberText(min, f, i, degreeDigits);
    int32_t n = degreeDigits;
    std::memcpy(deg, f.s + f.at[i], static_cast<size_t>(n));
    deg[n] = 0;
    return static_cast<float>(std::strtol(deg, nullptr, 10) + std::strtod(min, nullptr) / 60.0);
}

void Stamp(uint32_t* received, uint32_t* stamp) {
    *received = 1;
    *stamp = ReadOsTimer();
}

void ParseApb(NmeaGpsRec& r, const Fields& f) {
    NmeaApb& a = r.apb;
    Text(a.szName, 8, f, 0, 7);
    a.nStatus1 = Char(f, 1);
    a.nStatus2 = Char(f, 2);
    a.fXte = Float(f, 3);
    a.cSteer = Char(f, 4);
    a.cXteUnits = Char(f, 5);
    a.cArrival = Char(f, 6);
    a.cPerpendicular = Char(f, 7);
    a.fBrgOrigDest = Float(f, 8);
    a.cBrgOrigDestRef = Char(f, 9);
    Text(a.szDest, 8, f, 10, 6);
    StrTrimRight(a.szDest);
    a.fBrgPresDest = Float(f, 11);
    a.cBrgPresDestRef = Char(f, 12);
    a.fHeadingToSteer = Float(f, 13);
    a.cHeadingRef = Char(f, 14);
    Stamp(&a.bReceived, &a.nStamp);
}

void ParseBod(NmeaGpsRec& r, const Fields& f) {
    NmeaBod& b = r.bod;
    Text(b.szName, 8, f, 0, 7);
    b.fBrgTrue = Float(f, 1);
    b.cTrue = Char(f, 2);
    b.fBrgMag = Float(f, 3);
    b.bHasMag = Len(f, 3) > 0 ? 1 : 0;
    b.cMag = Char(f, 4);
    Text(b.szDest, 8, f, 5, 6);
    StrTrimRight(b.szDest);
    Text(b.szOrigin, 8, f, 6, 6);
    Stamp(&b.bReceived, &b.nStamp);
}

void ParseGga(NmeaGpsRec& r, const Fields& f) {
    NmeaGga& g = r.gga;
    Text(g.szName, 8, f, 0, 7);
    Text(g.szUtc, 16, f, 1, 15);
    g.fLat = Position(f, 2, 2);
    g.cNs = Char(f, 3);
    g.fLon = Position(f, 4, 3);
    g.cEw = Char(f, 5);
    g.nQuality = Int(f, 6);
    g.nSatellites = Int(f, 7);
    g.fHdop = Float(f, 8);
    g.fAltitude = Float(f, 9);
    g.cAltUnit = Char(f, 10);
    g.fGeoid = Float(f, 11);
    g.cGeoidUnit = Char(f, 12);
    g.fDiffAge = Float(f, 13);
    Text(g.szDiffStation, 8, f, 14, 7);
    Stamp(&g.bReceived, &g.nStamp);
}

// RMB and RMC carry a mode at a fixed field (RMB 14, RMC 12); 'N' means the
// data are not valid and the sentence leaves its area untouched.
constexpr int32_t kRmbModeField = 14;
constexpr int32_t kRmcModeField = 12;

void ParseRmb(NmeaGpsRec& r, const Fields& f) {
    if (Char(f, kRmbModeField) == 'N') return;
    NmeaRmb& b = r.rmb;
    Text(b.szName, 8, f, 0, 7);
    b.cStatus = Char(f, 1);
    b.fXte = Float(f, 2);
    b.cSteer = Char(f, 3);
    Text(b.szOrigin, 8, f, 4, 6);
    Text(b.szDest, 8, f, 5, 6);
    StrTrimRight(b.szDest);
    b.fDestLat = Position(f, 6, 2);
    b.cNs = Char(f, 7);
    b.fDestLon = Position(f, 8, 3);
    b.cEw = Char(f, 9);
    b.fRange = Float(f, 10);
    b.fBearing = Float(f, 11);
    b.fClosing = Float(f, 12);
    b.cArrival = Char(f, 13);
    Stamp(&b.bReceived, &b.nStamp);
}

void ParseRmc(NmeaGpsRec& r, const Fields& f) {
    if (Char(f, kRmcModeField) == 'N') return;
    NmeaRmc& c = r.rmc;
    Text(c.szName, 8, f, 0, 7);
    Text(c.szUtc, 16, f, 1, 15);
    c.cStatus = Char(f, 2);
    c.fLat = Position(f, 3, 2);
    c.cNs = Char(f, 4);
    c.fLon = Position(f, 5, 3);
    c.cEw = Char(f, 6);
    c.fSpeed = Float(f, 7);
    c.fTrack = Float(f, 8);
    Text(c.szDate, 16, f, 9, 15);
    c.fVariation = Float(f, 10);
    c.cVarEw = Char(f, 11);
    if (Has(f, kRmcModeField)) c.cMode = Char(f, kRmcModeField);
    else c.cMode = c.cStatus == 'A' ? 'A' : 'N';
    Stamp(&c.bReceived, &c.nStamp);
}

void ParseRmh(NmeaGpsRec& r, const Fields& f) {
    NmeaRmh& h = r.rmh;
    Text(h.szName, 8, f, 0, 7);
    h.cStatus = Char(f, 1);
    for (int32_t i = 0; i < kNmeaRmhInts; ++i) h.anField[i] = Int(f, 2 + i);
    Stamp(&h.bReceived, &h.nStamp);
}

void ClearEntries(NmeaRoute& rt, uint32_t from) {
    for (uint32_t i = from; i < static_cast<uint32_t>(kNmeaRouteMax); ++i) rt.entry[i] = NmeaRouteEntry{};
}

void ParseRte(NmeaGpsRec& r, const Fields& f) {
    NmeaRoute& rt = r.route;
    Text(rt.szName, 8, f, 0, 7);
    rt.nSentences = static_cast<uint8_t>(Int(f, 1));
    rt.nSentence = static_cast<uint8_t>(Int(f, 2));
    rt.cMode = Char(f, 3);
    char id[16];
    Text(id, 16, f, 4, 15);
    if (std::strncmp(id, rt.szRouteId, sizeof id) != 0) {
        rt.bIdChanged = 1;
        std::memcpy(rt.szRouteId, id, sizeof id);
        rt.nCount = 0;
        rt.nFilled = 0;
        rt.bComplete = 0;
    }
    if (rt.nSentence == 1) {
        rt.nCount = 0;
        rt.nFilled = 0;
        rt.bComplete = 0;
    }
    for (int32_t i = 5; i < f.n && rt.nCount < static_cast<uint32_t>(kNmeaRouteMax); ++i) {
        NmeaRouteEntry& e = rt.entry[rt.nCount++];
        e = NmeaRouteEntry{};
        Text(e.szIdent, 8, f, i, 7);
        StrTrimRight(e.szIdent);
    }
    if (rt.nSentence >= rt.nSentences) ClearEntries(rt, rt.nCount);
    Stamp(&rt.bReceived, &rt.nStamp);
}

void ParseWpl(NmeaGpsRec& r, const Fields& f) {
    NmeaRoute& rt = r.route;
    NmeaRouteEntry& s = rt.staging;
    s.fLat = Position(f, 1, 2);
    s.cNs = Char(f, 2);
    s.fLon = Position(f, 3, 3);
    s.cEw = Char(f, 4);
    Text(s.szIdent, 8, f, 5, 7);
    StrTrimRight(s.szIdent);
    s.bFilled = 1;
    rt.bStagingIdent = Len(f, 5) > 0 ? 1 : 0;
    rt.nWplStamp = ReadOsTimer();
    for (uint32_t i = 0; i < rt.nCount && i < static_cast<uint32_t>(kNmeaRouteMax); ++i) {
        NmeaRouteEntry& e = rt.entry[i];
        if (e.bFilled || std::strncmp(e.szIdent, s.szIdent, sizeof e.szIdent) != 0) continue;
        e = s;
        ++rt.nFilled;
        rt.nLastMatch = static_cast<int32_t>(i);
        break;
    }
    if (rt.nCount > 0 && rt.nFilled >= rt.nCount) rt.bComplete = 1;
}

using FieldParser = void (*)(NmeaGpsRec&, const Fields&);
struct SentenceRow { const char* type; FieldParser parse; const char* crcLog; };
// Standard types follow any two-letter talker; RMH is Garmin's own "PGRMH".
const SentenceRow kSentences[] = {
    {"RMB", ParseRmb, "MSG_ERR:%d NMEA RMB CRC @%s \n"},
    {"RMC", ParseRmc, "MSG_ERR:%d NMEA RMC CRC @%s \n"},
    {"GGA", ParseGga, "MSG_ERR:%d NMEA GGA CRC @%s \n"},
    {"BOD", ParseBod, "MSG_ERR:%d NMEA BOD CRC @%s \n"},
    {"APB", ParseApb, "MSG_ERR:%d NMEA APB CRC @%s \n"},
    {"RTE", ParseRte, "MSG_ERR:%d NMEA RTE CRC @%s \n"},
    {"WPL", ParseWpl, "MSG_ERR:%d NMEA WPL CRC @%s \n"},
};
const SentenceRow kRmhRow = {"RMH", ParseRmh, "MSG_ERR:%d NMEA RMH CRC @%s \n"};

bool IsUpper(char c) { return c >= 'A' && c <= 'Z'; }

const SentenceRow* RowOf(const char* s, int32_t length) {
    if (length < 6) return nullptr;
    if (std::strncmp(s + 1, "PGRMH", 5) == 0) return &kRmhRow;
    if (s[1] == 'P' || !IsUpper(s[1]) || !IsUpper(s[2])) return nullptr;
    for (const SentenceRow& row : kSentences)
        if (std::strncmp(s + 3, row.type, 3) == 0) return &row;
    return nullptr;
}

void ReportCrcError(const SentenceRow& row) {
    ++G_NmeaCrcErrors;
    const uint32_t now = ReadOsTimer();
    if (s_crcReported && !TicksElapsed(now, s_crcReportStamp, kCrcReportTicks)) return;
    s_crcReported = true;
    s_crcReportStamp = now;
    DebugPrintf(row.crcLog, static_cast<int>(G_NmeaCrcErrors), FormatTime(4));
}

// Radio sentences on a GPS port go on, unchanged, to the radio ports.
void ForwardToRadios(const uint8_t* msg, int32_t length) {
    if (CalcNmeaVorCrc(msg, length) == 0) return;
    for (uint32_t p = 1; p < static_cast<uint32_t>(kSerialPorts); ++p)
        if (G_Serial[p].nFunction == 4) SerialWrite(p, msg, length);
}

}  // namespace

int32_t NmeaChecksumHolds(const char* sentence, int32_t length) {
    if (sentence == nullptr || length < 1 || sentence[0] != '$') return 0;
    uint8_t sum = 0;
    const int32_t star = ChecksumSpan(sentence, length, &sum);
    if (star < 0 || star + 2 >= length) return 0;   // two digits must follow within the length
    const int32_t hi = HexDigit(sentence[star + 1]), lo = HexDigit(sentence[star + 2]);
    if (hi < 0 || lo < 0) return 0;
    return (hi << 4 | lo) == sum ? 1 : 0;
}

int32_t NmeaCheckCrc(const char* sentence, int32_t length) {
    if (length > kNmeaMaxSentence) return 0;
    return NmeaChecksumHolds(sentence, length);
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

NmeaGpsRec* NmeaRecOfPort(uint32_t port) {
    for (int32_t i = 0; i < kNmeaRecords; ++i)
        if (G_NavSrc.hdr.nPort[i] == port) return &G_NmeaGps[i];
    return nullptr;
}

void ParseNmeaMsg(uint8_t* msg, int32_t length, uint32_t port) {
    NmeaGpsRec* rec = NmeaRecOfPort(port);
    if (rec == nullptr || msg == nullptr || length < 1 || msg[0] != '$') return;
    if (length > kSerialMsgSize) length = kSerialMsgSize;
    const char* s = reinterpret_cast<const char*>(msg);
    if (length >= 5 && std::strncmp(s + 1, "PMRR", 4) == 0) {
        ForwardToRadios(msg, length);
        return;
    }
    const SentenceRow* row = RowOf(s, length);
    if (row == nullptr) return;
    if (NmeaChecksumHolds(s, length) == 0) {
        ReportCrcError(*row);
        return;
    }
    Fields f;
    Split(s, length, &f);
    row->parse(*rec, f);
    G_Serial[port].nRxCount = 1;
}

void ClearNmeaGpsSlot() { std::memset(&G_NmeaGps[0], 0, sizeof G_NmeaGps[0]); }
