#include "core/alarm.h"

#include "core/audio.h"
#include "core/battery.h"
#include "core/boot.h"
#include "core/discrete.h"
#include "core/ostimer.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/instrument.h"
#include "engine/engine.h"
#include "platform/hw.h"
#include "storage/nvram.h"
#include "ui/keys.h"
#include "ui/statusbar.h"

AlarmSlot G_AlarmTable[kAlarmSlots] = {};
int32_t   G_AlarmCur = -1;
uint32_t  G_AlarmSoundsUsed = 0;

constexpr uint32_t GPSR0 = 0x40E00018;
constexpr uint32_t GPCR0 = 0x40E00024;
constexpr uint32_t kGpio5Alarm = 1u << 5;

constexpr uint32_t kDelayTicks   = 110592000;   // 30 s: tanks and fuel check
constexpr uint32_t kRepeatTicks  = 110592000;   // 30 s between raises of one alarm
constexpr uint32_t kSpacingTicks = 7372800;     // 2 s between two raises
constexpr uint32_t kAoaRepeat    = 3686400;     // 1 s
// Seconds of running (counted by the engine timers) before engine alarms may sound;
// zero again at shutdown, so a parked engine raises no low-pressure alarm.
constexpr int32_t  kRunningCount = 5;
constexpr int32_t  kHighRpm = 15000;
constexpr uint32_t kAlwaysLoaded = 1u << 14 | 1u << 15 | 1u << 16 | 1u << 17;

static struct {
    int32_t  nNext;       // round-robin index, 0..52
    uint32_t bShowing;    // an alarm was raised by the previous call
    uint32_t nStamp;      // time of the last call that raised or finished
} s_task;

void SetAlarmOutput(bool on) { HwWrite32(on ? GPSR0 : GPCR0, kGpio5Alarm); }

static uint32_t StampNow() {
    const uint32_t now = ReadOsTimer();
    return now == 0 ? 1 : now;
}

static bool IsInstrument(int32_t slot) { return slot >= 0 && slot < kInstruments; }
static bool IsInput(int32_t slot) { return slot >= kAlarmFirstInput && slot < kAlarmFirstInput + kDiscreteInputs; }

static int32_t Value(int32_t inst) { return G_InstReading[inst].nValue; }
static int32_t Value2(int32_t inst) { return G_InstReading[inst].nValue2; }

static bool NeverAlarmed(int32_t inst) {
    switch (inst) {
    case 0: case 1: case 3: case 6: case 8: case 23: case 24: return true;
    default: return inst >= 40 && inst <= 46;
    }
}

static uint32_t InstrumentSound(int32_t inst) {
    if (inst == kAlarmAoa) return 2;
    if (inst == 4 || inst == 5 || inst == 7) return 13;
    if (inst == kInstFuelComp) return 6;
    if (inst == 12) return 7;
    if (inst == kInstAmpsShunt || inst == kInstAmpsHall) return 1;
    if (inst == 16) return 10;
    if (inst == 17) return 11;
    if (inst >= kInstTank1 && inst <= kInstTank4) return 8;
    if (inst == kInstFlapAng) return 14;
    if (inst >= kInstEgt1 && inst <= kInstEgt6) return 5;
    if (inst >= kInstCht1 && inst <= kInstCht6) return 4;
    return 0;
}

static uint32_t InputSound(const DiscreteInput& in) {
    switch (in.nMode) {
    case 0: return 0;
    case 3: return 3;
    case 1: case 2: case 4: case 5: return 14;
    default: return 0;
    }
}

uint32_t AlarmConfigMode(int32_t slot) {
    if (IsInstrument(slot)) return static_cast<uint32_t>(G_InstCfg[slot].nAudio);
    if (IsInput(slot)) {
        const DiscreteInput& in = G_DiscreteIn.input[slot - kAlarmFirstInput];
        return in.nMode == 0 ? 0 : in.nAlarm;
    }
    if (slot == kAlarmFuelCheck) return static_cast<uint32_t>(G_InstCfg[kInstFuelComp].nAudio);
    return 0;
}

