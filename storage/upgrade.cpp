#include "storage/upgrade.h"

#include <cmath>
#include <initializer_list>
#include <cstdio>
#include <cstring>

#include "core/boot.h"
#include "core/discrete.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "gui/gui.h"
#include "map/map.h"
#include "nav/autopilot.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "platform/monitor.h"
#include "setup/setup.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/datastore.h"
#include "storage/enginelog.h"
#include "storage/flash.h"
#include "storage/nvram.h"
#include "storage/screendump.h"
#include "storage/sdcard.h"
#include "storage/settings.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/popup.h"
#include "ui/statusbar.h"

namespace {
constexpr uint32_t kWhite = 31;
constexpr int32_t  kFont = 8;
constexpr uint32_t kNone = 0xFFFFFFFF;   // input kind of a stream that is not installed
constexpr int      kCfgMaint = 9;
constexpr int      kSoundFirst = 21, kSoundLast = 37;
constexpr uint32_t kTfsSizeLimit = 0x700000;
constexpr uint32_t kNvApMinutes = 52;     // u32 reset by two steps
constexpr uint32_t kNvApPitchDGain = kNvApGains + 8 * 4 + 6;
}  // namespace

// ---- repair of the configuration ---------------------------------------------------

// Installed, source and input kind made consistent; the file-read word set.
static void FixStream(NetStreamCfg& s) {
    switch (s.INST) {
    case 0:
        s.NET = 0;
        s.DSRC = kNone;
        break;
    case 1:
        if (s.NET == 2) s.INST = 2, s.DSRC = 2;
        else s.DSRC = 0;
        break;
    case 2: s.DSRC = s.NET == 2 ? 2 : 1; break;
    default:
        s.INST = 1;
        s.DSRC = 0;
        break;
    }
    s.FileOk = 1;
}

// The demonstration sources replace whatever the repair derived.
static void ApplyDemoFlags() {
    struct Bit { uint32_t flag; int first, last; };
    constexpr Bit bits[] = {
        {kDemoAir, kStreamAir, kStreamAir},         {kDemoAhrs, kStreamAhrs, kStreamAhrs},
        {kDemoEngine, kStreamEngine, kStreamEngine}, {kDemoNav, kStreamNav1, kStreamNav1 + 2},
        {kDemoTraffic, kStreamTraffic, kStreamTraffic}, {kDemoAoa, kStreamAoa, kStreamAoa},
    };
    for (const Bit& b : bits)
        if (G_DemoFlags & b.flag)
            for (int s = b.first; s <= b.last; ++s) G_NetStreamCfg[s].DSRC = 3;
}

static void FixDiscreteInputs() {
    static const char kTankLabel[2][12] = {"TANK3 XFR", "TANK4 XFR"};
    for (int k = 0; k < kDiscreteInputs; ++k) {
        DiscreteInput& in = G_DiscreteIn.input[k];
        if (in.nMode >= 8) in.nMode = 0;
        if (k < 2 && in.nMode == 2) std::snprintf(in.szLabel, sizeof in.szLabel, "%.9s", kTankLabel[k]);
    }
    // The inputs' usage and audio words are the alarm manager's configuration
    // of slots 48..50; the instrument table has no records there to copy into.
}

static void ResetBattVolts() {
    InstCfg& c = G_InstCfg[kInstBattVolts];
    std::memset(&c, 0, sizeof c);
    c.nMax = 90;
    c.nRedHigh = 90;
    c.nYellowHigh = 78;
    c.nYellowLow = 70;
    c.nRedLow = 68;
    c.nMin = 67;
    c.nEnable = 1;
    c.nAudio = 1;
}

void FixConfig() {
    if (ReadConfigFile(kCfgSystem, kExtKvd) == 0) ApplySettingKeys(3);
    if (G_NetSerialShare == 0) G_NetSerialShare = 1;
    for (int s : {kStreamAir, kStreamAhrs, kStreamEngine}) FixStream(G_NetStreamCfg[s]);
    ApplyDemoFlags();
    if (G_NetStreamCfg[kStreamAhrs].DSRC == 0) {
        if (G_Serial[0].nFunction == 0) {
            DebugPrintf("WARNING: AHRS Serial port OFF, Fixing\n");
            G_Serial[0].nFunction = 1;
        }
    } else {
        G_Serial[0].nFunction = 0;
    }
    SetNavSrcKinds();
    FixDiscreteInputs();
    SerialPort& p1 = G_Serial[1];
    if (p1.nBaudIdx == 6 && (p1.nFunction == 14 || p1.nFunction == 19)) p1.nFunction = 2;
    else if (p1.nBaudIdx == 5 && p1.nFunction == 2) p1.nFunction = 19;
    if (G_DataStoreInterval == 0) G_DataStoreInterval = 5;
    NET_Init();
    ResetBattVolts();
}

