// The navigation-source table: a header (bugs, source ports, selected slots)
// and five source slots. Slots 0..2 are the external sources, slot 3 the
// map's own GOTO, slot 4 "no source".
#pragma once
#include <cstddef>
#include <cstdint>

constexpr int32_t kNavSlots     = 5;
constexpr int32_t kNavMapSlot   = 3;
constexpr int32_t kNavNoneSlot  = 4;
constexpr uint8_t kNavNoPort    = 5;
constexpr uint8_t kNavKindMap   = 9;
constexpr uint8_t kNavKindNone  = 13;
constexpr int32_t kNavKinds     = 14;
constexpr int32_t kNavRoutePoints = 15;

// Header byte 0.
constexpr uint8_t kNavHdrCrsGps    = 1u << 0;   // the course slot is a GPS
constexpr uint8_t kNavHdrCrsRadio  = 1u << 1;   // the course slot is a navigation radio
constexpr uint32_t kNavHdrPhaseShift = 2;        // bits 2..3: GPS phase code
constexpr uint8_t kNavHdrHdgSteer  = 1u << 4;
constexpr uint8_t kNavHdrAltSteer  = 1u << 5;
constexpr uint8_t kNavHdrSpdSteer  = 1u << 6;
// Header byte 1.
constexpr uint8_t kNavHdrChanged   = 1u << 1;   // navigation data changed
constexpr uint8_t kNavHdrMinAltBug = 1u << 4;   // minimum-altitude bug shown

// GPS flags A (slot byte 26) and B (27).
constexpr uint8_t kNavGpsValid     = 1u << 0;
constexpr uint8_t kNavGpsWptValid  = 1u << 1;   // waypoint identifier valid
constexpr uint8_t kNavGpsVertical  = 1u << 2;
constexpr uint8_t kNavGpsTrack     = 1u << 3;
constexpr uint8_t kNavGpsXtkUsable = 1u << 4;
constexpr uint8_t kNavGpsWptPos    = 1u << 5;   // waypoint position valid
constexpr uint8_t kNavGpsDtkValid  = 1u << 6;
constexpr uint8_t kNavGpsPhaseLow  = 1u << 7;
constexpr uint8_t kNavGpsPhaseHigh = 1u << 0;   // in flags B
constexpr uint8_t kNavGpsFix       = 1u << 4;   // in flags B
constexpr uint8_t kNavGpsOwnPos    = 1u << 5;   // in flags B: own position valid and in range
// Radio flags A (slot byte 333).
constexpr uint8_t kNavRadioValid   = 1u << 0;
constexpr uint8_t kNavRadioLoc     = 1u << 2;   // a localizer is tuned
constexpr uint8_t kNavRadioGsPresent = 1u << 5;
constexpr uint8_t kNavRadioGsValid = 1u << 6;
// Radio flags B (slot byte 334).
constexpr uint8_t kNavRadioCdiValid = 1u << 0;  // course deviation valid
constexpr uint8_t kNavRadioArinc    = 1u << 1;
constexpr uint8_t kNavRadioRadialValid = 1u << 2;
constexpr uint8_t kNavRadioRadial2Valid = 1u << 3;   // second receiver's radial valid
constexpr uint8_t kNavRadioStationValid = 1u << 4;

constexpr int32_t kNavStationChars = 5;   // identifier bytes the radio part takes

// Route entry flags.
constexpr uint8_t kNavRoutePosValid = 1u << 0;   // latitude and longitude hold a position
constexpr uint8_t kNavRouteActive   = 1u << 1;   // destination of the active leg

#pragma pack(push, 1)
struct NavRoutePoint {           // the map reads these and the display link carries them
    uint8_t  nFlags;
    char     szIdent[6];         // at most 5 characters and a NUL
    float    fLat;               // degrees
    float    fLon;
};
static_assert(sizeof(NavRoutePoint) == 15);

