// TFR areas. The XML is scanned, not parsed: opening tags are found, the
// matching closing tag by a substring search, and element text copied with
// five entities decoded, one level deep. Names, texts and counts are all
// bounded by the scratch buffers and the record and point tables.
#include "wx/tfr.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/syslog.h"
#include "core/util.h"
#include "map/map.h"
#include "map/mapmath.h"
#include "wx/wx.h"

WxTfrRecord G_WxTfr[kWxTfrRecords];
WxTfrPoint  G_WxTfrPoints[kWxTfrPointSlots];

namespace {

constexpr int16_t kBoxEmpty = 32580;   // 181 degrees
constexpr float   kUnits = 262144.0f;
constexpr uint32_t kCloseNameChars = 16;
constexpr uint32_t kTolerance = 5;     // minutes either side of the area's times

struct TextBuf {
    char name[kWxXmlNameBytes];
    char text[kWxXmlTextBytes];
};
TextBuf s_set, s_record, s_date;

uint32_t Left(const char* p, const char* end) { return p < end ? static_cast<uint32_t>(end - p) : 0; }
bool Named(const char* name, const char* keyword) { return std::strncmp(name, keyword, std::strlen(keyword)) == 0; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Length of "</name>" for a name the closing search takes.
uint32_t CloseTagLength(const char* name) {
    const size_t n = std::strlen(name);
    return static_cast<uint32_t>((n < kCloseNameChars ? n : kCloseNameChars) + 3);
}
bool SelfClosed(const char* name) {
    const size_t n = std::strlen(name);
    return n > 0 && name[n - 1] == '/';
}

WxTfrRecord* NewRecord() {
    if (G_Wx.nTfrCount >= kWxTfrRecords) return nullptr;
    WxTfrRecord* r = &G_WxTfr[G_Wx.nTfrCount++];
    r->cClass = 'T';
    return r;
}

// ---- dates ------------------------------------------------------------------------------------

// "month/day/year hour:minute:second AM|PM": 12 AM is hour 0, 12 PM hour 12.
void ReadDate(const char* p, uint32_t length, uint32_t* out) {
    const char* end = p + length;
    while (const char* open = WxXmlFindOpenTag(p, Left(p, end))) {
        const char* after = WxXmlNextTag(open, s_date.name, Left(open, end));
        if (!after) return;
        p = after;
        if (!Named(s_date.name, "TEXT")) continue;
        const int32_t l = WxXmlCloseTagOffset(after, s_date.name, Left(after, end));
        if (l < 0 || l > static_cast<int32_t>(kWxXmlTextBytes) - 1) {
            DebugPrintf("WX: tfrdtl\n");
            return;
        }
        if (l < 1) {
            *out = 0;
            return;
        }
        if (!WxXmlCopyText(after, s_date.text, static_cast<uint32_t>(l))) return;
        unsigned month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
        char half[3] = {};
        const int got = std::sscanf(s_date.text, "%u/%u/%u %u:%u:%u %2s", &month, &day, &year, &hour, &minute,
                                    &second, half);
        if (got < 7) {
            DebugPrintf("WX: tfrdi (%d)\n", got);
            return;
        }
        hour = hour % 12 + (half[0] == 'P' ? 12 : 0);
        *out = WxTfrMinuteKey(year, month, day, hour, minute);
        return;
    }
}

// ---- shapes -----------------------------------------------------------------------------------

WxTfrPoint* NewPoint(WxTfrRecord* rec) {
    if (G_Wx.nTfrPoints + 2 > kWxTfrMaxPoints + 1) return nullptr;
    ++rec->nPoints;
    return &G_WxTfrPoints[G_Wx.nTfrPoints++];
}

// Radii above 100 (nautical miles for circles, degrees for arcs) are taken as 5 NM.
constexpr float kFallbackDeg = 5.0f / 60.0f;

void ArcShape(const char* at, WxTfrRecord* rec) {
    char dir = 0, h[4] = {};
    float v[4] = {};
    const int got = std::sscanf(at, "A%c%c%f%c%f%c%f%c%f", &dir, &h[0], &v[0], &h[1], &v[1], &h[2], &v[2], &h[3], &v[3]);
    if (got < 9) {
        DebugPrintf("WX: btfrbpa (%d)\n", got);
        return;
    }
    WxTfrPoint* p = NewPoint(rec);
    if (!p) return;
    p->nKind = dir == '-' ? kTfrArcCcw : kTfrArc;
    p->nA = WxTfrCoord(h[0], v[0]);
    p->nB = WxTfrCoord(h[1], v[1]);
    p->nLat = WxTfrCoord(h[2], v[2]);
    p->nLon = WxTfrCoord(h[3], v[3]);
    float radius = MapFlatDistDeg(MapPoint{p->nA, p->nB}, MapPoint{p->nLat, p->nLon});
    if (radius > 100) {
        radius = kFallbackDeg;
        DebugPrintf("WX: tfrira (%d)\n", static_cast<int>(radius * kUnits));
    }
    p->nRadius = static_cast<int32_t>(radius * kUnits);
}

void CircleShape(const char* at, WxTfrRecord* rec) {
    char h[2] = {};
    float lat = 0, lon = 0, nm = 0;
    const int got = std::sscanf(at, "C%c%f%c%fR%f", &h[0], &lat, &h[1], &lon, &nm);
    if (got < 5) {
        DebugPrintf("WX: btfrbpc (%d)\n", got);
        return;
    }
    WxTfrPoint* p = NewPoint(rec);
    if (!p) return;
    p->nKind = kTfrCircle;
    p->nLat = WxTfrCoord(h[0], lat);
    p->nLon = WxTfrCoord(h[1], lon);
    float deg = nm / 60.0f;
    if (nm > 100) {
        deg = kFallbackDeg;
        DebugPrintf("WX: tfrirc (%d)\n", static_cast<int>(deg * kUnits));
    }
    p->nRadius = static_cast<int32_t>(deg * kUnits);
}

void LineShape(const char* at, WxTfrRecord* rec) {
    char h[2] = {};
    float lat = 0, lon = 0;
    const int got = std::sscanf(at, "L%c%f%c%f", &h[0], &lat, &h[1], &lon);
    if (got < 4) {
        DebugPrintf("WX: btfrbpl (%d)\n", got);
        return;
    }
    WxTfrPoint* p = NewPoint(rec);
    if (!p) return;
    p->nKind = kTfrLine;
    p->nLat = WxTfrCoord(h[0], lat);
    p->nLon = WxTfrCoord(h[1], lon);
}

// The BOUND text (0-terminated, changed in place); 'B' or 'R' before a letter starts another area.
void ParseShapes(char* text, uint32_t length, WxTfrRecord* rec) {
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] == 'e' || text[i] == 'E') text[i] = 'O';
    }
    for (uint32_t i = 0; i < length; ++i) {
        const char c = text[i];
        if (c == 'A') ArcShape(text + i, rec);
        else if (c == 'C') CircleShape(text + i, rec);
        else if (c == 'L') LineShape(text + i, rec);
        else if ((c == 'B' || c == 'R') && i > 0 && IsLetter(text[i + 1])) {
            rec = NewRecord();
            if (!rec) return;
        }
    }
}