// A pop-up that stays one second, then goes.
static void PopupSecond(const char* text) {
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "%s", text);
    DelayTicks(kTicksPerSecond);
    ClearPopup();
}

int32_t WriteSystemKvd() {
    TFS_Defrag(0);
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "Writing SYSTEM.KVD");
    const int32_t r = writedatabyline(WriteSettingKeys(3), kCfgSystem, kExtKvd);
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, r != 0 ? "Writing SYSTEM.KVD ... ERROR" : "Writing SYSTEM.KVD ... DONE");
    DelayTicks(kTicksPerSecond);
    ClearPopup();
    return r;
}

void WriteConfigFile() {
    TFS_Defrag(0);
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "Writing %s.%s", "SYSTEM", "KVC");
    writedatabyline(FormatCalLines(kCfgSystem), kCfgSystem, kExtKvc);
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "Writing %s.%s ... DONE", "SYSTEM", "KVC");
    DelayTicks(kTicksPerSecond);
    ClearPopup();
}

void RepairSystemKvc() {
    // A file that opens but holds no pair is as broken as a missing one.
    if (ReadConfigFile(kCfgSystem, kExtKvc) == 0 && G_CfgCount > 0) {
        ParseCalFile(kCfgSystem);
        return;
    }
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "Repairing SYSTEM.KVC File");
    DebugPrintf("SYSTEM.KVC not present...Creating\n");
    DelayTicks(kTicksPerSecond);
    LoadAirdataCal();
    ClearPopup();
    WriteConfigFile();
    PopupSecond("File Repair Complete... Thank You");
}

// ---- the version upgrade ----------------------------------------------------------

namespace {
struct Version {
    uint32_t major, minor, bugFix;
};

bool Newer(const Version& a, const Version& b) {
    if (a.major != b.major) return a.major > b.major;
    if (a.minor != b.minor) return a.minor > b.minor;
    return a.bugFix > b.bugFix;
}

Version s_stored;
bool    s_resetRequired;
}  // namespace

static void WriteReg(int r, int count) { WriteClockMem(&G_ClockMem[r], r, count); }

static void SetReg16(int r, uint32_t v) {
    G_ClockMem[r] = static_cast<uint8_t>(v);
    G_ClockMem[r + 1] = static_cast<uint8_t>(v >> 8);
    WriteReg(r, 2);
}

static void SetRegBits(int r, uint8_t set, uint8_t clear) {
    G_ClockMem[r] = static_cast<uint8_t>((G_ClockMem[r] | set) & ~clear);
    WriteReg(r, 1);
}

static void RemoveLogCfg() {
    char name[32];
    std::snprintf(name, sizeof name, "%s.%s", CfgFileNames[kCfgLogCfgSD], CfgFileExts[kExtKvd]);
    AppIntsOffRestore(0);
    mon_tfsunlink(name);
    AppIntsOffRestore(1);
}

static void DisplayFlags(uint32_t daltOn) {
    NvSetU32(kNvOatUnits, 0);
    NvSetU32(kNvAhrsDebug, 0);
    NvSetU32(kNvRollScaleOn, 1);
    NvSetU32(kNvHeadingOn, 1);
    NvSetU32(kNvAoaGaugeOn, 0);
    NvSetU32(kNvTasGaugeOn, 1);
    if (daltOn) NvSetU32(kNvDaltGaugeOn, 1);
}

