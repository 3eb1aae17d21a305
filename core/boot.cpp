#include "core/boot.h"

#include <cstdlib>
#include <cstring>

#include "core/adc.h"
#include "core/alarm.h"
#include "core/audio.h"
#include "core/discrete.h"
#include "core/irq.h"
#include "core/mainloop.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/spi.h"
#include "core/start.h"
#include "core/syslog.h"
#include "core/timefmt.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "efis/efis.h"
#include "engine/engine.h"
#include "engine/enginecfg.h"
#include "engine/tanks.h"
#include "engine/fuelcomp.h"
#include "engine/instrument.h"
#include "engine/layout.h"
#include "engine/lean.h"
#include "engine/pulse.h"
#include "gui/gui.h"
#include "gui/lcd.h"
#include "map/map.h"
#include "map/mapframe.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "platform/cpu.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/fat.h"
#include "storage/nvram.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"
#include "storage/tfs.h"
#include "ui/buttons.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/splash.h"
#include "ui/statusbar.h"
#include "wx/wx.h"

// Registers used by the boot.
constexpr uint32_t GPLR1 = 0x40E00004;      // levels of pins 32..63
constexpr uint32_t GPDR0 = 0x40E0000C;
constexpr uint32_t GPDR1 = 0x40E00010;
constexpr uint32_t GPDR2 = 0x40E00014;
constexpr uint32_t GPSR0 = 0x40E00018;
constexpr uint32_t GPCR0 = 0x40E00024;
constexpr uint32_t GPCR1 = 0x40E00028;
constexpr uint32_t GPCR2 = 0x40E0002C;
constexpr uint32_t GAFR2_L = 0x40E00064;    // alternate functions of pins 64..79
constexpr uint32_t LCCR0 = 0x44000000;
constexpr uint32_t MSC1  = 0x4800000C;

constexpr uint32_t kGpio5Alarm = 1u << 5;   // bank 0: alarm output
constexpr uint32_t kGpio19Power = 1u << 19; // bank 0: high switches the power off

// Buttons read at power-up (bank 1, low = held).
constexpr uint32_t kGpio61 = 1u << (61 - 32);
constexpr uint32_t kGpio62 = 1u << (62 - 32);
constexpr uint32_t kGpio63 = 1u << (63 - 32);

constexpr uint32_t GEDR2 = 0x40E00050;

uint32_t G_CalRestart = 0;
uint32_t G_RebootCount = 0;
uint32_t G_BootPassCount = 0;
uint32_t G_SkipLiability = 0;
uint32_t G_DemoFlags = 0;
uint8_t  G_SplashSave[kSplashSaveBytes] = {};
NetStreamCfg G_NetStreamCfg[kNetStreams] = {};

static const char kStreamName[kNetStreams][16] = {
    "MOD_AIR", "MOD_AHRS", "MOD_AOA", "MOD_ENG", "MOD_NAVSRC1", "MOD_NAVSRC2",
    "MOD_NAVSRC3", "MOD_MAP", "MOD_TRAFFIC", "MOD_SYSTEM", "MOD_WX",
};

static const NetStreamCfg kStreamDefaults[kNetStreams] = {
    {1, 0, 0, 0, 0, 50000}, {1, 0, 0, 0, 0, 50001}, {0, 0, 0, 0, 0, 50002},
    {1, 0, 0, 0, 0, 50003}, {1, 2, 2, 0, 0, 50004}, {1, 2, 2, 0, 0, 50005},
    {1, 2, 2, 0, 0, 50006}, {0, 0, 0, 0, 0, 50007}, {1, 2, 2, 1, 1, 50008},
    {1, 0, 0, 0, 0, 50009}, {0, 0, 2, 0, 0, 50010},
};

struct PaletteRun {
    uint32_t first;
    uint32_t count;
    const uint32_t* colours;
};