// ---- records ----------------------------------------------------------------------------------

void ReadAltitude(const char* text, WxTfrRecord* rec, bool lower) {
    short value = 0;
    char unit = 0;
    if (std::sscanf(text, "%hd%c", &value, &unit) != 2) return;
    if (lower) rec->nLower = value == 0 ? kTfrSurface : value;
    else rec->nUpper = value;
    if (unit == 'M') rec->nFlags |= lower ? kTfrLowerMsl : kTfrUpperMsl;
    if (unit == 'A') rec->nFlags |= lower ? kTfrLowerAgl : kTfrUpperAgl;
}

// One element of a record; false when its text could not be copied.
bool RecordElement(const char* name, const char* p, uint32_t l, WxTfrRecord* rec) {
    char* text = s_record.text;
    if (Named(name, "ACTIVE")) {
        ReadDate(p, l, &rec->nActive);
    } else if (Named(name, "EXPIRES")) {
        ReadDate(p, l, &rec->nExpires);
    } else if (Named(name, "BOUND")) {
        if (!WxXmlCopyText(p, text, l)) return false;
        ParseShapes(text, static_cast<uint32_t>(std::strlen(text)), rec);
    } else if (Named(name, "MINALT") || Named(name, "MAXALT")) {
        if (!WxXmlCopyText(p, text, l)) return false;
        ReadAltitude(text, rec, Named(name, "MINALT"));
    } else if (Named(name, "NAME")) {
        if (!WxXmlCopyText(p, text, l)) return false;
    } else if (Named(name, "TYPE")) {
        if (!WxXmlCopyText(p, text, l)) return false;
        std::memcpy(rec->szType, text, sizeof rec->szType - 1);
        rec->szType[sizeof rec->szType - 1] = '\0';
    }
    return true;
}