static void StepTfsCheck() {
    if (G_TfsSize >= kTfsSizeLimit) {
        static const char* const lines[] = {"CANNOT COMPLETE UPGRADE... INCOMPATABLE MICROMONITOR (TFS)",
                                            "Please Contact Vantorel for Assistance."};
        for (int i = 0; i < 2; ++i) {
            DrawTextF(kWhite, kFont, 1, 320, 360 + 20 * i, "%s", lines[i]);
            DebugPrintf("%s\n", lines[i]);
        }
        DelayTicks(2 * kTicksPerSecond);
        s_resetRequired = true;
        return;
    }
    const int32_t last = kDataStoreSector0 + static_cast<int32_t>(kDataStoreSectors) - 1;
    DebugPrintf("ERASING DATASTORE FLASH SECTORS %d through %d\n", static_cast<int>(kDataStoreSector0),
                static_cast<int>(last));
    for (int32_t s = kDataStoreSector0; s <= last; ++s) {
        KickWatchdog(10);
        FlashErase(s);
    }
}

static void StepClearImage() { std::memset(G_NVRam, 0, sizeof G_NVRam); }
static void StepWriteSystem() { WriteSystemKvd(); }

static void StepMaintKeys() {
    if (ReadConfigFile(kCfgMaint, kExtKvd) != 0 || G_CfgCount == 0) return;
    for (uint32_t i = 0; i < G_CfgCount && i < static_cast<uint32_t>(kCfgPairs); ++i)
        if (std::strcmp(G_CfgKey[i], "WEIGHT") == 0) std::snprintf(G_CfgKey[i], kCfgFieldBytes, "QUANTITY");
    writedatabyline(static_cast<int32_t>(G_CfgCount), kCfgMaint, kExtKvd);
}

static void StepFlightTimes() {
    DisplayFlags(0);
    const float hobbs = NvGetF32(kNvHobbsTime);
    NvSetF32(kNvLastFlight, std::fabs(std::trunc((hobbs - NvGetF32(kNvLastFlight)) * 10.0f)));
    NvSetF32(kNvTodayTime, std::fabs(std::trunc((hobbs - NvGetF32(kNvTodayTime)) * 10.0f)));
    WriteNVClock();
}

static void StepGaugeFlags() {
    DisplayFlags(1);
    G_NavSrc.hdr.nFlags0 &= static_cast<uint8_t>(~3u);
    NvSetU32(kNvCylGaugeType, 1);
    WriteNVClock();
}

static void StepLogOnly() {}

static void StepDim() {
    NvSetU32(kNvDimPercent, 100);
    G_ClockMem[28] = 100;
    WriteReg(28, 1);
    NvSetU32(kNvAoaDeclutterOn, 0);
    SetRegBits(10, 0, 1u << 6);
}

static void StepRollAdj() {
    NvSetU32(kNvRollAdj, 0);
    SetReg16(29, 0);
}

// Which engine setting the old step raised is not known: the file is
// loaded and written back in the current layout.
static void StepEngineFile() {
    if (G_NetStreamCfg[kStreamEngine].INST == 0) return;
    LoadEngineSettings();
    SaveEngineSettings();
}

static void StepSerialPorts() {
    FixConfig();
    for (uint32_t p = 0; p <= 3; ++p)
        if (G_Serial[p].nFunction == 0) G_Serial[p].nFunction = p + 1;
    WriteSystemKvd();
}

static void StepAoaFile() { WriteAoaFile(); }

static void StepWinds() {
    NvSetU32(kNvWindsGaugeOn, 1);
    SetRegBits(11, 1, 0);
    NvSetU32(kNvEraseCount, NvGetU32(kNvWriteCount) / 32);
    LoadAirdataCal();
    WriteAirdataCal();
    G_NavSrc.hdr.nFlags0 |= 1u << 5;
    SetRegBits(12, 1u << 5, 0);
    G_NavSrc.hdr.nAltBug = 0;
    SetReg16(33, 0);
}

static void StepRegs35() {
    G_ClockMem[35] = 255;
    G_ClockMem[36] = 127;
    WriteReg(35, 2);
}

static void StepNetDebug() { NvSetU32(kNvNetDebugLogsOn, 0); }
static void StepLogCfg() { RemoveLogCfg(); }

static void StepLogCfgRing() {
    RemoveLogCfg();
    DataStoreErase();
}