static const uint32_t kPalette0[] = {
    0x000000, 0x8080FF, 0x0000FF, 0x000080, 0x80FF80, 0x00FF00, 0x008000, 0xFF8080, 0xFF0000, 0x800000,
    0xFFFF80, 0xFFFF00, 0x808000, 0x80FFFF, 0x00FFFF, 0x008080, 0xFF80FF, 0xFF00FF, 0x800080, 0xC0C0C0,
    0x808080, 0x404040, 0x007FFF, 0x004B96, 0x600000, 0x135373, 0x0000A0, 0x000000, 0x000000, 0x000000,
    0x000000, 0xFFFFFF, 0x732222, 0x874444, 0x9B6666, 0xAF8888, 0xC3AAAA, 0xD7CCCC, 0xEBE0E0, 0x239191,
    0x23A0A0, 0x38B0B0, 0x55B0B0, 0x75C0C0, 0x91D0D0, 0xA2E5E5, 0x305060, 0xA00001, 0x101010, 0x404030,
};
static const uint32_t kPalette120[] = {
    0x00FF00, 0x00FF55, 0x00FFAA, 0x00FFFF, 0x00AAFF, 0x0055FF, 0x0000FF,
};
static const uint32_t kPalette128[] = {
    0x680000, 0x00450B, 0x004B15, 0x00501E, 0x005628, 0x005C31, 0x00613B, 0x006745, 0x006D4F, 0x007358,
    0x007862, 0x007E6C, 0x008375, 0x00897F, 0x008F88, 0x019491, 0x019191, 0x018E91, 0x018B90, 0x018890,
    0x018590, 0x01828F, 0x017F8F, 0x017C8F, 0x01788E, 0x01758E, 0x01728E, 0x016F8D, 0x016C8D, 0x01698D,
    0x01668C, 0x01638C, 0x01608C, 0x015D8B, 0x015A8B, 0x01578B, 0x01548B, 0x01518A, 0x014E8A, 0x014B8A,
    0x014889, 0x014589, 0x014289, 0x004188, 0x024288, 0x064488, 0x0B4688, 0x114988, 0x1A4E87, 0x235287,
    0x2E5886, 0x3B5E85, 0x486585, 0x586C84, 0x687583, 0x7B7E82, 0x818181, 0x818181, 0x828282, 0x848484,
    0x868686, 0x898989, 0x8C8C8C, 0x909090, 0x949494, 0x999999, 0x9E9E9E, 0xA4A4A4, 0xAAAAAA, 0xB1B1B1,
    0xB9B9B9, 0xBCBCBC, 0xBDBDBD, 0xBDBDBD, 0xBEBEBE, 0xBFBFBF, 0xC0C0C0, 0xC0C0C0, 0xC1C1C1, 0xC2C2C2,
    0xC2C2C2, 0xC3C3C3, 0xC4C4C4, 0xC4C4C4, 0xC5C5C5, 0xC6C6C6, 0xC7C7C7, 0xC7C7C7, 0xC8C8C8, 0xC9C9C9,
    0xC9C9C9, 0xCACACA, 0xCBCBCB, 0xCCCCCC, 0xCCCCCC, 0xCDCDCD, 0xCECECE, 0xCECECE, 0xCFCFCF, 0xD0D0D0,
    0xD1D1D1, 0xD1D1D1, 0xD2D2D2, 0xD3D3D3, 0xD3D3D3, 0xD4D4D4, 0xD5D5D5, 0xD6D6D6, 0xD6D6D6, 0xD7D7D7,
    0xD8D8D8, 0xD8D8D8, 0xD9D9D9, 0xDADADA, 0xDBDBDB, 0xDBDBDB, 0xDCDCDC, 0xDDDDDD, 0xDDDDDD, 0xDEDEDE,
    0xDFDFDF, 0xE0E0E0, 0xE0E0E0, 0xE1E1E1, 0xE2E2E2, 0xE2E2E2, 0xE3E3E3, 0xFFFFFF,
};
static_assert(sizeof kPalette0 / 4 == 50 && sizeof kPalette120 / 4 == 7 && sizeof kPalette128 / 4 == 128);

// Held until the system log is open: written earlier it would reach no flash.
static uint32_t s_heldRebootFlag = 0;

// ---- once per start --------------------------------------------------------

