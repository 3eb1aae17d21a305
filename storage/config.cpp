#include "storage/config.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/util.h"
#include "efis/airdata.h"
#include "efis/aoa.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "engine/tanks.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "ui/popup.h"

const char CfgFileNames[kCfgFileIds][16] = {
    "ENGINE", "AHRS",     "AIRDATA",  "SYSTEM",   "HORSEPWR", "EGTCHT", "TANKS",   "CHKLST",
    "MAINT",  "AIRCRAFT", "KV5100",   "KVLOADER", "",         "NETWORK", "INPUT",  "NVRAM",
    "AOA",    "",         "BOOTSTOP", "LOGCFGSD", "MONRC",    "AMPS",   "ANGLE",   "CANOPY",
    "CHT",    "EGT",      "FUELCOMP", "FUELPSI",  "FUELTANK", "MANIFOLD", "OILPSI", "OILTEMP",
    "RPM",    "VOLTS",    "BEEP",     "MINIMUMS", "ALTITUDE", "TIMER",
};
const char CfgFileExts[kCfgExtIds][4] = {
    "KVD", "KVC", "KVW", "KVE", "KVB", "ALE", "ALX", "ALA", "ALS", "ALN", "ALH", "ALD", "ALR", "",
};

char     G_CfgKey[kCfgPairs][kCfgFieldBytes] = {};
char     G_CfgValue[kCfgPairs][kCfgFieldBytes] = {};
uint32_t G_CfgCount = 0;
uint8_t  FlashBuf[kFlashBufBytes] = {};
uint32_t G_TfsSize = 0;

static char s_line[256];
static uint32_t s_defragFirst = 1;

constexpr uint32_t kPause100ms = 368600;
constexpr uint32_t kYellow = 14, kRed = 2, kGreen = 5, kWhite = 31;
constexpr int32_t  kDefragFont = 8;

// A file name from its ids; false (and no name) for ids outside the tables.
static bool CfgFileName(int32_t fileId, int32_t extId, char* name, size_t size) {
    if (fileId < 0 || fileId >= kCfgFileIds || extId < 0 || extId >= kCfgExtIds) {
        DebugPrintf("ERROR: bad file id %d.%d\n", static_cast<int>(fileId), static_cast<int>(extId));
        return false;
    }
    if (extId == kCfgNoExt) std::snprintf(name, size, "%s", CfgFileNames[fileId]);
    else std::snprintf(name, size, "%s.%s", CfgFileNames[fileId], CfgFileExts[extId]);
    return true;
}

// Monitor calls run with the application's interrupts held off.
static int TfsOpen(const char* name) {
    AppIntsOffRestore(0);
    int fd = mon_tfsopen(name, kTfsRead, nullptr);
    AppIntsOffRestore(1);
    return fd;
}

static int TfsEof(int fd) {
    AppIntsOffRestore(0);
    int r = mon_tfseof(fd);
    AppIntsOffRestore(1);
    return r;
}

static int TfsGetLine(int fd, char* buf, int max) {
    AppIntsOffRestore(0);
    int r = mon_tfsgetline(fd, buf, max);
    AppIntsOffRestore(1);
    return r;
}

static void TfsClose(int fd) {
    AppIntsOffRestore(0);
    mon_tfsclose(fd, nullptr);
    AppIntsOffRestore(1);
}

static long TfsCtrl(int request, long arg) {
    AppIntsOffRestore(0);
    long r = mon_tfsctrl(request, arg, 0);
    AppIntsOffRestore(1);
    return r;
}

// Copies text up to the first comma, line feed or end into a table field.
static const char* CopyField(const char* from, char* field) {
    size_t n = std::strcspn(from, ",\n");
    size_t keep = n < kCfgFieldBytes - 1 ? n : kCfgFieldBytes - 1;
    std::memcpy(field, from, keep);
    field[keep] = 0;
    return from + n;
}

// A line from a PC editor ends in CR LF: the CR is not part of the value.
static void DropCarriageReturn(char* line, int n) {
    if (n >= 2 && line[n - 1] == '\n' && line[n - 2] == '\r') {
        line[n - 2] = '\n';
        line[n - 1] = 0;
    } else if (n >= 1 && line[n - 1] == '\r') {
        line[n - 1] = 0;
    }
}

// What a damaged or hostile file held that is not a KEY, VALUE line.
struct LineFaults {
    int skipped = 0;     // lines that do not start with a letter or digit
    int noComma = 0;     // a key without a value
    int longLines = 0;   // longer than a line buffer: the rest was passed over
};

// One line per file, only when something was skipped or cut.
static void ReportLineFaults(const char* name, const LineFaults& f, bool cut) {
    if (f.skipped == 0 && f.noComma == 0 && f.longLines == 0 && !cut) return;
    DebugPrintf("WARN: %s: %d skipped, %d no comma, %d long%s\n", name, f.skipped, f.noComma, f.longLines,
                cut ? ", cut at 1024" : "");
}