static void StepScreens416() {
    ResetScreenEnableMask();
    if (s_stored.major != 4 || s_stored.minor != 1) return;
    WriteSystemKvd();
    WriteAirdataFile();
    LoadEngineSettings();
    ReadAircraftFile();
    WriteAircraftFile();
    G_ClockMem[13] = static_cast<uint8_t>((G_ClockMem[13] & 0x80) | 5);   // zoom 5, view 0, NEXRAD off
    WriteReg(13, 1);
    RemoveLogCfg();
    G_NavSrc.hdr.nSpeedBug = 0;
    SetReg16(38, 0);
}

static void StepScreens() { ResetScreenEnableMask(); }
static void StepMapOptions() {
    SetRegBits(13, 0, 1u << 7);
    SetRegBits(14, 0, 1);
}
static void StepNexrad() {
    ResetScreenEnableMask();
    SetRegBits(13, 0, 1u << 6);
}

static void StepPosition() {
    NvSetU32(kNvLastLatitude, 0x42350D39);
    NvSetU32(kNvLastLongitude, 0xC2F55A8D);
}

static void StepDumpCounter() {
    const uint32_t day = G_DateTime.nDay;
    G_ClockMem[25] = static_cast<uint8_t>((G_DateTime.nMonth & 15) | (day & 15) << 4);
    G_ClockMem[26] = static_cast<uint8_t>(((day >> 4) & 1) | 1 << 1);
    G_ClockMem[27] = 0;
    WriteReg(25, 3);
}

static void StepMinutes() { NvSetU32(kNvApMinutes, 18000); }

static void StepSlots() {
    G_NavSrc.hdr.nCrsSlot = 4;
    G_NavSrc.hdr.nBrgSlot = 4;
    G_ClockMem[14] = static_cast<uint8_t>((G_ClockMem[14] & 0x81) | 4 << 1 | 4 << 4);
    WriteReg(14, 1);
    SetRegBits(11, (1u << 2) | (1u << 4), 0);
}

static void StepDistUnits() {
    G_DistUnits = 0;
    SetRegBits(11, 0, 0xC0);
}

static void StepNavSources() {
    FindNavSources();
    WriteSystemKvd();
}

static void StepMinAltBug() {
    G_NavSrc.hdr.nMinAltBug = 0;
    SetReg16(49, 0);
    const uint8_t bit = (G_NavSrc.hdr.nFlags0 >> 5) & 1;
    G_NavSrc.hdr.nFlags1 = static_cast<uint8_t>((G_NavSrc.hdr.nFlags1 & ~0x10) | bit << 4);
    G_ClockMem[12] = static_cast<uint8_t>((G_ClockMem[12] & 0x7F) | bit << 7);
    WriteReg(12, 1);
}

static void StepTimerPreset() { SetReg16(52, 60); }

// Both knobs' lists (NVRAM 56..63): every function offered.
static void EnableAllKnobFunctions() { std::memset(&G_NVRam[56], 0xFF, 8); }

static void StepTargetType() {
    NvSetU32(kNvTargetType, 1);
    G_ClockMem[15] = 1;
    WriteReg(15, 1);
    EnableAllKnobFunctions();
}

static void StepApDefaults() { DefaultApSettings(); }

static void StepKnobPush() {
    G_KnobPushSel = s_stored.major < 6 ? 0 : 1;
    if (G_KnobPushSel) SetRegBits(11, 1u << 3, 0);
    else SetRegBits(11, 0, 1u << 3);
}

static void StepLabel122() {
    G_NVRam[kNvLabel122] = 0;
    WriteNVRam(1);
}

static void StepPitchGain() { NvSetU16(kNvApPitchDGain, 500); }

static void StepSourceSlots() {
    G_NavSrc.hdr.nMapSrcSlot = 0;
    G_NavSrc.hdr.nMapCrsSlot = 0;
    G_ClockMem[47] = 0;
    G_ClockMem[48] = 0;
    WriteReg(47, 2);
}

