// METAR reports. The index keeps offset + 1, so that the report at the very
// start of a set is found like any other; a station is taken only under its
// exact identifier, not under a longer one that begins with it.
#include "wx/metar.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "core/syslog.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "wx/wx.h"

uint32_t G_WxMetarIndex[kWxMetarIndexSize];
char     G_WxMetarText[kWxMetarCopyBytes];

namespace {

constexpr uint32_t kReportChars = 511;
constexpr int kWords = 128;
constexpr int kRemarks = 100;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsBlank(char c) { return c == ' ' || c == '\r' || c == '\n' || c == '\t'; }
bool Has(const char* w, const char* part) { return std::strstr(w, part) != nullptr; }
bool Begins(const char* w, const char* prefix) { return std::strncmp(w, prefix, std::strlen(prefix)) == 0; }

// Splits `text` in place at blanks and line ends.
int SplitWords(char* text, char** words, int max) {
    int n = 0;
    for (char* p = text; *p && n < max;) {
        while (IsBlank(*p)) *p++ = '\0';
        if (!*p) break;
        words[n++] = p;
        while (*p && !IsBlank(*p)) ++p;
    }
    return n;
}

void CopyCut(char* field, const char* word, size_t chars) {
    std::strncpy(field, word, chars);
    field[chars] = '\0';
}

// Appends after a blank when the field then holds at most `max` characters.
bool Append(char* field, const char* word, size_t max) {
    const size_t have = std::strlen(field);
    const size_t need = (have ? have + 1 : 0) + std::strlen(word);
    if (need > max) return false;
    if (have) std::strcat(field, " ");
    std::strcat(field, word);
    return true;
}

bool WeatherWord(const char* w) {
    static const char kPairs[][3] = {"MI", "BR", "BC", "BL", "DU", "DR", "DZ", "FG", "FC", "FU", "FZ", "GR", "GS",
                                     "PL", "PR", "PO", "PY", "SH", "SA", "SN", "SG", "SS", "SQ", "VC", "VA"};
    if (std::strchr("+-HIRTU", w[0])) return true;
    for (const char* p : kPairs) {
        if (Begins(w, p)) return true;
    }
    return false;
}

bool VariationWord(const char* w) {
    return std::strlen(w) == 7 && IsDigit(w[0]) && IsDigit(w[1]) && IsDigit(w[2]) && w[3] == 'V' && IsDigit(w[4]) &&
           IsDigit(w[5]) && IsDigit(w[6]);
}

// The visibility words; true when the word was taken.
bool VisibilityWord(WxMetarReport* r, const char* w, uint32_t* s) {
    if (Has(w, "/") && !Has(w, "SM")) return false;
    const bool starts = IsDigit(w[0]) || ((w[0] == 'M' || w[0] == 'P') && IsDigit(w[1])) || Begins(w, "CA");
    if (!starts) return false;
    Append(r->visi, w, 18);
    if (w[0] == 'C' || Has(w, "SM") || std::atoi(w) > 500) *s = 7;
    return true;
}

// Offers one word to the reader of state s; false when the reader does not take it.
bool Offer(WxMetarReport* r, const char* w, const char* report, uint32_t* s) {
    switch (*s) {
    case 0: CopyCut(r->type, w, 2); *s = 1; return true;
    case 1: CopyCut(r->icao, w, 4); *s = 2; return true;
    case 2: CopyCut(r->time, w, 9); *s = 3; return true;
    case 3:
        if (!Begins(w, "AUT") && !Begins(w, "COR")) return false;
        *s = 4;
        return true;
    case 4:
        if (!Has(w, "KT") && !Has(w, "MPS")) return false;
        CopyCut(r->wind, w, 19);
        *s = 5;
        return true;
    case 5:
        if (!VariationWord(w)) return false;
        Append(r->wind, w, 28);
        *s = 6;
        return true;
    case 6: return VisibilityWord(r, w, s);
    case 7:
        if (w[0] != 'R' || !IsDigit(w[1])) return false;
        CopyCut(r->rvr, w, 39);
        return true;
    case 8:
        if (!WeatherWord(w)) return false;
        if (!Append(r->wthr, w, 38))
            DebugPrintf("WX: tmmwg (%d/%d) %.10s/%.10s\n", static_cast<int>(std::strlen(r->wthr)),
                        static_cast<int>(std::strlen(w)), w, report);
        return true;
    case 9:
        if (!std::strchr("BCFSON", w[0])) return false;
        if (!Append(r->clds, w, 38)) DebugPrintf("WX: tmmcg (%s)\n", report);
        return true;
    case 10:
        if (!Begins(w, "VV")) return false;
        CopyCut(r->vvis, w, 9);
        *s = 11;
        return true;
    case 11:
        if (!(IsDigit(w[0]) || w[0] == 'M') || !Has(w, "/")) return false;
        CopyCut(r->temp, w, 9);
        *s = 12;
        return true;
    case 12:
        if (w[0] != 'Q' && w[0] != 'A') return false;
        CopyCut(r->baro, w, 6);
        *s = 13;
        return true;
    default: return false;
    }
}

void Remark(WxMetarReport* r, const char* w) {
    if (!Append(r->rmrk, w, 148)) DebugPrintf("WX: rtl (%.10s)/(%.10s)\n", r->rmrk, w);
}

// Hundredths of a statute mile. A fraction after a whole number is added to it: 1 1/2SM is 150.
uint32_t Visibility(const char* report, const char* visi) {
    if (!visi[0]) return kMetarUnknown;
    char copy[sizeof WxMetarReport::visi];
    std::strcpy(copy, visi);
    char* words[10];
    const int n = SplitWords(copy, words, 10);
    uint32_t bvis = 0;
    for (int i = 0; i < n; ++i) {
        const char* w = words[i];
        if (w[0] == 'P' && IsDigit(w[1])) {
            bvis = kMetarUnknown;
        } else if (w[0] == 'M' && IsDigit(w[1])) {
            return 25;
        } else if (Has(w, "CAVOK")) {
            return kMetarUnlimited;
        } else if (Has(w, "/")) {
            int num = 0, den = 0;
            const int got = std::sscanf(w, "%d/%dSM", &num, &den);
            if (got == 2 && den > 0 && num >= 0) {
                bvis += static_cast<uint32_t>(static_cast<double>(num) / den * 100);
            } else {
                DebugPrintf("(%s)\n", report);
                DebugPrintf("c=%s rv=%d n=%d d=%d\n", w, got, num, den);
            }
        } else if (IsDigit(w[0])) {
            bvis += 100u * static_cast<uint32_t>(std::atoi(w));
            if (i + 1 >= n || !Has(words[i + 1], "/")) return bvis;
        } else {
            DebugPrintf("WX: wmv (%s)(%s)\n", report, visi);
        }
    }
    return bvis;
}

uint32_t Ceiling(const char* clds) {
    if (!clds[0]) return kMetarUnknown;
    char copy[sizeof WxMetarReport::clds];
    std::strcpy(copy, clds);
    char* words[20];
    const int n = SplitWords(copy, words, 20);
    uint32_t clng = kMetarUnlimited;
    for (int i = 0; i < n; ++i) {
        const char* w = words[i];
        if (Has(w, "CLR")) break;
        if ((Has(w, "BKN") || Has(w, "OVC")) && std::strlen(w) > 3) {
            const uint32_t ft = 100u * static_cast<uint32_t>(std::abs(std::atoi(w + 3)));
            if (ft < clng) clng = ft;
            break;
        }
    }
    return clng;
}

uint32_t Category(uint32_t clng, uint32_t bvis) {
    uint32_t f = clng < 501 ? kMetarLifr : clng < 1001 ? kMetarIfr : clng > 3000 ? kMetarVfr : kMetarMvfr;
    f |= bvis < 101 ? kMetarLifr : bvis < 301 ? kMetarIfr : bvis < 501 ? kMetarMvfr : kMetarVfr;
    if (clng != kMetarUnknown && bvis != kMetarUnknown) f |= kMetarBoth;
    return f;
}

// The worst category first.
uint32_t Worst(uint32_t flags) {
    for (uint32_t bit : {kMetarLifr, kMetarIfr, kMetarMvfr}) {
        if (flags & bit) return bit;
    }
    return kMetarVfr;
}

uint32_t RecU32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
void RecSetU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

const char* WxMetarFor(int32_t waypointIndex) {
    if (G_Wx.nMetarCount == 0 || waypointIndex < 0 || static_cast<uint32_t>(waypointIndex) >= kWxMetarIndexSize)
        return nullptr;
    const uint32_t at = G_WxMetarIndex[waypointIndex];
    if (at == 0 || at > kWxMetarMaxText) return nullptr;
    return G_WxMetarText + at - 1;
}

void WxMetarIndex(const char* text, uint32_t length) {
    G_Wx.nMetarCount = 0;
    if (length > kWxMetarMaxText) return;
    std::memset(G_WxMetarIndex, 0, sizeof G_WxMetarIndex);
    std::memcpy(G_WxMetarText, text, length);
    G_WxMetarText[length] = '\0';
    uint32_t count = 0, missing = 0, start = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (G_WxMetarText[i] != '\0') continue;
        char head[11] = {};
        std::memcpy(head, G_WxMetarText + start, i - start < 10 ? i - start : 10);
        char* words[3];
        if (SplitWords(head, words, 3) >= 2) {
            ++count;
            const int32_t k = FindWaypointExact(words[1]);
            if (k >= 0 && static_cast<uint32_t>(k) < kWxMetarIndexSize) G_WxMetarIndex[k] = start + 1;
            else ++missing;
        }
        start = i + 1;
    }
    G_Wx.nMetarCount = count;
    MapPushMetarIndex();
    DebugPrintf("WX: METARS (%d/%d)\n", static_cast<int>(count), static_cast<int>(missing));
}

