// Alarm manager: limits of the instrument readings, the discrete inputs and
// two derived conditions, annunciated one at a time with a sound, the alarm
// soft-key labels and the alarm output line (GPIO5).
#pragma once
#include <cstdint>

constexpr int32_t kAlarmSlots      = 52;   // 0..47 instruments, 48..50 discrete inputs 1..3
constexpr int32_t kAlarmFirstInput = 48;
constexpr int32_t kAlarmFuelCheck  = 51;   // tank sum against the fuel computer
constexpr int32_t kAlarmAoa        = 2;
constexpr uint32_t kAoaCalMenu     = 4253; // menu state of the in-flight AOA calibration

struct AlarmSlot {
    uint32_t nActive;       // 1: the condition is present and may be raised
    uint32_t nMode;         // 0 off, 1 raise whenever active, 2 only at RPM >= 15000
    uint32_t nDelayStamp;   // start of a delayed condition; 0 none
    uint32_t nRaiseStamp;   // last raise; 0 never
    uint32_t nSound;
};
static_assert(sizeof(AlarmSlot) == 20);

extern AlarmSlot G_AlarmTable[kAlarmSlots];
extern int32_t   G_AlarmCur;        // slot of the alarm shown, -1 none
extern uint32_t  G_AlarmSoundsUsed; // bit n: sound n is used by some slot (14..17 always)

void AlarmInit();
// Evaluates every slot; 1 when any is active or timing a delay.
int32_t AlarmCheck();
// Every 0.5 s: raises at most one alarm.
void AlarmTask();
void AlarmRaise(int32_t slot);
// 1 acknowledges the shown alarm (its mode reloaded), 2 clears it.
void AlarmAck(int32_t mode);
// Drives the alarm output line (GPIO5): high when on.
void SetAlarmOutput(bool on);
// The mode a slot takes from the configuration.
uint32_t AlarmConfigMode(int32_t slot);
