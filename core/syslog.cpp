#include "core/syslog.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/rtc.h"
#include "core/ostimer.h"
#include "core/serial.h"
#include "core/timefmt.h"
#include "platform/rammap.h"
#include "storage/flash.h"
#include "storage/config.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "storage/sdfile.h"
#include "ui/popup.h"
#include "ui/statusbar.h"

// A record counts as free when this many bytes from it are erased, so that a
// stray erased record among written ones is not taken for the end.
constexpr uint32_t kFreeRunBytes = 2048;

// Off and suspended until SysLogOpen has found where the log continues.
SysLogState G_SysLog = {0, 1, 0, kSysLogSectorA, 0, kSysLogSectorA * kFlashSectorBytes, {}};

RamLog G_RamLog;

static bool SerialDebugOn() {
    return NvGetU32(kNvSerialDebugOn) != 0;
}

static void SetPosition(uint32_t sector, uint32_t record) {
    G_SysLog.nSector  = sector;
    G_SysLog.nRecord  = record;
    G_SysLog.nAddress = sector * kFlashSectorBytes + record * kSysLogRecordBytes;
}

static void EchoText(const char* text) {
    for (uint32_t i = 0; i < kSysLogTextBytes && text[i] != '\0'; ++i) {
        UartPutcPolled(G_DebugPort, text[i]);
    }
}

int DebugPrintf(const char* format, ...) {
    const bool serial = SerialDebugOn();
    if (G_SysLog.nOn == 0 && !serial) return 0;

    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(G_SysLog.szRecord, kSysLogTextBytes, format, args);
    va_end(args);

    if (G_SysLog.nOn != 0 && G_SysLog.nSuspended == 0) {
        const int32_t result = FlashWrite(G_SysLog.nAddress, G_SysLog.szRecord, kSysLogRecordBytes);
        if (result < 0) {
            G_SysLog.nSuspended = 1;
            return result;
        }
        SysLogAdvance();
    }
    if (serial) EchoText(G_SysLog.szRecord);
    return length;
}

void SysLogAdvance() {
    if (G_SysLog.nRecord < kSysLogRecords - 1) {
        G_SysLog.nRecord  += 1;
        G_SysLog.nAddress += kSysLogRecordBytes;
        return;
    }
    const uint32_t next = (G_SysLog.nSector == kSysLogSectorA) ? kSysLogSectorB : kSysLogSectorA;
    SetPosition(next, 0);
    if (FlashErase(static_cast<int32_t>(next)) < 0) G_SysLog.nSuspended = 1;
}

// Erased run from the record on, never past the end of its sector: the next
// sector may hold older records, and the last records of a sector must still
// count as free.
static bool RecordIsFree(uint32_t sector, uint32_t record) {
    const uint32_t offset = record * kSysLogRecordBytes;
    const uint32_t left   = kFlashSectorBytes - offset;
    const uint32_t length = (left < kFreeRunBytes) ? left : kFreeRunBytes;
    const uint8_t* bytes  = FlashPtr(sector * kFlashSectorBytes + offset, length);
    if (bytes == nullptr) return false;
    for (uint32_t i = 0; i < length; ++i) {
        if (bytes[i] != 0xFF) return false;
    }
    return true;
}

// A sector whose erase was cut is erased only in part; writing on from its
// first free record would fail at the first old record and stop the log.
static bool ErasedToEnd(uint32_t sector, uint32_t record) {
    const uint32_t offset = record * kSysLogRecordBytes;
    const uint32_t length = kFlashSectorBytes - offset;
    const uint8_t* bytes  = FlashPtr(sector * kFlashSectorBytes + offset, length);
    if (bytes == nullptr) return false;
    for (uint32_t i = 0; i < length; ++i) {
        if (bytes[i] != 0xFF) return false;
    }
    return true;
}

enum class SectorScan { kFree, kFull, kCutErase };

// A sector with old records after its free run (its erase was cut) counts as
// full, and is the one to erase.
static SectorScan ScanSector(uint32_t sector, uint32_t* record) {
    for (uint32_t r = 0; r < kSysLogRecords; ++r) {
        if (RecordIsFree(sector, r)) {
            *record = r;
            return ErasedToEnd(sector, r) ? SectorScan::kFree : SectorScan::kCutErase;
        }
    }
    return SectorScan::kFull;
}

// Logs and erases one log sector; a failure suspends flash logging.
static bool EraseLogSector(uint32_t sector) {
    DebugPrintf("Erasing Sector:%d\n", static_cast<int>(sector));
    const int32_t result = FlashErase(static_cast<int32_t>(sector));
    if (result >= 0) return true;
    G_SysLog.nSuspended = 1;
    DebugPrintf("ERROR:  flasherase(%d) returned %d\n", static_cast<int>(sector), static_cast<int>(result));
    return false;
}

