// The navigation-source table: a header (bugs, source ports, selected slots)
// and five source records.
#pragma once
#include <cstdint>

constexpr int kNavSlots = 5;
constexpr uint32_t kNavGpsPartBytes   = 81;
constexpr uint32_t kNavVorPartBytes   = 30;
constexpr uint32_t kNavRoutePartBytes = 226;

#pragma pack(push, 1)
struct NavSrcHeader {
    uint8_t  nFlags0;            // bits 2..3 CDI mode; 4, 5, 6 bugs shown
    uint8_t  nFlags1;            // bit 4 minimum-altitude bug shown
    int16_t  nHdgBug;
    int16_t  nAltBug;
    int16_t  nMinAltBug;
    int16_t  nSpeedBug;
    uint32_t nCdiChangeTime;
    uint32_t nBugChangeTime;
    uint8_t  nPort[3];           // serial ports of navigation streams 4..6 (5 = none)
    uint8_t  MAP_LATLON_PORT;
    uint8_t  nCrsSlot;
    uint8_t  nBrgSlot;
    uint8_t  nHsiSlot;
    uint8_t  nMapSrcSlot;        // 0..3
    uint8_t  nMapCrsSlot;
    uint8_t  nGpsSlot;
    uint8_t  bNavChanged;
};
static_assert(sizeof(NavSrcHeader) == 29);

struct NavSrcRec {
    uint8_t  nKind;
    uint8_t  bValid;
    uint8_t  nFlags;             // bit 0 position valid, bit 1 active waypoint
    float    fLat;               // degrees
    float    fLon;
    int16_t  nGroundSpeed;       // 0.1 kt
    uint16_t nCdiScale;
    uint8_t  nPort;
    uint8_t  bGpsValid;
    uint32_t nGpsStamp;
    uint8_t  abGps[kNavGpsPartBytes];
    uint8_t  bVorValid;
    uint32_t nVorStamp;
    uint8_t  abVor[kNavVorPartBytes];
    uint8_t  bRoutePresent;
    uint32_t nRouteStamp;
    uint8_t  abRoute[kNavRoutePartBytes];
};
#pragma pack(pop)

struct NavSrcTable {
    NavSrcHeader hdr;
    NavSrcRec    rec[kNavSlots];
};
extern NavSrcTable G_NavSrc;

constexpr uint8_t kNavFlagPosValid = 1;

void     InitNavSrc();
// Assigns the navigation source kinds once SYSTEM.KVD has been applied.
void     SetNavSrcKinds();
// Scans serial ports 1..4 and assigns the navigation sources.
void     FindNavSources();
void     UpdateNavSrc(int32_t arg);
void     DemoNavCtrl(uint32_t port);
void     RestartDemoNav();
uint16_t GetCdiScale(uint8_t flags);
void     SendAviationOutput(uint32_t port);
void     SendArincFrame(uint32_t port);

// Parse callbacks of the navigation receivers on the serial ports.
void ParseNmeaMsg(uint8_t* msg, int32_t length, uint32_t port);
void ParseVorMsg(uint8_t* msg, int32_t length, uint32_t port);
void ParseArincMsg(uint8_t* msg, int32_t length, uint32_t port);
void ParseAvaiationMsg(uint8_t* msg, int32_t length, uint32_t port);
// Receiver records cleared when a port takes up their function.
void ClearNmeaGpsSlot();     // the first slot of G_NmeaGps
void ClearVorRadio();        // G_VorRadio
void ClearAvtnGps();         // G_AvtnGps

// NMEA checksums: the XOR of the characters after "$" up to "*".
constexpr int32_t kNmeaMaxSentence = 82;   // "$" to LF
// 1 when the sentence is at most 82 characters, starts with "$" and its two
// hexadecimal digits after "*" match; else 0.
int32_t NmeaCheckCrc(const char* sentence, int32_t length);
// Writes the sum as two upper-case digits after the "*" and returns it;
// writes nothing and returns 0 without a "$" or without room after a "*".
int32_t NmeaSetCrc(char* sentence, int32_t length);
