// The system log: one 64-byte flash record per line in two sectors that take
// turns, echoed to the debug port. The RAM log: a ring of text lines that
// interrupt handlers and code that must not touch flash can write.
#pragma once
#include <cstdint>

constexpr uint32_t kSysLogSectorA     = 60;    // the log starts here after an erase
constexpr uint32_t kSysLogSectorB     = 61;
constexpr uint32_t kSysLogRecordBytes = 64;
constexpr uint32_t kSysLogRecords     = 2048;  // per sector
constexpr uint32_t kSysLogTextBytes   = 63;    // longest line, with its terminator

struct SysLogState {
    uint32_t nOn;          // 1 = records go to flash
    uint32_t nSuspended;   // 1 = no flash writes (copies, erases, after a flash error)
    uint32_t nSpare;
    uint32_t nSector;      // sector being written
    uint32_t nRecord;      // next record in that sector
    uint32_t nAddress;     // flash address of that record
    char     szRecord[kSysLogRecordBytes];  // written whole: bytes after the terminator are stale
};
static_assert(sizeof(SysLogState) == 24 + kSysLogRecordBytes);

extern SysLogState G_SysLog;

constexpr uint32_t kRamLogLines     = 1365;
constexpr uint32_t kRamLogLineBytes = 96;
constexpr uint32_t kRamLogTextBytes = 95;      // longest line, with its terminator

struct RamLog {
    uint32_t nEnabled;     // 1 = writes allowed; 0 also while a line is being formatted
    uint32_t nMode;        // 0 normal, 1 after InitRamLog(1)
    uint32_t nSpare;
    uint32_t nWriteIndex;  // next line slot
    uint32_t nCount;       // lines held, at most kRamLogLines
    char     szLine[kRamLogLines][kRamLogLineBytes];
};
static_assert(sizeof(RamLog) == 131060);

extern RamLog G_RamLog;

// Formats one line into the flash log and/or the debug port; negative when
// the flash write failed (flash logging then stays suspended).
int  DebugPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Steps to the next record; a full sector moves to the other one and erases it.
void SysLogAdvance();
// Finds where the flash log continues and turns it on (first step of boot).
void SysLogOpen();
// Erases both sectors and restarts the log at the start of the first.
void EraseSysLogs();

// Clears the RAM log; mode 0 enables it, mode 1 leaves it disabled.
void InitRamLog(uint32_t mode);
// Formats one line into the ring; a call while the ring is disabled or busy
// is dropped (returns 0).
int  RamLogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Copy a log to the SD card as a dated text file (.ALS system log, .ALR RAM
// log). Mode 1 shows progress at (x, y) and takes soft key 4; any other mode
// pops it up. Nothing happens without a mounted card.
void CopySysLogSD(int32_t x, int32_t y, int32_t mode);
void CopyRamLogSD(int32_t x, int32_t y, int32_t mode);