// Mode and sound at start: a slot with no sound of its own stays off.
static void InitSlot(int32_t slot) {
    AlarmSlot& a = G_AlarmTable[slot];
    if (IsInstrument(slot)) {
        const InstCfg& c = G_InstCfg[slot];
        const uint32_t sound = InstrumentSound(slot);
        if (c.nEnable != 0 && c.nAudio > 0 && sound != 0) {
            a.nMode = static_cast<uint32_t>(c.nAudio);
            a.nSound = sound;
        }
    } else if (IsInput(slot)) {
        const DiscreteInput& in = G_DiscreteIn.input[slot - kAlarmFirstInput];
        const uint32_t sound = InputSound(in);
        if (in.nAlarm >= 1 && sound != 0) {
            a.nMode = in.nAlarm;
            a.nSound = sound;
        }
    } else if (slot == kAlarmFuelCheck && G_InstCfg[kInstFuelComp].nAudio > 0) {
        a.nMode = static_cast<uint32_t>(G_InstCfg[kInstFuelComp].nAudio);
        a.nSound = 6;
    }
    if (a.nSound != 0) G_AlarmSoundsUsed |= 1u << a.nSound;
}

// A raise must only start the codec, so every sound an alarm (or the timer and
// call-outs) may play is loaded now; a missing file costs its load time here.
static void LoadAlarmSounds() {
    for (int32_t id = 1; id < kSoundSlots; ++id) {
        if ((G_AlarmSoundsUsed & 1u << id) == 0) continue;
        KickWatchdog(15);
        LoadWavFile(id);
    }
}

void AlarmInit() {
    G_AlarmSoundsUsed = kAlwaysLoaded;
    for (int32_t slot = 0; slot < kAlarmSlots; ++slot) {
        KickWatchdog(15);
        G_AlarmTable[slot] = AlarmSlot{};
        InitSlot(slot);
    }
    LoadAlarmSounds();
    G_AlarmCur = -1;
    s_task = {};
    SetAlarmOutput(false);
}

// ---- conditions -----------------------------------------------------------------------

static void Activate(int32_t slot) { G_AlarmTable[slot].nActive = 1; }

static void Clear(int32_t slot) {
    if (slot == G_AlarmCur) {
        AlarmAck(1);
        return;
    }
    AlarmSlot& a = G_AlarmTable[slot];
    a.nMode = AlarmConfigMode(slot);
    a.nActive = 0;
    a.nDelayStamp = 0;
}

// Active once the condition has lasted more than 30 s.
static void Delayed(int32_t slot, uint32_t now) {
    AlarmSlot& a = G_AlarmTable[slot];
    if (a.nActive) return;
    if (a.nDelayStamp == 0) a.nDelayStamp = now == 0 ? 1 : now;
    if (TicksElapsed(now, a.nDelayStamp, kDelayTicks)) {
        a.nActive = 1;
        a.nDelayStamp = 0;
    }
}

static bool BetweenYellow(int32_t v, const InstCfg& c) { return v > c.nYellowLow && v < c.nYellowHigh; }

static void GenericRule(int32_t inst) {
    const InstCfg& c = G_InstCfg[inst];
    const int32_t v = Value(inst);
    if (v >= c.nRedHigh) Activate(inst);
    else if (BetweenYellow(v, c)) Clear(inst);
    else if (v < c.nRedLow && c.nRedLow != c.nMin) Activate(inst);
}

static void RpmRule() {
    const InstCfg& c = G_InstCfg[kInstRpm];
    const int32_t v = Value(kInstRpm);
    if (v >= c.nRedHigh) Activate(kInstRpm);
    else if (BetweenYellow(v, c) || v < c.nRedLow) Clear(kInstRpm);
}

static void FuelLevelRule(int32_t inst, int32_t v, uint32_t now) {
    const InstCfg& c = G_InstCfg[inst];
    if (v > c.nRedLow) {
        if (v > c.nYellowLow) Clear(inst);
    } else {
        Delayed(inst, now);
    }
}