// CP15 registers and operations of the cache and MMU set-up.
constexpr uint32_t kCp15Control = 1;
constexpr uint32_t kCp15Ttb     = 2;
constexpr uint32_t kCp15Domain  = 3;
constexpr uint32_t kCp15CacheOp = 7;
constexpr uint32_t kCp15TlbOp   = 8;
constexpr uint32_t kCtrlMmu     = 1u << 0;
constexpr uint32_t kCtrlDCache  = 1u << 2;
constexpr uint32_t kCtrlICache  = 1u << 12;
constexpr uint32_t kCacheCleanArea = 0xa3d00000;
constexpr uint32_t kMmuTableAddr   = 0xa3c00000;
constexpr uint32_t kSdramFirst     = 0xa00;   // sections of the system RAM: cached, buffered
constexpr uint32_t kSdramLast      = 0xa3f;

// The translation table; on the target it sits at kMmuTableAddr.
alignas(16384) static uint32_t s_mmuTable[4096];

void InitCaches() {
    for (uint32_t line = 0; line < 1024; ++line) CpuMcr(kCp15CacheOp, 2, 5, kCacheCleanArea + line * 32);
    CpuMcr(kCp15CacheOp, 7, 0, 0);    // invalidate both caches
    CpuMcr(kCp15TlbOp, 7, 0, 0);      // and both TLBs
    CpuMcr(kCp15CacheOp, 10, 4, 0);   // drain the write buffer
    CpuMcr(kCp15Control, 0, 0, CpuMrc(kCp15Control, 0, 0) | kCtrlDCache | kCtrlICache);
}

void InitMmu() {
    for (uint32_t section = 0; section < 4096; ++section) {
        bool sdram = section >= kSdramFirst && section <= kSdramLast;
        s_mmuTable[section] = (section << 20) | (sdram ? 0xC0Eu : 0xC02u);
    }
}

void EnableMmu() {
    CpuMcr(kCp15Ttb, 0, 0, kMmuTableAddr);
    CpuMcr(kCp15Domain, 0, 0, 0xFFFFFFFF);
    CpuMcr(kCp15Control, 0, 0, CpuMrc(kCp15Control, 0, 0) | kCtrlMmu);
    CpuWait();
}

void InitHardware() {
    InitCaches();
    InitMmu();
    EnableMmu();
    InitOsTimer();
    HwWrite32(GPCR0, kGpio19Power);                 // the latch low before the pin drives
    HwWrite32(GPDR0, HwRead32(GPDR0) | kGpio5Alarm | kGpio19Power);
    HwWrite32(GPDR1, HwRead32(GPDR1) | (1u << (51 - 32)));
    HwWrite32(GPDR2, HwRead32(GPDR2) | (1u << (66 - 64)));
    HwWrite32(GPCR2, 1u << (66 - 64));
    HwWrite32(GPCR1, 1u << (51 - 32));              // no stated use: left low
    HwWrite32(GPSR0, kGpio5Alarm);                  // alarm output on until the liability screen
    HwWrite32(LCCR0, 512);
    HwWrite32(MSC1, 0x3AAC3FFC);
    InitPwm();
    SetBacklight(50);
    InstallHandlers();
}

// ---- each boot pass ----------------------------------------------------------

void InitDiscreteInputs() {
    constexpr uint32_t pins = 7u << (74 - 64);
    HwWrite32(GPDR2, HwRead32(GPDR2) & ~pins);
    HwWrite32(GAFR2_L, HwRead32(GAFR2_L) & ~(0x3Fu << ((74 - 64) * 2)));
    HwWrite32(GEDR2, pins);
}

void InitPalette() {
    const PaletteRun runs[] = {{0, 50, kPalette0}, {120, 7, kPalette120}, {128, 128, kPalette128}};
    for (const PaletteRun& run : runs)
        for (uint32_t i = 0; i < run.count; ++i) GUI_SetPaletteEntry(run.first + i, run.colours[i]);
}

