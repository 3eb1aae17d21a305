// The FIND box: an identifier spelled with the knob, one existing beginning
// at a time, with the details of the waypoint it selects; and the direct-to
// that opens it prefilled with the active waypoint's airport.
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/syslog.h"
#include "core/util.h"
#include "gui/gui.h"
#include "map/mapframe.h"
#include "map/mapmath.h"
#include "map/records.h"
#include "map/waypoints.h"
#include "nav/navsrc.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

namespace {
constexpr char kAlphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int32_t kAlphabetLen = 36;
constexpr int32_t kEditIdBytes = 6;

const char* const kNavaidTypes[] = {"VOR", "DME", "TACAN", "FAN MARKER", "NDB"};
const char* const kFixTypes[] = {"INITIAL APPROACH FIX", "AREA", "CONTROLLER", "SPECIAL IAP", "STAR",
                                 "STD INSTRUMENT DEP", "RNAV LOW", "ENROUTE LOW"};

// Position in the alphabet; the identifier's end and anything else are 36.
int32_t AlphaPos(char c) {
    const char* at = c != '\0' ? std::strchr(kAlphabet, c) : nullptr;
    return at ? static_cast<int32_t>(at - kAlphabet) : kAlphabetLen;
}

void SetEditId(const char* id) {
    std::memset(G_WptDb.szEditId, 0, sizeof G_WptDb.szEditId);
    std::memcpy(G_WptDb.szEditId, id, strnlen(id, kEditIdBytes));
}

// The identifier bytes of a record, terminated.
struct IdText {
    char s[kWptIdBytes + 1];
};
IdText IdOf(const uint8_t* rec, uint32_t at) {
    IdText t{};
    std::memcpy(t.s, rec + at, kWptIdBytes);
    return t;
}

const uint8_t* SelectedRecord(uint32_t* idAt, uint32_t* latAt) {
    switch (G_WptDb.nSelKind) {
    case kWptNavaid: *idAt = nvd::kId; *latAt = nvd::kLat; return G_WptDb.abNavaid;
    case kWptFix: *idAt = fix::kId; *latAt = fix::kLat; return G_WptDb.abFix;
    default: *idAt = apt::kId; *latAt = apt::kLat; return G_WptDb.abAirport;
    }
}

// Walks the entries from n that begin with the key; true when one was selected.
bool SelectFrom(int32_t n, const char* key, size_t keyLen) {
    const int32_t count = static_cast<int32_t>(G_MapHeader.nWptCount);
    while (n < count) {
        const WaypointIndexEntry& e = G_WptIndex[n];
        char id[kWptIdBytes + 1] = {};
        std::memcpy(id, e.id, kWptIdBytes);
        SetEditId(id);
        if (e.nKind == kWptAirport) {
            uint8_t rec[kAirportBytes] = {};
            if (!ReadWaypointRecord(n, rec)) {
                ++n;
                continue;
            }
            const IdText rid = IdOf(rec, apt::kId);
            if (std::strncmp(rid.s, key, keyLen) != 0) {
                DebugPrintf("INFO: ma (%.*s/%s)\n", static_cast<int>(keyLen), rid.s, key);
                return false;
            }
            if (rec[apt::kFlags1] & 0xC0) {   // heliports and water airports are not offered
                ++n;
                continue;
            }
            std::memcpy(G_WptDb.abAirport, rec, sizeof rec);
            G_WptDb.nSelKind = kWptAirport;
            return true;
        }
        if (e.nKind == kWptNavaid && MapReadRecord60(n, G_WptDb.abNavaid)) {
            G_WptDb.nSelKind = kWptNavaid;
            return true;
        }
        if (e.nKind == kWptFix && MapReadRecord26(n, G_WptDb.abFix)) {
            G_WptDb.nSelKind = kWptFix;
            return true;
        }
        if (G_WptDb.nPendingSteps < 0 &&
            (n + 1 >= count || std::strncmp(G_WptIndex[n + 1].id, key, keyLen) != 0))
            return false;
        ++n;
    }
    return false;
}

// The character under the cursor steps to the next one that begins an
// existing identifier, in the direction of the gathered steps.
void RunSearch() {
    const int32_t cur = G_WptDb.nEditCursor % kWptEditCells;
    int32_t a = AlphaPos(G_WptDb.szEditId[cur]);
    for (int32_t attempt = 0; attempt < kAlphabetLen; ++attempt) {
        if (G_WptDb.nPendingSteps != 0) a = WrapIndex(a, kAlphabetLen, G_WptDb.nPendingSteps);
        char key[kWptEditCells + 1] = {};
        std::memcpy(key, G_WptDb.szEditId, static_cast<size_t>(cur));
        key[cur] = kAlphabet[a % kAlphabetLen];
        const size_t keyLen = strnlen(key, sizeof key);
        const int32_t n = FindWaypointId(key);
        if (n != -1 && SelectFrom(n, key, keyLen)) break;
    }
    G_WptDb.nAlphaIndex = static_cast<uint32_t>(AlphaPos(G_WptDb.szEditId[cur]));
    AirportPagesCount();
    G_RedrawReq = 1;
    G_WptDb.nPageFlags &= ~kWptSearch;
}

// The text lines under the identifier; 1 when they are fewer than the
// airport's two (the box is then drawn on every frame).
int32_t DrawDetails(const WptRect& r) {
    const int32_t x = r.x0 + 3;
    int32_t row = r.y0 + 60;
    auto line = [&](const char* format, const char* a, const char* b) {
        DrawTextF(14, 4, 9, x, WptTextRow(row), format, a, b);
        row += 16;
    };
    if (G_WptDb.nSelKind == kWptNavaid) {
        const uint8_t* n = G_WptDb.abNavaid;
        char name[nvd::kNameBytes + 1] = {}, types[64] = {}, freq[12];
        std::memcpy(name, n + nvd::kName, nvd::kNameBytes);
        const uint32_t bits = static_cast<uint32_t>(RecS32(n, nvd::kKind));
        for (uint32_t b = 0; b < 5; ++b) {
            if (!(bits & (1u << b))) continue;
            if (types[0]) std::strncat(types, "-", sizeof types - std::strlen(types) - 1);
            std::strncat(types, kNavaidTypes[b], sizeof types - std::strlen(types) - 1);
        }
        FormatFreq(static_cast<uint32_t>(RecS32(n, nvd::kFreq)), freq);
        line("%.23s%s", name, "");
        line("%.20s%s", types, "");
        line("%.10sMhz%s", freq, "");
        return 1;
    }
    if (G_WptDb.nSelKind == kWptFix) {
        const uint8_t bits = G_WptDb.abFix[fix::kType];
        int shown = 0;
        for (uint32_t b = 0; b < 8 && shown < 3; ++b)
            if (bits & (1u << b)) {
                line("%.20s%s", kFixTypes[b], "");
                ++shown;
            }
        return 1;
    }
    const uint8_t* a = G_WptDb.abAirport;
    char name[apt::kNameBytes + 1] = {};
    std::memcpy(name, a + apt::kName, apt::kNameBytes);
    line("%.23s%s", name, "");
    const char* city = MapCityName(RecU16(a, apt::kCity));
    if (WptTextEmpty(city)) return 1;
    line("%.19s, %.3s", city, MapStateCode(RecU16(a, apt::kState)));
    return 0;
}

void DrawPosition(const WptRect& r) {
    static const char* const kKinds[] = {"AIRPORT", "NAVAID", "FIX"};
    uint32_t idAt = 0, latAt = 0;
    const uint8_t* rec = SelectedRecord(&idAt, &latAt);
    const uint32_t kind = G_WptDb.nSelKind;
    if (kind >= kWptAirport && kind <= kWptFix)
        DrawTextF(31, 10, 11, r.x1 - 5, WptTextRow(r.y1 - 30), "%s", kKinds[kind - 1]);
    const MapPoint p{RecS32(rec, latAt), RecS32(rec, latAt + 4)};
    const int32_t d = CalcDistTenths(MapPoint{G_MapHeader.nRefLat, G_MapHeader.nRefLon}, p);
    DrawTextF(31, 9, 9, r.x0 + 5, WptTextRow(r.y1 - 3), "%d.%dNM", static_cast<int>(d / 10),
              static_cast<int>(d % 10));
    char lat[32], lon[32];
    FormatLatLon(lat, lon, sizeof lat, rec + latAt);
    DrawTextF(14, 4, 11, r.x1 - 5, WptTextRow(r.y1 - 18), "%s", lat);
    DrawTextF(14, 4, 11, r.x1 - 5, WptTextRow(r.y1 - 3), "%s", lon);
}

void DrawCells(const WptRect& r) {
    for (uint32_t i = 0; i < kWptEditCells; ++i) {
        const char c = G_WptDb.szEditId[i];
        if (c != '\0') DrawTextF(31, 10, 10, r.x0 + 13 + 20 * static_cast<int32_t>(i), WptTextRow(r.y0 + 44), "%c", c);
    }
    const int32_t k = G_WptDb.nEditCursor % kWptEditCells;
    SetDrawColor(14);
    GUI_DrawHLine(WptFrameRow(r.y0 + 45), r.x0 + 5 + 20 * k, r.x0 + 21 + 20 * k);
}
}  // namespace

