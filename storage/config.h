// Configuration files in the monitor's flash file system: one "KEY, VALUE"
// pair a line. A reader fills the shared key and value tables; a writer
// drains them into the shared image buffer and adds the file in one call,
// so a file is always either the old or the new one.
#pragma once
#include <cstdint>

#include "storage/tfs.h"
#include "storage/upgrade.h"

constexpr int      kCfgPairs      = 1024;
constexpr int      kCfgFieldBytes = 96;
constexpr uint32_t kFlashBufBytes = 310000;
constexpr uint32_t kCfgFileMax    = 0x30FFF;   // 200,703 bytes
constexpr int      kCfgFileIds    = 38;
constexpr int      kCfgExtIds     = 14;
constexpr int      kCfgNoExt      = 13;

// File ids used by several modules.
constexpr int kCfgEngine  = 0;
constexpr int kCfgAirdata = 2;
constexpr int kCfgSystem  = 3;
constexpr int kCfgNvram   = 15;
// Extension ids.
constexpr int kExtKvd = 0;
constexpr int kExtKvc = 1;
constexpr int kExtKvw = 2;

extern const char CfgFileNames[kCfgFileIds][16];
extern const char CfgFileExts[kCfgExtIds][4];

extern char     G_CfgKey[kCfgPairs][kCfgFieldBytes];
extern char     G_CfgValue[kCfgPairs][kCfgFieldBytes];
extern uint32_t G_CfgCount;
extern uint8_t  FlashBuf[kFlashBufBytes];

// 0 when the file was read into the tables, -1 when it could not be opened.
int32_t ReadConfigFile(int32_t fileId, int32_t extId);
// Writes the first n pairs of the tables as the file: 0, -1, or the monitor's code.
int32_t writedatabyline(int32_t n, int32_t fileId, int32_t extId);
// Stores the first size bytes of FlashBuf as the named file.
int32_t FlashWriteTFS(const char* name, const char* flags, int32_t size);

// Calibration keys of an instrument group: ParseCalFile takes them from the
// tables just read and rebuilds the curves; FormatCalLines fills the tables
// with them and returns the line count.
void    ParseCalFile(int32_t fileId);
// The same keys applied without touching a file: an AIRDATA.KVC of the old
// layout, with the voltages, is rewritten only when it is read from flash.
void    ApplyCalKeys(int32_t fileId);
int32_t FormatCalLines(int32_t fileId);
// One instrument's calibration keys from the tables, its curve rebuilt;
// true when the file gave its point count.
bool    ParseInstCal(int32_t inst);