struct NavSrcHeader {
    uint8_t  nFlags0;            // course type, GPS phase code, steering bits
    uint8_t  nFlags1;            // navigation changed, minimum-altitude bug shown
    int16_t  nHdgBug;            // whole degrees 0..359
    int16_t  nAltBug;            // feet
    // Bytes 6..15 belong to the readers of this subsystem.
    int16_t  nMinAltBug;         // feet
    uint32_t nBugChangeTime;     // OS timer
    uint32_t nCdiChangeTime;     // OS timer
    int16_t  nSpeedBug;          // knots
    uint8_t  nPort[3];           // serial ports of Src1..Src3 (5 = none)
    uint8_t  MAP_LATLON_PORT;    // the map's position source (5 = none)
    uint8_t  nCrsSlot;           // HSI, autopilot and ARINC 429 output slot (4 = none)
    uint8_t  nBrgSlot;           // bearing pointer (4 = none)
    uint8_t  nMapCrsSlot;        // map course slot, shown in the EFIS source box
    uint8_t  nMapSrcSlot;        // 3 is the map's own slot
};

struct NavSrcRec {
    uint8_t  reserved0;
    uint8_t  bInUse;             // set each time the merge runs for the slot
    uint8_t  nType;              // 0 none, 1 GPS, 2 navigation radio
    uint8_t  reserved3;
    uint8_t  nKind;              // index into NavSrcKindNames
    uint8_t  nPort;              // 5 = none
    uint8_t  nStartByte;         // 0 at start
    uint8_t  nCrsOverride;       // 1 GPS course set by the user, 2 radio course
    int16_t  nCourse;            // whole degrees
    uint32_t nCrsStamp;          // last course change
    uint32_t nGpsStamp;          // last GPS-part refresh
    uint32_t nRouteStamp;        // last route refresh, for its time-out
    uint32_t nRadioStamp;        // last radio-part refresh
    // GPS part: bytes 26..106.
    uint8_t  nGpsFlagsA;
    uint8_t  nGpsFlagsB;
    uint8_t  reserved28[2];
    int16_t  nDesiredTrack;      // 0.1 degree
    int16_t  nCrossTrack;        // 0.01 NM, negative: steer left
    uint8_t  nCdiFullScale;      // 0.01 NM
    uint8_t  reserved35;
    int16_t  nBearing;           // to the waypoint, magnetic, 0.1 degree
    int16_t  nTrackMag;          // 0.1 degree
    int16_t  nTrackTrue;         // 0.1 degree
    int16_t  nMagVar;            // 0.1 degree, west positive
    char     szWaypoint[8];      // zero-filled when none
    int16_t  nGroundSpeed;       // 0.1 kt
    int16_t  nSpeedToWpt;        // 0.1 kt
    int16_t  nDistance;          // to the waypoint, 0.1 NM
    int32_t  nTimeToWpt;         // seconds; -1 when not available
    uint8_t  abVertGuide[4];
    uint8_t  reserved66[4];
    float    fLat;               // degrees, north positive
    float    fLon;               // degrees, east positive
    int16_t  nDistanceCopy;
    float    fOrigLat;           // origin of the leg, degrees (the map's own slot)
    float    fOrigLon;
    float    fWptLat;
    float    fWptLon;
    uint8_t  abRollSteer[9];
    int16_t  nGpsAltitude;       // feet; 0x7FFF when not available
    // Route part: bytes 107..332.
    uint8_t  nRouteCount;
    NavRoutePoint route[kNavRoutePoints];
    // Radio part: bytes 333..361.
    uint8_t  nRadioFlagsA;
    uint8_t  nRadioFlagsB;
    int16_t  nCdi;
    int16_t  nObs;               // whole degrees
    int16_t  nVertDev;
    int16_t  nRadial;            // 0.1 degree
    int16_t  nActiveFreq;
    int16_t  nStandbyFreq;
    int16_t  nRadial2;
    int16_t  nActiveFreq2;
    int16_t  nStandbyFreq2;
    char     szStation[9];
};

struct NavSrcTable {
    NavSrcHeader hdr;
    NavSrcRec    rec[kNavSlots];
    uint8_t      reserved;       // the 1,837th byte the display link carries
};
#pragma pack(pop)