// The scan always starts at the first sector: the position in RAM may be
// stale, the flash is not. When both sectors are full (power lost between
// the last write and the erase) the first is erased.
void SysLogOpen() {
    const uint32_t savedSerial = NvGetU32(kNvSerialDebugOn);
    NvSetU32(kNvSerialDebugOn, 1);   // its own lines reach the console
    G_SysLog.nSuspended = 1;

    uint32_t record = 0;
    SectorScan scanB = SectorScan::kFull;
    if (ScanSector(kSysLogSectorA, &record) == SectorScan::kFree) {
        SetPosition(kSysLogSectorA, record);
    } else if ((scanB = ScanSector(kSysLogSectorB, &record)) == SectorScan::kFree) {
        SetPosition(kSysLogSectorB, record);
    } else {
        // The sector whose erase was cut holds the oldest records.
        const uint32_t sector = scanB == SectorScan::kCutErase ? kSysLogSectorB : kSysLogSectorA;
        SetPosition(sector, 0);
        if (!EraseLogSector(sector)) return;
    }

    G_SysLog.nSuspended = 0;
    G_SysLog.nOn        = 1;
    DebugPrintf("\n\n======================================================\n\n");
    NvSetU32(kNvSerialDebugOn, savedSerial);
}

// A failed erase leaves flash logging suspended and stops here.
void EraseSysLogs() {
    DebugPrintf("Erasing SysLogs\n");
    G_SysLog.nSuspended = 1;
    if (!EraseLogSector(kSysLogSectorA)) return;
    if (!EraseLogSector(kSysLogSectorB)) return;

    SetPosition(kSysLogSectorA, 0);
    G_SysLog.nSuspended = 0;
    DebugPrintf("SysLogs Erased %02d/%02d/%02d @ %02d:%02d:%02d\n",
                static_cast<int>(G_DateTime.nMonth), static_cast<int>(G_DateTime.nDay),
                static_cast<int>(G_DateTime.nYear), static_cast<int>(G_DateTime.nHours),
                static_cast<int>(G_DateTime.nMinutes), static_cast<int>(G_DateTime.nSeconds));
}

void InitRamLog(uint32_t mode) {
    std::memset(&G_RamLog, 0, sizeof(G_RamLog));
    if (mode == 0) {
        G_RamLog.nEnabled = 1;
    } else {
        G_RamLog.nMode = 1;
    }

    const uint32_t savedSerial = NvGetU32(kNvSerialDebugOn);
    NvSetU32(kNvSerialDebugOn, 1);
    DebugPrintf("RamLog Base: 0x%08x\n", static_cast<unsigned>(HwRamAddress(&G_RamLog.szLine[0][0])));
    NvSetU32(kNvSerialDebugOn, savedSerial);
}

// Callable from interrupt handlers: the enabled word is cleared before the
// write index is read, so a call that interrupts this one is dropped.
int RamLogPrintf(const char* format, ...) {
    if (G_RamLog.nEnabled == 0) return 0;
    G_RamLog.nEnabled = 0;

    uint32_t index = G_RamLog.nWriteIndex;
    if (index >= kRamLogLines) index = 0;

    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(G_RamLog.szLine[index], kRamLogTextBytes, format, args);
    va_end(args);

    G_RamLog.nWriteIndex = (index + 1 < kRamLogLines) ? index + 1 : 0;
    if (G_RamLog.nCount < kRamLogLines) G_RamLog.nCount += 1;
    G_RamLog.nEnabled = 1;
    return length;
}

// ---- copies to the SD card ------------------------------------------------------

constexpr uint32_t kCopyStageBytes = 262145;   // both sectors' text fits
constexpr uint32_t kCopyPause      = 368640;   // 0.1 s
constexpr int32_t  kSoftKeyCopy    = 4;
static_assert(kCopyStageBytes <= kFlashBufBytes);

// Appends text up to its terminator; a record without one is skipped.
static bool StageText(const char* text, uint32_t maxLen, uint32_t* used) {
    const void* end = std::memchr(text, '\0', maxLen);
    if (end == nullptr) return false;
    const uint32_t n = static_cast<uint32_t>(static_cast<const char*>(end) - text);
    if (*used + n > kCopyStageBytes) return false;
    std::memcpy(FlashBuf + *used, text, n);
    *used += n;
    return true;
}

