#include "storage/sdcard.h"

#include <cstdio>
#include <cstring>

#include "core/battery.h"
#include "core/boot.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "map/map.h"
#include "platform/hw.h"
#include "platform/monitor.h"
#include "storage/config.h"
#include "storage/mmc.h"
#include "storage/sdfile.h"
#include "ui/buttons.h"
#include "ui/knob.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"
#include "wx/wx.h"

SDCardState G_SDCard = {};
DFS_VolInfo G_SdVolInfo = {};

constexpr uint32_t kGplr0       = 0x40E00000;
constexpr uint32_t kGpioCardOut = 1u << 3;   // high: no card
constexpr int32_t  kMonrcFileId = 20;
constexpr int32_t  kMaxMountTries = 3;
constexpr uint32_t kCopyNameBytes = 64;   // a path on the card

// Detected card: 0 none, 1 inserted and not mounted yet, 2 mounted, -1 failed.
// Kept apart from G_SDCard, which the boot screen clears on a warm restart.
struct SdPoll {
    int32_t  nDetected;
    uint32_t nFailed;     // failed mounts since insertion
};
static SdPoll s_poll = {};

static bool CardPresent() { return (HwRead32(kGplr0) & kGpioCardOut) == 0; }

static uint32_t& MapStatus() { return G_MapFile[kMapFileMap].nStatus; }

static void SetMapFileStatus(uint32_t vectorAndTerrain) {
    G_MapFile[kMapFileVector].nStatus = vectorAndTerrain;
    G_MapFile[kMapFileTerrain].nStatus = vectorAndTerrain;
}

static uint32_t FatBits() {
    return G_SdVolInfo.filesystem == FAT12 ? 12u : G_SdVolInfo.filesystem == FAT16 ? 16u : 32u;
}

// Megabytes as the card reports them: in 32 bits, as the figures always were.
static uint32_t CardMegabytes() { return G_SdVolInfo.secperclus * G_SdVolInfo.numclusters * 512u / 1000000u; }

// A volume that claims sectors past the card's end would have its writes
// fail half-way through a file; such a card is refused, untouched.
static bool VolumeFitsCard() {
    const uint64_t capacity = CardCapacityBytes() / kSdSectorBytes;
    const uint64_t end = uint64_t{G_SdVolInfo.startsector} + G_SdVolInfo.numsecs;
    if (end <= capacity) return true;
    DebugPrintf("SD: volume ends at sector %u, past the card's %u sectors\n", static_cast<unsigned>(end),
                static_cast<unsigned>(capacity));
    return false;
}

void MountSDCard() {
    if (!CardPresent()) {
        G_SDCard.nState = kSdNoCard;
        if (MapStatus() == 0) {
            MapStatus() = kMapInsertCard;
            SetMapFileStatus(kMapInsertCard);
            UpdateSoftKeys();
        }
        DebugPrintf("No Card in Slot.\n");
        return;
    }
    if (InitMMC(0) != 0 && InitMMC(0) != 0) {
        DebugPrintf("Cannot initialize MMC controller\n");
        return;
    }
    SdCacheClear();
    const uint32_t start = DFS_PartitionStart(0, G_SDCard.scratch, 0, nullptr, nullptr, nullptr);
    if (start == DFS_ERRMISC) {
        DebugPrintf("Cannot find first partition\n");
        return;
    }
    std::memset(&G_SdVolInfo, 0, sizeof G_SdVolInfo);
    std::memset(&G_SDCard.dir, 0, sizeof G_SDCard.dir);
    std::memset(&G_SDCard.dirent, 0, sizeof G_SDCard.dirent);
    G_SDCard.dir.scratch = G_SDCard.scratch;
    if (DFS_ReadVolumeInfo(0, G_SDCard.scratch, start, &G_SdVolInfo) != DFS_OK) {
        std::memset(&G_SdVolInfo, 0, sizeof G_SdVolInfo);
        DebugPrintf("Error getting volume information\n");
        return;
    }
    if (!VolumeFitsCard()) {
        std::memset(&G_SdVolInfo, 0, sizeof G_SdVolInfo);
        return;
    }
    // Declared mounted at once, also at the boot screen, so the boot's card
    // checks see it and the first poll finds nothing to do.
    G_SDCard.nState = kSdMounted;
    s_poll.nDetected = kSdMounted;
    DebugPrintf("SD Card Inserted: %dMB Avail, FAT%d, %d Sectors per Cluster.\n", static_cast<int>(CardMegabytes()),
                static_cast<int>(FatBits()), static_cast<int>(G_SdVolInfo.secperclus));
    DebugPrintf("SD: numSec:%d, secPerFAT:%d, rootEntries:%d\n", static_cast<int>(G_SdVolInfo.numsecs),
                static_cast<int>(G_SdVolInfo.secperfat), static_cast<int>(G_SdVolInfo.rootentries));
}

