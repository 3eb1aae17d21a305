#include "nav/aviation.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ostimer.h"
#include "core/serial.h"
#include "nav/navmerge.h"
#include "nav/navsrc.h"

AvtnGpsRec G_AvtnGps[3];

namespace {

constexpr uint8_t kStx = 0x02, kEtx = 0x03, kCr = 0x0D;
constexpr int32_t kItemMax = 24;   // longest item kept

// Digits of an item's field as an integer (signs are letters in this format).
int32_t Digits(const char* s, int32_t n) {
    int32_t v = 0;
    for (int32_t i = 0; i < n; ++i)
        if (s[i] >= '0' && s[i] <= '9') v = v * 10 + (s[i] - '0');
    return v;
}

// The first character after the designator that is not a blank, or 0.
char Letter(const char* s, int32_t n, int32_t* at) {
    int32_t i = 1;
    while (i < n && s[i] == ' ') ++i;
    *at = i + 1;
    return i < n ? s[i] : 0;
}

// "A N dd mmhh" / "B W ddd mmhh": hemisphere, degrees, minutes in hundredths.
float Coordinate(const char* s, int32_t n, char negative) {
    int32_t i = 0;
    const char hemi = Letter(s, n, &i);
    while (i < n && s[i] == ' ') ++i;
    int32_t j = i;
    while (j < n && s[j] != ' ') ++j;
    const int32_t deg = Digits(s + i, j - i);
    const int32_t hundredths = j < n ? Digits(s + j, n - j) : 0;
    const float v = static_cast<float>(deg + hundredths / 6000.0);
    return hemi == negative ? -v : v;
}

// A value signed by its letter ("L0045", "E020").
int32_t SignedByLetter(const char* s, int32_t n, char negative) {
    int32_t i = 0;
    const char c = Letter(s, n, &i);
    const int32_t v = i < n ? Digits(s + i, n - i) : 0;
    return c == negative ? -v : v;
}

void Item(AvtnGpsRec& r, const char* s, int32_t n) {
    switch (s[0]) {
    case 'A': r.fLat = Coordinate(s, n, 'S'); r.bHasPos = 1; break;
    case 'B': r.fLon = Coordinate(s, n, 'W'); break;
    case 'C': r.nTrack = Digits(s + 1, n - 1); break;
    case 'D': r.nSpeed = Digits(s + 1, n - 1); break;
    case 'E': r.nDistance = Digits(s + 1, n - 1); r.bHasWpt = 1; break;
    case 'G': r.nXtk = SignedByLetter(s, n, 'L'); r.bHasXtk = 1; break;
    case 'I': r.nDtk = Digits(s + 1, n - 1); r.bHasDtk = 1; break;
    case 'K': {
        int32_t k = n - 1 < 5 ? n - 1 : 5;
        std::memset(r.szWaypoint, 0, sizeof r.szWaypoint);
        std::memcpy(r.szWaypoint, s + 1, static_cast<size_t>(k > 0 ? k : 0));
        while (k > 0 && r.szWaypoint[k - 1] == ' ') r.szWaypoint[--k] = 0;
        break;
    }
    case 'L': r.nBearing = Digits(s + 1, n - 1); r.bHasBrg = 1; break;
    case 'Q': r.nVariation = SignedByLetter(s, n, 'E'); break;
    case 'S': r.cStatus = std::memchr(s + 1, 'N', static_cast<size_t>(n - 1)) != nullptr ? 'V' : 'A'; break;
    default: break;
    }
}

int32_t Put(uint8_t* buf, int32_t at, int32_t size, const char* text) {
    const int32_t n = static_cast<int32_t>(std::strlen(text));
    if (at + n + 1 > size) return at;
    std::memcpy(buf + at, text, static_cast<size_t>(n));
    buf[at + n] = kCr;
    return at + n + 1;
}

}  // namespace

