// The map card's files: the five file contexts and their guarded reads, the
// region table, the layouts of the map and vector file headers and of their
// square indexes, the waypoint index, and the start-up that finds them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "storage/fat.h"

// File contexts, in this order; the map context's status is the map status.
constexpr int kMapFileMap = 0, kMapFileVector = 1, kMapFileTerrain = 2, kMapFileTfr = 3, kMapFileChart = 4;
constexpr int kMapFiles = 5;

// Context statuses; the map context's are the banners of the map page.
constexpr uint32_t kMapOk       = 0;
constexpr uint32_t kMapTooOld   = 1;
constexpr uint32_t kMapTooNew   = 2;
constexpr uint32_t kMapNoMap    = 3;
constexpr uint32_t kMapNoCard   = 4;
constexpr uint32_t kMapBadCard  = 5;

constexpr uint32_t kMapNameBytes = 13;
struct MapFileCtx {
    char         szName[kMapNameBytes];   // the path last opened, for the messages
    uint8_t      scratch[512];            // the FAT layer's sector buffer
    DFS_FileInfo file;
    uint32_t     nStatus;
};
extern MapFileCtx G_MapFile[kMapFiles];

inline uint32_t MapStatusOf(int ctx) { return G_MapFile[ctx].nStatus; }
inline bool MapLoaded() { return G_MapFile[kMapFileMap].nStatus == kMapOk; }

// ---- stored layouts (little-endian, unaligned) ---------------------------------------------

constexpr uint32_t kMapVersionRequired = 15;
constexpr uint32_t kVecVersionRequired = 3;

#pragma pack(push, 1)
// The first 263 bytes of the region map file. Bytes 251..258 are not read
// from the file: in memory they hold the map reference position.
struct MapFileHeader {
    uint32_t nVersion;              // +0
    uint8_t  reserved4[5];
    char     szEffective[25];       // +9
    char     szExpires[33];         // +34
    uint32_t nCityTable;            // +67, 17-byte entries
    uint8_t  reserved71[4];
    uint32_t nStateTable;           // +75, 4-byte entries
    uint8_t  reserved79[12];
    uint32_t nTable11a;             // +91, 11-byte entries
    uint32_t nSquareIndex;          // +95
    uint8_t  reserved99[4];
    uint32_t nTable13;              // +103
    uint32_t nTable6;               // +107
    uint8_t  reserved111[4];
    uint32_t nTable11b;             // +115
    uint8_t  reserved119[4];
    uint32_t nTable10;              // +123
    uint8_t  reserved127[4];
    uint32_t nWptCount;             // +131
    uint8_t  reserved135[4];
    uint32_t nTextDir;              // +139, 6-byte entries
    uint8_t  reserved143[8];
    uint32_t nTable50;              // +151
    uint32_t nTable40;              // +155
    uint32_t nWptIndex;             // +159
    uint8_t  reserved163[12];
    int32_t  nSouth;                // +175, whole degrees, inclusive
    int32_t  nNorth;
    int32_t  nWest;
    int32_t  nEast;
    char     szDescription[60];     // +191
    int32_t  nRefLat;               // +251, 2^18 units per degree
    int32_t  nRefLon;
    uint8_t  reserved259[4];
};
static_assert(sizeof(MapFileHeader) == 263);
static_assert(offsetof(MapFileHeader, szEffective) == 9);
static_assert(offsetof(MapFileHeader, szExpires) == 34);
static_assert(offsetof(MapFileHeader, nCityTable) == 67);
static_assert(offsetof(MapFileHeader, nStateTable) == 75);
static_assert(offsetof(MapFileHeader, nTable11a) == 91);
static_assert(offsetof(MapFileHeader, nSquareIndex) == 95);
static_assert(offsetof(MapFileHeader, nTable13) == 103);
static_assert(offsetof(MapFileHeader, nTable6) == 107);
static_assert(offsetof(MapFileHeader, nTable11b) == 115);
static_assert(offsetof(MapFileHeader, nTable10) == 123);
static_assert(offsetof(MapFileHeader, nWptCount) == 131);
static_assert(offsetof(MapFileHeader, nTextDir) == 139);
static_assert(offsetof(MapFileHeader, nTable50) == 151);
static_assert(offsetof(MapFileHeader, nTable40) == 155);
static_assert(offsetof(MapFileHeader, nWptIndex) == 159);
static_assert(offsetof(MapFileHeader, nSouth) == 175);
static_assert(offsetof(MapFileHeader, nEast) == 187);
static_assert(offsetof(MapFileHeader, szDescription) == 191);
static_assert(offsetof(MapFileHeader, nRefLat) == 251);