static bool MapSideWanted() { return G_NetStreamCfg[kStreamMap].INST != 0 && G_CurPage != kPageCalibration; }

static void TellMapAndWeather() {
    MapInit();
    WxOpenListeners();
    if (MapStatus() == 0) {
        UpdateSoftKeys();
        G_RedrawReq = 1;
    }
}

// A card seen but not usable: mount it, or count the failure.
static void PollMount() {
    MountSDCard();
    G_RedrawReq = 1;
    if (G_SDCard.nState == kSdMounted) {
        s_poll.nDetected = kSdMounted;
        MapStatus() = kMapInsertCard;
        SetMapFileStatus(kMapInsertCard);
        if (MapSideWanted()) TellMapAndWeather();
        return;
    }
    s_poll.nDetected = 1;
    if (++s_poll.nFailed >= kMaxMountTries) s_poll.nDetected = kSdFailed;
}

static void SetStateRedraw(int32_t state) {
    if (G_SDCard.nState != state) G_RedrawReq = 1;
    G_SDCard.nState = state;
}

static void PollRemoved() {
    DebugPrintf("SD Card Removed\n");
    G_SDCard.nLogging = 0;
    SetStateRedraw(kSdNoCard);
    SetMapFileStatus(kMapInsertCard);
    if (MapStatus() == 0) {
        MapStatus() = kMapInsertCard;
        UpdateSoftKeys();
        G_RedrawReq = 1;
    }
    SdCacheClear();
}

static void PollFailed() {
    DebugPrintf("SD Card Failed to Initialize\n");
    G_SDCard.nLogging = 0;
    SetStateRedraw(kSdFailed);
    SetMapFileStatus(kMapNoMapOnCard);
    if (MapStatus() == 0) {
        MapStatus() = kMapCardBad;
        UpdateSoftKeys();
        G_RedrawReq = 1;
    }
}

void PollSDCard() {
    if (!CardPresent()) {
        s_poll.nDetected = 0;
        s_poll.nFailed = 0;
    } else if (s_poll.nDetected == 0) {
        s_poll.nDetected = 1;
    }
    if (G_SDCard.nState == s_poll.nDetected) return;
    switch (s_poll.nDetected) {
    case 1:
    case kSdMounted:   // mounted once, but the record was cleared or the mount failed since: mount again
        PollMount();
        break;
    case 0:
        PollRemoved();
        break;
    default:
        PollFailed();
        break;
    }
}

// ---- copies between TFS and the card ------------------------------------------------

static bool CopyName(int32_t fileId, int32_t extId, const char* name, char* out) {
    if (extId == kCfgNoExt && fileId == -1) {
        std::snprintf(out, kCopyNameBytes, "%s", name ? name : "");
        return out[0] != '\0';
    }
    if (fileId < 0 || fileId >= kCfgFileIds || extId < 0 || extId >= kCfgExtIds) return false;
    if (extId == kCfgNoExt) std::snprintf(out, kCopyNameBytes, "%s", CfgFileNames[fileId]);
    else std::snprintf(out, kCopyNameBytes, "%s.%s", CfgFileNames[fileId], CfgFileExts[extId]);
    return true;
}

