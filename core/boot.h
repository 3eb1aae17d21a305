// Start-up and boot passes: main, the hardware set-up done once per start,
// and each pass's re-initialisation, configuration loading and first page.
#pragma once
#include <cstdint>

extern uint32_t G_CalRestart;     // 1: the next boot pass enters calibration mode
extern uint32_t G_RebootCount;    // processor faults counted in the monitor variable REBOOT
extern uint32_t G_BootPassCount;  // SystemBoot passes since the start; the banner is logged at the first
extern uint32_t G_SkipLiability;  // an acknowledgement file was found: leave the splash by itself
extern uint32_t G_DemoFlags;      // demo-source bits, 0 after every pass

constexpr uint32_t kDemoAir     = 4;
constexpr uint32_t kDemoAhrs    = 8;
constexpr uint32_t kDemoEngine  = 16;
constexpr uint32_t kDemoNav     = 32;
constexpr uint32_t kDemoTraffic = 64;
constexpr uint32_t kDemoAoa     = 128;
constexpr uint32_t kDemoAll     = 0xFC;

// The software's own version, as the boot lines and the unit information page show it.
constexpr int kVersionMajor = 7;
constexpr int kVersionMinor = 5;
constexpr int kVersionBuild = 0;
constexpr int kVersionMv    = 15;
inline constexpr char kVersionText[] = "";
inline constexpr char kBuiltOn[] = "Oct 30 2015";

// The monitor's boot picture: 230 lines of 640 pixels, recoloured for our palette.
constexpr uint32_t kSplashSaveBytes = 640 * 230;
extern uint8_t G_SplashSave[kSplashSaveBytes];
// Copies the saved picture to display memory at `address`.
void RestoreSplash(uint32_t address);
// The product line and the software version under the picture.
void DrawBootBanner();
// Arms the 1 ms tick: its first interrupt 5 ms from now.
void StartTick();

// One record per data stream; stream n uses UDP port 50000 + n.
struct NetStreamCfg {
    uint32_t INST;      // 0 none, 1 own input, 2 from the network (stream 10: weather role)
    uint32_t NET;       // 1 sent to the other display, 2 taken from it
    uint32_t DSRC;      // 0 own sensors, 1 FADEC, 2 network, 3 demo
    uint32_t FileOk;
    uint32_t nFlag;
    uint32_t Port;
};
static_assert(sizeof(NetStreamCfg) == 24);

constexpr int kNetStreams    = 11;
constexpr int kStreamAir     = 0;
constexpr int kStreamAhrs    = 1;
constexpr int kStreamAoa     = 2;
constexpr int kStreamEngine  = 3;
constexpr int kStreamNav1    = 4;     // 4..6: the navigation sources
constexpr int kStreamMap     = 7;
constexpr int kStreamTraffic = 8;
constexpr int kStreamSystem  = 9;
constexpr int kStreamWx      = 10;
extern NetStreamCfg G_NetStreamCfg[kNetStreams];

// Frame memory of the display controller and its second page.
constexpr uint32_t kFrameMemory = 0x0C200000;
constexpr uint32_t kFramePage2  = 0x0C24B000;

// main's boot passes after InitHardware: returns only after the exit buttons.
int  BootPasses();
void InitHardware();
void InitCaches();
void InitMmu();
void EnableMmu();
void BootScreen();
void SystemBoot();
void LiabilityScreen();
void ClearGlobals();
void InitPalette();
void LoadingScreen(int32_t step);
void InitDiscreteInputs();
