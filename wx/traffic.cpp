// The traffic threat list.
#include "wx/traffic.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/byteorder.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/charts.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "ui/pages.h"
#include "ui/style.h"
#include "wx/wx.h"

namespace {

constexpr uint8_t kDle = 0x10;
constexpr int32_t kMark = -10000;
constexpr uint8_t kSerialKind = 1, kDemoKind = 3;

uint32_t Now() { return ReadOsTimer(); }

// Own position in 2^18 units per degree and true track, when the map source has a fix.
bool OwnPosition(MapPoint* pos, int32_t* track) {
    const NavSrcRec& rec = MapSourceRecord();
    if (!MapSourceHasFix(rec)) return false;
    pos->nLat = static_cast<int32_t>(rec.fLat * 262144.0f);
    pos->nLon = static_cast<int32_t>(rec.fLon * 262144.0f);
    *track = rec.nTrackTrue;
    return true;
}

int32_t Mod3600(int64_t v) { return static_cast<int32_t>(((v % 3600) + 3600) % 3600); }

void FillTarget(TrafficTarget& t, const uint8_t* rec, const MapPoint& own, int32_t ownTrack) {
    t = {};
    t.nMark = kMark;
    if (rec[0] == 1) t.nFlags |= kTrafficProximity;
    if (rec[1] == 1) t.nFlags |= kTrafficClimb;
    if (rec[1] == 2) t.nFlags |= kTrafficDescend;
    t.nTrack = uint32_t{rec[2]} * 450;
    t.nDistance = uint32_t{rec[3]} * 100 / 8;
    t.nBearing = Le16(rec + 4) * 10;
    t.nRelAlt = static_cast<int16_t>(Le16(rec + 6)) * 100;
    const int32_t course = Mod3600(int64_t{t.nBearing} + ownTrack + 3600);
    const MapPoint* at = CalcDestPoint(static_cast<int32_t>(t.nDistance), course, own);
    t.nLat = at->nLat;
    t.nLon = at->nLon;
}

// 0x10 0x10 is one 0x10; a 0x10 before any other byte is dropped. Byte 0 is kept.
int32_t Unstuff(const uint8_t* in, int32_t length, uint8_t* out) {
    int32_t n = 0;
    out[n++] = in[0];
    for (int32_t i = 1; i < length; ++i) {
        if (in[i] != kDle) {
            out[n++] = in[i];
        } else if (i + 1 < length && in[i + 1] == kDle) {
            out[n++] = kDle;
            ++i;
        }
    }
    return n;
}

uint8_t Checksum(const uint8_t* bytes, int32_t count) {
    uint32_t sum = 0;
    for (int32_t i = 0; i < count; ++i) sum += bytes[i];
    return static_cast<uint8_t>(0u - sum);
}

// ---- the demonstration targets ------------------------------------------------------------------

struct DemoTarget {
    uint8_t rec[kTrafficRecBytes];
    uint32_t nCounter;
};
DemoTarget s_demoA = {{}, 180}, s_demoB = {{}, 180}, s_demoC = {{}, 180};
uint32_t s_demoSteps = 0;

constexpr uint8_t kDemoAStart[kTrafficRecBytes] = {0x00, 0x01, 0x05, 0x28, 0x2D, 0x00, 0xFB, 0xFF};
constexpr uint8_t kDemoBStart[kTrafficRecBytes] = {0x00, 0x00, 0x04, 0x28, 0x2D, 0x00, 0x14, 0x00};
constexpr uint8_t kDemoCStart[kTrafficRecBytes] = {0x00, 0x00, 0x00, 0x30, 0xB4, 0x00, 0x00, 0x00};

uint16_t Bearing(const uint8_t* rec) { return static_cast<uint16_t>(Le16(rec + 4)); }
void SetBearing(uint8_t* rec, uint32_t v) {
    rec[4] = static_cast<uint8_t>(v);
    rec[5] = static_cast<uint8_t>(v >> 8);
}
void AddAltitude(uint8_t* rec, int32_t hundreds) {
    const uint16_t v = static_cast<uint16_t>(Le16(rec + 6) + static_cast<uint32_t>(hundreds));
    rec[6] = static_cast<uint8_t>(v);
    rec[7] = static_cast<uint8_t>(v >> 8);
}

void StepDemoA(int32_t) {
    uint8_t* r = s_demoA.rec;
    if (s_demoA.nCounter++ > 59) {
        std::memcpy(r, kDemoAStart, sizeof kDemoAStart);
        s_demoA.nCounter = 0;
    }
    r[1] = 1;
    r[2] = 5;
    if (static_cast<uint16_t>(Bearing(r) - 46) <= 269) ++r[3];
    else if (r[3] > 10) --r[3];
    r[0] = r[3] <= 14 ? 1 : 0;
    SetBearing(r, (Bearing(r) + 357u) % 360u);
    AddAltitude(r, 1);
}

void StepDemoB(int32_t) {
    uint8_t* r = s_demoB.rec;
    if (s_demoB.nCounter++ > 39) {
        std::memcpy(r, kDemoBStart, sizeof kDemoBStart);
        s_demoB.nCounter = 0;
    }
    r[1] = 2;
    r[2] = 4;
    if (s_demoB.nCounter <= 19) --r[3];
    else ++r[3];
    r[0] = r[3] <= 14 ? 1 : 0;
    SetBearing(r, (Bearing(r) + 3u) % 360u);
    AddAltitude(r, -1);
}

void StepDemoC(int32_t ownTrack) {
    uint8_t* r = s_demoC.rec;
    std::memcpy(r, kDemoCStart, sizeof kDemoCStart);
    const int32_t track = Mod3600(ownTrack);
    r[2] = static_cast<uint8_t>(track / 450);
    SetBearing(r, static_cast<uint32_t>(Mod3600(track + 3300) / 10));
}

// ---- drawing ------------------------------------------------------------------------------------

constexpr uint32_t kBlack = 0, kRed = 2, kGreen = 5, kYellow = 14, kWhite = 31;

int32_t Oy() { return static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

void Line(int32_t x0, int32_t y0, int32_t x1, int32_t y1) { GUI_DrawLine(x0, y0 + Oy(), x1, y1 + Oy()); }

const GUI_Point kDiamond[4] = {{0, -10}, {10, 0}, {0, 10}, {-10, 0}};

void Diamond(int32_t x, int32_t y) { GUI_DrawPolygon(kDiamond, 4, x, y + Oy()); }

// The line along the target's track, d in tenths of a degree on the screen.
void TrackLine(int32_t x, int32_t y, int32_t d, int32_t r0, int32_t r1) {
    const int64_t c = CosTab10[Mod3600(d)], s = SinTab10[Mod3600(d)];
    Line(x + static_cast<int32_t>((r0 * c) >> 18), y + static_cast<int32_t>((r0 * s) >> 18),
         x + static_cast<int32_t>((r1 * c) >> 18), y + static_cast<int32_t>((r1 * s) >> 18));
}

void TrendArrow(int32_t x, int32_t y, uint32_t flags) {
    if (!(flags & (kTrafficClimb | kTrafficDescend))) return;
    Line(x + 16, y - 8, x + 16, y + 8);
    const int32_t head = (flags & kTrafficClimb) ? -1 : 1;
    Line(x + 13, y + 5 * head, x + 16, y + 8 * head);
    Line(x + 19, y + 5 * head, x + 16, y + 8 * head);
}

// The relative altitude in hundreds of feet and whether it goes above the symbol.
struct AltText {
    char text[12];
    bool above;
};
AltText AltitudeText(int32_t feet) {
    AltText a = {};
    const int32_t h = feet / 100;
    if (h == 0 || h == 32768) {
        std::memcpy(a.text, "00", 3);
        a.above = true;
    } else if (h > 0) {
        std::snprintf(a.text, sizeof a.text, "+%02d", static_cast<int>(h));
        a.above = true;
    } else {
        std::snprintf(a.text, sizeof a.text, "-%02d", static_cast<int>(-static_cast<int64_t>(h)));
        a.above = false;
    }
    return a;
}

constexpr int32_t kCentred = 22;   // text style: centred on the point, transparent

void DrawMapTarget(const TrafficTarget& t, int32_t x, int32_t y, bool valid) {
    const uint32_t outline = valid ? kBlack : kRed;
    if (t.nFlags & kTrafficProximity) {
        SetDrawColor(outline);
        GUI_FillCircle(x, y + Oy(), 14);
        SetDrawColor(kWhite);
        GUI_FillCircle(x, y + Oy(), 12);
        SetDrawColor(kBlack);
        GUI_FillCircle(x, y + Oy(), 10);
        SetDrawColor(kYellow);
        GUI_FillCircle(x, y + Oy(), 8);
    } else {
        GUI_SetPenSize(5);
        SetDrawColor(outline);
        Diamond(x, y);
        GUI_SetPenSize(2);
        SetDrawColor(kWhite);
        Diamond(x, y);
    }
    if (t.nTrack != 0xFFFFFFFFu) {
        const int32_t d = Mod3600(int64_t{t.nTrack} - G_MapRotation + 6300);
        GUI_SetPenSize(5);
        SetDrawColor(kBlack);
        TrackLine(x, y, d, 18, 45);
        GUI_SetPenSize(2);
        SetDrawColor(kWhite);
        TrackLine(x, y, d, 18, 45);
    }
    GUI_SetPenSize(4);
    SetDrawColor(kBlack);
    TrendArrow(x, y, t.nFlags);
    GUI_SetPenSize(2);
    SetDrawColor(kWhite);
    TrendArrow(x, y, t.nFlags);
    const AltText alt = AltitudeText(t.nRelAlt);
    DrawTextF(kWhite, 9, kCentred, x, alt.above ? y - 16 : y + 17, "%s", alt.text);
}

int32_t DrawnCount() {
    const int32_t count = G_Traffic.nCount;
    if (count <= kTrafficTargets) return count;
    DebugPrintf("TRAFFIC: numThreats out of bounds --> %d\n", static_cast<int>(count));
    return kTrafficTargets;
}

int32_t RoundHalfAway(double v) {
    if (!(v == v)) return 0;
    return v >= 2147483647.0 ? INT32_MAX : v <= -2147483648.0 ? INT32_MIN : static_cast<int32_t>(std::lround(v));
}
int16_t Sat16(int32_t v) { return static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : v < INT16_MIN ? INT16_MIN : v); }

void DrawChartTarget(const TrafficTarget& t, int32_t x, int32_t y) {
    GUI_SetPenSize(2);
    SetDrawColor(kRed);
    if (t.nFlags & kTrafficProximity) {
        GUI_FillCircle(x, y + Oy(), 10);
        GUI_FillCircle(x, y + Oy(), 9);
    } else {
        Diamond(x, y);
    }
    if (t.nTrack != 0xFFFFFFFFu) TrackLine(x, y, Mod3600(int64_t{t.nTrack} + 6300), 18, 38);
    TrendArrow(x, y, t.nFlags);
    // The 24 x 13 box clear of the symbol (which reaches 10 px up and down).
    const AltText alt = AltitudeText(t.nRelAlt);
    const int32_t cy = alt.above ? y - 18 : y + 18;
    SetDrawColor(kWhite);
    GUI_FillRect(x - 12, cy - 6 + Oy(), x + 11, cy + 6 + Oy());
    DrawTextF(kRed, 7, kCentred, x, cy, "%s", alt.text);
}

}  // namespace