// The monitor's rc file has a lower-case name in TFS.
static const char* TfsName(int32_t fileId, const char* file) { return fileId == kMonrcFileId ? "monrc" : file; }

static int32_t CopyDelete(int32_t fileId, const char* file, const char* name) {
    DebugPrintf("CopyFileSD(%s, DELETE, %s)\n", file, name ? name : "");
    DebugPrintf("FLASH: %s, ...", file);
    AppIntsOffRestore(0);
    const int r = mon_tfsunlink(TfsName(fileId, file));
    AppIntsOffRestore(1);
    if (r == 0) DebugPrintf(" Deleted\n");
    else DebugPrintf(" Error %d\n", r);
    return r;
}

// Reads the TFS file whole into FlashBuf; its size, or a negative code.
static int32_t ReadTfsFile(const char* tfsName) {
    TfsStat stat = {};
    AppIntsOffRestore(0);
    int r = mon_tfsstat(tfsName, &stat);
    AppIntsOffRestore(1);
    if (r < 0) {
        DebugPrintf(" file does not exist file(TFS). Error %d\n", 0);
        return -1;
    }
    KickWatchdog(30);
    if (stat.size > kFlashBufBytes) {
        DebugPrintf(" file too big (TFS). Size %d\n", static_cast<int>(stat.size));
        return -1;
    }
    AppIntsOffRestore(0);
    const int fd = mon_tfsopen(tfsName, kTfsRead, nullptr);
    AppIntsOffRestore(1);
    if (fd < 0) {
        DebugPrintf(" could not open file(TFS). Error %d\n", fd);
        return fd;
    }
    AppIntsOffRestore(0);
    const int n = mon_tfsread(fd, reinterpret_cast<char*>(FlashBuf), static_cast<int>(stat.size));
    mon_tfsclose(fd, nullptr);
    AppIntsOffRestore(1);
    if (n < 0 || static_cast<uint32_t>(n) != stat.size) {
        DebugPrintf(" could not read file(TFS). Error %d\n", n);
        return n < 0 ? n : -1;
    }
    return n;
}

static int32_t CopyBackup(int32_t fileId, const char* file, const char* name) {
    DebugPrintf("CopyFileSD(%s, BACKUP, %s)\n", file, name ? name : "");
    DebugPrintf("FLASH->SD: %s, ...", file);
    const uint32_t start = ReadOsTimer();
    const int32_t size = ReadTfsFile(TfsName(fileId, file));
    if (size < 0) return size;
    if (CardWriteProtected()) {
        DebugPrintf(" card is write-protected (SD).\n");
        return kCopyWriteProtect;
    }
    DFS_FileInfo out;
    uint32_t r = SdCreateFile(file, &out);
    if (r != DFS_OK) {
        DebugPrintf(" could not open file(SD). Error %d\n", static_cast<int>(r));
        return static_cast<int32_t>(r);
    }
    KickWatchdog(300);
    uint32_t count = 0;
    r = DFS_WriteFile(&out, G_SDCard.scratch, FlashBuf, &count, static_cast<uint32_t>(size));
    if (r == DFS_OK && count != static_cast<uint32_t>(size)) r = DFS_ERRMISC;
    if (r != DFS_OK) {
        DebugPrintf(" could not write file(SD). Error %d\n", static_cast<int>(r));
        return static_cast<int32_t>(r);
    }
    DebugPrintf(" %d bytes written in %d ms.\n", static_cast<int>(size),
                static_cast<int>((ReadOsTimer() - start) / kTicksPerMs));
    return 0;
}