// The older sector from record 0, then the current one up to the write position.
static uint32_t StageSysLog(uint32_t* used) {
    const uint32_t current = G_SysLog.nSector == kSysLogSectorB ? kSysLogSectorB : kSysLogSectorA;
    const uint32_t other = current == kSysLogSectorA ? kSysLogSectorB : kSysLogSectorA;
    const uint32_t upTo = G_SysLog.nRecord < kSysLogRecords ? G_SysLog.nRecord : kSysLogRecords;
    uint32_t records = 0;
    for (uint32_t i = 0; i < kSysLogRecords + upTo; ++i) {
        const uint32_t sector = i < kSysLogRecords ? other : current;
        const uint32_t record = i < kSysLogRecords ? i : i - kSysLogRecords;
        KickWatchdog(30);
        const char* text = reinterpret_cast<const char*>(
            FlashPtr(sector * kFlashSectorBytes + record * kSysLogRecordBytes, kSysLogRecordBytes));
        if (text && StageText(text, kSysLogRecordBytes, used)) ++records;
    }
    return records;
}

// The held lines, oldest first.
static uint32_t StageRamLog(uint32_t* used) {
    const uint32_t count = G_RamLog.nCount < kRamLogLines ? G_RamLog.nCount : kRamLogLines;
    uint32_t index = G_RamLog.nWriteIndex < kRamLogLines ? G_RamLog.nWriteIndex : 0;
    index = (index + kRamLogLines - count) % kRamLogLines;
    uint32_t records = 0;
    for (uint32_t i = 0; i < count; ++i, index = (index + 1) % kRamLogLines) {
        KickWatchdog(30);
        if (StageText(G_RamLog.szLine[index], kRamLogLineBytes, used)) ++records;
    }
    return records;
}

struct LogCopy {
    const char* ext;
    const char* startLine;
    const char* doneLine;
    bool        ramLog;
};

static void EndCopy(const LogCopy& c) {
    SdActivity(0);
    if (c.ramLog) G_RamLog.nEnabled = 1;
    else G_SysLog.nSuspended = 0;
}

static void CopyLogSD(int32_t x, int32_t y, int32_t mode, const LogCopy& c) {
    if (G_SDCard.nState != kSdMounted) return;
    RamLogPrintf("%s started @%s\n", c.ramLog ? "CopyRamLogSD" : "CopySysLogSD", FormatTime(4));
    SdActivity(1);
    char name[kSdNameBytes];
    SdDatedName(name, c.ext);
    DebugPrintf(c.startLine, name);
    DelayTicks(kCopyPause);
    if (mode == 1) SetSoftKeyLabel(kSoftKeyCopy, "CANCEL");
    SdShowProgress(x, y, mode, " %s -", name);

    DFS_FileInfo file;
    uint32_t r = SdCreateFile(name, &file);
    if (r != DFS_OK) {
        DebugPrintf("error opening file, %d\n", static_cast<int>(r));
        DelayTicks(kCopyPause);
        SdActivity(0);
        return;
    }
    const uint32_t start = ReadOsTimer();
    std::memset(FlashBuf, 0, kCopyStageBytes);
    uint32_t used = 0, records = 0;
    if (c.ramLog) {
        G_RamLog.nEnabled = 0;
        records = StageRamLog(&used);
    } else {
        G_SysLog.nSuspended = 1;
        records = StageSysLog(&used);
    }
    DebugPrintf("Loaded %d bytes in FlashBuf in %d ms\n", static_cast<int>(used),
                static_cast<int>((ReadOsTimer() - start) / kTicksPerMs));
    r = SdWritePieces(&file, FlashBuf, used, name, x, y, mode, 120);
    if (r != DFS_OK) {
        DebugPrintf("error writing file, %d\n", static_cast<int>(r));
        EndCopy(c);
        return;
    }
    const uint32_t ms = (ReadOsTimer() - start) / kTicksPerMs;
    DebugPrintf("Wrote %d bytes to %s in %d ms\n", static_cast<int>(used), name, static_cast<int>(ms));
    DebugPrintf(c.doneLine, static_cast<int>(records), static_cast<int>(used), static_cast<int>((ms + 500) / 1000));
    SdShowProgress(x, y, mode, " %s DONE", name);
    DelayTicks(kTicksPerSecond / 2);
    if (mode == 1) SetSoftKeyLabel(kSoftKeyCopy, "SELECT");
    else ClearPopup();
    EndCopy(c);
}

void CopySysLogSD(int32_t x, int32_t y, int32_t mode) {
    static const LogCopy c = {"ALS", "SYSLOGS-> SD: %s...\n", "\r\n%d records (%d bytes) written in %d sec\n", false};
    CopyLogSD(x, y, mode, c);
}

void CopyRamLogSD(int32_t x, int32_t y, int32_t mode) {
    static const LogCopy c = {"ALR", "RAMLOGS-> SD: %s...\n", "\r\n%d records (%d Bytes) written in %d sec\n", true};
    CopyLogSD(x, y, mode, c);
}
