// Autopilot steering: the lateral and vertical mode machines and their
// proportional controllers, turning the course slot, the bugs, the attitude
// and the air data into a roll command and a vertical-speed command for the
// external autopilot (sent by the ARINC 429 adapter link).
#pragma once
#include <cstdint>

// Lateral modes 0..3, vertical modes 0 and 4..6 (one numbering, ApModeNames).
constexpr uint8_t kApOffline = 0;
constexpr uint8_t kApHdgBug  = 1;
constexpr uint8_t kApHnav    = 2;
constexpr uint8_t kApHarm    = 3;
constexpr uint8_t kApAltBug  = 4;
constexpr uint8_t kApVnav    = 5;
constexpr uint8_t kApVarm    = 6;

constexpr uint32_t kApTickTicks    = 246963;     // 67 ms between controller steps
constexpr uint32_t kApStartTicks   = 7372800;    // 2 s: stored modes left alone after start
constexpr uint32_t kApHoldTicks    = 18432000;   // 5 s capture hold, minimums pop-up
constexpr int32_t  kApAvgWindow    = 8;          // samples of the three running averages
constexpr int32_t  kApVertCmdMin   = -1500;      // ft/min
constexpr int32_t  kApVertCmdMax   = 2000;

// Controller record; both axes use its proportional term only.
struct ApPid {
    uint32_t nStamp;
    float    fOutput;
    float    fInteg;
    float    fIntegMin;
    float    fIntegMax;
    float    fKp;
    float    fKi;
    float    fKd;
    float    fP;
    float    fD;
    float    fI;
};

// A running average over the last kApAvgWindow samples.
struct ApAverage {
    int32_t nSample[kApAvgWindow];
    int32_t nCount;      // samples taken, up to the window
    int32_t nNext;
    int32_t nValue;      // the mean, truncated
};

// Angles and headings in tenths of a degree unless said.
struct ApLateral {
    ApPid    pid;
    int32_t  nHdgError;          // -450..+450, fed to the controller
    int32_t  nCurTrack;          // GPS magnetic track with a fix, else the heading
    int32_t  nCurHeading;        // 0..3599
    int32_t  nDesiredCrs;
    int32_t  nHdgBug;            // header heading bug x 10
    int32_t  nXtkDev;            // percent of full scale, -100..+100
    int32_t  nYawRate;
    int32_t  nMaxBank;           // hundredths of a degree
    int32_t  nMinBank;
    int32_t  nCurRoll;           // hundredths of a degree
    int32_t  nRollCmd;           // hundredths of a degree: the roll command sent
    float    fLocGain;
    float    fVorGain;
    float    fGpsGain;
    uint8_t  nMode;              // kApOffline .. kApHarm
    uint8_t  bEngaged;
    uint8_t  bCaptureHold;
    uint32_t nCaptureStamp;
    uint8_t  bRollSteer;         // GPS roll steering flown
    uint8_t  bRollSteerAvail;    // some GPS slot offers roll steering
    int32_t  nRollSteer;         // its roll value, hundredths of a degree
    uint32_t nRollSteerWord;     // its raw label-121 word
    int32_t  nTrackUsed;
    int32_t  nTargetCrs;
    int32_t  nIntercept;         // -300..+300
    uint32_t nStartStamp;        // LoadApSettings
    uint8_t  nReqMode;
    int32_t  nBugErrAvg;         // averaged heading-bug error, -300..+300
    ApAverage bugErr;
    uint8_t  bBusy;
    int32_t  nLat;               // 2^18 units per degree
    int32_t  nLon;
    int32_t  nGroundSpeed;       // 0.1 kt
    ApAverage gsAvg;
    uint8_t  nSlot;              // course slot steered: 0..3, 4 none
    uint32_t nTickStamp;
};