void TrafficInit() { TrafficClear(); }

void TrafficClear() {
    G_Traffic = {};
    G_Traffic.nStamp = Now();
}

int32_t TrafficAddTarget(const uint8_t* rec) {
    MapPoint own;
    int32_t track = 0;
    if (!OwnPosition(&own, &track) || G_Traffic.nCount >= kTrafficTargets) return 0;
    FillTarget(G_Traffic.target[G_Traffic.nCount], rec, own, track);
    ++G_Traffic.nCount;
    G_Traffic.nStamp = Now();
    return 1;
}

int32_t TrafficParseTargets(const uint8_t* msg, int32_t length) {
    std::memset(G_Traffic.target, 0, sizeof G_Traffic.target);
    G_Traffic.nStamp = Now();
    MapPoint own;
    int32_t track = 0;
    if (!OwnPosition(&own, &track)) {
        G_Traffic.nCount = 0;
        return 0;
    }
    // No more targets than the message holds: 11 header bytes, 8 a target, checksum and end.
    int32_t count = msg[5] < kTrafficTargets ? msg[5] : kTrafficTargets;
    const int32_t held = (length - kTrafficMsgHead - 2) / kTrafficRecBytes;
    if (count > held) count = held < 0 ? 0 : held;
    G_Traffic.nCount = static_cast<uint8_t>(count);
    G_Traffic.nStatusA = msg[3];
    G_Traffic.nStatusB = msg[4];
    G_Traffic.nStamp = Now();
    for (int32_t k = 0; k < count; ++k)
        FillTarget(G_Traffic.target[k], msg + kTrafficMsgHead + k * kTrafficRecBytes, own, track);
    return 1;
}