bool AvtnParse(const uint8_t* msg, int32_t length, uint32_t port) {
    const int32_t slot = NavSlotOfPort(port);
    if (slot < 0 || msg == nullptr || length < 3 || msg[0] != kStx) return false;
    int32_t end = length;
    while (end > 0 && msg[end - 1] != kEtx) --end;
    if (end <= 1) return false;
    AvtnGpsRec r = G_AvtnGps[slot];
    r.cStatus = 'A';
    r.bHasPos = r.bHasWpt = r.bHasXtk = r.bHasDtk = r.bHasBrg = 0;
    int32_t start = 1;
    for (int32_t i = 1; i < end; ++i) {
        const uint8_t c = msg[i];
        if (c != kCr && c != 0x0A && c != kEtx) continue;
        const int32_t n = i - start;
        if (n > 0 && n <= kItemMax) Item(r, reinterpret_cast<const char*>(msg + start), n);
        start = i + 1;
    }
    r.bReceived = 1;
    r.nStamp = ReadOsTimer();
    G_AvtnGps[slot] = r;
    return true;
}

void ParseAvaiationMsg(uint8_t* msg, int32_t length, uint32_t port) {
    if (length > kSerialMsgSize) length = kSerialMsgSize;
    if (AvtnParse(msg, length, port)) G_Serial[port].nRxCount = 1;
}

void ClearAvtnGps() { std::memset(&G_AvtnGps[0], 0, sizeof G_AvtnGps[0]); }

int32_t AvtnBuildOutput(int32_t slot, uint8_t* buf, int32_t size) {
    if (slot < 0 || slot >= kNavSlots || size < 2) return 0;
    const NavSrcRec& r = G_NavSrc.rec[slot];
    char item[32];
    int32_t at = 0;
    buf[at++] = kStx;
    if (NavHasPosition(r)) {
        const float lat = r.fLat < 0 ? -r.fLat : r.fLat, lon = r.fLon < 0 ? -r.fLon : r.fLon;
        const int32_t latD = static_cast<int32_t>(lat), lonD = static_cast<int32_t>(lon);
        std::snprintf(item, sizeof item, "A %c %02d %04d", r.fLat < 0 ? 'S' : 'N', static_cast<int>(latD),
                      static_cast<int>(NavRound((lat - latD) * 6000.0)));
        at = Put(buf, at, size, item);
        std::snprintf(item, sizeof item, "B %c %03d %04d", r.fLon < 0 ? 'W' : 'E', static_cast<int>(lonD),
                      static_cast<int>(NavRound((lon - lonD) * 6000.0)));
        at = Put(buf, at, size, item);
    }
    std::snprintf(item, sizeof item, "C%03d", static_cast<int>(NavRound(r.nTrackMag / 10.0) % 360));
    at = Put(buf, at, size, item);
    std::snprintf(item, sizeof item, "D%03d", static_cast<int>(NavRound(r.nGroundSpeed / 10.0)));
    at = Put(buf, at, size, item);
    if (r.nGpsFlagsA & kNavGpsWptValid) {
        std::snprintf(item, sizeof item, "E%05d", static_cast<int>(r.nDistance));
        at = Put(buf, at, size, item);
        std::snprintf(item, sizeof item, "G%c%04d", r.nCrossTrack < 0 ? 'L' : 'R',
                      static_cast<int>(r.nCrossTrack < 0 ? -r.nCrossTrack : r.nCrossTrack));
        at = Put(buf, at, size, item);
        std::snprintf(item, sizeof item, "I%04d", static_cast<int>(r.nDesiredTrack));
        at = Put(buf, at, size, item);
        std::snprintf(item, sizeof item, "K%-5.5s", r.szWaypoint);
        at = Put(buf, at, size, item);
        std::snprintf(item, sizeof item, "L%04d", static_cast<int>(r.nBearing));
        at = Put(buf, at, size, item);
    }
    std::snprintf(item, sizeof item, "Q%c%03d", r.nMagVar < 0 ? 'E' : 'W', static_cast<int>(r.nMagVar < 0 ? -r.nMagVar : r.nMagVar));
    at = Put(buf, at, size, item);
    if (at < size) buf[at++] = kEtx;
    return at;
}

// The course slot's GPS, else the first GPS slot with data, once a second.
void SendAviationOutput(uint32_t port) {
    int32_t slot = G_NavSrc.hdr.nCrsSlot;
    if (slot >= kNavSlots || !(G_NavSrc.rec[slot].nGpsFlagsA & kNavGpsValid)) slot = SelectGpsSlot(0);
    if (!(G_NavSrc.rec[slot].nGpsFlagsA & kNavGpsValid)) return;
    uint8_t buf[160];
    const int32_t n = AvtnBuildOutput(slot, buf, sizeof buf);
    if (n > 2) SerialWrite(port, buf, n);
}
