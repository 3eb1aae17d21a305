#include "storage/config.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "core/util.h"
#include "platform/monitor.h"

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
constexpr uint32_t kYellow = 14, kRed = 2, kGreen = 5;
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
    for (int i = 0; i < kCfgPairs && !TfsEof(fd); ++i) {
        std::memset(G_CfgKey[i], 0, kCfgFieldBytes);
        std::memset(G_CfgValue[i], 0, kCfgFieldBytes);
        std::memset(s_line, 0, sizeof s_line);
        int n = TfsGetLine(fd, s_line, sizeof s_line);
        if (n <= 0 || !std::isalnum(static_cast<unsigned char>(s_line[0]))) continue;
        DropCarriageReturn(s_line, n);
        const char* rest = CopyField(s_line, G_CfgKey[G_CfgCount]);
        if (*rest == ',') CopyField(rest + 1, G_CfgValue[G_CfgCount]);
        else G_CfgValue[G_CfgCount][0] = 0;
        ++G_CfgCount;
    }
    TfsClose(fd);
    DebugPrintf("Done, %d recs\n", static_cast<int>(G_CfgCount));
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
    // The pop-ups of the unforced path belong to the pop-up module, and the
    // rectangle the forced texts are drawn in is cleared by the graphics
    // library: both are not built yet.
    if (force == 1) {
        DrawTextF(kYellow, kDefragFont, 1, 320, 240, "Flash Defrag Required... Please Wait");
        DrawTextF(kRed, kDefragFont, 1, 320, 256, "WARNING: Power loss during Defrag");
        DrawTextF(kRed, kDefragFont, 1, 320, 272, "may require Factory Service");
    }
    DelayTicks(kTicksPerSecond);
    KickWatchdog(300);
    long r = TfsCtrl(kTfsCtrlDefragRequest, 0);
    DebugPrintf("DEBUG: TFS_DEFRAG Complete @%02d:%02d:%02d\n", static_cast<int>(G_DateTime.nHours),
                static_cast<int>(G_DateTime.nMinutes), static_cast<int>(G_DateTime.nSeconds));
    if (r != 0) DebugPrintf("ERROR: TFS_DEFRAG returned %d\n", static_cast<int>(r));
    if (force == 1 && r != 0) {
        DrawTextF(kRed, kDefragFont, 1, 320, 240, "Flash Defrag ERROR:%d", static_cast<int>(r));
        DrawTextF(kRed, kDefragFont, 1, 320, 256, "Please call for Assistance");
    } else if (force == 1) {
        DrawTextF(kGreen, kDefragFont, 1, 320, 240, "Flash Defrag COMPLETE");
        DrawTextF(kGreen, kDefragFont, 1, 320, 256, "Thank You");
    }
    DelayTicks(r != 0 ? 18432000 : 1843000);
}
