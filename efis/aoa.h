// Angle of attack: the wing-pressure input against the pitot pressure,
// on the segment scale of the indicator, with its calibration file AOA.KVC
// and the in-flight calibration.
//
// The model: the ratio of the wing pressure to the dynamic pressure that
// the IAS gives depends on the angle of attack, not on the speed. Two
// recorded ratios fix the scale: ZERO_LIFT_CRUISE (level cruise) is segment
// 0, STALL (at the break) segment 30; 24 and above is the stall warning,
// 80 % of the way from zero lift to the stall.
//
// AOA.KVC keys, one "KEY, VALUE" line each, in this order:
//   ZERO_LIFT_CRUISE   wing / dynamic pressure ratio at zero lift, thousandths
//   STALL              the ratio at the stall, thousandths
//   ARM_AIRSPEED       knots: the stall alarm is armed only above it
//   AOA_ENABLE         1: the angle of attack is computed, else segment 0
//   DECLUTTER_SEGMENT  the indicator is hidden below this segment when decluttered
#pragma once
#include <cstddef>
#include <cstdint>

#pragma pack(push, 1)
struct AoaRecord {
    int32_t nAoa;          // +0  segment 0..30; 24 and above: stall warning
    int32_t nRatio;        // +4  wing / dynamic pressure, thousandths
    int32_t nAlarmHold;    // +8  the stall alarm is raised only while 0
    int32_t nInflightCal;  // +12 1 while the in-flight calibration menu is open
    int32_t nCalStep;      // +16 in-flight calibration: 1 zero lift, 2 stall, 3 save
};
#pragma pack(pop)
static_assert(offsetof(AoaRecord, nRatio) == 4 && offsetof(AoaRecord, nAlarmHold) == 8);
static_assert(offsetof(AoaRecord, nInflightCal) == 12 && sizeof(AoaRecord) == 20);
constexpr uint32_t kAoaLinkBytes = 16;
extern AoaRecord G_Aoa;

struct AoaCfg {
    int32_t nZeroLift;     // ratio, thousandths
    int32_t nStall;
    int32_t nArmIas;       // knots
    int32_t nEnable;
    int32_t nDeclutter;    // segment
};
extern AoaCfg G_AoaCfg;

constexpr int32_t kAoaTopSegment = 30;
constexpr int32_t kAoaWarnSegment = 24;

void InitAoa();
// Channel 2, after the airspeed conversion of the same cycle step.
void ReadAoaChannel();
// The segment of a ratio on the calibrated scale.
int32_t AoaSegment(int32_t ratio);
// 2: back to the first point; 3: record the live ratio at the step, or save.
void AoaInflightCal(int32_t step);
void ReadAoaFile();
void WriteAoaFile();
// Reads AOA.KVC into G_AoaCfg (defaults where it has no key).
void LoadAoaFile();
void AoaCalOpen();
void AoaCalScreen();
