// The demo AHRS: a deterministic two-minute flight that repeats: level, a
// right turn at 20 degrees of bank, level, the same turn to the left, with a
// gentle pitch wave. The heading changes at the rate the bank gives at
// 120 kt, the load factor is that of a level turn, and a little adverse slip
// shows while the bank changes.
#include <cmath>

#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "nav/autopilot.h"

namespace {

constexpr double kStepSeconds = 0.040;
constexpr uint32_t kCycleSteps = 3000;          // 120 s
constexpr double kPi = 3.141592653589793;
constexpr double kDegPerRad = 180.0 / kPi;
constexpr double kGravity = 9.80665;            // m/s^2
constexpr double kSpeed = 120.0 * 0.514444;     // 120 kt in m/s
constexpr double kBank = 20.0;                  // degrees
constexpr double kRollIn = 5.0;                 // seconds to roll in or out
constexpr double kStartHeading = 90.0;

uint32_t s_step = 0;
double s_heading = kStartHeading;

// Bank in degrees (right positive) at t seconds into the cycle.
double BankAt(double t) {
    struct Turn { double start, end, sign; };
    constexpr Turn kTurns[] = {{20.0, 60.0, 1.0}, {80.0, 120.0, -1.0}};
    for (const Turn& turn : kTurns) {
        if (t < turn.start || t >= turn.end) continue;
        const double in = t - turn.start, out = turn.end - t;
        const double edge = in < kRollIn ? in : (out < kRollIn ? out : kRollIn);
        return turn.sign * kBank * (1.0 - std::cos(kPi * edge / kRollIn)) / 2.0;
    }
    return 0.0;
}

double PitchAt(double t) { return 2.0 + 1.5 * std::sin(2.0 * kPi * t / 40.0); }

}  // namespace

void DemoAhrsStep() {
    const uint32_t step = s_step++ % kCycleSteps;
    if (step == 0) s_heading = kStartHeading;   // the two turns cancel; no drift between laps
    const double t = step * kStepSeconds;
    const double bank = BankAt(t), pitch = PitchAt(t);
    const double rollRate = (BankAt(t + kStepSeconds) - bank) / kStepSeconds;
    const double pitchRate = (PitchAt(t + kStepSeconds) - pitch) / kStepSeconds;
    const double turnRate = kGravity * std::tan(bank / kDegPerRad) / kSpeed * kDegPerRad;   // degrees/s
    const double load = 1.0 / std::cos(bank / kDegPerRad);
    s_heading = std::fmod(s_heading + turnRate * kStepSeconds + 360.0, 360.0);

    AhrsRecord& a = G_Ahrs;
    a.nRoll = RoundHalfAwayF(bank * 10.0);
    a.nPitch = RoundHalfAwayF(pitch * 100.0);
    a.nHeading = RoundHalfAwayF(s_heading * 10.0) % 3600;
    a.nRollRate = RoundHalfAwayF(rollRate * 10.0);
    a.nPitchRate = RoundHalfAwayF(pitchRate * 10.0);
    a.nYawRate = RoundHalfAwayF(turnRate * 10.0);
    a.nAccelX = 0;
    a.nAccelY = RoundHalfAwayF(-3.0 * rollRate);   // adverse yaw while rolling, mg
    a.nAccelZ = RoundHalfAwayF(load * 1000.0);
    a.nStatus = 0;
    a.nStatusAge = 0;
    ApplyAttitudeAdjust(&a, AhrsClockSettings());
    a.nLatAccel = a.nAccelY;
    a.nLoadFactor = ClampLoadFactor(RoundHalfAwayF(load * 100.0));
    KeepLoadFactorExtremes(a.nLoadFactor);
    a.nFresh = kAhrsFreshLoad;
    ApUpdateAhrs();
}
