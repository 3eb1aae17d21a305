// The map card's file layer and the map's start-up.
#include "map/mapfile.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "map/map.h"
#include "map/mapmath.h"
#include "map/mapqueue.h"
#include "map/records.h"
#include "map/tracklog.h"
#include "nav/navsrc.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "ui/pages.h"
#include "ui/popup.h"

MapFileCtx G_MapFile[kMapFiles] = {};
MapFileHeader G_MapHeader = {};
VecFileHeader G_VecHeader = {};
WaypointIndexEntry G_WptIndex[kWptIndexMax] = {};
int32_t G_MapRegion = -1;
uint32_t G_MapEnabled = 0;

const MapRegion kMapRegionTable[kMapRegions] = {
    {"NRVMAPUS.KVM", "NRVTERUS.KVM", "NRVVECUS.KVM"}, {"NRVMAPAF.KVM", "NRVTERAF.KVM", "NRVVECWW.KVM"},
    {"NRVMAPAS.KVM", "NRVTERAS.KVM", "NRVVECWW.KVM"}, {"NRVMAPEU.KVM", "NRVTEREU.KVM", "NRVVECWW.KVM"},
    {"NRVMAPME.KVM", "NRVTERME.KVM", "NRVVECWW.KVM"}, {"NRVMAPNA.KVM", "NRVTERNA.KVM", "NRVVECWW.KVM"},
    {"NRVMAPSA.KVM", "NRVTERSA.KVM", "NRVVECWW.KVM"}, {"NRVMAPPA.KVM", "NRVTERPA.KVM", "NRVVECWW.KVM"},
};

// Frequent errors are reported five times per run, seeks and reads apart.
constexpr uint32_t kMapMsgBudget = 5;
static uint32_t s_seekMsgs = 0;
static uint32_t s_readMsgs = 0;

void MapFileResetMessages() { s_seekMsgs = s_readMsgs = 0; }

static bool CardMounted() { return G_SDCard.nState == kSdMounted; }

static bool SeekMsgAllowed() { return s_seekMsgs < kMapMsgBudget && ++s_seekMsgs; }
static bool ReadMsgAllowed() { return s_readMsgs < kMapMsgBudget && ++s_readMsgs; }

static bool ValidCtx(int ctx) { return ctx >= 0 && ctx < kMapFiles; }

int32_t MapFileOpen(const char* path, int ctx) {
    if (!ValidCtx(ctx) || path == nullptr) return 0;
    MapFileCtx& f = G_MapFile[ctx];
    std::snprintf(f.szName, sizeof f.szName, "%s", path);
    if (!CardMounted()) {
        DebugPrintf("MAP IO: open file attempted without card (%s)\n", path);
        f.nStatus = kMapNoCard;
        return 0;
    }
    const uint32_t err = DFS_OpenFile(&G_SdVolInfo, path, DFS_READ, f.scratch, &f.file);
    if (err != DFS_OK) {
        DebugPrintf("MAP IO: error %d opening file %s\n", static_cast<int>(err), path);
        f.nStatus = kMapNoMap;
        return 0;
    }
    f.nStatus = kMapOk;
    return 1;
}

uint32_t MapFileSize(int ctx) {
    if (!ValidCtx(ctx) || G_MapFile[ctx].nStatus != kMapOk) return 0;
    return G_MapFile[ctx].file.filelen;
}

int32_t MapFileSeek(int ctx, uint32_t offset) {
    if (!ValidCtx(ctx)) return 0;
    MapFileCtx& f = G_MapFile[ctx];
    if (!CardMounted()) {
        DebugPrintf("MAP IO: seek file attempted without card (%s)\n", f.szName);
        f.nStatus = kMapNoCard;
        return 0;
    }
    if (f.nStatus != kMapOk) {
        DebugPrintf("MAP IO: Attempted Seek on an unopened file (%s)\n", f.szName);
        return 0;
    }
    if (offset > f.file.filelen) {
        if (SeekMsgAllowed()) DebugPrintf("MAP FILE: aspeof (%s)\n", f.szName);
        return 0;
    }
    DFS_Seek(&f.file, offset, f.scratch);
    if (f.file.pointer != offset) {
        if (SeekMsgAllowed())
            DebugPrintf("MAP_FILE: asf (%s) s = %u r = %u", f.szName, static_cast<unsigned>(offset),
                        static_cast<unsigned>(f.file.pointer));
        return 0;
    }
    return 1;
}