// The content of one TFR element; the position after it, or null when a text copy failed.
const char* ParseRecord(const char* p, uint32_t length) {
    const char* end = p + length;
    WxTfrRecord* rec = NewRecord();
    if (!rec) return end;
    while (const char* open = WxXmlFindOpenTag(p, Left(p, end))) {
        const char* after = WxXmlNextTag(open, s_record.name, Left(open, end));
        if (!after) break;
        p = after;
        const int32_t l = WxXmlCloseTagOffset(after, s_record.name, Left(after, end));
        if (l < 0 || l >= static_cast<int32_t>(kWxXmlTextBytes)) continue;   // looked into instead
        if (SelfClosed(s_record.name)) continue;
        // An element in the BOUND may open further areas: later fields go to the first one.
        if (!RecordElement(s_record.name, after, static_cast<uint32_t>(l), rec)) return nullptr;
        p = after + l + CloseTagLength(s_record.name);
    }
    return end;
}

int32_t Angle(const WxTfrPoint& centre, int32_t lat, int32_t lon) {
    const float dLat = static_cast<float>(lat - centre.nLat) / kUnits;
    const float dLon = static_cast<float>(lon - centre.nLon) / kUnits;
    const float latDeg = static_cast<float>(lat) / kUnits;
    return static_cast<int32_t>(std::atan2(dLon * std::cos(latDeg * 0.017453f), -dLat) * kUnits);
}

// Boxes, closed outlines and arc angles, record by record.
void FinishRecords() {
    uint32_t first = 0;
    for (uint32_t r = 0; r < G_Wx.nTfrCount; ++r) {
        WxTfrRecord& rec = G_WxTfr[r];
        rec.nMinLon = rec.nMinLat = kBoxEmpty;
        rec.nMaxLon = rec.nMaxLat = -kBoxEmpty;
        if (rec.nActive != 0 && rec.nExpires == 0) rec.nExpires = kWxTfrNoExpiry;
        const uint32_t count = first + rec.nPoints <= G_Wx.nTfrPoints ? rec.nPoints : 0;
        // The first pairs as read: an outline's next point is where the text put it.
        MapPoint given[kWxTfrPointSlots];
        for (uint32_t k = 0; k < count; ++k) given[k] = {G_WxTfrPoints[first + k].nLat, G_WxTfrPoints[first + k].nLon};
        for (uint32_t k = 0; k < count; ++k) {
            WxTfrPoint& p = G_WxTfrPoints[first + k];
            const MapPoint& next = given[k + 1 < count ? k + 1 : 0];
            if (p.nKind == kTfrCircle) {
                WxTfrBoxAdd(&rec, p.nLat + p.nRadius, p.nLon);
                WxTfrBoxAdd(&rec, p.nLat - p.nRadius, p.nLon);
                WxTfrBoxAdd(&rec, p.nLat, p.nLon + p.nRadius);
                WxTfrBoxAdd(&rec, p.nLat, p.nLon - p.nRadius);
                continue;
            }
            WxTfrBoxAdd(&rec, p.nLat, p.nLon);
            if (p.nKind == kTfrLine) {
                p.nA = next.nLat;
                p.nB = next.nLon;
            } else {
                const int32_t startLat = p.nLat, startLon = p.nLon;
                p.nLat = p.nA;
                p.nLon = p.nB;
                const int32_t start = Angle(p, startLat, startLon), stop = Angle(p, next.nLat, next.nLon);
                p.nA = p.nKind == kTfrArcCcw ? start : stop;
                p.nB = p.nKind == kTfrArcCcw ? stop : start;
            }
        }
        first += count;
    }
}