void LoadingScreen(int32_t step) {
    const int32_t y = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    DrawTextF(31, 10, 3, 180, 200, "Loading...");
    GUI_SetColorIndex(31);
    GUI_DrawRect(299, 199 + y, 391, 221 + y);
    GUI_SetColorIndex(5);
    GUI_FillRect(300, 200 + y, 300 + 6 * step, 220 + y);
    KickWatchdog(10);
}

void ClearGlobals() {
    std::memset(&G_Autopilot, 0, sizeof G_Autopilot);
    std::memset(&G_FlipCtl, 0, sizeof G_FlipCtl);
    G_AnalogReadMode = 0;
    G_RedrawReq = 0;
    std::memset(&G_Knob0, 0, sizeof G_Knob0);
    std::memset(&G_Knob1, 0, sizeof G_Knob1);
    std::memset(&G_DiscreteIn, 0, sizeof G_DiscreteIn);
    std::memset(&G_SDCard, 0, sizeof G_SDCard);
    std::memset(&G_SdVolInfo, 0, sizeof G_SdVolInfo);
    std::memset(&G_DateTime, 0, sizeof G_DateTime);
    std::memset(G_InstAd, 0, sizeof G_InstAd);
    std::memset(G_InstCfg, 0, sizeof G_InstCfg);
    std::memset(G_InstReading, 0, sizeof G_InstReading);
    std::memset(G_SerialBuf, 0, sizeof G_SerialBuf);
    std::memset(&G_RamLog, 0, sizeof G_RamLog);
    std::memset(&G_Wx, 0, sizeof G_Wx);
    std::memset(&G_NetRing, 0, sizeof G_NetRing);
    std::memset(&G_RemoteUserDat, 0, sizeof G_RemoteUserDat);
    std::memset(&G_Ahrs, 0, sizeof G_Ahrs);
    std::memset(&G_AirData, 0, sizeof G_AirData);
    std::memset(&G_NavSrc, 0, sizeof G_NavSrc);
    std::memset(&G_EngineDataFrame, 0, sizeof G_EngineDataFrame);
    std::memset(&G_EnginePane, 0, sizeof G_EnginePane);
    std::memset(&G_RpmPulse, 0, sizeof G_RpmPulse);
    std::memset(&G_WptDb, 0, sizeof G_WptDb);
    std::memset(&G_MapHeader, 0, sizeof G_MapHeader);
    std::memset(G_SoftKeyLabel, 0, sizeof G_SoftKeyLabel);
    std::memset(G_ButtonCell, 0, sizeof G_ButtonCell);
    std::memset(G_CfgKey, 0, sizeof G_CfgKey);
    std::memset(G_CfgValue, 0, sizeof G_CfgValue);
    std::memset(G_LogChanSD, 0, sizeof G_LogChanSD);
    std::memset(G_LogChanFlash, 0, sizeof G_LogChanFlash);
    std::memset(G_InstCal, 0, sizeof G_InstCal);
    std::memset(&G_DataStore, 0, sizeof G_DataStore);
    std::memset(FlashBuf, 0, sizeof FlashBuf);
    std::memset(&G_Aoa, 0, sizeof G_Aoa);
    std::memset(&G_EfisLayout, 0, sizeof G_EfisLayout);
    std::memset(&G_Fadec, 0, sizeof G_Fadec);
    std::memset(G_GaugeLayout, 0, sizeof G_GaugeLayout);
    std::memset(&G_FuelFlowPulse, 0, sizeof G_FuelFlowPulse);
    std::memset(&G_MapPane, 0, sizeof G_MapPane);
    std::memset(&G_MapFrame, 0, sizeof G_MapFrame);
    std::memset(&G_Nearest, 0, sizeof G_Nearest);
    G_LeanMode = 0;
    G_AuxPageIdx = 0;
    G_KeyEvent = 0;
    G_UptimeSec = 0;
    G_SecondTick = 0;
    G_ScreenDumpReq = 0;
    G_DemoFlags = 0;
    G_MenuState = 0;
    G_CfgCount = 0;
    G_LastKeySec = 0;
    G_ClockFormat = 0;
    G_TfsSize = 0;
    G_DataStoreInterval = 0;
    G_MapViewMode = G_NexradOn = G_MapPvtOn = G_MapAirOn = G_MapShowEngine = G_DistUnits = 0;
    G_WxConn = 0;
    G_ElapsedRef = 0;

    std::memcpy(G_NetStreamCfg, kStreamDefaults, sizeof G_NetStreamCfg);

    G_CurPage = 3;
    G_LastPage = 1;
    G_DebugPort = 1;
    G_NVRamSector = 62;
    G_ClockEdit = 10;
    G_UtcOffset = -7;
    G_EngScanStep = 44;
    G_EnginePane.nReady = 1;
    G_MapLonScale = 0x40000;
    G_MapLonScaleInv = 0x40000;
    G_AltOutPort = kNoPort;
    G_EngFramePort = kNoPort;
    G_EngCsvPort = kNoPort;
    G_NavRadioPort = kNoPort;
    G_AhrsAidPort = kNoPort;
    TimerInit();
}