int32_t MapFileRead(int ctx, uint32_t length, void* buffer) {
    if (buffer == nullptr || !ValidCtx(ctx)) return 0;
    MapFileCtx& f = G_MapFile[ctx];
    if (!CardMounted()) {
        DebugPrintf("MAP FILE: read file attempted without card (%s)\n", f.szName);
        f.nStatus = kMapNoCard;
        return 0;
    }
    if (f.nStatus == kMapNoMap) {
        DebugPrintf("MAP FILE: Attempted Read on an unopened file (%s)\n", f.szName);
        return 0;
    }
    if (f.nStatus != kMapOk) DebugPrintf("MAP FILE: file status not ok (%s)\n", f.szName);
    if (length > f.file.filelen || f.file.pointer > f.file.filelen - length) {
        if (ReadMsgAllowed()) DebugPrintf("MAP FILE: arpeof (%s)\n", f.szName);
        return 0;
    }
    uint32_t got = 0;
    const uint32_t r = DFS_ReadFile(&f.file, f.scratch, static_cast<uint8_t*>(buffer), &got, length);
    if (r != DFS_OK || got != length) {
        if (ReadMsgAllowed())
            DebugPrintf("MAP FILE: rns (%s) r = %u a = %u, g = %u\n", f.szName, static_cast<unsigned>(r),
                        static_cast<unsigned>(length), static_cast<unsigned>(got));
        std::memset(buffer, 0, length);
        return 0;
    }
    return 1;
}

int32_t MapFileSeekRead(int ctx, uint32_t offset, uint32_t length, void* buffer) {
    return MapFileSeek(ctx, offset) && MapFileRead(ctx, length, buffer);
}

static int32_t SquareOffset(int32_t lon, int32_t lat, const MapFileHeader& h, int32_t recordBytes) {
    if (lat < h.nSouth || lat > h.nNorth || lon < h.nWest || lon > h.nEast) return -1;
    // The row stride is east - west (not + 1): the stored grid is laid out so.
    const int64_t index = static_cast<int64_t>(lon - h.nWest) + static_cast<int64_t>(lat - h.nSouth) * (h.nEast - h.nWest);
    const int64_t offset = index * recordBytes;
    return offset < 0 || offset > INT32_MAX ? -1 : static_cast<int32_t>(offset);
}

int32_t MapSquareOffset(int32_t lon, int32_t lat, const MapFileHeader& header) {
    if (!MapLoaded()) return -1;
    return SquareOffset(lon, lat, header, sizeof(SquareIndexRecord));
}

int32_t VecSquareOffset(int32_t lon, int32_t lat, const MapFileHeader& header) {
    if (MapStatusOf(kMapFileVector) != kMapOk) return -1;
    return SquareOffset(lon, lat, header, sizeof(VecIndexRecord));
}

// ---- start-up ----------------------------------------------------------------------------------

constexpr int32_t kDefaultLat = 11865401;     // 45.2629 N
constexpr int32_t kDefaultLon = -32159002;    // 122.6769 W
constexpr uint32_t kDemoNavSource = 0x20;
constexpr uint32_t kPrimeStep = 1000000;
constexpr uint32_t kPrimeSeeks = 13;

static int32_t OpenRegionMap() {
    for (int32_t r = 0; r < kMapRegions; ++r)
        if (MapFileOpen(kMapRegionTable[r].map, kMapFileMap)) return r;
    return -1;
}

static void OpenVectorFile(const MapRegion& region) {
    if (!MapFileOpen(region.vector, kMapFileVector)) return;
    if (!MapFileSeekRead(kMapFileVector, 0, sizeof G_VecHeader, &G_VecHeader)) {
        G_MapFile[kMapFileVector].nStatus = kMapNoMap;
        return;
    }
    if (G_VecHeader.nVersion != kVecVersionRequired) {
        DebugPrintf("MAPInit: Vector File Version Mismatch %d/%d\n", static_cast<int>(kVecVersionRequired),
                    static_cast<int>(G_VecHeader.nVersion));
        G_MapFile[kMapFileVector].nStatus = G_VecHeader.nVersion > kVecVersionRequired ? kMapTooNew : kMapTooOld;
    }
}

static bool SavedPositionUsable(float lat, float lon) {
    const bool zero = std::lround(lat * 1000.0f) == 0 && std::lround(lon * 1000.0f) == 0;
    return !zero && std::fabs(std::round(lat)) < 91.0f && std::fabs(std::round(lon)) < 181.0f;
}

