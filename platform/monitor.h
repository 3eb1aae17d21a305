// The boot monitor's calls, as the application uses them.
#pragma once
#include <cstdint>

using MonHandler = void (*)();

// Monitor exception numbers for mon_assignhandler.
constexpr int kMonUndefined     = 1;
constexpr int kMonSoftware      = 2;
constexpr int kMonPrefetchAbort = 3;
constexpr int kMonDataAbort     = 4;
constexpr int kMonIrq           = 5;
constexpr int kMonFiq           = 7;

char*       mon_getenv(const char* name);                 // nullptr when unset
int         mon_setenv(const char* name, const char* value); // value nullptr removes it
int         mon_docommand(const char* command, int verbose); // "call $ENTRYPOINT" restarts the application
int         mon_assignhandler(int number, MonHandler handler);
const char* mon_version();
[[noreturn]] void mon_appexit(int status);

constexpr int kFlashSectorSize = 0x20000;
constexpr int kFlashSectors    = 64;

// Flash programming: offsets from the start of flash; negative on failure.
int mon_flasherase(int sector);
int mon_flashwrite(uint32_t offset, const uint8_t* data, uint32_t length);