namespace {
struct VersionStep {
    Version     version;
    const char* text;
    void (*fn)();
};
// Table order is the order the steps run in, also where it is not the
// numeric order of the versions.
constexpr VersionStep kSteps[] = {
    {{3, 2, 0}, "3.2.0", StepTfsCheck},         {{3, 4, 9}, "3.4.9", StepClearImage},
    {{3, 4, 4}, "3.04.04", StepWriteSystem},    {{3, 4, 6}, "3.04.06", StepMaintKeys},
    {{3, 5, 0}, "3.05.00", StepFlightTimes},    {{3, 5, 2}, "3.05.02", StepGaugeFlags},
    {{3, 5, 6}, "3.05.06", StepLogOnly},        {{3, 5, 20}, "3.05.20", StepDim},
    {{3, 5, 28}, "3.05.28", StepRollAdj},       {{3, 5, 41}, "3.05.41", StepEngineFile},
    {{3, 5, 48}, "3.05.48", StepSerialPorts},   {{3, 6, 1}, "3.06.01", StepAoaFile},
    {{3, 7, 0}, "3.07.00", StepWinds},          {{3, 7, 1}, "3.07.01", StepRegs35},
    {{3, 7, 6}, "3.07.06", StepNetDebug},       {{3, 10, 2}, "3.10.02", StepLogCfg},
    {{4, 1, 1}, "4.01.01", StepLogCfgRing},     {{4, 1, 6}, "4.1.6", StepScreens416},
    {{5, 0, 4}, "5.0.4", StepScreens},          {{5, 5, 6}, "5.5.6", StepMapOptions},
    {{5, 6, 1}, "5.6.1", StepNexrad},           {{5, 6, 3}, "5.6.3", StepPosition},
    {{5, 6, 5}, "5.6.5", StepDumpCounter},      {{5, 7, 1}, "5.7.1", StepMinutes},
    {{5, 7, 5}, "5.7.5", StepLogCfg},           {{5, 8, 12}, "5.8.12", StepSlots},
    {{5, 8, 14}, "5.8.14", StepDistUnits},      {{5, 9, 7}, "5.9.7", StepNavSources},
    {{5, 9, 26}, "5.9.26", StepLogCfg},         {{5, 11, 16}, "5.11.16", StepMinAltBug},
    {{5, 11, 24}, "5.11.24", StepTimerPreset},  {{6, 1, 1}, "6.01.01", StepTargetType},
    {{6, 2, 40}, "6.2.40", StepApDefaults},     {{6, 2, 45}, "6.2.45", StepKnobPush},
    {{6, 2, 60}, "6.2.60", StepLabel122},       {{7, 1, 3}, "7.1.3", StepMinutes},
    {{7, 1, 4}, "7.1.4", StepPitchGain},        {{7, 3, 5}, "7.3.5", StepSourceSlots},
};
}  // namespace

// Sound files larger than the TFS writer takes are skipped before any byte
// is read: FlashBuf would not hold them either.
static void CopySoundFiles() {
    for (int id = kSoundFirst; id <= kSoundLast; ++id) {
        char name[32];
        std::snprintf(name, sizeof name, "%s.KVW", CfgFileNames[id]);
        KickWatchdog(30);
        DFS_FileInfo file = {};
        if (DFS_OpenFile(&G_SdVolInfo, name, DFS_READ, G_SDCard.scratch, &file) != DFS_OK) {
            DebugPrintf("ERROR: %s.KVW Cannot Open File on Card\n", CfgFileNames[id]);
            continue;
        }
        if (file.filelen == 0 || file.filelen > kCfgFileMax) {
            DebugPrintf("ERROR: %s size %d too big for TFS, skipped\n", name, static_cast<int>(file.filelen));
            continue;
        }
        DebugPrintf("INFO: Coping %s from Card to TFS\n", name);
        KickWatchdog(30);
        uint32_t count = 0;
        if (DFS_ReadFile(&file, G_SDCard.scratch, FlashBuf, &count, file.filelen) != DFS_OK ||
            count != file.filelen) {
            DebugPrintf("ERROR: %s.KVW Cannot Open File on Card\n", CfgFileNames[id]);
            continue;
        }
        KickWatchdog(30);
        if (FlashWriteTFS(name, nullptr, static_cast<int32_t>(count)) != 0) DebugPrintf("ERROR: Writing %s to TFS\n", name);
        else DebugPrintf("INFO: Copy Complete\n");
    }
}

static void RunVersionSteps() {
    LoadAirdataCal();
    FixConfig();
    RepairSystemKvd();
    RepairSystemKvc();
    ReadNVClock();
    for (const VersionStep& s : kSteps) {
        if (!Newer(s.version, s_stored)) continue;
        DebugPrintf("VERSION %s upgrades\n", s.text);
        s.fn();
    }
}