static int32_t CopyRestore(int32_t fileId, const char* file, const char* name) {
    DebugPrintf("CopyFileSD(%s, RESTORE, %s)\n", file, name ? name : "");
    DebugPrintf("SD->FLASH: %s, ...", file);
    const uint32_t start = ReadOsTimer();
    DFS_FileInfo in;
    uint32_t r = DFS_OpenFile(&G_SdVolInfo, file, DFS_READ, G_SDCard.scratch, &in);
    if (r != DFS_OK) {
        DebugPrintf(" could not open file(SD). Error %d\n", static_cast<int>(r));
        return static_cast<int32_t>(r);
    }
    // Only what the TFS writer takes is read, so FlashBuf is never overrun.
    if (in.filelen == 0 || in.filelen > kCfgFileMax) {
        DebugPrintf(" file too big or empty (SD). Size %d\n", static_cast<int>(in.filelen));
        return -1;
    }
    KickWatchdog(300);
    uint32_t count = 0;
    r = DFS_ReadFile(&in, G_SDCard.scratch, FlashBuf, &count, in.filelen);
    if (r != DFS_OK || count != in.filelen) {
        DebugPrintf(" error reading file (SD). Error:%d\n", static_cast<int>(r == DFS_OK ? DFS_ERRMISC : r));
        return -1;
    }
    KickWatchdog(300);
    const int32_t w = FlashWriteTFS(TfsName(fileId, file), fileId == kMonrcFileId ? "e" : nullptr,
                                    static_cast<int32_t>(count));
    if (w != 0) {
        DebugPrintf(" error writing file(TFS). Error:%d\n", static_cast<int>(w));
        return w;
    }
    DebugPrintf(" %d bytes written in %d ms.\n", static_cast<int>(count),
                static_cast<int>((ReadOsTimer() - start) / kTicksPerMs));
    return 0;
}

int32_t CopyFileSD(int32_t fileId, int32_t extId, int32_t op, const char* name) {
    if (G_SDCard.nState != kSdMounted && op != kCopyDelete) {
        DebugPrintf("NO SDCard\n");
        return kCopyNoCard;
    }
    char file[kCopyNameBytes] = {};
    if (!CopyName(fileId, extId, name, file)) {
        DebugPrintf("ERROR: bad file id %d.%d\n", static_cast<int>(fileId), static_cast<int>(extId));
        return -1;
    }
    if (op == kCopyDelete) return CopyDelete(fileId, file, name);
    if (op != kCopyBackup && op != kCopyRestore) return -1;
    SdActivity(1);
    const int32_t r = op == kCopyBackup ? CopyBackup(fileId, file, name) : CopyRestore(fileId, file, name);
    SdActivity(0);
    if (r == 0) KickWatchdog(10);
    return r;
}

// ---- the card's file listing ------------------------------------------------------------

constexpr int32_t  kListLeft     = 210;
constexpr int32_t  kListRight    = 639;
constexpr int32_t  kListBottom   = 459;
constexpr int32_t  kListLastRow  = 454;
constexpr int32_t  kListColumn   = 75;
constexpr int32_t  kListRow      = 10;
constexpr int32_t  kListFont     = 23;    // 6 x 9: a whole 8.3 name fits a column
constexpr uint32_t kListWhite    = 0xFFFFFF;
constexpr uint32_t kListErrorsMax = 101;  // a directory that keeps failing still ends
constexpr uint32_t kListBatteryTicks = 184300;

struct SdListing {
    int32_t  nTop;      // row of the column heads
    int32_t  nX;        // column being filled
    int32_t  nRow;
    uint32_t nFiles;
};