void ClearTfrs() {
    std::memset(G_WxTfr, 0, sizeof G_WxTfr);
    std::memset(G_WxTfrPoints, 0, sizeof G_WxTfrPoints);
    G_Wx.nTfrCount = 0;
    G_Wx.nTfrPoints = 0;
}

}  // namespace

// ---- the scanner ------------------------------------------------------------------------------

const char* WxMemSearch(const char* text, uint32_t textLen, const char* pattern, uint32_t patternLen) {
    if (!text || !pattern || patternLen == 0 || patternLen > textLen) return nullptr;
    uint32_t shift[256];
    for (uint32_t& s : shift) s = patternLen + 1;
    for (uint32_t i = 0; i < patternLen; ++i) shift[static_cast<uint8_t>(pattern[i])] = patternLen - i;
    uint32_t at = 0;
    while (at + patternLen <= textLen) {
        if (std::memcmp(text + at, pattern, patternLen) == 0) return text + at;
        if (at + patternLen >= textLen) break;
        at += shift[static_cast<uint8_t>(text[at + patternLen])];
    }
    return nullptr;
}

const char* WxXmlFindOpenTag(const char* text, uint32_t length) {
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] == '<' && (i + 1 >= length || text[i + 1] != '/')) return i + 1 < length ? text + i + 1 : nullptr;
    }
    return nullptr;
}

const char* WxXmlNextTag(const char* text, char* name, uint32_t length) {
    uint32_t n = 0;
    for (uint32_t i = 0; i < length; ++i) {
        if (text[i] == '<') break;
        if (text[i] == '>') {
            name[n] = '\0';
            return text + i + 1;
        }
        if (n < kWxXmlNameBytes - 1) name[n++] = text[i];
    }
    name[n] = '\0';
    return nullptr;
}

int32_t WxXmlCloseTagOffset(const char* text, const char* name, uint32_t length) {
    if (SelfClosed(name)) return 0;
    if (std::strlen(name) > kCloseNameChars) return -1;
    char tag[kCloseNameChars + 4];
    const int n = std::snprintf(tag, sizeof tag, "</%.16s>", name);
    const char* at = WxMemSearch(text, length, tag, static_cast<uint32_t>(n));
    return at ? static_cast<int32_t>(at - text) : -1;
}

int32_t WxXmlUnescape(const char* text, char* out, uint32_t remaining) {
    static const struct {
        const char* entity;
        char c;
    } kEntities[] = {{"&amp;", '&'}, {"&gt;", '>'}, {"&lt;", '<'}, {"&apos;", '\''}, {"&quot;", '"'}};
    for (const auto& e : kEntities) {
        const uint32_t n = static_cast<uint32_t>(std::strlen(e.entity));
        if (n <= remaining && strncasecmp(text, e.entity, n) == 0) {
            *out = e.c;
            return static_cast<int32_t>(n - 1);
        }
    }
    *out = '&';
    return 0;
}

const char* WxXmlCopyText(const char* text, char* out, uint32_t length) {
    if (!text || length >= kWxXmlTextBytes) return nullptr;
    uint32_t i = 0, n = 0;
    while (i < length && text[i] != '<') {
        if (text[i] == '&') i += static_cast<uint32_t>(WxXmlUnescape(text + i, &out[n], length - i));
        else out[n] = text[i];
        ++n;
        ++i;
    }
    out[n] = '\0';
    return text + i;
}

uint32_t WxTfrMinuteKey(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute) {
    return (year % 1000) * 552960 + month * 46080 + day * 1440 + hour * 60 + minute;
}

