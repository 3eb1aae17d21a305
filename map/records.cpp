// The map file's records: square index and blocks, waypoint records, detail
// records, string tables, remark texts and distance order.
#include "map/records.h"

#include <cstdio>
#include <cstring>

#include "core/syslog.h"
#include "map/map.h"
#include "map/mapmath.h"

MapSquare G_MapSquares[kMapSquareSlots];

uint16_t RecU16(const uint8_t* rec, uint32_t offset) {
    return static_cast<uint16_t>(rec[offset] | rec[offset + 1] << 8);
}

int32_t RecS32(const uint8_t* rec, uint32_t offset) {
    return static_cast<int32_t>(static_cast<uint32_t>(rec[offset]) | static_cast<uint32_t>(rec[offset + 1]) << 8 |
                                static_cast<uint32_t>(rec[offset + 2]) << 16 |
                                static_cast<uint32_t>(rec[offset + 3]) << 24);
}

void RecSetU16(uint8_t* rec, uint32_t offset, uint16_t value) {
    rec[offset] = static_cast<uint8_t>(value);
    rec[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// ---- square index and blocks -------------------------------------------------------------------

static uint16_t Limit(uint16_t count, uint32_t limit) { return count >= limit ? 0 : count; }

static void SanitiseIndex(SquareIndexRecord* r) {
    const uint32_t size = MapFileSize(kMapFileMap);
    if (r->nBlock >= size) r->nBlock = 0;
    if (r->nSecond >= size) r->nSecond = 0;
    r->nFixes = Limit(r->nFixes, kMaxFixes);
    r->nNavaids = Limit(r->nNavaids, kMaxNavaids);
    r->nObstacles = Limit(r->nObstacles, kMaxObstacles);
    r->nAirports = Limit(r->nAirports, kMaxAirports);
    r->nSegments = Limit(r->nSegments, kMaxSegments);
    r->nCount30 = Limit(r->nCount30, kMaxCount30);
    r->nAirspaces = Limit(r->nAirspaces, kMaxAirspaces);
    r->nRunways = Limit(r->nRunways, kMaxRunways);
    r->nCount36 = Limit(r->nCount36, kMaxCount36);
    r->nCount38 = Limit(r->nCount38, kMaxCount38);
    r->nRemarkRefs = Limit(r->nRemarkRefs, kMaxRemarkRefs);
    r->nCount42 = Limit(r->nCount42, kMaxCount42);
}

int32_t MapReadSquareIndex(int32_t lon, int32_t lat, const MapFileHeader& header, SquareIndexRecord* out) {
    std::memset(out, 0, sizeof *out);
    const int32_t offset = MapSquareOffset(lon, lat, header);
    if (offset < 0) return 0;
    if (!MapFileSeekRead(kMapFileMap, header.nSquareIndex + static_cast<uint32_t>(offset), sizeof *out, out)) {
        std::memset(out, 0, sizeof *out);
        return 0;
    }
    SanitiseIndex(out);
    return 1;
}

// Airport-data messages: five per run.
static uint32_t s_aptMsgs = 0;
static void AptMsg(const char* text) {
    if (s_aptMsgs < 5) {
        ++s_aptMsgs;
        DebugPrintf("%s", text);
    }
}
static void AptMsgValue(const char* format, int value) {
    if (s_aptMsgs < 5) {
        ++s_aptMsgs;
        DebugPrintf(format, value);
    }
}

static void ReadArea(uint32_t* count, void* dest, uint32_t bytes) {
    if (*count != 0 && !MapFileRead(kMapFileMap, *count * bytes, dest)) *count = 0;
}

// A per-airport field and its running total over the square.
struct FieldCheck {
    uint32_t offset;
    bool     wide;          // u16, else u8
    uint32_t limit;
    uint32_t totalLimit;
    const char* msg;
    const char* totalMsg;
};

static void CheckAirportFields(MapSquare* slot) {
    static const FieldCheck kChecks[] = {
        {apt::kRec9Count, false, 100, 200, "MAP IO: afoob\n", "MAP IO: tafoob\n"},
        {apt::kRunways, false, 20, 500, "MAP IO: aroob\n", "MAP IO: taroob\n"},
        {apt::kAirspaces, true, 500, 100, "MAP IO: aaoob\n", "MAP IO: taaoob\n"},
        {apt::kRemarks, false, 70, 800, "MAP IO: aroob\n", "MAP IO: taroob\n"},
    };
    uint32_t totals[4] = {};
    for (uint32_t a = 0; a < slot->nAirports; ++a) {
        uint8_t* rec = slot->airports[a];
        for (uint32_t k = 0; k < 4; ++k) {
            const FieldCheck& c = kChecks[k];
            const uint32_t v = c.wide ? RecU16(rec, c.offset) : rec[c.offset];
            bool clear = false;
            if (v > c.limit) {
                AptMsg(c.msg);
                clear = true;
            } else if ((totals[k] += v) > c.totalLimit) {
                AptMsg(c.totalMsg);
                clear = true;
            }
            if (!clear) continue;
            if (c.wide) RecSetU16(rec, c.offset, 0);
            else rec[c.offset] = 0;
        }
    }
}

// Indices inside a record must stay inside the slot's arrays, since the
// drawing uses them directly: a bad first index clears the count.
static void CheckAirportIndices(MapSquare* slot) {
    for (uint32_t a = 0; a < slot->nAirports; ++a) {
        uint8_t* rec = slot->airports[a];
        const uint32_t runways = rec[apt::kRunways];
        if (runways != 0 && RecU16(rec, apt::kFirstRunway) + runways > slot->nRunways) {
            AptMsg("MAP IO: arfoob\n");
            rec[apt::kRunways] = 0;
        }
        const uint32_t spaces = RecU16(rec, apt::kAirspaces);
        if (spaces != 0 && RecU16(rec, apt::kFirstAirspace) + spaces > slot->nAirspaces) {
            AptMsg("MAP IO: aafoob\n");
            RecSetU16(rec, apt::kAirspaces, 0);
        }
        if (rec[apt::kRunways] != 0 && RecU16(rec, apt::kBarRunway) >= rec[apt::kRunways]) {
            AptMsg("MAP IO: abroob\n");
            RecSetU16(rec, apt::kBarRunway, 0);
        }
    }
}

static void CheckAirspaces(MapSquare* slot) {
    uint32_t total = 0;
    for (uint32_t i = 0; i < slot->nAirspaces; ++i) {
        uint8_t* rec = slot->airspaces[i];
        const uint32_t n = RecU16(rec, asp::kSegments);
        if (n > 400) {
            AptMsgValue("MAP IO: asoob(%d)\n", static_cast<int>(n));
            RecSetU16(rec, asp::kSegments, 0);
            continue;
        }
        total += n;
        if (total > kMaxSegments) {
            RecSetU16(rec, asp::kSegments, 0);
            AptMsgValue("MAP IO: tasoob(%d)\n", static_cast<int>(total));
            continue;
        }
        if (n != 0 && RecU16(rec, asp::kFirstSegment) + n > slot->nSegments) {
            AptMsgValue("MAP IO: asfoob(%d)\n", static_cast<int>(RecU16(rec, asp::kFirstSegment)));
            RecSetU16(rec, asp::kSegments, 0);
        }
    }
}

int32_t MapLoadSquareBlock(int32_t lon, int32_t lat, const MapFileHeader& header, MapSquare* slot,
                           const SquareIndexRecord& rec) {
    (void)header;
    if (!MapLoaded()) return 0;
    slot->nLon = lon;
    slot->nLat = lat;
    slot->nFixes = rec.nFixes;
    slot->nNavaids = rec.nNavaids;
    slot->nAirports = rec.nAirports;
    slot->nRunways = rec.nRunways;
    slot->nObstacles = rec.nObstacles;
    slot->nCount30 = rec.nCount30;
    slot->nAirspaces = rec.nAirspaces;
    slot->nSegments = rec.nSegments;
    slot->nRec9 = 0;
    slot->nRemarkRefs = 0;
    if (rec.nBlock == 0 || !MapFileSeek(kMapFileMap, rec.nBlock)) {
        slot->nFixes = slot->nNavaids = slot->nAirports = slot->nRunways = 0;
        slot->nObstacles = slot->nAirspaces = slot->nSegments = 0;
        return 1;
    }
    ReadArea(&slot->nNavaids, slot->navaids, kNavaidBytes);
    ReadArea(&slot->nFixes, slot->fixes, kFixBytes);
    ReadArea(&slot->nAirports, slot->airports, kAirportBytes);
    CheckAirportFields(slot);
    ReadArea(&slot->nRunways, slot->runways, kRunwayBytes);
    ReadArea(&slot->nAirspaces, slot->airspaces, kAirspaceBytes);
    ReadArea(&slot->nSegments, slot->segments, kSegmentBytes);
    CheckAirspaces(slot);
    ReadArea(&slot->nObstacles, slot->obstacles, kObstacleBytes);
    CheckAirportIndices(slot);
    for (uint32_t i = 0; i < slot->nAirports; ++i) slot->anAirportOrder[i] = i;
    for (uint32_t i = 0; i < slot->nObstacles; ++i) slot->anObstacleOrder[i] = i;
    return 1;
}

// ---- waypoint records --------------------------------------------------------------------------

static bool IndexEntry(int32_t index, uint8_t kindA, uint8_t kindB, uint32_t* offset) {
    if (!MapLoaded() || index < 0 || static_cast<uint32_t>(index) >= G_MapHeader.nWptCount) return false;
    const WaypointIndexEntry& e = G_WptIndex[index];
    if (e.nKind != kindA && e.nKind != kindB) return false;
    *offset = e.nOffset;
    return true;
}

int32_t ReadWaypointRecord(int32_t index, uint8_t* dest) {
    uint32_t offset = 0;
    if (!IndexEntry(index, kWptAirport, kWptAirportShort, &offset)) return 0;
    if (MapFileSeekRead(kMapFileMap, offset, kAirportBytes, dest)) return 1;
    DebugPrintf("MAP IO: bal id = %d\n", static_cast<int>(index));
    return 0;
}

static int32_t ReadSmallRecord(int32_t index, uint8_t kind, uint32_t bytes, uint8_t* dest) {
    uint32_t offset = 0;
    if (!IndexEntry(index, kind, kind, &offset)) return 0;
    if (MapFileSeekRead(kMapFileMap, offset, bytes, dest)) return 1;
    DebugPrintf("MAP IO: bnl id = %d\n", static_cast<int>(index));
    return 0;
}

int32_t MapReadRecord60(int32_t index, uint8_t* dest) { return ReadSmallRecord(index, kWptNavaid, kNavaidBytes, dest); }
int32_t MapReadRecord26(int32_t index, uint8_t* dest) { return ReadSmallRecord(index, kWptFix, kFixBytes, dest); }

static bool IsAlnumChar(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Byte-wise as strncmp compares, never past the 8 identifier bytes.
static int CompareId(const char* id, size_t n, const char* entry) { return std::strncmp(id, entry, n); }

int32_t FindWaypointId(const char* id) {
    if (id == nullptr || !IsAlnumChar(id[0]) || !MapLoaded()) return -1;
    size_t n = strnlen(id, 10);
    if (n > kWptIdBytes) n = kWptIdBytes;
    const int32_t count = static_cast<int32_t>(G_MapHeader.nWptCount);
    int32_t lo = -1, hi = count;
    while (hi - lo > 1) {
        const int32_t mid = (lo + hi) >> 1;
        if (CompareId(id, n, G_WptIndex[mid].id) <= 0) hi = mid;
        else lo = mid;
    }
    if (hi >= 0 && hi < count && CompareId(id, n, G_WptIndex[hi].id) == 0) return hi;
    return -1;
}

int32_t FindWaypointExact(const char* id) {
    const int32_t i = FindWaypointId(id);
    if (i < 0) return -1;
    const size_t n = strnlen(id, kWptIdBytes);
    for (size_t k = n; k < kWptIdBytes; ++k) {
        const char c = G_WptIndex[i].id[k];
        if (c != '\0' && c != ' ') return -1;
    }
    return i;
}

int32_t MapSelectWaypoint(const char* id) {
    const int32_t i = FindWaypointExact(id);
    if (i < 0) return -1;
    const uint8_t kind = G_WptIndex[i].nKind;
    bool read = false;
    if (kind == kWptAirport) read = ReadWaypointRecord(i, G_WptDb.abAirport);
    else if (kind == kWptNavaid) read = MapReadRecord60(i, G_WptDb.abNavaid);
    else if (kind == kWptFix) read = MapReadRecord26(i, G_WptDb.abFix);
    if (read) G_WptDb.nSelKind = kind;
    return kind;
}

static int32_t LoadById(const char* id, uint8_t* dest, uint8_t kindA, uint8_t kindB) {
    const int32_t i = FindWaypointExact(id);
    if (i < 0 || (G_WptIndex[i].nKind != kindA && G_WptIndex[i].nKind != kindB)) return 0;
    if (kindA == kWptAirport) return ReadWaypointRecord(i, dest);
    return kindA == kWptNavaid ? MapReadRecord60(i, dest) : MapReadRecord26(i, dest);
}

int32_t MapLoadAirportById(const char* id, uint8_t* dest) { return LoadById(id, dest, kWptAirport, kWptAirportShort); }
int32_t MapLoadNavaidById(const char* id, uint8_t* dest) { return LoadById(id, dest, kWptNavaid, kWptNavaid); }
int32_t MapLoadFixById(const char* id, uint8_t* dest) { return LoadById(id, dest, kWptFix, kWptFix); }

int32_t MapSelectFirstAirport(const uint8_t* list, uint32_t count) {
    constexpr uint32_t kEntryBytes = 15;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* e = list + i * kEntryBytes;
        if (!(e[0] & 1)) continue;
        char id[kEntryBytes];
        std::memcpy(id, e + 1, kEntryBytes - 1);
        id[kEntryBytes - 1] = '\0';
        const int32_t k = FindWaypointExact(id);
        if (k >= 0 && G_WptIndex[k].nKind == kWptAirport && ReadWaypointRecord(k, G_WptDb.abAirport)) {
            G_WptDb.nSelKind = kWptAirport;
            return kWptAirport;
        }
    }
    return 0;
}

// ---- an airport's detail records ---------------------------------------------------------------

static int32_t FloorDeg(int32_t v) { return v >> 18; }   // arithmetic shift: floor

// The start of an area of the airport's square block, the counts before it summed.
static bool AirportBlock(const uint8_t* airport, const MapFileHeader& header, SquareIndexRecord* rec) {
    if (!MapLoaded()) return false;
    return MapReadSquareIndex(FloorDeg(RecS32(airport, apt::kLon)), FloorDeg(RecS32(airport, apt::kLat)), header,
                              rec) &&
           rec->nBlock != 0;
}

static uint32_t RunwayArea(const SquareIndexRecord& r) {
    return r.nBlock + kNavaidBytes * r.nNavaids + kFixBytes * r.nFixes + kAirportBytes * r.nAirports;
}

static uint32_t RemarkArea(const SquareIndexRecord& r) {
    return RunwayArea(r) + kRunwayBytes * r.nRunways + kAirspaceBytes * r.nAirspaces + kSegmentBytes * r.nSegments +
           kObstacleBytes * r.nObstacles;
}

static uint32_t Rec9Area(const SquareIndexRecord& r) { return RemarkArea(r) + kRemarkRefBytes * r.nRemarkRefs; }

using AreaFn = uint32_t (*)(const SquareIndexRecord&);

static void ReadDetail(uint8_t* airport, uint8_t* dest, const MapFileHeader& header, uint32_t countField,
                       uint32_t limit, uint32_t firstField, uint32_t bytes, AreaFn area) {
    if (!MapLoaded()) return;
    const uint32_t n = airport[countField];
    SquareIndexRecord rec;
    if (n < 1 || n >= limit || !AirportBlock(airport, header, &rec) ||
        !MapFileSeekRead(kMapFileMap, area(rec) + bytes * RecU16(airport, firstField), n * bytes, dest))
        airport[countField] = 0;
}

void MapReadRunways(uint8_t* airport, uint8_t* dest, const MapFileHeader& header) {
    ReadDetail(airport, dest, header, apt::kRunways, 20, apt::kFirstRunway, kRunwayBytes, RunwayArea);
}

void MapReadAirportRecs9(uint8_t* airport, uint8_t* dest, const MapFileHeader& header) {
    ReadDetail(airport, dest, header, apt::kRec9Count, 100, apt::kFirstRec9, kRec9Bytes, Rec9Area);
}

void MapReadRemarkRefs(uint8_t* airport, uint8_t* dest, const MapFileHeader& header) {
    ReadDetail(airport, dest, header, apt::kRemarks, 70, apt::kFirstRemark, kRemarkRefBytes, RemarkArea);
}

// ---- string tables -----------------------------------------------------------------------------

// Each cache entry is the table's width plus a terminator: entries on the
// card need not end in NUL.
template <uint32_t Width, uint32_t Entries>
struct StringCache {
    char text[Entries][Width + 1];
};
static StringCache<17, 32000> s_city;
static StringCache<4, 500> s_state;
static StringCache<11, 2000> s_t11a;
static StringCache<13, 200> s_t13;
static StringCache<6, 10> s_t6;
static StringCache<11, 16> s_t11b;
static StringCache<10, 200> s_t10;
static StringCache<50, 400> s_t50;
static StringCache<40, 15000> s_t40;

void MapClearStringCaches() {
    std::memset(&s_city, 0, sizeof s_city);
    std::memset(&s_state, 0, sizeof s_state);
    std::memset(&s_t11a, 0, sizeof s_t11a);
    std::memset(&s_t13, 0, sizeof s_t13);
    std::memset(&s_t6, 0, sizeof s_t6);
    std::memset(&s_t11b, 0, sizeof s_t11b);
    std::memset(&s_t10, 0, sizeof s_t10);
    std::memset(&s_t50, 0, sizeof s_t50);
    std::memset(&s_t40, 0, sizeof s_t40);
}

static const char* ReadStringField(uint32_t table, uint32_t index, uint32_t width, char* entry) {
    if (entry[0] != '\0' || !MapLoaded()) return entry;
    if (!MapFileSeekRead(kMapFileMap, table + index * width, width, entry)) {
        entry[0] = '\0';
        return entry;
    }
    entry[width] = '\0';
    if (entry[0] == '\0') std::memcpy(entry, " ", 2);   // read, and empty: not read again
    return entry;
}

template <uint32_t W, uint32_t N>
static const char* Field(StringCache<W, N>& cache, uint32_t table, uint32_t index) {
    if (index >= N) return "";
    return ReadStringField(table, index, W, cache.text[index]);
}

const char* MapCityName(uint32_t i) { return Field(s_city, G_MapHeader.nCityTable, i); }
const char* MapStateCode(uint32_t i) { return Field(s_state, G_MapHeader.nStateTable, i); }
const char* MapText11a(uint32_t i) { return Field(s_t11a, G_MapHeader.nTable11a, i); }
const char* MapText13(uint32_t i) { return Field(s_t13, G_MapHeader.nTable13, i); }
const char* MapText6(uint32_t i) { return Field(s_t6, G_MapHeader.nTable6, i); }
const char* MapText11b(uint32_t i) { return Field(s_t11b, G_MapHeader.nTable11b, i); }
const char* MapText10(uint32_t i) { return Field(s_t10, G_MapHeader.nTable10, i); }
const char* MapText50(uint32_t i) { return Field(s_t50, G_MapHeader.nTable50, i); }
const char* MapText40(uint32_t i) { return Field(s_t40, G_MapHeader.nTable40, i); }

// ---- remark texts ------------------------------------------------------------------------------

#pragma pack(push, 1)
struct TextDirEntry {
    uint32_t nOffset;
    uint16_t nLength;
};
#pragma pack(pop)
static_assert(sizeof(TextDirEntry) == 6);

void MapReadTextBlocks(const uint8_t* refs, uint32_t count, char (*texts)[kRemarkTextBytes]) {
    if (!MapLoaded()) return;
    if (count > kRemarkTexts) {
        DebugPrintf("MAP IO: norfab --> %d\n", static_cast<int>(count));
        for (uint32_t i = 0; i < kRemarkTexts; ++i) texts[i][0] = '\0';
        return;
    }
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t dirIndex = static_cast<uint32_t>(RecS32(refs + i * kRemarkRefBytes, 1));
        TextDirEntry e{};
        const uint64_t at = G_MapHeader.nTextDir + static_cast<uint64_t>(dirIndex) * sizeof e;
        if (at > UINT32_MAX || !MapFileSeekRead(kMapFileMap, static_cast<uint32_t>(at), sizeof e, &e)) {
            texts[i][0] = '\0';
            continue;
        }
        if (e.nLength >= kRemarkTextBytes) {
            texts[i][0] = '\0';
            return;
        }
        if (!MapFileSeekRead(kMapFileMap, e.nOffset, e.nLength, texts[i])) texts[i][0] = '\0';
        texts[i][e.nLength] = '\0';
    }
}

// ---- distance order ----------------------------------------------------------------------------

// Ascending; an entry moves in front of those with an equal distance.
static void InsertionSort(uint32_t* dist, uint32_t* order, uint32_t n) {
    for (uint32_t i = 1; i < n; ++i) {
        const uint32_t d = dist[i], o = order[i];
        uint32_t j = i;
        while (j > 0 && dist[j - 1] >= d) {
            dist[j] = dist[j - 1];
            order[j] = order[j - 1];
            --j;
        }
        dist[j] = d;
        order[j] = o;
    }
}

static MapPoint RefPoint() { return {G_MapHeader.nRefLat, G_MapHeader.nRefLon}; }

void MapSortAirports(MapSquare* slot) {
    if (!MapLoaded() || !G_MapEnabled) return;
    const MapPoint ref = RefPoint();
    for (uint32_t i = 0; i < slot->nAirports; ++i) {
        const uint8_t* a = slot->airports[slot->anAirportOrder[i] % kMaxAirports];
        const MapPoint p{RecS32(a, apt::kLat), RecS32(a, apt::kLon)};
        slot->anAirportDist[i] = static_cast<uint32_t>(CalcDistTenths(ref, p));
    }
    InsertionSort(slot->anAirportDist, slot->anAirportOrder, slot->nAirports);
}

void MapSortObstacles(MapSquare* slot) {
    if (!MapLoaded() || !G_MapEnabled) return;
    const MapPoint ref = RefPoint();
    for (uint32_t i = 0; i < slot->nObstacles; ++i) {
        const uint8_t* o = slot->obstacles[slot->anObstacleOrder[i] % kMaxObstacles];
        const int64_t dy = static_cast<int64_t>(ref.nLat) - RecS32(o, 0);
        const int64_t dx = ((static_cast<int64_t>(ref.nLon) - RecS32(o, 4)) * G_MapLonScale) >> 18;
        slot->anObstacleDist[i] = static_cast<uint32_t>(((dx * dx) >> 18) + ((dy * dy) >> 18));
    }
    InsertionSort(slot->anObstacleDist, slot->anObstacleOrder, slot->nObstacles);
}
