// The NVRAM settings image: 988 bytes kept in RAM and copied into flash
// sectors 62 and 63 in turn, 32 wear-levelling slots per sector, each copy
// guarded by a CRC-32 of its first 984 bytes.
#pragma once
#include <cstdint>

constexpr uint32_t kNVRamSize = 988;
extern uint8_t G_NVRam[kNVRamSize];
extern uint32_t G_NVRamSector;   // the sector (62 or 63) loaded or written last

// Byte offsets of the image's fields (the stored format).
constexpr uint32_t kNvMajorRel       = 0;
constexpr uint32_t kNvMinorRel       = 4;
constexpr uint32_t kNvBugFix         = 8;
constexpr uint32_t kNvAdminUser      = 12;
constexpr uint32_t kNvClockFormat    = 16;
constexpr uint32_t kNvMasterVolume   = 20;
constexpr uint32_t kNvScreenConfig   = 24;
constexpr uint32_t kNvSerialDebugOn  = 28;
constexpr uint32_t kNvDimPercent     = 32;
constexpr uint32_t kNvNetDebugLogsOn = 36;
constexpr uint32_t kNvScreenEnable   = 40;
constexpr uint32_t kNvLastLatitude   = 44;    // f32
constexpr uint32_t kNvLastLongitude  = 48;    // f32
constexpr uint32_t kNvApSteerEnable  = 64;    // u8
constexpr uint32_t kNvLabel122       = 65;    // u8, 0 or 1
constexpr uint32_t kNvGalsUsed       = 148;   // f64, tenths of a gallon
constexpr uint32_t kNvGalsRem        = 156;   // f64, tenths of a gallon
constexpr uint32_t kNvFuelCompMode   = 188;
constexpr uint32_t kNvHobbsTime      = 312;   // f32 hours
constexpr uint32_t kNvTachTime       = 316;
constexpr uint32_t kNvTodayTime      = 320;
constexpr uint32_t kNvTodayDate      = 324;
constexpr uint32_t kNvLastFlight     = 328;
constexpr uint32_t kNvCylGaugeType   = 460;
constexpr uint32_t kNvOatUnits       = 592;
constexpr uint32_t kNvWindsGaugeOn   = 596;
constexpr uint32_t kNvDaltGaugeOn    = 600;
constexpr uint32_t kNvTasGaugeOn     = 608;
constexpr uint32_t kNvClockBlock     = 720;   // the 132 bytes also kept in clock memory
constexpr uint32_t kNvPitchAdj       = 720;   // i32
constexpr uint32_t kNvHeadingAdj     = 724;   // i32
constexpr uint32_t kNvAhrsDebug      = 728;
constexpr uint32_t kNvTargetType     = 732;
constexpr uint32_t kNvRollScaleOn    = 736;
constexpr uint32_t kNvHeadingOn      = 740;
constexpr uint32_t kNvAoaGaugeOn     = 748;
constexpr uint32_t kNvAoaDeclutterOn = 752;
constexpr uint32_t kNvRollAdj        = 756;   // i32
constexpr uint32_t kNvGMeterOn       = 760;
constexpr uint32_t kNvGMeterMax      = 764;   // i32
constexpr uint32_t kNvGMeterMin      = 768;   // i32
constexpr uint32_t kNvApVertMode     = 772;   // u8: autopilot vertical mode 0, 4, 5, 6
constexpr uint32_t kNvNavMode        = 773;   // u8: autopilot lateral mode 0..3
constexpr uint32_t kNvApMinSpd       = 775;   // u8
constexpr uint32_t kNvApMaxSpd       = 776;   // u8
constexpr uint32_t kNvApGains        = 779;   // 20 u16: lateral, altitude hold, VS hold, approach, pitch
constexpr uint32_t kNvWriteCount     = 968;
constexpr uint32_t kNvErrorCount     = 972;
constexpr uint32_t kNvEraseCount     = 976;
constexpr uint32_t kNvWriteStamp     = 980;   // OS-timer count at the last flash write
constexpr uint32_t kNvCrc            = 984;

// Flash copies.
constexpr int32_t  kNvSectorA     = 62;
constexpr int32_t  kNvSectorB     = 63;
constexpr uint32_t kNvSlots       = 32;
constexpr uint32_t kNvSlotFirst   = 0x420;   // offset of slot 0 in its sector
constexpr uint32_t kNvSlotBytes   = 0xFC0;
constexpr uint32_t kNvHeaderBytes = 132;     // bitmap word, then the 32 slot addresses

// A double as the target stores it: the most significant 32-bit word first,
// each word little-endian.
struct TargetDouble {
    uint32_t nHigh;
    uint32_t nLow;
};
static_assert(sizeof(TargetDouble) == 8);
TargetDouble ToTargetDouble(double value);
double       FromTargetDouble(TargetDouble value);

// Fields may sit at odd offsets: read and written bytewise, little-endian.
uint32_t NvGetU32(uint32_t offset);
void     NvSetU32(uint32_t offset, uint32_t value);
uint16_t NvGetU16(uint32_t offset);
void     NvSetU16(uint32_t offset, uint16_t value);
float    NvGetF32(uint32_t offset);
void     NvSetF32(uint32_t offset, float value);
double   NvGetF64(uint32_t offset);
void     NvSetF64(uint32_t offset, double value);

// Loads the newer good copy from flash, or rebuilds the image from NVRAM.KVD.
void    ReadNVRam();
// Writes the image into the other sector when it changed (or always, force 1);
// the result of the last flash write, negative on failure.
int32_t WriteNVRam(int32_t force);

// NVRAM.KVD, the readable copy of the image.
void ReadNVRamFile();    // restores the image from the file, then writes it everywhere
void WriteNVRamFile();
// The same restore with the version lines taken too: the file is rewritten by
// the running software at every start, so its version is the image's.
void RestoreNVRamFile();