static void StartPosition(int32_t* lat, int32_t* lon) {
    if (G_DemoFlags & kDemoNavSource) {
        const uint8_t slot = G_NavSrc.hdr.nMapSrcSlot;
        if (slot < kNavSlots) {
            const NavSrcRec& rec = G_NavSrc.rec[slot];
            if ((rec.nGpsFlagsA & kNavGpsValid) && (rec.nGpsFlagsB & kNavGpsOwnPos)) {
                *lat = static_cast<int32_t>(rec.fLat * 262144.0f);
                *lon = static_cast<int32_t>(rec.fLon * 262144.0f);
                return;
            }
        }
    }
    const float savedLat = NvGetF32(kNvLastLatitude), savedLon = NvGetF32(kNvLastLongitude);
    if (SavedPositionUsable(savedLat, savedLon)) {
        *lat = static_cast<int32_t>(savedLat * 262144.0f);
        *lon = static_cast<int32_t>(savedLon * 262144.0f);
        return;
    }
    *lat = kDefaultLat;
    *lon = kDefaultLon;
}

static void FormatPos(char* out, size_t size, int32_t v) {
    std::snprintf(out, size, "%d.%d", static_cast<int>(v >> 18),
                  static_cast<int>((100 * static_cast<int64_t>(v & 0x3FFFF)) >> 18));
}

static void LoadWaypointIndex() {
    if (G_MapHeader.nWptCount > kWptIndexMax) {
        G_MapHeader.nWptCount = 0;
        return;
    }
    const uint32_t bytes = G_MapHeader.nWptCount * sizeof(WaypointIndexEntry);
    if (bytes != 0 && !MapFileSeekRead(kMapFileMap, G_MapHeader.nWptIndex, bytes, G_WptIndex))
        G_MapHeader.nWptCount = 0;   // no half-read index: every search fails cleanly
}

static void SelectHomeAirport() { MapLoadAirportById("K00", G_WptDb.abAirport); }

// Warms the FAT layer's cluster walk over the first 13 MB, within the file.
static void PrimeClusterWalk() {
    const uint32_t size = MapFileSize(kMapFileMap);
    for (uint32_t n = 0; n < kPrimeSeeks; ++n) {
        if (n * kPrimeStep >= size && n != 0) break;
        MapFileSeek(kMapFileMap, 0);
        MapFileSeek(kMapFileMap, n * kPrimeStep);
    }
}

static void ResetMapState() {
    MapClearStringCaches();
    TrackClear();
    std::memset(&G_MapHeader, 0, sizeof G_MapHeader);
    std::memset(&G_VecHeader, 0, sizeof G_VecHeader);
    std::memset(&G_WptDb, 0, offsetof(WptDb, nPageFlags));
    MapQueueReset();
    G_MapRegion = -1;
    for (int ctx = kMapFileMap; ctx <= kMapFileTerrain; ++ctx) G_MapFile[ctx].nStatus = kMapNoMap;
}

void MapInit() {
    ResetMapState();
    if (G_CurPage != kPageSplash) ShowPopupMsg(0xFFFFFF, 320, 240, kTicksPerSecond, "LOADING...");
    const int32_t region = OpenRegionMap();
    if (region < 0) return;
    if (!MapFileSeekRead(kMapFileMap, 0, sizeof G_MapHeader, &G_MapHeader)) {
        G_MapFile[kMapFileMap].nStatus = kMapNoMap;   // nothing usable on this card
        return;
    }
    if (G_MapHeader.nVersion != kMapVersionRequired) {
        DebugPrintf("Map File Mismatch -- file = %d, system = %d\n", static_cast<int>(G_MapHeader.nVersion),
                    static_cast<int>(kMapVersionRequired));
        G_MapFile[kMapFileMap].nStatus = G_MapHeader.nVersion < kMapVersionRequired ? kMapTooOld : kMapTooNew;
        return;
    }
    G_MapRegion = region;
    char desc[sizeof G_MapHeader.szDescription + 1];
    std::snprintf(desc, sizeof desc, "%.*s", static_cast<int>(sizeof G_MapHeader.szDescription),
                  G_MapHeader.szDescription);
    DebugPrintf("MapInit: \nMap Loaded --> %s\n", desc);
    OpenVectorFile(kMapRegionTable[region]);
    MapFileOpen(kMapRegionTable[region].terrain, kMapFileTerrain);

    int32_t lat = 0, lon = 0;
    StartPosition(&lat, &lon);
    // The reference position, where the map's bearings and distances start.
    G_MapHeader.nRefLat = lat;
    G_MapHeader.nRefLon = lon;
    G_MapEnabled = 1;
    MapSetLonScale(lat);
    char latText[16], lonText[16];
    FormatPos(latText, sizeof latText, lat);
    FormatPos(lonText, sizeof lonText, lon);
    DebugPrintf("Map Starting Pos Lat:%s, Lon:%s\n", latText, lonText);

    LoadWaypointIndex();
    SelectHomeAirport();
    MapStackClear();
    PrimeClusterWalk();
    SelectHomeAirport();
}