// A directory entry's name as listed: the leading letters and digits of the
// name, and the extension when it starts with one.
static void ListName(const DFS_DirEnt& e, char out[13]) {
    auto alnum = [](uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    int n = 0;
    while (n < 8 && alnum(e.name[n])) {
        out[n] = static_cast<char>(e.name[n]);
        ++n;
    }
    if (alnum(e.name[8]) || (e.name[8] >= 'a' && e.name[8] <= 'z')) {
        out[n++] = '.';
        for (int i = 8; i < 11; ++i) out[n++] = static_cast<char>(e.name[i]);
    }
    out[n] = 0;
}

static bool ColumnShown(int32_t x) { return x >= kListLeft && x < kListRight; }

static void ListText(const SdListing& l, const char* text) {
    if (ColumnShown(l.nX)) DrawTextF(kListWhite, kListFont, 0, l.nX, l.nRow, "%s", text);
}

static void ListNextRow(SdListing& l) {
    l.nRow += kListRow;
    if (l.nRow > kListLastRow) {
        l.nRow = l.nTop;
        l.nX += kListColumn;
    }
}

static void ListHeading(SdListing& l, const char* heading) {
    ListText(l, heading);
    if (ColumnShown(l.nX)) {
        SetDrawColor(kListWhite);
        const int32_t y = l.nRow + 8 + static_cast<int32_t>(G_FlipCtl.nDrawPageY);
        GUI_DrawHLine(y, l.nX, l.nX + kListColumn - 1);
    }
    ListNextRow(l);
}

static void ListDirectory(SdListing& l, const char* path) {
    SdCacheClear();
    KickWatchdog(10);
    DFS_DirInfo& dir = G_SDCard.dir;
    dir.scratch = G_SDCard.scratch;
    dir.flags = 0;
    if (DFS_OpenDir(&G_SdVolInfo, path, &dir) != DFS_OK) return;
    uint32_t errors = 0;
    for (;;) {
        const uint32_t r = DFS_NextDirEntry(&G_SdVolInfo, &dir, &G_SDCard.dirent);
        if (r == DFS_EOF || r == DFS_ALLOCNEW) return;
        if (r != DFS_OK) {
            if (++errors >= kListErrorsMax) return;
            continue;
        }
        const DFS_DirEnt& e = G_SDCard.dirent;
        if (e.name[0] == 0 || (e.attr & (ATTR_VOLUME_ID | ATTR_DIRECTORY)) != 0) continue;
        ++l.nFiles;
        char name[13];
        ListName(e, name);
        ListText(l, name);
        ListNextRow(l);
    }
}

static void ClearListArea(int32_t y) {
    GUI_SetClipRect(nullptr);
    GUI_SetBkColorIndex(0);
    const int32_t page = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    GUI_ClearRect(kListLeft, y + page, kListRight, kListBottom + page);
}

// Draws the listing with its first column at x; the x of its last column.
static int32_t DrawListing(int32_t y, int32_t x) {
    ClearListArea(y);
    if (G_SDCard.nState != kSdMounted) {
        DrawTextF(kListWhite, kListFont, 0, kListLeft, y, "SD Card Not Detected");
        return x;
    }
    SdListing l = {y + 15, x, y + 15, 0};
    ListHeading(l, "ROOT DIR");
    ListDirectory(l, "");
    if (l.nRow != l.nTop) {
        l.nRow = l.nTop;
        l.nX += kListColumn;
    }
    ListHeading(l, "CHARTS DIR");
    ListDirectory(l, "CHARTS");
    DrawTextF(kListWhite, kListFont, 0, kListLeft, y, "SD Card: %dMB, FAT%d, %d files found",
              static_cast<int>(CardMegabytes()), static_cast<int>(FatBits()), static_cast<int>(l.nFiles));
    return l.nRow == l.nTop ? l.nX - kListColumn : l.nX;
}

void ListSDCard(int32_t y) {
    int32_t x = kListLeft;
    int32_t last = DrawListing(y, x);
    uint32_t batteryStamp = ReadOsTimer();
    for (;;) {
        KickWatchdog(10);
        PollSDCard();
        if (TicksElapsed(ReadOsTimer(), batteryStamp, kListBatteryTicks)) {
            CheckBattery();
            batteryStamp = ReadOsTimer();
        }
        int32_t step = 0;
        if (const int32_t delta = G_Knob0.nDelta) {
            G_Knob0.nDelta = 0;
            step = delta > 0 ? 1 : -1;
        }
        if (const int32_t key = G_KeyEvent) {
            // Every key is taken: one left in the mailbox would block the
            // ones after it, RETURN too.
            G_KeyEvent = 0;
            if (key == 1 || key == 0x11) break;
            if (key == 2 || key == 0x12) step = 1;
            if (key == 3 || key == 0x13) step = -1;
        }
        if (step > 0 && last + kListColumn > kListRight + 1) x -= kListColumn;
        else if (step < 0 && x < kListLeft) x += kListColumn;
        else step = 0;
        if (step != 0) last = DrawListing(y, x);
        HwIdle();
    }
    ClearListArea(y);
}