struct ApVertical {
    ApPid    pid;
    float    fCmdUnlimited;      // ft/min
    float    fCmdLimited;        // ft/min
    float    fPitchCmd;          // hundredths of a degree, slewed
    int32_t  nVertCmd;           // ft/min, -1500..+2000: the vertical command sent
    float    fVsError;           // VSI - limited command
    float    fSlewHi;            // pitch reference + 600
    float    fSlewLo;            // pitch reference - 600
    float    fSlewErrHi;         // pitch reference + |0.4 x VS error|
    float    fSlewErrLo;
    int32_t  nAltitude;          // baro altitude, ft
    int32_t  nAltBug;
    int32_t  nMinimums;
    int32_t  nAltError;          // bug - altitude
    int32_t  nMinError;          // minimums - altitude
    int32_t  nVsi;               // ft/min
    ApAverage vsiAvg;
    int32_t  nRateInUse;         // ft/min, stepped towards the rate setting
    int32_t  nRate;              // chosen this tick
    int32_t  nGlideRate;         // ft/min, negative
    int32_t  nPitch;             // hundredths of a degree
    int32_t  nPitchRate;
    int32_t  nVertDev;           // percent, -100..+100
    int32_t  nTas;               // whole knots
    uint8_t  nMode;              // kApOffline, kApAltBug .. kApVarm
    uint8_t  bNavGlide;
    uint8_t  bEngaged;
    uint8_t  bHold;
    uint8_t  bMinimums;
    uint8_t  bGpsGlide;
    uint8_t  bBusy;
    uint32_t nMinimumsStamp;
    uint32_t nHoldStamp;
    uint32_t nStartStamp;
    uint32_t nRateStepStamp;
    uint8_t  nReqMode;
    int32_t  nLostCount;         // "Lost VOR Vertical" lines of this loss
    int32_t  nPitchRef;          // AHRS pitch at the last altitude-bug change
    uint32_t nTickStamp;
};

struct Autopilot {
    uint8_t    bOutput;          // steering output enabled: the ticks run, commands are sent
    uint8_t    bFlightDirector;
    ApLateral  lat;
    ApVertical vert;
    uint32_t   nLastRollWord;    // last words sent to the adapter
    uint32_t   nLastVertWord;
    uint32_t   nLastHdgWord;
    uint32_t   nLastGpsWord;     // label 117
    uint32_t   nLast122Word;
    uint8_t    bStarted;         // 2 s since LoadApSettings: latched, so a timer wrap cannot undo it
    uint8_t    bVertStarted;
};
extern Autopilot G_Autopilot;
extern ApLateral& G_ApLateral;
extern ApVertical& G_ApVertical;

extern const char ApModeNames[7][16];
extern const uint16_t ApBankLimitTable[251];

// Annunciator colours (0x00BBGGRR): one per mode state.
constexpr uint32_t kApColourOff     = 0x00808080;   // grey: axis off
constexpr uint32_t kApColourArmed   = 0x0000FFFF;   // yellow: armed, flying the bug
constexpr uint32_t kApColourEngaged = 0x0000FF00;   // green: engaged on its mode
constexpr uint32_t kApColourHolding = 0x000080FF;   // amber: holding after a lost source
uint32_t ApLatAnnunColor();
uint32_t ApVertAnnunColor();

// Checks, clamps and logs the settings; stamps the start; clears the captures.
void LoadApSettings();
// Writes the autopilot defaults into the autopilot block of the settings image.
void DefaultApSettings();

// After new AHRS data: the autopilot follows it.
void ApUpdateAhrs();
// After a change of the course slot's data.
void ApUpdateNav();
void ApLateralModeUpdate();
void ApSetLateralMode(uint8_t mode);
void ApVerticalModeUpdate();
// Takes the altitude bug as the vertical channel's target; a changed bug
// re-takes the pitch reference.
void ApTakeAltBug();
void ApSetVerticalMode(uint8_t mode);
// Every main-loop pass while the output is enabled; each acts every 67 ms.
void ApLateralTick();
void ApVerticalTick();

float   PidStep(ApPid& pid, float error, float integralError, float derivativeError);
// a - b in tenths of a degree, wrapped into -1799..+1800.
int32_t HeadingDiff(int32_t a, int32_t b);
// Rounds half away from zero.
int32_t ApRound(double v);
// Bank limit in hundredths of a degree for a TAS in tenths of a knot.
int32_t ApBankLimit(int32_t tasTenths);
