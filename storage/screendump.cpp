#include "storage/screendump.h"

#include <cstdio>
#include <cstring>

#include "core/irq.h"
#include "core/ostimer.h"
#include "core/rtc.h"
#include "core/syslog.h"
#include "gui/gui.h"
#include "platform/monitor.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/sdcard.h"
#include "ui/statusbar.h"

uint32_t G_ScreenDumpReq = 0;
uint32_t G_ScreenDumpBusy = 0;
uint32_t G_ScreenDumpDue = 0;
char ScreenDumpBmp[kScreenDumpNameBytes] = {};

constexpr int32_t  kRegDumpDate = 25;     // month, day bits 0..3
constexpr int32_t  kRegDumpSeq  = 26;     // day bit 4, sequence number of the next dump
constexpr uint32_t kTfsPause    = 552900; // 150 ms
constexpr long     kTfsRoomNeeded = 0x80000;

struct DumpWork {
    uint8_t      scratch[512];
    uint32_t     nBytes;       // of the bitmap in FlashBuf
    uint32_t     nWritten;
    DFS_FileInfo file;
    uint32_t     nOpen;
    char         szResult[64];
};
static DumpWork s_dump;

// ---- the file name ----------------------------------------------------------------------

static uint32_t StoredMonth() { return G_ClockMem[kRegDumpDate] & 15u; }
static uint32_t StoredDay() { return (G_ClockMem[kRegDumpDate] >> 4) | ((G_ClockMem[kRegDumpSeq] & 1u) << 4); }
static uint32_t StoredSeq() { return G_ClockMem[kRegDumpSeq] >> 1; }

static void StoreDumpState(uint32_t month, uint32_t day, uint32_t seq) {
    G_ClockMem[kRegDumpDate] = static_cast<uint8_t>((month & 15u) | ((day & 15u) << 4));
    G_ClockMem[kRegDumpSeq] = static_cast<uint8_t>(((day >> 4) & 1u) | ((seq % 100u) << 1));
}

// The number is taken before the file is written: a failed dump still uses it.
static void NextDumpName() {
    if (StoredMonth() != (G_DateTime.nMonth & 15u) || StoredDay() != (G_DateTime.nDay & 31u))
        StoreDumpState(G_DateTime.nMonth, G_DateTime.nDay, 1);
    const uint32_t seq = StoredSeq() % 100u;
    std::snprintf(ScreenDumpBmp, sizeof ScreenDumpBmp, "SS%02u%02u%02u.KVB", static_cast<unsigned>(StoredMonth()),
                  static_cast<unsigned>(StoredDay()), static_cast<unsigned>(seq));
    StoreDumpState(StoredMonth(), StoredDay(), (seq + 1) % 100u);
    WriteClockMem(&G_ClockMem[kRegDumpDate], kRegDumpDate, 2);
}

// ---- the bitmap ------------------------------------------------------------------------

static void PutBitmapByte(uint8_t byte, void* context) {
    auto* work = static_cast<DumpWork*>(context);
    if (work->nBytes < kFlashBufBytes) FlashBuf[work->nBytes] = byte;
    work->nBytes += 1;
}

static uint32_t MsSince(uint32_t stamp) { return (ReadOsTimer() - stamp) / kTicksPerMs; }

// ---- the two stores --------------------------------------------------------------------

