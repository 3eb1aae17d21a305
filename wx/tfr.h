// TFR areas: a small XML scanner of our own, the TFR set read into area
// records of the map's airspace form, and their drawing on the map.
#pragma once
#include <cstdint>

struct MapPoint;

constexpr uint32_t kWxTfrRecords   = 150;
constexpr uint32_t kWxTfrPointSlots = 250;
constexpr uint32_t kWxTfrMaxPoints = 248;       // stored while count + 2 <= 249
constexpr uint32_t kWxXmlNameBytes = 128;
constexpr uint32_t kWxXmlTextBytes = 2048;
constexpr uint32_t kWxTfrNoExpiry  = 0x40000000;
constexpr uint16_t kTfrUpperMsl = 0x0001, kTfrLowerMsl = 0x0002, kTfrUpperAgl = 0x0100, kTfrLowerAgl = 0x0200;
constexpr uint16_t kTfrNotCurrent = 0x1000;
constexpr uint8_t  kTfrLine = 1, kTfrCircle = 2, kTfrArc = 4, kTfrArcCcw = 12;
constexpr int16_t  kTfrSurface = -10000;

#pragma pack(push, 1)
struct WxTfrRecord {               // the map's airspace record, then the TFR's own fields
    int16_t  nMinLon, nMinLat;     // 1/180 degree
    int16_t  nMaxLon, nMaxLat;
    int16_t  nLower, nUpper;       // ft; -10000 the surface
    uint8_t  cClass;               // 'T'
    uint16_t nFlags;
    uint8_t  spare15, spare16;
    uint16_t nPoints;
    char     szType[20];           // 19 characters and a 0
    uint8_t  spare39;
    uint32_t nActive;              // minute keys, 0 none
    uint32_t nExpires;
};
struct WxTfrPoint {                // the map's airspace segment
    int32_t  nLat, nLon;           // 2^18 units per degree: line point, circle or arc centre
    int32_t  nA, nB;               // line: the next point; arc: the two angles
    int32_t  nRadius;              // 2^18 units per degree of latitude
    uint8_t  nKind;
    uint8_t  spare;
};
#pragma pack(pop)
static_assert(sizeof(WxTfrRecord) == 48);
static_assert(sizeof(WxTfrPoint) == 22);

extern WxTfrRecord G_WxTfr[kWxTfrRecords];
extern WxTfrPoint  G_WxTfrPoints[kWxTfrPointSlots];

// (year mod 1000) x 552960 + month x 46080 + day x 1440 + hour x 60 + minute.
uint32_t WxTfrMinuteKey(uint32_t year, uint32_t month, uint32_t day, uint32_t hour, uint32_t minute);
int32_t  WxTfrCoord(char hemisphere, float degrees);
void     WxTfrBoxAdd(WxTfrRecord* rec, int32_t lat, int32_t lon);

// Marks each area current or not against the receiver's clock and draws
// those in the view box (west, south, east, north in 1/180 degree) about the
// map reference, with the type label of single-shape areas above zoom 4.
void    WxDrawTfrLabels(const int16_t* viewBox, const MapPoint& ref);
// 1 when the area is current at the minute key `now`.
int32_t WxTfrIsCurrent(const WxTfrRecord& rec, uint32_t now);

// The scanner. Positions are pointers into the text; null is none.
const char* WxMemSearch(const char* text, uint32_t textLen, const char* pattern, uint32_t patternLen);
const char* WxXmlFindOpenTag(const char* text, uint32_t length);
const char* WxXmlNextTag(const char* text, char* name, uint32_t length);
int32_t     WxXmlCloseTagOffset(const char* text, const char* name, uint32_t length);
const char* WxXmlCopyText(const char* text, char* out, uint32_t length);
int32_t     WxXmlUnescape(const char* text, char* out, uint32_t remaining);