int32_t ReadConfigFile(int32_t fileId, int32_t extId) {
    KickWatchdog(20);
    char name[16];
    G_CfgCount = 0;
    if (!CfgFileName(fileId, extId, name, sizeof name)) return -1;
    DebugPrintf("Reading %s... ", name);
    int fd = TfsOpen(name);
    if (fd < 0) {
        DebugPrintf("TFS ERROR: %s: %s\n", name, reinterpret_cast<const char*>(TfsCtrl(kTfsCtrlErrTextRequest, fd)));
        return -1;
    }
    LineFaults faults;
    int i = 0;
    for (; i < kCfgPairs && !TfsEof(fd); ++i) {
        std::memset(G_CfgKey[i], 0, kCfgFieldBytes);
        std::memset(G_CfgValue[i], 0, kCfgFieldBytes);
        std::memset(s_line, 0, sizeof s_line);
        int n = TfsGetLine(fd, s_line, sizeof s_line);
        if (n == static_cast<int>(sizeof s_line) - 1 && s_line[n - 1] != '\n') ++faults.longLines;
        if (n <= 0 || !std::isalnum(static_cast<unsigned char>(s_line[0]))) {
            if (n > 0 && !std::isspace(static_cast<unsigned char>(s_line[0]))) ++faults.skipped;
            continue;
        }
        DropCarriageReturn(s_line, n);
        const char* rest = CopyField(s_line, G_CfgKey[G_CfgCount]);
        if (*rest == ',') {
            CopyField(rest + 1, G_CfgValue[G_CfgCount]);
        } else {
            G_CfgValue[G_CfgCount][0] = 0;
            ++faults.noComma;
        }
        ++G_CfgCount;
    }
    const bool cut = i == kCfgPairs && !TfsEof(fd);
    TfsClose(fd);
    DebugPrintf("Done, %d recs\n", static_cast<int>(G_CfgCount));
    ReportLineFaults(name, faults, cut);
    return 0;
}

int32_t writedatabyline(int32_t n, int32_t fileId, int32_t extId) {
    KickWatchdog(30);
    char name[16];
    if (!CfgFileName(fileId, extId, name, sizeof name)) return -1;
    DebugPrintf("Writing %d lines into %s \n", static_cast<int>(n), name);
    DelayTicks(kPause100ms);
    // The tables hold 1024 pairs: a larger count would read past them.
    if (n < 1 || n > kCfgPairs) {
        DebugPrintf("ERROR: writedatabyline too many lines:%d\n", static_cast<int>(n));
        DelayTicks(kPause100ms);
        return -1;
    }
    std::memset(FlashBuf, 0, sizeof FlashBuf);
    uint32_t size = 0;
    for (int32_t i = 0; i < n; ++i) {
        G_CfgKey[i][kCfgFieldBytes - 1] = 0;
        G_CfgValue[i][kCfgFieldBytes - 1] = 0;
        size_t k = std::strlen(G_CfgKey[i]), v = std::strlen(G_CfgValue[i]);
        char* out = reinterpret_cast<char*>(FlashBuf) + size;
        std::memcpy(out, G_CfgKey[i], k);
        std::memcpy(out + k, ", ", 2);
        std::memcpy(out + k + 2, G_CfgValue[i], v);
        out[k + 2 + v] = '\n';
        size += static_cast<uint32_t>(k + v + 3);
    }
    return FlashWriteTFS(name, nullptr, static_cast<int32_t>(size));
}

int32_t FlashWriteTFS(const char* name, const char* flags, int32_t size) {
    if (size <= 0 || static_cast<uint32_t>(size) > kCfgFileMax) {
        DebugPrintf("ERROR: FlashWriteTFS(%s,%d) file too big or ZERO\n", name, static_cast<int>(size));
        return -1;
    }
    AppIntsOffRestore(0);
    int r = mon_tfsadd(name, nullptr, flags, FlashBuf, size);
    AppIntsOffRestore(1);
    if (r != 0) DebugPrintf("ERROR: mon_tfsadd returned %d\n", r);
    return r;
}

// The forced defragmentation's texts, on the page being drawn.
static void ClearDefragBox() {
    const int32_t y = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(176, y + 240, 464, y + 304);
}