// The monitor's picture, recoloured: its white and green are other entries here.
static void SaveSplash() {
    const uint8_t* frame = HwMemory(kFrameMemory, kSplashSaveBytes);
    if (!frame) return;
    for (uint32_t i = 0; i < kSplashSaveBytes; ++i) {
        uint8_t b = frame[i];
        G_SplashSave[i] = (b == 15) ? 255 : (b == 4) ? 26 : b;
    }
}

void DrawBootBanner() {
    DrawTextF(31, 9, 1, 320, 140, "KV-5100 Series Flight Instrument");
    DrawTextF(31, 4, 1, 320, 160, "Software Version: %d.%d.%d-MV%d %s", kVersionMajor, kVersionMinor,
              kVersionBuild, kVersionMv, kVersionText);
}

void RestoreSplash(uint32_t address) {
    uint8_t* frame = HwMemory(address, kSplashSaveBytes);
    if (frame) std::memcpy(frame, G_SplashSave, kSplashSaveBytes);
}

static uint32_t ReadRebootVar() {
    const char* text = mon_getenv("REBOOT");
    return text ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : 0;
}

void BootScreen() {
    IrqStateInit();
    G_RebootCount = ReadRebootVar();
    const bool cold = G_RebootCount == 0 && G_CalRestart == 0;
    if (cold) SaveSplash();
    ClearGlobals();
    GUI_Init();
    LCD_SetScanOrigin(0, 0);
    GUI_SelectScreen();
    InitPalette();
    GUI_SetColorIndex(0);
    if (G_RebootCount == 0) RestoreSplash(kFrameMemory);
    DrawBootBanner();
    I2cInit();
    if (GetRtcTime() != 0) GetRtcTime();
    InitWatchdog();
    if (G_RebootCount > 2) {
        if (G_SysLog.nOn) DebugPrintf("ERROR: Reboot Flag(%d) > 2 Rebooting!\n", static_cast<int>(G_RebootCount));
        else s_heldRebootFlag = G_RebootCount;
        mon_setenv("REBOOT", "0");
    }
    InitButtons();
    InitKnobs();
    InitAudio();
    InitSsp();
    InitDiscreteInputs();
    MountSDCard();
}

static void LogEnv(const char* format, const char* name) {
    const char* value = mon_getenv(name);
    DebugPrintf(format, value ? value : "");
}