static int32_t Airspeed() { return Value(kInstAirspeed); }

static void AoaRule() {
    const bool networkStale = G_NetStreamCfg[kStreamAir].DSRC == 2 && G_AirData.nFresh < 1;
    const bool stall = G_Aoa.nAoa >= 24 && G_Aoa.nAlarmHold == 0 && NvGetU32(kNvAoaGaugeOn) == 1 &&
                       (G_AirData.nStallIas > G_AirData.nStallArmIas || (G_DemoFlags & kDemoAoa));
    if (stall && !networkStale) Activate(kAlarmAoa);
    else Clear(kAlarmAoa);
}

static void FlapRule() {
    if (G_InstCfg[kInstFlapAng].nEnable == 0) return;
    if (Value(kInstFlapAng) > 300 && Airspeed() >= G_InstCfg[kInstAirspeed].nYellowLow) Activate(kInstFlapAng);
    else Clear(kInstFlapAng);
}

static void InstrumentRule(int32_t inst, uint32_t now) {
    if (G_InstCfg[inst].nAudio == 0 || NeverAlarmed(inst)) return;
    if (inst == kAlarmAoa) AoaRule();
    else if (inst == kInstRpm) RpmRule();
    else if (inst == kInstFuelComp) FuelLevelRule(inst, Value2(inst), now);
    else if (inst >= kInstTank1 && inst <= kInstTank4) FuelLevelRule(inst, Value(inst), now);
    else if (inst == kInstFlapAng) FlapRule();
    else GenericRule(inst);
}

static void InputRule(int32_t slot) {
    const int32_t i = slot - kAlarmFirstInput;
    const DiscreteInput& in = G_DiscreteIn.input[i];
    const bool on = (G_DiscreteIn.nState >> i) & 1;
    bool active = false;
    switch (in.nMode) {
    case 0:
        G_AlarmTable[slot].nMode = 0;
        G_AlarmTable[slot].nActive = 0;
        return;
    case 2: {
        if (i > 1) return;   // counting alarms exist for inputs 1 and 2 only
        const int32_t tank = i == 0 ? 21 : 22;
        active = on && (in.nCount >= in.nLimit || Value(tank) <= G_InstCfg[tank].nRedLow);
        break;
    }
    case 3:
        active = on && (in.nAlarm == 1 || (in.nAlarm == 2 && Value(kInstRpm) > 14999));
        break;
    case 4:
        active = on && Airspeed() >= G_InstCfg[kInstAirspeed].nYellowLow;
        break;
    default:
        active = on;
        break;
    }
    if (active) Activate(slot);
    else Clear(slot);
}

// Wide enough for any settings: the fuel total, limits and readings come
// from files and may be anything a 32-bit field holds.
static int64_t Abs(int64_t v) { return v < 0 ? -v : v; }

static void FuelCheckRule(uint32_t now) {
    int64_t sum = 0;
    int64_t tolerance = G_InstCfg[kInstFuelComp].nShiftAdj;
    for (int32_t t = kInstTank1; t <= kInstTank4; ++t) {
        if (G_InstCfg[t].nEnable == 0) continue;
        sum += Value(t);
        if (Value2(t) == 1) tolerance += Abs(int64_t{G_InstCfg[t].nMax} - Value(t));
    }
    if (Abs(sum - Value2(kInstFuelComp)) <= tolerance) Clear(kAlarmFuelCheck);
    else Delayed(kAlarmFuelCheck, now);
}

int32_t AlarmCheck() {
    const uint32_t now = ReadOsTimer();
    for (int32_t inst = 0; inst < kInstruments; ++inst) InstrumentRule(inst, now);
    for (int32_t slot = kAlarmFirstInput; slot < kAlarmFuelCheck; ++slot) InputRule(slot);
    FuelCheckRule(now);
    for (const AlarmSlot& a : G_AlarmTable)
        if (a.nActive || a.nDelayStamp) return 1;
    return 0;
}

// ---- raising --------------------------------------------------------------------------