int32_t WxTfrCoord(char hemisphere, float degrees) {
    const int32_t v = static_cast<int32_t>(degrees * kUnits);
    return (hemisphere == 'W' || hemisphere == 'w' || hemisphere == 'S' || hemisphere == 's') ? -v : v;
}

void WxTfrBoxAdd(WxTfrRecord* rec, int32_t lat, int32_t lon) {
    const auto tenth = [](int32_t v) { return static_cast<int16_t>(static_cast<int32_t>(v / kUnits * 180.0f)); };
    const int16_t y = tenth(lat), x = tenth(lon);
    if (x < rec->nMinLon) rec->nMinLon = x;
    if (x > rec->nMaxLon) rec->nMaxLon = x;
    if (y < rec->nMinLat) rec->nMinLat = y;
    if (y > rec->nMaxLat) rec->nMaxLat = y;
}

int32_t WxTfrParseXml(const char* text, uint32_t length) {
    ClearTfrs();
    const char* end = text + length;
    const char* p = text;
    while (const char* open = WxXmlFindOpenTag(p, Left(p, end))) {
        const char* after = WxXmlNextTag(open, s_set.name, Left(open, end));
        if (!after) break;
        p = after;
        const char* name = s_set.name;
        if (Named(name, "TFRSET")) continue;
        const int32_t l = WxXmlCloseTagOffset(after, name, Left(after, end));
        if (Named(name, "TFRCOUNT")) {
            if (l >= 0 && l <= 10) WxXmlCopyText(after, s_set.text, static_cast<uint32_t>(l));
            continue;
        }
        if (!Named(name, "TFR") || name[3] == 'S' || l < 0 || SelfClosed(name)) continue;
        if (!ParseRecord(after, static_cast<uint32_t>(l))) {
            DebugPrintf("WX: pertfr\n");
            break;
        }
        p = after + l + CloseTagLength(name);
    }
    FinishRecords();
    G_Wx.bRedraw = 1;
    DebugPrintf("WX: TFRS (%d)(%d)\n", static_cast<int>(G_Wx.nTfrCount), static_cast<int>(G_Wx.nTfrPoints));
    return 0;
}

// Current from five minutes before ACTIVE until five minutes after EXPIRES
// (active - 5 <= now <= expires + 5); a missing time leaves that side open.
int32_t WxTfrIsCurrent(const WxTfrRecord& rec, uint32_t now) {
    if (rec.nActive != 0 && now + kTolerance < rec.nActive) return 0;
    if (rec.nExpires != 0 && now > rec.nExpires + kTolerance) return 0;
    return 1;
}

void WxDrawTfrLabels(const int16_t* view, const MapPoint& ref) {
    uint32_t first = 0;
    for (uint32_t r = 0; r < G_Wx.nTfrCount && r < kWxTfrRecords; ++r) {
        WxTfrRecord& rec = G_WxTfr[r];
        const uint32_t firstPoint = first;
        first += rec.nPoints;
        if (G_Wx.nRecvTime != 0 && (rec.nActive != 0 || rec.nExpires != 0)) {
            if (WxTfrIsCurrent(rec, G_Wx.nRecvTime)) rec.nFlags &= static_cast<uint16_t>(~kTfrNotCurrent);
            else rec.nFlags |= kTfrNotCurrent;
        }
        if (rec.nMaxLon < view[0] || rec.nMinLon > view[2] || rec.nMaxLat < view[1] || rec.nMinLat > view[3]) continue;
        if (firstPoint + rec.nPoints > G_Wx.nTfrPoints) continue;
        const WxTfrPoint& p = G_WxTfrPoints[firstPoint];
        MapDrawAirspace(reinterpret_cast<const uint8_t*>(&rec), reinterpret_cast<const uint8_t*>(&p));
        if (rec.nPoints == 1 && G_MapZoom > 4) {
            int32_t x = 0, y = 0;
            MapProject(ref, MapPoint{p.nLat, p.nLon}, &x, &y);
            DrawTextF(0, 24, 16, x + 1, y + 11, "%s", rec.szType);
            DrawTextF(1, 24, 16, x, y + 10, "%s", rec.szType);
        }
    }
}