static void WriteToCard(uint32_t start) {
    s_dump.nOpen = DFS_OpenFile(&G_SdVolInfo, ScreenDumpBmp, DFS_WRITE, s_dump.scratch, &s_dump.file);
    DebugPrintf("DFS_OpenFile(%s) ret:%d\n", ScreenDumpBmp, static_cast<int>(s_dump.nOpen));
    if (s_dump.nOpen != DFS_OK) {
        std::snprintf(s_dump.szResult, sizeof s_dump.szResult, " could not open file(SD). Error %d\n",
                      static_cast<int>(s_dump.nOpen));
        return;
    }
    DebugPrintf("INFO:Writing %d bytes to %s...\n", static_cast<int>(s_dump.nBytes), ScreenDumpBmp);
    const uint32_t r = DFS_WriteFile(&s_dump.file, s_dump.scratch, FlashBuf, &s_dump.nWritten, s_dump.nBytes);
    DebugPrintf("DFS_WriteFile(%s) ret:%d\n", ScreenDumpBmp, static_cast<int>(r));
    if (r == DFS_OK && s_dump.nWritten == s_dump.nBytes)
        std::snprintf(s_dump.szResult, sizeof s_dump.szResult, " %d bytes written(SD) in %d msec\n",
                      static_cast<int>(s_dump.nWritten), static_cast<int>(MsSince(start)));
    else
        std::snprintf(s_dump.szResult, sizeof s_dump.szResult, " could not write file(SD). Error %d\n",
                      static_cast<int>(r));
}

static long TfsAvailable() {
    AppIntsOffRestore(0);
    const long r = mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0);
    AppIntsOffRestore(1);
    return r;
}

// The configuration writer's size limit is for text files; the bitmap is
// stored from FlashBuf directly, so a dump without a card can succeed.
static int32_t StoreInTfs() {
    AppIntsOffRestore(0);
    const int r = mon_tfsadd(ScreenDumpBmp, nullptr, nullptr, FlashBuf, static_cast<int>(s_dump.nBytes));
    AppIntsOffRestore(1);
    return r;
}

static void WriteToFlash(uint32_t start) {
    DelayTicks(kTfsPause);
    if (TfsAvailable() <= kTfsRoomNeeded) {
        std::snprintf(s_dump.szResult, sizeof s_dump.szResult, " File Not Written, Flash Full\n");
        return;
    }
    const int32_t r = StoreInTfs();
    DelayTicks(kTfsPause);
    if (r == 0)
        std::snprintf(s_dump.szResult, sizeof s_dump.szResult, " %d bytes written(FLASH) in %d msec\n",
                      static_cast<int>(s_dump.nBytes), static_cast<int>(MsSince(start)));
    else
        std::snprintf(s_dump.szResult, sizeof s_dump.szResult, " could not write file(FLASH). Error %d\n",
                      static_cast<int>(r));
}

// ---- the dump ----------------------------------------------------------------------------

void ScreenDump() {
    std::memset(&s_dump, 0, sizeof s_dump);
    G_ScreenDumpBusy = 1;
    KickWatchdog(300);
    NextDumpName();
    const uint32_t start = ReadOsTimer();
    const int shownY = G_FlipCtl.nPageShown == 1 ? 480 : 0;
    GUI_SaveBitmap(PutBitmapByte, 0, shownY, 640, 480, &s_dump);
    DebugPrintf("INFO: Screen Dump %d bytes from (0,%d). in %d msec\n", static_cast<int>(s_dump.nBytes), shownY,
                static_cast<int>(MsSince(start)));
    if (s_dump.nBytes > kFlashBufBytes || FlashBuf[0] != 'B' || FlashBuf[1] != 'M') {
        RamLogPrintf("\nBad bitmap! \n");
        G_ScreenDumpBusy = 0;
        return;
    }
    if (G_SDCard.nState == kSdMounted) WriteToCard(start);
    else WriteToFlash(start);
    KickWatchdog(10);
    DebugPrintf("INFO:%s", s_dump.szResult);
    G_SDCard.nActivity = 0;
    G_RedrawReq = 1;
    G_ScreenDumpBusy = 0;
}

void ServeScreenDump() {
    if (!G_ScreenDumpDue) return;
    ScreenDump();
    G_ScreenDumpDue = 0;
    G_ScreenDumpReq = 0;
    G_SDCard.nActivity = 0;
    G_RedrawReq = 1;
}

int32_t DeleteScreenDumps() {
    AppIntsOffRestore(0);
    mon_docommand("tfs rm SCREEN*.KVB", 0);
    const int r = mon_docommand("tfs rm SS*.KVB", 0);
    AppIntsOffRestore(1);
    return r;
}