void TrafficRxMsg(uint8_t* msg, int32_t length, uint32_t port) {
    if (msg == nullptr || length >= kTrafficMsgMax || length < 2 || msg[1] != kTrafficMsgId) return;
    uint8_t plain[kTrafficMsgMax];
    const int32_t n = Unstuff(msg, length, plain);
    if (n < kTrafficMsgHead + 2) return;
    const uint8_t computed = Checksum(plain + 1, n - 3), received = plain[n - 2];
    if (computed != received) {
        DebugPrintf("TRAFFIC: bgc %x/%x\n", computed, received);
        return;
    }
    NetStreamCfg& s = G_NetStreamCfg[kStreamTraffic];
    if (s.NET != kSerialKind || s.DSRC != kSerialKind) {
        s.NET = s.DSRC = kSerialKind;
        DebugPrintf("DEBUG: Serial Data Recvd on Port:%d switch to SERIAL\n", static_cast<int>(port));
    }
    TrafficParseTargets(plain, n);
}

void TrafficSendMsg8C(uint32_t port, int32_t count, const uint8_t* rec1, const uint8_t* rec2, const uint8_t* rec3) {
    if (count < 1 || count > 3 || rec1 == nullptr) return;
    uint8_t plain[kTrafficMsgHead + 3 * kTrafficRecBytes];
    const uint8_t head[kTrafficMsgHead - 1] = {kTrafficMsgId, static_cast<uint8_t>(8 + 8 * count), 4, 6,
                                               static_cast<uint8_t>(count), 0, 0x67, 1, 0, 0};
    int32_t n = 0;
    for (uint8_t b : head) plain[n++] = b;
    const uint8_t* recs[3] = {rec1, count >= 2 ? rec2 : nullptr, count >= 3 ? rec3 : nullptr};
    for (const uint8_t* r : recs) {
        if (r == nullptr) continue;
        std::memcpy(plain + n, r, kTrafficRecBytes);
        n += kTrafficRecBytes;
    }
    uint8_t wire[2 * sizeof plain + 4];
    int32_t w = 0;
    wire[w++] = kDle;
    for (int32_t i = 0; i < n; ++i) {
        wire[w++] = plain[i];
        if (plain[i] == kDle && i > 0) wire[w++] = kDle;
    }
    // Doubled like any other 0x10: an undoubled one would pair with the DLE of
    // the DLE ETX and the message would never end for a framer.
    const uint8_t sum = Checksum(plain, n);
    wire[w++] = sum;
    if (sum == kDle) wire[w++] = kDle;
    wire[w++] = kDle;
    wire[w++] = 0x03;
    SerialWrite(port, wire, w);
}