static_assert(sizeof(NavSrcHeader) == 26);
static_assert(sizeof(NavSrcRec) == 362);
static_assert(sizeof(NavSrcTable) == 1837);
static_assert(offsetof(NavSrcHeader, nSpeedBug) == 16);
static_assert(offsetof(NavSrcHeader, nPort) == 18);
static_assert(offsetof(NavSrcHeader, nCrsSlot) == 22);
static_assert(offsetof(NavSrcHeader, nMapSrcSlot) == 25);
static_assert(offsetof(NavSrcRec, nKind) == 4);
static_assert(offsetof(NavSrcRec, nCourse) == 8);
static_assert(offsetof(NavSrcRec, nGpsStamp) == 14);
static_assert(offsetof(NavSrcRec, nRadioStamp) == 22);
static_assert(offsetof(NavSrcRec, nGpsFlagsA) == 26);
static_assert(offsetof(NavSrcRec, nDesiredTrack) == 30);
static_assert(offsetof(NavSrcRec, nCdiFullScale) == 34);
static_assert(offsetof(NavSrcRec, nBearing) == 36);
static_assert(offsetof(NavSrcRec, nTrackMag) == 38);
static_assert(offsetof(NavSrcRec, szWaypoint) == 44);
static_assert(offsetof(NavSrcRec, nGroundSpeed) == 52);
static_assert(offsetof(NavSrcRec, nDistance) == 56);
static_assert(offsetof(NavSrcRec, nTimeToWpt) == 58);
static_assert(offsetof(NavSrcRec, fLat) == 70);
static_assert(offsetof(NavSrcRec, nDistanceCopy) == 78);
static_assert(offsetof(NavSrcRec, fWptLat) == 88);
static_assert(offsetof(NavSrcRec, abRollSteer) == 96);
static_assert(offsetof(NavSrcRec, nGpsAltitude) == 105);
static_assert(offsetof(NavSrcRec, fOrigLat) == 80);
static_assert(offsetof(NavSrcRec, nRouteCount) == 107);
static_assert(offsetof(NavSrcRec, route) == 108);
static_assert(offsetof(NavSrcRec, nRadioFlagsA) == 333);
static_assert(offsetof(NavSrcRec, nObs) == 337);
static_assert(offsetof(NavSrcRec, nRadial) == 341);
static_assert(offsetof(NavSrcRec, szStation) == 353);

// The parts that time-outs clear as blocks (offsets within a slot).
constexpr uint32_t kNavGpsPartAt     = offsetof(NavSrcRec, nGpsFlagsA);
constexpr uint32_t kNavGpsPartBytes  = 81;
constexpr uint32_t kNavRoutePartAt   = offsetof(NavSrcRec, nRouteCount);
constexpr uint32_t kNavRoutePartBytes = 226;
constexpr uint32_t kNavRadioPartAt   = offsetof(NavSrcRec, nRadioFlagsA);
constexpr uint32_t kNavRadioPartBytes = 29;   // to the slot's end, never into the next slot
static_assert(kNavGpsPartAt + kNavGpsPartBytes == kNavRoutePartAt);
static_assert(kNavRoutePartAt + kNavRoutePartBytes == kNavRadioPartAt);
static_assert(kNavRadioPartAt + kNavRadioPartBytes == sizeof(NavSrcRec));

extern NavSrcTable G_NavSrc;
extern const char NavSrcKindNames[kNavKinds][16];

void     InitNavSrc();
// Zeroes one part of a slot, never past the slot's end.
void     ClearNavPart(int32_t slot, uint32_t at, uint32_t bytes);
// Own position valid (GPS flags B bit 5): the slot holds a usable position.
bool     NavHasPosition(const NavSrcRec& rec);
// Applies header byte 22 (course) or 23 (bearing).
void     SelectCrsSource();
void     SelectBrgSource();
// The next in-use GPS slot after `slot` (or the map slot with `withMap`),
// else `slot`.
int32_t  NextGpsSlot(int32_t slot, int32_t withMap);
// 1, 2 or 3 for a slot of GPS number n, else 0.
int32_t  NavSlotGpsNo(int32_t slot);
// The first of slots 0..2 from `slot` on with valid data and a fix, else `slot`.
int32_t  SelectGpsSlot(int32_t slot);
// Assigns the navigation source kinds once SYSTEM.KVD has been applied.
void     SetNavSrcKinds();
// Scans serial ports 1..4 and assigns the navigation sources.
void     FindNavSources();
// Merges the source on a serial port into its slot (other ports: nothing).
void     UpdateNavSrc(int32_t port);
void     DemoNavCtrl(uint32_t port);
void     RestartDemoNav();
// CDI full scale in hundredths of a nautical mile by GPS phase code.
uint16_t GetCdiScale(uint8_t phase);
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
