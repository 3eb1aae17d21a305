// The two knob records: encoder step counting, acceleration into the delta
// mailbox, the knob functions and how they are chosen, and the long-push
// synchronisation.
#pragma once
#include <cstdint>

struct KnobRecord {
    uint32_t nKnob;          // 0 left, 1 right
    uint32_t bPresent;
    uint32_t bSelecting;
    uint32_t nSelectTime;
    int32_t  nFunction;
    int32_t  nMainFunction;
    int32_t  nDelta;         // mailbox for the main loop; 0 = empty
    int32_t  nSteps;         // encoder steps counted since the last ReadKnobDelta
    int32_t  nLastDir;
    uint32_t nLastStepTime;
    uint32_t nStepInterval;
    uint32_t nPhaseBReg;     // level register and mask of the encoder's second phase
    uint32_t nPhaseBMask;
    uint32_t nAllowMask;
    // The knob menu drawn above the status bar while functions are chosen.
    uint32_t bMenuVisible;
    uint32_t nMenuShown;     // OS-timer count when it was (re)shown
    uint32_t bMenuWasVisible;
    int32_t  nMenuTop;       // top row last drawn
};
static_assert(sizeof(KnobRecord) == 72);

extern KnobRecord G_Knob0;
extern KnobRecord G_Knob1;
extern uint32_t   G_KnobPushSel;   // 0 "PUSH SEL": a push steps the function; 1 "TURN SEL"

enum KnobFunction : int32_t {
    kKnobNone = 0, kKnobDim, kKnobBaro, kKnobCrs, kKnobHdg, kKnobAlt, kKnobMinAlt, kKnobSpd, kKnobVspd,
    kKnobZoom, kKnobFuel, kKnobTimer, kKnobClock, kKnobDate, kKnobPadj, kKnobHadj, kKnobRadj, kKnobNrst,
    kKnobDirect, kKnobInfo, kKnobMin, kKnobMax, kKnobRollAlt, kKnobLocGs, kKnobImax, kKnobFdGain,
    kKnobPanVer, kKnobPanLat, kKnobPageLst, kKnobKnobLst, kKnobFunctions = 29
};

constexpr uint32_t kKnobFastTicks   = 73728;     // 20 ms
constexpr uint32_t kKnobMediumTicks = 110592;    // 30 ms
constexpr uint32_t kKnobRestTicks   = 7372800;   // 2 s
constexpr uint32_t kKnobSelectGuard = 368640;    // 100 ms
constexpr uint32_t kKnobMenuTicks   = 11059200;  // 3 s

constexpr uint32_t kNvKnobListLeft  = 56;
constexpr uint32_t kNvKnobListRight = 60;
constexpr uint32_t kNvVspdLimit     = 777;       // u16
constexpr uint32_t kNvFuelAdjust    = 168;       // i32

KnobRecord& KnobOf(int32_t knob);
void    InitKnobs();
int32_t ReadKnobDelta(int32_t knob);
void    SetKnobFunc(KnobRecord* knob, int32_t f);
int32_t NextKnobFunc(int32_t knob);
void    ResetKnobAllow();
void    KnobPress(int32_t knob);
void    KnobPushSync(int32_t knob);
// Sets (absolute) or steps the course of the course slot: a GPS slot's selected
// course or a radio's OBS, whole degrees; marks it as the user's for 3 s.
void    AdjustNavCourse(int32_t value, int32_t absolute);
// Follows a course change: the demo slot at once, else a merge of its source.
void    FollowCourse();
uint32_t KnobStepClamp(uint32_t value, int32_t delta, uint32_t max, uint32_t min);
// Shows the knob's menu for the next 3 s.
void    ShowKnobMenu(KnobRecord* knob);
// The knob-list word of the NVRAM image with bits 10..31 on.
uint32_t KnobListWord(int32_t knob);

// Bug synchronisation shared by the long push and "SYNC BUGS".
int32_t SyncHeadingBug();     // from the AHRS heading and the heading adjustment
int32_t SyncAltitude50(int32_t altitude);
int32_t SyncSpeedBug();       // from the IAS

// Settings changed by a key or knob: the clock-memory mirror written at once,
// and the user event that makes the other display do the same.
void StoreClockReg(int32_t reg, uint8_t value);
void StoreClockRegI16(int32_t reg, int32_t value);
void StoreClockBit(int32_t reg, int32_t bit, uint32_t on);
void SendRemoteUserEvent(uint32_t code, uint32_t arg0, uint32_t arg1);
int32_t RoundHalfAway(float value);
// 1 - value for 0 and 1, 0 for anything else.
uint32_t Toggle01(uint32_t value);

// The UNITS setting of an instrument (0 for numbers outside the table): the
// knob steps altitude, baro, speed and fuel in the pilot's units.
int32_t InstDisplayUnits(int32_t inst);