void WxMetarMarkAirports() {
    if (G_Wx.nMetarCount == 0) return;
    for (MapSquare& sq : G_MapSquares) {
        const uint32_t n = sq.nAirports < kMaxAirports ? sq.nAirports : 0;
        for (uint32_t a = 0; a < n; ++a) {
            uint8_t* rec = sq.airports[a];
            char id[kWptIdBytes + 1] = {};
            std::memcpy(id, rec + apt::kId, kWptIdBytes);
            for (char& c : id) c = c == ' ' ? '\0' : c;
            if (id[0] != 'K') continue;
            // A new set replaces the marks of the last one.
            uint32_t flags = RecU32(rec + apt::kFlags1) & ~kMetarBits;
            if (const char* report = WxMetarFor(FindWaypointExact(id))) {
                static WxMetarReport decoded;
                WxMetarDecode(report, &decoded);
                flags |= decoded.flags & kMetarBoth;
                flags |= Worst(decoded.flags);
            }
            RecSetU32(rec + apt::kFlags1, flags);
        }
    }
}

void WxMetarDecode(const char* report, WxMetarReport* r) {
    std::memset(r, 0, sizeof *r);
    char copy[kReportChars + 1];
    CopyCut(copy, report, kReportChars);
    char* words[kWords];
    const int n = SplitWords(copy, words, kWords);
    uint32_t s = 0;
    for (int i = 0; i < n; ++i) {
        const char* w = words[i];
        if (Begins(w, "RMK")) s = kRemarks;
        // Missing groups ("/////"); a leading fraction such as 1/2SM is a visibility.
        if (w[0] == '/' || (w[1] == '/' && !IsDigit(w[0]))) continue;
        bool taken = false;
        while (s <= 12 && !(taken = Offer(r, w, report, &s))) ++s;
        if (!taken) Remark(r, w);
    }
    r->bvis = Visibility(report, r->visi);
    r->clng = Ceiling(r->clds);
    r->flags = Category(r->clng, r->bvis);
}

void WxMetarDump(const WxMetarReport* r) {
    DebugPrintf("----\n");
    DebugPrintf(" type = %s\n", r->type);
    DebugPrintf(" icao = %s\n", r->icao);
    DebugPrintf(" time = %s\n", r->time);
    DebugPrintf(" wind = %s\n", r->wind);
    DebugPrintf(" visi = %s\n", r->visi);
    DebugPrintf(" rvr  = %s\n", r->rvr);
    DebugPrintf(" bvis = %hu\n", static_cast<unsigned short>(r->bvis));
    DebugPrintf(" wthr = %s\n", r->wthr);
    DebugPrintf(" clds = %s\n", r->clds);
    DebugPrintf(" vvis = %s\n", r->vvis);
    DebugPrintf(" clng = %d\n", static_cast<int>(r->clng));
    DebugPrintf(" temp = %s\n", r->temp);
    DebugPrintf(" btmp = %hd\n", static_cast<short>(r->btmp));
    DebugPrintf(" dpnt = %hd\n", static_cast<short>(r->dpnt));
    DebugPrintf(" baro = %s\n", r->baro);
    DebugPrintf(" bbro = %hd\n", static_cast<short>(r->bbro));
    DebugPrintf(" rmrk = %s\n", r->rmrk);
}