void AlarmRaise(int32_t slot) {
    if (slot < 0 || slot >= kAlarmSlots) return;
    G_AlarmTable[slot].nRaiseStamp = StampNow();
    G_AlarmCur = slot;
    PlaySound(static_cast<int32_t>(G_AlarmTable[slot].nSound));
    UpdateSoftKeys();
    G_RedrawReq = 1;
    SetAlarmOutput(true);
}

static bool RepeatDue(const AlarmSlot& a, uint32_t now) {
    return a.nRaiseStamp == 0 || TicksElapsed(now, a.nRaiseStamp, kRepeatTicks);
}

static bool EngineTurning() { return G_EngineRunCount >= kRunningCount; }
static bool EngineRuns() { return EngineTurning() || G_AirData.nIas >= 251; }

static bool MayRaise(int32_t slot) {
    const AlarmSlot& a = G_AlarmTable[slot];
    if (slot == kInstBattVolts) return G_BatState == 4 && EngineRuns() && a.nMode == 1;
    if (slot == kInstMainVolts || slot == kInstAuxVolts) return EngineRuns() && a.nMode == 1;
    if (IsInput(slot)) return a.nMode >= 1;
    return EngineTurning() && (a.nMode == 1 || (a.nMode == 2 && Value(kInstRpm) >= kHighRpm));
}

// The stall alarm goes first and repeats every second, except while the
// pilot is calibrating the angle of attack, which is flown near the stall.
static bool RaiseAoa(uint32_t now) {
    const AlarmSlot& a = G_AlarmTable[kAlarmAoa];
    if (!a.nActive || a.nMode != 1 || G_MenuState == kAoaCalMenu) return false;
    if (a.nRaiseStamp != 0 && !TicksElapsed(now, a.nRaiseStamp, kAoaRepeat)) return false;
    AlarmRaise(kAlarmAoa);
    return true;
}

void AlarmTask() {
    AlarmCheck();
    if (s_task.nNext > kAlarmSlots - 1) s_task.nNext = 0;
    uint32_t now = ReadOsTimer();
    if (s_task.bShowing) {
        if (TicksElapsed(now, s_task.nStamp, kSpacingTicks)) {
            s_task.bShowing = 0;
            s_task.nStamp = now;
        }
        return;
    }
    if (RaiseAoa(now)) s_task.bShowing = 1;
    if (s_task.bShowing || s_task.nNext > kAlarmSlots - 1) {
        s_task.nStamp = ReadOsTimer();
        return;
    }
    for (; s_task.nNext < kAlarmSlots; ++s_task.nNext) {
        const int32_t slot = s_task.nNext;
        const AlarmSlot& a = G_AlarmTable[slot];
        if (!a.nActive || slot == kAlarmAoa || !RepeatDue(a, now) || !MayRaise(slot)) continue;
        AlarmRaise(slot);
        s_task.bShowing = 1;
        ++s_task.nNext;
        break;
    }
    s_task.nStamp = ReadOsTimer();
}

// ---- acknowledgement ------------------------------------------------------------------

static bool Shown() { return G_AlarmCur >= 0 && G_AlarmCur < kAlarmSlots; }

void AlarmAck(int32_t mode) {
    if (mode == 1) {
        // Nothing shown (a key or the other display): no slot is touched.
        if (Shown()) {
            AlarmSlot& a = G_AlarmTable[G_AlarmCur];
            a.nActive = 0;
            a.nMode = IsInput(G_AlarmCur) ? 0 : AlarmConfigMode(G_AlarmCur);
            a.nDelayStamp = 0;
            a.nRaiseStamp = 0;
        }
        G_AlarmCur = -1;
        SetAlarmOutput(false);
    } else if (mode == 2 && Shown()) {
        AlarmSlot& a = G_AlarmTable[G_AlarmCur];
        a.nActive = a.nMode = a.nDelayStamp = a.nRaiseStamp = 0;
        G_AlarmCur = -1;
        SetAlarmOutput(false);
    }
    UpdateSoftKeys();
    G_RedrawReq = 1;
}
