// The map file's records: the sanitised square index, the square blocks
// loaded into the 25 square slots, one waypoint's record by index or by
// identifier, an airport's detail records, the cached string tables, the
// remark texts, and the distance order of a slot's airports and obstacles.
#pragma once
#include <cstdint>

#include "map/mapfile.h"

// Record sizes in a square block, in block order.
constexpr uint32_t kNavaidBytes = 60, kFixBytes = 26, kAirportBytes = 105, kRunwayBytes = 38;
constexpr uint32_t kAirspaceBytes = 19, kSegmentBytes = 22, kObstacleBytes = 21, kRemarkRefBytes = 5;
constexpr uint32_t kRec9Bytes = 9;

// Slot capacities: a count at or above its limit reads as 0.
constexpr uint32_t kMaxFixes = 350, kMaxNavaids = 20, kMaxObstacles = 3500, kMaxAirports = 300;
constexpr uint32_t kMaxSegments = 2500, kMaxCount30 = 100, kMaxAirspaces = 100, kMaxRunways = 500;
constexpr uint32_t kMaxCount36 = 200, kMaxCount38 = 500, kMaxRemarkRefs = 800, kMaxCount42 = 46000;
constexpr uint32_t kMaxRec9 = 200;

// Field offsets of the records. Where the card layout leaves a field open,
// this system's choice (the card generator in tools/ writes the same):
//   airport  elevation i16 +97, pattern altitude above it i16 +99 (-10000 none)
//   navaid   identifier +12 (8), name +20 (24), frequency u32 +44
//   runway   end flags +16, name index +17, marking index +18/+19, ILS index
//            +20/+21, width i16 +22, length i16 +24, surface index +26
//   fix      identifier +12 (8), display flags +8, type bits +25 (last byte)
namespace apt {
constexpr uint32_t kBox = 0, kLat = 8, kLon = 12, kId = 16, kName = 24, kNameBytes = 43;
constexpr uint32_t kCity = 67, kState = 69, kRec9Count = 80, kRunways = 81, kAirspaces = 82, kRemarks = 84;
constexpr uint32_t kFirstRec9 = 85, kFirstRemark = 87, kFirstRunway = 89, kFirstAirspace = 91;
constexpr uint32_t kBarRunway = 93, kLongest = 95, kElevation = 97, kPattern = 99;
constexpr uint32_t kFlags1 = 101, kFlags2 = 102, kFlags3 = 103;
}  // namespace apt
namespace nvd {
constexpr uint32_t kLat = 0, kLon = 4, kKind = 8, kId = 12, kName = 20, kNameBytes = 24, kFreq = 44;
}
namespace fix {
constexpr uint32_t kLat = 0, kLon = 4, kFlags = 8, kId = 12, kType = 25;
}
namespace rwy {
constexpr uint32_t kEnds = 0, kEndFlags = 16, kName = 17, kMarking = 18, kIls = 20, kWidth = 22, kLength = 24;
constexpr uint32_t kSurface = 26;
}
namespace asp {
constexpr uint32_t kFirstSegment = 15, kSegments = 17;
}

// Fields of unaligned little-endian records.
uint16_t RecU16(const uint8_t* rec, uint32_t offset);
int32_t  RecS32(const uint8_t* rec, uint32_t offset);
void     RecSetU16(uint8_t* rec, uint32_t offset, uint16_t value);

// A vector square: layer 1 of a five-degree key, or layer 2 of a square slot.
constexpr uint32_t kVecMaxPoints = 25000, kVecMaxChains = 2700;
struct VecSquare {
    uint32_t nPoints;
    uint32_t nChains;
    VecPoint points[kVecMaxPoints];
    VecChain chains[kVecMaxChains];
};