void TFS_Defrag(int32_t force) {
    long avail = TfsCtrl(kTfsCtrlAvailRequest, 0);
    long dead = TfsCtrl(kTfsCtrlDeadRequest, 0);
    long used = TfsCtrl(kTfsCtrlUsedRequest, 0);
    G_TfsSize = static_cast<uint32_t>(avail + used);
    if (s_defragFirst) {
        s_defragFirst = 0;
        DebugPrintf("TFS: Size:%dk, Avail: %dk, Dead: %dk, Used:%dk\n", static_cast<int>(G_TfsSize / 1024),
                    static_cast<int>(avail / 1024), static_cast<int>(dead / 1024), static_cast<int>(used / 1024));
    }
    if (!((dead != 0 && avail < 0x80000) || force == 1)) return;
    DebugPrintf("DEBUG: TFS_DEFRAG Started \n");
    if (force == 1) {
        ClearDefragBox();
        DrawTextF(kYellow, kDefragFont, 1, 320, 240, "Flash Defrag Required... Please Wait");
        DrawTextF(kRed, kDefragFont, 1, 320, 256, "WARNING: Power loss during Defrag");
        DrawTextF(kRed, kDefragFont, 1, 320, 272, "may require Factory Service");
    } else {
        ShowPopupMsg(kYellow, 320, 240, kTicksPerSecond,
                     " Flash Defrag Required... Please Wait  \n  WARNING: Do Not Power Cycle Unit! ");
    }
    DelayTicks(kTicksPerSecond);
    KickWatchdog(300);
    long r = TfsCtrl(kTfsCtrlDefragRequest, 0);
    DebugPrintf("DEBUG: TFS_DEFRAG Complete @%02d:%02d:%02d\n", static_cast<int>(G_DateTime.nHours),
                static_cast<int>(G_DateTime.nMinutes), static_cast<int>(G_DateTime.nSeconds));
    const uint32_t pause = r != 0 ? 18432000 : 1843000;
    if (force == 1) {
        ClearDefragBox();
        if (r != 0) {
            DebugPrintf("ERROR: TFS_DEFRAG returned %d\n", static_cast<int>(r));
            DrawTextF(kRed, kDefragFont, 1, 320, 240, "Flash Defrag ERROR:%d", static_cast<int>(r));
            DrawTextF(kRed, kDefragFont, 1, 320, 256, "Please call for Assistance");
        } else {
            DrawTextF(kGreen, kDefragFont, 1, 320, 240, "Flash Defrag COMPLETE");
            DrawTextF(kGreen, kDefragFont, 1, 320, 256, "Thank You");
        }
        DelayTicks(pause);
        ClearDefragBox();
    } else {
        ClearPopup();
        if (r != 0) {
            DebugPrintf("ERROR: TFS_DEFRAG returned %d\n", static_cast<int>(r));
            ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "Flash Defrag ERROR:%d, Please call for Assistance",
                         static_cast<int>(r));
        } else {
            ShowPopupMsg(kGreen, 320, 240, kTicksPerSecond, "Flash Defrag COMPLETE ... Thank You");
        }
        DelayTicks(pause);
    }
}