static void LogBanner() {
    const DateTime& t = G_DateTime;
    static const char kBoot[] = "**** SYSTEM BOOT %02d-%02d-%02d at %02d:%02d:%02d ****\n";
    const int year = static_cast<int>(t.nYear % 100);
    DebugPrintf(kBoot, static_cast<int>(t.nMonth), static_cast<int>(t.nDay), year, static_cast<int>(t.nHours),
                static_cast<int>(t.nMinutes), static_cast<int>(t.nSeconds));
    LogEnv("Unit Serial#: %s\n", "SERIALNUM");
    DebugPrintf("Software Version  %d.%d.%d-MV%d %s - built on %s\n", kVersionMajor, kVersionMinor, kVersionBuild,
                kVersionMv, kVersionText, kBuiltOn);
    const char* built = mon_getenv("MONITORBUILT");
    DebugPrintf("Firmware Version: %s  - built on %s\n", mon_version(), built ? built : "");
    LogEnv("MAC Address: %s\n", "ETHERADD");
    LogEnv("IP Address: %s\n", "IPADD");
    LogEnv("Base Board Revision: %s\n", "BASEBOARDREV");
    LogEnv("Base Board Serial Number: %s\n", "BASEBOARDSN");
    LogEnv("Engine Board Serial Number: %s\n", "ENGINEBOARDSN");
    LogEnv("AHRS Serial Number: %s\n", "AHRSSERIALNUM");
    RamLogPrintf(kBoot, static_cast<int>(t.nMonth), static_cast<int>(t.nDay), year, static_cast<int>(t.nHours),
                 static_cast<int>(t.nMinutes), static_cast<int>(t.nSeconds));
}

static void LoadEngine() {
    std::memset(G_InstReading, 0, sizeof G_InstReading);
    std::memset(&G_RpmPulse, 0, sizeof G_RpmPulse);
    LoadEngineSettings();
    LoadingScreen(8);
    LoadEngineCal();
    LoadingScreen(9);
    LoadTanksCal();
    LoadingScreen(10);
    LoadEgtChtCal();
    LoadHorsepowerTable();
    LoadingScreen(11);
    LogEngineInfo();
    InitRpm();
    LoadingScreen(12);
    InitFuelFlow();
    if (G_NetStreamCfg[kStreamAir].INST == 0) ReadOatChannel();
    if (G_NetStreamCfg[kStreamEngine].NET != 2) InitInstReadings();
    LoadingScreen(13);
}

void SystemBoot() {
    SysLogOpen();
    InitRamLog(0);
    ReadNVRam();
    if (s_heldRebootFlag) {
        DebugPrintf("ERROR: Reboot Flag(%d) > 2 Rebooting!\n", static_cast<int>(s_heldRebootFlag));
        s_heldRebootFlag = 0;
    }
    G_BootPassCount += 1;
    if (G_BootPassCount == 1) LogBanner();

    LoadingScreen(1);
    DataStoreInit();
    UpgradeNvram();
    LoadingScreen(2);
    TFS_Defrag(0);
    InitNavSrc();
    FixConfig();
    RepairSystemKvc();
    ReadNVClock();
    WriteNVRamFile();
    LoadingScreen(3);

    std::memset(&G_InstCfg[0], 0, sizeof G_InstCfg[0]);
    LoadingScreen(4);

    if (G_CalRestart == 0) {
        ReadChecklistFile();
        ReadAircraftFile();
        LoadingScreen(5);
        ReadMaintFile();
        LoadAircraftBitmap();
    }

    LoadingScreen(6);
    PrimeVoltChannels();
    MapInit();
    WxOpenListeners();
    RepairSystemKvd();
    LoadAirdataCal();
    if (G_NetStreamCfg[kStreamAir].INST != 0) InitAirdata();

    LoadingScreen(7);
    if (G_NetStreamCfg[kStreamAhrs].INST != 0) {
        EfisScreenInit();
        LoadApSettings();
    }
    G_FlipCtl.nDrawPageY = 0;
    if (G_NetStreamCfg[kStreamEngine].INST != 0) LoadEngine();

    if (LoadLogChannels() < 0) {
        WriteLogCfgSD();
        LoadLogChannels();
    }
    IntEnable(kIntGpio);
}

// The first acknowledgement file that opens decides.
static void CheckAgreeFiles() {
    static const char* const names[] = {"I_AGREE", "I_AGREE.TXT", "I_AGREE.DAT"};
    static uint8_t scratch[512];
    for (const char* name : names) {
        DFS_FileInfo file = {};
        if (DFS_OpenFile(&G_SdVolInfo, name, DFS_READ, scratch, &file) != DFS_OK) continue;
        if (file.filelen != 0) {
            DebugPrintf("INFO: %s found on card, Skipping Liability Screen\n", name);
            G_SkipLiability = 1;
        }
        return;
    }
}