uint32_t TrafficDemoSteps() { return s_demoSteps; }

void TrafficDemoTargets() {
    ++s_demoSteps;
    MapPoint own;
    int32_t track = 0;
    if (!OwnPosition(&own, &track)) track = MapSourceRecord().nTrackTrue;
    StepDemoA(track);
    StepDemoB(track);
    StepDemoC(track);
    if (G_NetStreamCfg[kStreamTraffic].DSRC == kDemoKind) {
        TrafficClear();
        G_Traffic.nStatusA = 4;
        G_Traffic.nStatusB = 0;
        TrafficAddTarget(s_demoA.rec);
        TrafficAddTarget(s_demoB.rec);
        TrafficAddTarget(s_demoC.rec);
    }
    TrafficSendMsg8C(G_AltOutPort, 3, s_demoA.rec, s_demoB.rec, s_demoC.rec);
}

int32_t TrafficDataValid() {
    const uint32_t age = Now() - G_Traffic.nStamp;
    if (age > kTrafficClearTicks) {
        TrafficClear();
        return 0;
    }
    if (age >= kTrafficStaleTicks) return 0;
    return G_Traffic.nStatusA == 3 && G_Traffic.nStatusB >= 6 ? 0 : 1;
}

void TrafficDrawPage() {
    const bool valid = TrafficDataValid() != 0;
    const int32_t count = DrawnCount();
    if (G_Traffic.nStatusA < 2) return;
    const PaneRecord& p = G_MapPane;
    DrawTextF(kBlack, 7, 0, p.x0 + 6, p.y1 - 15, "TRFC");
    DrawTextF(kGreen, 7, 0, p.x0 + 5, p.y1 - 16, "TRFC");
    const MapPoint ref = {G_MapFrame.nRefLat, G_MapFrame.nRefLon};
    for (int32_t k = 0; k < count; ++k) {
        const TrafficTarget& t = G_Traffic.target[k];
        int32_t x = 0, y = 0;
        MapProject(ref, MapPoint{t.nLat, t.nLon}, &x, &y);
        DrawMapTarget(t, x, y, valid);
    }
    GUI_SetPenSize(1);
}

void TrafficDrawOverlay(const ChartPageEntry* entry, GUI_Point minCorner, GUI_Point maxCorner) {
    TrafficDataValid();
    if (entry == nullptr || G_Traffic.nStatusA <= 1) return;
    const ChartPageEntry& e = *entry;
    const int32_t count = DrawnCount();
    for (int32_t k = 0; k < count; ++k) {
        const TrafficTarget& t = G_Traffic.target[k];
        GUI_Point at;
        if (e.fRotation != 0.0f) {
            at = ChartGeoToScreen(e, t.nLat, t.nLon);
        } else {
            at.x = Sat16(RoundHalfAway(t.nLon / 262144.0 * e.fXScale + e.fXOffset));
            at.y = Sat16(RoundHalfAway(t.nLat / 262144.0 * e.fYScale + e.fYOffset - G_Chart.nScrollY));
        }
        if (at.x <= minCorner.x || at.x >= maxCorner.x || at.y <= minCorner.y || at.y >= maxCorner.y) continue;
        DrawChartTarget(t, at.x, at.y);
    }
    GUI_SetPenSize(1);
}