namespace {
constexpr int32_t kEgtChtFile = 5;
struct CalGroup {
    int32_t fileId;
    int32_t count;
    int32_t inst[14];
};
// The instruments whose calibration each file carries.
constexpr CalGroup kCalRead[] = {
    {kCfgEngine, 13, {11, 12, 13, 14, 15, 16, 17, 18, 23, 24, 25, 44, 47}},
    {kCfgAirdata, 8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {kCfgSystem, 3, {4, 5, 7}},
};
// AIRDATA.KVC is written without the voltages, which moved to SYSTEM.KVC.
constexpr CalGroup kCalWrite[] = {
    {kCfgEngine, 13, {11, 12, 13, 14, 15, 16, 17, 18, 23, 24, 25, 44, 47}},
    {kCfgAirdata, 5, {0, 1, 2, 3, 6}},
    {kCfgSystem, 3, {4, 5, 7}},
    {kEgtChtFile, 14, {26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39}},
};
constexpr int32_t kCfgEgtCht = 5, kCfgTanks = 6, kCfgAoa = 16;

const CalGroup* FindGroup(const CalGroup* groups, size_t n, int32_t fileId) {
    for (size_t i = 0; i < n; ++i) {
        if (groups[i].fileId == fileId) return &groups[i];
    }
    return nullptr;
}
}  // namespace

static uint32_t PairsRead() { return G_CfgCount < kCfgPairs ? G_CfgCount : kCfgPairs; }

// Decimal as the files were always read ("12abc" 12, "" 0), saturating at
// the i32 range instead of overflowing.
static int32_t CalValue(const char* text) {
    char buf[kCfgFieldBytes];
    std::snprintf(buf, sizeof buf, "%.*s", static_cast<int>(kCfgFieldBytes - 1), text);
    const long long v = std::strtoll(buf, nullptr, 10);
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

// Every pair whose key matches stores into the field: the last one wins.
static bool TakeCalKey(const char* key, int32_t* field) {
    bool found = false;
    for (uint32_t i = 0; i < PairsRead(); ++i) {
        if (std::strncmp(G_CfgKey[i], key, kCfgFieldBytes) != 0) continue;
        *field = CalValue(G_CfgValue[i]);
        found = true;
    }
    return found;
}

bool ParseInstCal(int32_t inst) {
    InstCal& cal = G_InstCal[inst];
    const char* name = InstrumentNames[inst];
    char key[kCfgFieldBytes];
    bool count = false;
    for (int32_t p = 1; p <= kCalPoints; ++p) {
        std::snprintf(key, sizeof key, "%s.%s", name, "NUM_CAL_PTS");
        count = TakeCalKey(key, &cal.nNumPts) || count;
        std::snprintf(key, sizeof key, "%s.%s", name, "TEMP_CAL_AD_VALUE");
        TakeCalKey(key, &cal.nTempCalAd);
        std::snprintf(key, sizeof key, "%s.%s", name, "HI_TEMP_SLOPE");
        TakeCalKey(key, &cal.nHiTempSlope);
        std::snprintf(key, sizeof key, "%s.%s", name, "LOW_TEMP_SLOPE");
        TakeCalKey(key, &cal.nLowTempSlope);
        std::snprintf(key, sizeof key, "%s.%s%d", name, "DISPLAY_VALUE_", static_cast<int>(p));
        TakeCalKey(key, &cal.point[p - 1].nDisplay);
        std::snprintf(key, sizeof key, "%s.%s%d", name, "AD_VALUE_", static_cast<int>(p));
        TakeCalKey(key, &cal.point[p - 1].nAd);
    }
    CalcInstCalSlopes(inst);
    return count;
}

namespace {
// True when the group's file still carried the voltages' calibration.
bool ApplyCalGroup(int32_t fileId) {
    if (fileId == kCfgEgtCht) {
        ParseEgtChtCal();
        return false;
    }
    if (fileId == kCfgTanks) {
        ParseTanksCal();
        return false;
    }
    if (fileId == kCfgAoa) {
        ReadAoaFile();
        return false;
    }
    const CalGroup* g = FindGroup(kCalRead, sizeof kCalRead / sizeof kCalRead[0], fileId);
    if (!g) return false;
    bool oldVolts = false;
    for (int32_t i = 0; i < g->count; ++i) {
        const int32_t inst = g->inst[i];
        const bool count = ParseInstCal(inst);
        if (count && (inst == kInstBattVolts || inst == kInstMainVolts || inst == kInstAuxVolts)) oldVolts = true;
    }
    return fileId == kCfgAirdata && oldVolts;
}
}  // namespace

void ApplyCalKeys(int32_t fileId) { ApplyCalGroup(fileId); }

void ParseCalFile(int32_t fileId) {
    if (!ApplyCalGroup(fileId)) return;
    DebugPrintf("Rewriting AIRDATA.KVC & SYSTEM.KVC\n");
    WriteAirdataCal();
    WriteConfigFile();
}

int32_t FormatCalLines(int32_t fileId) {
    std::memset(G_CfgKey, 0, sizeof G_CfgKey);
    std::memset(G_CfgValue, 0, sizeof G_CfgValue);
    const CalGroup* g = FindGroup(kCalWrite, sizeof kCalWrite / sizeof kCalWrite[0], fileId);
    if (!g) return 0;
    int32_t n = 0;
    auto line = [&n](const char* name, const char* field, int point, int32_t value) {
        if (n >= kCfgPairs) return;
        if (point > 0) std::snprintf(G_CfgKey[n], kCfgFieldBytes, "%s.%s%d", name, field, point);
        else std::snprintf(G_CfgKey[n], kCfgFieldBytes, "%s.%s", name, field);
        std::snprintf(G_CfgValue[n], kCfgFieldBytes, "%d", static_cast<int>(value));
        ++n;
    };
    for (int32_t i = 0; i < g->count; ++i) {
        InstCal& cal = G_InstCal[g->inst[i]];
        const char* name = InstrumentNames[g->inst[i]];
        line(name, "NUM_CAL_PTS", 0, cal.nNumPts);
        if (cal.nTempCalAd != 0) {
            line(name, "TEMP_CAL_AD_VALUE", 0, cal.nTempCalAd);
            line(name, "HI_TEMP_SLOPE", 0, cal.nHiTempSlope);
            line(name, "LOW_TEMP_SLOPE", 0, cal.nLowTempSlope);
        }
        if (cal.nNumPts > kCalPoints) cal.nNumPts = kCalPoints;
        if (cal.nNumPts < 0) cal.nNumPts = 0;
        for (int32_t p = 1; p <= cal.nNumPts; ++p) {
            line(name, "DISPLAY_VALUE_", p, cal.point[p - 1].nDisplay);
            line(name, "AD_VALUE_", p, cal.point[p - 1].nAd);
        }
    }
    return n;
}