void LiabilityScreen() {
    LoadingScreen(14);
    CalcAvailScreens();
    ResetKnobAllow();
    G_CurPage = CheckScreenAvail(static_cast<int32_t>(NvGetU32(kNvScreenConfig)));
    NvSetU32(kNvScreenConfig, static_cast<uint32_t>(G_CurPage));
    uint8_t page = static_cast<uint8_t>(G_CurPage);
    WriteClockMem(&page, 17, 1);
    InitScreenConfig();
    LoadingScreen(15);
    EnableRtcTick();
    HwWrite32(GPCR0, kGpio5Alarm);
    if (G_CurPage == 9) DrawEfisStatic();
    G_LastPage = G_CurPage;
    G_CurPage = kPageSplash;
    GUI_ClearRect(0, 0, 640, 960);
    if (G_RebootCount == 0) {
        RestoreSplash(kFrameMemory);
        RestoreSplash(kFramePage2);
    }
    for (int n = 0; n < kNetStreams; ++n) {
        const NetStreamCfg& s = G_NetStreamCfg[n];
        DebugPrintf("%s: INST:%d, NET:%d, DSRC:%d, FileOk:%d, Port:%d\n", kStreamName[n], static_cast<int>(s.INST),
                    static_cast<int>(s.NET), static_cast<int>(s.DSRC), static_cast<int>(s.FileOk),
                    static_cast<int>(s.Port));
    }
    if (G_SDCard.nState == kSdMounted) CheckAgreeFiles();
}

// Whole seconds truncated, tenths rounded on their own: 1,960 ms shows "1.0".
static void LogBootTime() {
    const uint32_t ms = ReadOsTimer() / kTicksPerMs;
    DebugPrintf("System Booted in %d.%d sec\n", static_cast<int>(ms / 1000), static_cast<int>(((ms + 50) / 100) % 10));
}

void StartTick() {
    HwWrite32(OSMR0, ReadOsTimer() + 18432);
    HwWrite32(OIER, HwRead32(OIER) | 1);
    IntEnable(kIntOsTimer0);
}

// Only the five real ports are looked up; 5 means "none".
static void WakeArincAdapters() {
    for (int slot = 0; slot < kNavSlots; ++slot) {
        const uint32_t port = G_NavSrc.rec[slot].nPort;
        if (port >= static_cast<uint32_t>(kSerialPorts) || G_Serial[port].nFunction != 5) continue;
        SerialPrintf(port, "x");
        DelayTicks(73720);
        SerialPrintf(port, "R");
    }
}

static void CalibrationPass() {
    GUI_Clear();
    G_CurPage = kPageCalibration;
    UpdateSoftKeys();
    DrawStatusBar();
    DrawCalTitle();
    G_CalRestart = 1;
    SystemBoot();
    InitSerialPorts();
    CalibrationMode();
}

static void NormalPass() {
    SystemBoot();
    AlarmInit();
    LiabilityScreen();
    LogBootTime();
    InitSerialPorts();
    PollSDCard();
    if (G_RebootCount != 0) G_CurPage = G_LastPage;
    else SplashScreen();
    UpdateSoftKeys();
    RedrawScreen();
    StartTick();
    WakeArincAdapters();
    G_KeyEvent = 0;
    G_Knob0.nDelta = 0;
    MainLoop();
}

int BootPasses() {
    for (;;) {
        BootScreen();
        const uint32_t buttons = HwRead32(GPLR1);
        if (!(buttons & kGpio61) && !(buttons & kGpio63)) {
            DrawTextF(31, 10, 1, 320, 240, "Application Exiting");
            DrawTextF(31, 10, 1, 320, 270, "System Will Auto-Reboot In 5 Minutes");
            DelayTicks(18432000);
            KickWatchdog(300);
            return 0;
        }
        if (!(buttons & kGpio62) || G_CalRestart == 1) CalibrationPass();
        else NormalPass();
    }
}

int AppMain(int, char**) {
    InitHardware();
    G_CalRestart = 0;
    return BootPasses();
}