int32_t FindPage() {
    const WptRect r = WptSmallBoxRect();
    if (G_WptDb.szEditId[0] == '\0') {
        G_WptDb.nSelKind = kWptAirport;
        SetEditId(IdOf(G_WptDb.abAirport, apt::kId).s);
    }
    DrawInfoBox(WptDropRect(r), "FIND");
    if (!(G_WptDb.nPageFlags & kWptSearch)) {
        uint32_t idAt = 0, latAt = 0;
        const uint8_t* rec = SelectedRecord(&idAt, &latAt);
        SetEditId(IdOf(rec, idAt).s);
    } else {
        RunSearch();
    }
    DrawCells(r);
    const int32_t few = DrawDetails(r);
    DrawPosition(r);
    G_RedrawReq = 1;
    G_WptDb.nPendingSteps = 0;
    return few;
}

void DirectTo() {
    if (!MapLoaded() || !G_MapEnabled) return;
    G_MenuState = 63;
    SetKnobFunc(&G_Knob0, kKnobDirect);
    G_WptDb.nPageFlags |= kWptFindOpen;
    DebugPrintf("DTo: iMode:%d, SA:%s, SN:%s, SI:%s\n", static_cast<int>(G_WptDb.nSelKind),
                IdOf(G_WptDb.abAirport, apt::kId).s, IdOf(G_WptDb.abNavaid, nvd::kId).s,
                IdOf(G_WptDb.abFix, fix::kId).s);
    const uint8_t slot = G_NavSrc.hdr.nMapCrsSlot;
    const NavSrcRec& rec = G_NavSrc.rec[slot < kNavSlots ? slot : 0];
    char id[kWptIdBytes + 1] = {};
    std::memcpy(id, rec.szWaypoint, kWptIdBytes);
    const int32_t i = FindWaypointExact(id);
    if (i >= 0 && G_WptIndex[i].nKind == kWptAirport && ReadWaypointRecord(i, G_WptDb.abAirport)) {
        G_WptDb.nSelKind = kWptAirport;
    } else {
        const uint32_t n = rec.nRouteCount < kNavRoutePoints ? rec.nRouteCount : kNavRoutePoints;
        MapSelectFirstAirport(reinterpret_cast<const uint8_t*>(rec.route), n);
    }
    G_WptDb.nEditCursor = 0;
    const OffscreenBand band = BeginOffscreenBand();
    FindPage();
    EndOffscreenBand(band);
    G_MapPane.nRedraw = kMapFrameSkip;
}

void WptListScroll(int32_t steps) {
    G_WptDb.nPendingSteps += steps;
    G_WptDb.nListCursor = 0;
}

void WptFindKnob(int32_t delta) {
    if (!MapLoaded() || !G_MapEnabled) return;
    WptListScroll(delta);
    // Set, not toggled: two turns before the next drawing still search once.
    G_WptDb.nPageFlags |= kWptSearch;
    G_MapPane.nRedraw = kMapFrameSkip;
    G_RedrawReq = 1;
}

void WptIdCursorMove(int32_t delta) {
    G_WptDb.nEditCursor = static_cast<uint16_t>(WrapIndex(G_WptDb.nEditCursor, kWptEditCells, delta));
    G_WptDb.nAlphaIndex = static_cast<uint32_t>(AlphaPos(G_WptDb.szEditId[G_WptDb.nEditCursor]));
    G_MapPane.nRedraw = kMapFrameSkip;
}
