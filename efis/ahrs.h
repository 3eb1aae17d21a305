// The AHRS: the one attitude record (also display-link datagram type 2), the
// two external protocols that fill it, the pilot's attitude adjustments, the
// status monitor with its cross-check, the aiding message and the demo source.
#pragma once
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct AhrsRecord {
    uint32_t nType;          // +0  non-zero: configured type copied here, Dynon status rules
    int32_t  nRoll;          // +4  0.1 degree, (-1800, 1800]
    int32_t  nPitch;         // +8  0.01 degree, -9000..9000
    int32_t  nHeading;       // +12 0.1 degree, 0..3599
    int32_t  nReserved;      // +16
    int32_t  nRollRate;      // +20 Crossbow scale: 0.1 degree/s
    int32_t  nPitchRate;     // +24
    int32_t  nYawRate;       // +28 Crossbow 0.1 degree/s; Dynon column as sent
    int32_t  nAccelX;        // +32 Crossbow: 0.001 g
    int32_t  nAccelY;        // +36 sign inverted
    int32_t  nAccelZ;        // +40
    uint32_t nModel;         // +44 Crossbow model number
    uint32_t nStatus;        // +48 Crossbow BIT word; Dynon: three hex digits, one per byte
    int32_t  nLatAccel;      // +52 lateral acceleration for the slip ball
    int32_t  nLoadFactor;    // +56 0.01 g, -999..999
    int32_t  nFresh;         // +60 40 at every accepted message, run down every 40 ms
    uint16_t nStatusAge;     // +64 seconds, counted by the clock interrupt
};
#pragma pack(pop)
static_assert(sizeof(AhrsRecord) == 66);
static_assert(offsetof(AhrsRecord, nRoll) == 4 && offsetof(AhrsRecord, nPitch) == 8);
static_assert(offsetof(AhrsRecord, nHeading) == 12 && offsetof(AhrsRecord, nReserved) == 16);
static_assert(offsetof(AhrsRecord, nRollRate) == 20 && offsetof(AhrsRecord, nPitchRate) == 24);
static_assert(offsetof(AhrsRecord, nYawRate) == 28 && offsetof(AhrsRecord, nAccelX) == 32);
static_assert(offsetof(AhrsRecord, nAccelY) == 36 && offsetof(AhrsRecord, nAccelZ) == 40);
static_assert(offsetof(AhrsRecord, nModel) == 44 && offsetof(AhrsRecord, nStatus) == 48);
static_assert(offsetof(AhrsRecord, nLatAccel) == 52 && offsetof(AhrsRecord, nLoadFactor) == 56);
static_assert(offsetof(AhrsRecord, nFresh) == 60 && offsetof(AhrsRecord, nStatusAge) == 64);

extern AhrsRecord G_Ahrs;
extern AhrsRecord G_RemoteAhrs;      // the other display's, for the cross-check
extern uint32_t   G_RemoteAhrsSeen;  // 1 once G_RemoteAhrs was filled

constexpr int32_t kAhrsFreshLoad = 40;   // 1.6 s of 40 ms status steps
constexpr int32_t kLoadFactorMax = 999;  // 0.01 g

// Byte offsets in the clock-memory block of the settings image (G_NVClock).
constexpr uint32_t kClkPitchAdj = 0;     // i32, 0.1 degree
constexpr uint32_t kClkHeadingAdj = 4;   // i32, 0.1 degree
constexpr uint32_t kClkRollAdj = 36;     // i32, 0.1 degree
constexpr uint32_t kClkLoadMax = 44;     // i32, 0.01 g
constexpr uint32_t kClkLoadMin = 48;     // i32, 0.01 g

// Adds the pilot's adjustments of a block laid out as G_NVClock to a record:
// roll wraps into (-1800, 1800], pitch is held within +-9000, heading wraps
// into 0..3599.
void ApplyAttitudeAdjust(AhrsRecord* ahrs, const uint8_t* clockSettings);
// The settings image's clock-memory block.
uint8_t* AhrsClockSettings();

// ---- status -----------------------------------------------------------------------------
enum AhrsAttState : uint8_t {
    kAttNormal = 0, kAttStale = 1, kAttHardFailure = 2, kAttFault = 3, kAttMiscompare = 4,
};
enum AhrsMagFlag : uint8_t { kMagNone = 0, kMagAlignRequired = 1, kMagError = 2 };
constexpr uint32_t kAhrsWhite = 0xFFFFFF, kAhrsYellow = 0xFFFF, kAhrsRed = 0xFF;   // 0x00BBGGRR

// Neither stored nor sent; the settings table writes the aiding word.
struct AhrsState {
    uint32_t nAiding;        // AHRS_AIDING: the aiding message is sent while not 1
    uint8_t  nAttState;      // AhrsAttState
    uint32_t nAttColour;
    uint8_t  nMagFlag;       // AhrsMagFlag
    uint32_t nMagColour;
    uint32_t nXcEnable;      // non-zero: compare with the other display
};
extern AhrsState G_AhrsState;

// The magnetometer state is not red: the heading may be used and sent.
bool AhrsHeadingUsable();

void CheckAhrsStatus();
// 0 when the cross-check is off or the attitudes agree, 1 when the remote
// record is stale or they disagree.
uint32_t AHRS_XC();

// ---- Crossbow built-in test bits, for the diagnostic page --------------------------------
constexpr int kAhrsBits = 16;
extern const char* const kAhrsBitNames[kAhrsBits];
extern const uint16_t kAhrsBitMasks[kAhrsBits];
struct AhrsBitLog {
    uint32_t nActive;        // 1 while the bit is set (bits 4 and 5 stay set)
    uint32_t nFirstSeen;     // OS-timer count of the message that first set it
};
extern AhrsBitLog G_AhrsBits[kAhrsBits];
// The diagnostic page's text for BIT bit n (0..15): its name, "ACTIVE" or
// "-", and for an active bit the seconds since the message that first set it.
void FormatAhrsBitLine(int32_t bit, char* out, int32_t size);
// The three status digits of the ASCII AHRS, as it sent them ("3EA").
void FormatDynonStatus(char* out, int32_t size);

// ---- protocols --------------------------------------------------------------------------
constexpr int32_t kDynonMsgBytes = 53;   // 51 characters and CR LF
constexpr int32_t kXbowMsgBytes = 26;

void SyncDynonMsg(uint32_t port);
int32_t CheckDynonCrc(const uint8_t* msg);
void ParseDynonMsg(uint8_t* msg, int32_t length, uint32_t port);
void SyncXbowMsg(uint32_t port);
int32_t CheckXbowCrc(const uint8_t* msg);
void ParseXbow500Msg(uint8_t* msg, int32_t length, uint32_t port);

// The load factor held within -999..999, and the settings image's extremes
// moved out to a new one.
int32_t ClampLoadFactor(int32_t value);
void KeepLoadFactorExtremes(int32_t loadFactor);

// ---- aiding and demo --------------------------------------------------------------------
constexpr int32_t kAidingBytes = 32;
// Builds the aiding message for the current air data; false when the air
// data are stale or invalid and nothing is to be sent.
bool BuildAhrsAiding(uint8_t* out);
void SendAhrsAiding();
void DemoAhrsStep();