// One whole-degree square of the map file's square index.
struct SquareIndexRecord {
    uint32_t nBlock;        // +0 file offset of the square block
    uint32_t nSecond;       // +4 a second file offset
    uint32_t nTerrain;      // +8 offset of the terrain square in the terrain file
    uint32_t nTerrainLen;   // +12 its compressed length, 0 = none
    uint8_t  reserved16[4];
    uint16_t nFixes;        // +20
    uint16_t nNavaids;      // +22
    uint16_t nObstacles;    // +24
    uint16_t nAirports;     // +26
    uint16_t nSegments;     // +28, 22-byte airspace segments
    uint16_t nCount30;      // +30, kept with the slot (stand-alone airspaces)
    uint16_t nAirspaces;    // +32
    uint16_t nRunways;      // +34
    uint16_t nCount36;
    uint16_t nCount38;
    uint16_t nRemarkRefs;   // +40
    uint16_t nCount42;
};
static_assert(sizeof(SquareIndexRecord) == 44);
static_assert(offsetof(SquareIndexRecord, nFixes) == 20);
static_assert(offsetof(SquareIndexRecord, nRemarkRefs) == 40);

// The identifier index: sorted by the 8 identifier bytes, unsigned.
constexpr uint32_t kWptIdBytes = 8;
constexpr uint32_t kWptIndexMax = 80000;
constexpr uint8_t kWptAirport = 1, kWptNavaid = 2, kWptFix = 3, kWptAirportShort = 4;
struct WaypointIndexEntry {
    char     id[kWptIdBytes];   // space- or NUL-padded
    uint8_t  nKind;
    uint32_t nOffset;           // file offset of the waypoint's record
};
static_assert(sizeof(WaypointIndexEntry) == 13);
extern WaypointIndexEntry G_WptIndex[kWptIndexMax];

// The vector file's header and its square index (same grid as the map's).
struct VecFileHeader {
    uint32_t nVersion;      // +0, must be 3
    uint32_t reserved4;
    uint32_t nIndex;        // +8
    uint32_t reserved12;
};
static_assert(sizeof(VecFileHeader) == 16);
extern VecFileHeader G_VecHeader;

struct VecIndexRecord {
    uint32_t nData;         // +0 file offset of the square's chains and points, 0 = none
    uint32_t reserved4;
    uint16_t nL2Chains;     // +8, also where layer 1's chains begin
    uint16_t nL2Points;     // +10, also where layer 1's points begin
    uint16_t reserved12;
    uint16_t nL1Chains;     // +14
    uint16_t nL1Points;     // +16
    uint16_t reserved18;
};
static_assert(sizeof(VecIndexRecord) == 20);
static_assert(offsetof(VecIndexRecord, nL1Chains) == 14);

struct VecChain {
    int16_t  box[4];        // bounding values
    uint16_t nPoints;       // +8
    uint16_t nStyle;        // +10 style flags
    uint16_t nLast;         // +12
};
static_assert(sizeof(VecChain) == 14);

struct VecPoint {
    int32_t nLat;           // 2^18 units per degree
    int32_t nLon;
};
static_assert(sizeof(VecPoint) == 8);
#pragma pack(pop)

extern MapFileHeader G_MapHeader;

// The region table: map, terrain and vector files, tried in this order.
constexpr int kMapRegions = 8;
struct MapRegion {
    const char* map;
    const char* terrain;
    const char* vector;
};
extern const MapRegion kMapRegionTable[kMapRegions];
extern int32_t G_MapRegion;   // the region loaded, -1 none

// 1 once a map has been loaded: the distance and bearing routines answer
// neutral values before.
extern uint32_t G_MapEnabled;

// ---- the file layer ---------------------------------------------------------------------------

// 1 opened (status 0); 0 failed (status 3, or 4 without a card).
int32_t MapFileOpen(const char* path, int ctx);
// 1 when the file position is now `offset`.
int32_t MapFileSeek(int ctx, uint32_t offset);
// 1 when exactly `length` bytes were read; a short read zeroes the buffer.
int32_t MapFileRead(int ctx, uint32_t length, void* buffer);
int32_t MapFileSeekRead(int ctx, uint32_t offset, uint32_t length, void* buffer);
// The file's size, 0 when it is not open.
uint32_t MapFileSize(int ctx);
// The byte offset of a square's record within the map's (44-byte) or the
// vector file's (20-byte) square index; -1 when not loaded or out of bounds.
int32_t MapSquareOffset(int32_t lon, int32_t lat, const MapFileHeader& header);
int32_t VecSquareOffset(int32_t lon, int32_t lat, const MapFileHeader& header);
// Starts the throttled error messages' counts again (a new run).
void MapFileResetMessages();

// Finds the region's files, checks them, loads the identifier index and
// takes the start position; runs at boot and on every card insertion.
void MapInit();