// One loaded whole-degree square.
struct MapSquare {
    int32_t  nLon, nLat;                    // the square's stamp
    uint32_t anAirportOrder[kMaxAirports];  // nearest first after sorting
    uint32_t anObstacleOrder[kMaxObstacles];
    uint32_t anAirportDist[kMaxAirports];   // tenths of a nautical mile
    uint32_t anObstacleDist[kMaxObstacles]; // squared, 2^18 units
    uint32_t nFixes;
    uint8_t  fixes[kMaxFixes][kFixBytes];
    uint32_t nNavaids;
    uint8_t  navaids[kMaxNavaids][kNavaidBytes];
    uint32_t nAirports;
    uint8_t  airports[kMaxAirports][kAirportBytes];
    uint32_t nRunways;
    uint8_t  runways[kMaxRunways][kRunwayBytes];
    uint32_t nObstacles;
    uint8_t  obstacles[kMaxObstacles][kObstacleBytes];
    uint32_t nCount30;
    uint32_t nAirspaces;
    uint8_t  airspaces[kMaxAirspaces][kAirspaceBytes];
    uint32_t nSegments;
    uint8_t  segments[kMaxSegments][kSegmentBytes];
    uint32_t nRec9;
    uint8_t  rec9[kMaxRec9][kRec9Bytes];
    uint32_t nRemarkRefs;
    uint8_t  remarkRefs[kMaxRemarkRefs][kRemarkRefBytes];
    VecSquare vec;                          // layer 2
};
constexpr int kMapSquareSlots = 25;
extern MapSquare G_MapSquares[kMapSquareSlots];

// The selected waypoint of the database pages.
constexpr uint32_t kRemarkTexts = 70, kRemarkTextBytes = 310;

// 1 when read; outside the bounds the record is zeroed and 0 returned.
int32_t MapReadSquareIndex(int32_t lon, int32_t lat, const MapFileHeader& header, SquareIndexRecord* out);
// Fills one slot from the square's block; 0 when the map is not loaded.
int32_t MapLoadSquareBlock(int32_t lon, int32_t lat, const MapFileHeader& header, MapSquare* slot,
                           const SquareIndexRecord& rec);

// Records of a waypoint index entry (kinds 1 or 4, 2, 3); 1 when read.
int32_t ReadWaypointRecord(int32_t index, uint8_t* dest);
int32_t MapReadRecord60(int32_t index, uint8_t* dest);
int32_t MapReadRecord26(int32_t index, uint8_t* dest);
// The first index entry whose identifier begins with `id` (at most the 8
// identifier bytes compared), -1 none.
int32_t FindWaypointId(const char* id);
// The entry of exactly this identifier (the rest of the entry is padding), -1 none.
int32_t FindWaypointExact(const char* id);
// The kind of the identifier's entry, its record read into the selection;
// -1 when unknown or the map is not loaded.
int32_t MapSelectWaypoint(const char* id);
int32_t MapLoadAirportById(const char* id, uint8_t* dest);
int32_t MapLoadNavaidById(const char* id, uint8_t* dest);
int32_t MapLoadFixById(const char* id, uint8_t* dest);
// Entries of 15 bytes: a flag byte (bit 0 valid), then the identifier.
int32_t MapSelectFirstAirport(const uint8_t* list, uint32_t count);

// An airport's detail records, read on demand into `dest` (19 runways,
// 99 frequency records, 69 remark references at most).
void MapReadRunways(uint8_t* airport, uint8_t* dest, const MapFileHeader& header);
void MapReadAirportRecs9(uint8_t* airport, uint8_t* dest, const MapFileHeader& header);
void MapReadRemarkRefs(uint8_t* airport, uint8_t* dest, const MapFileHeader& header);

// The string tables: terminated entries, read on first use; "" when the
// index lies beyond the cache.
void MapClearStringCaches();
const char* MapCityName(uint32_t index);
const char* MapStateCode(uint32_t index);
const char* MapText11a(uint32_t index);
const char* MapText13(uint32_t index);
const char* MapText6(uint32_t index);
const char* MapText11b(uint32_t index);
const char* MapText10(uint32_t index);
const char* MapText50(uint32_t index);
const char* MapText40(uint32_t index);

// Up to 70 remark texts of the references, each terminated.
void MapReadTextBlocks(const uint8_t* refs, uint32_t count, char (*texts)[kRemarkTextBytes]);

void MapSortAirports(MapSquare* slot);
void MapSortObstacles(MapSquare* slot);