static void StampVersion() {
    NvSetU32(kNvMajorRel, kSwMajor);
    NvSetU32(kNvMinorRel, kSwMinor);
    NvSetU32(kNvBugFix, kSwBugFix);
}

[[noreturn]] static void ResetForUpgrade() {
    ShowPopupMsg(kWhite, 320, 240, 5 * kTicksPerSecond, "Reset Required... Please Remove SD Card and Stand By");
    DelayTicks(5 * kTicksPerSecond);
    for (;;) KickWatchdog(0);
}

constexpr uint32_t kDefaultMasterVolume = 75;   // percent: nothing stored says otherwise

static void UpgradeStoredSettings() {
    GUI_ClearRect(0, 320 + static_cast<int>(G_FlipCtl.nDrawPageY), 640, 440 + static_cast<int>(G_FlipCtl.nDrawPageY));
    static const char kFrom[] = "Upgrading Version from %d.%02d.%02d to %d.%02d.%02d";
    const int a = static_cast<int>(s_stored.major), b = static_cast<int>(s_stored.minor),
              c = static_cast<int>(s_stored.bugFix);
    DrawTextF(kWhite, kFont, 1, 320, 320, kFrom, a, b, c, kSwMajor, kSwMinor, kSwBugFix);
    char line[96];
    std::snprintf(line, sizeof line, kFrom, a, b, c, kSwMajor, kSwMinor, kSwBugFix);
    DebugPrintf("%s\n", line);

    AppIntsOffRestore(0);
    mon_docommand("tfs rm *.ALX *.ALH", 0);
    AppIntsOffRestore(1);
    DeleteScreenDumps();
    TFS_Defrag(1);
    if (G_SDCard.nState == kSdMounted) CopySoundFiles();

    if (s_stored.major <= 2) {
        StampVersion();
        SetDefaultClockMem();
        EnableAllKnobFunctions();   // a new image: the knob offers its functions, as after an upgrade
        NvSetU32(kNvMasterVolume, kDefaultMasterVolume);   // and the alerts are heard
    } else {
        RunVersionSteps();
        if (s_resetRequired) ResetForUpgrade();
        StampVersion();
        DrawTextF(kWhite, kFont, 1, 320, 420, "Upgrade Complete... Thank You");
        DebugPrintf("Upgrade Complete... Thank You\n");
    }
    NvSetU32(kNvWriteStamp, ReadOsTimer());
    WriteNVRam(1);
    WriteNVRam(1);
    WriteNVRamFile();
}

static int TfsStatFile(const char* name, TfsStat* st) {
    AppIntsOffRestore(0);
    const int r = mon_tfsstat(name, st);
    AppIntsOffRestore(1);
    return r;
}

static void CheckLoaderUpdate() {
    static const char kLoader[] = "KVLOADER.KVE";
    TfsStat st = {};
    if (TfsStatFile(kLoader, &st) == 0 && (st.flags & kTfsFlagUpdate)) {
        ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "Updating Load Program");
        const int n = std::snprintf(reinterpret_cast<char*>(FlashBuf), kFlashBufBytes,
                                    "echo Running Upgrade Patch\n-tfs -feb cp %s %s\n", kLoader, kLoader);
        FlashWriteTFS("AALOADFX", "be", n);
        DelayTicks(3682314);
        ResetForUpgrade();
    }
    if (TfsStatFile("AALOADFX", &st) == 0) {
        AppIntsOffRestore(0);
        mon_tfsunlink("AALOADFX");
        AppIntsOffRestore(1);
        PopupSecond("Load Program Upgrade Complete... Thank You");
    }
}

void UpgradeNvram() {
    s_stored = {NvGetU32(kNvMajorRel), NvGetU32(kNvMinorRel), NvGetU32(kNvBugFix)};
    s_resetRequired = false;
    DebugPrintf("NVRAM Version: V%d.%02d.%02d\n", static_cast<int>(s_stored.major), static_cast<int>(s_stored.minor),
                static_cast<int>(s_stored.bugFix));
    const Version running = {kSwMajor, kSwMinor, kSwBugFix};
    if (Newer(running, s_stored) || Newer(s_stored, running)) UpgradeStoredSettings();
    CheckLoaderUpdate();
}
