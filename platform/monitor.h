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
// "call $ENTRYPOINT" restarts the application; "tfs rm PATTERN..." removes
// the files matching shell wildcards; "tfs [-f FLAGS] cp FROM TO" copies a
// file; "echo TEXT" prints. 0 on success.
int         mon_docommand(const char* command, int verbose);
// Monitor function 61: lets the monitor answer the other display's pending
// TFTP read requests for TFS files; the application calls it with (0, -999)
// while it waits for the other display to fetch from it.
int         mon_func61(int arg, int arg2);
int         mon_assignhandler(int number, MonHandler handler);
const char* mon_version();
[[noreturn]] void mon_appexit(int status);

constexpr int kFlashSectorSize = 0x20000;
constexpr int kFlashSectors    = 64;

// Flash programming: offsets from the start of flash; negative on failure.
int mon_flasherase(int sector);
int mon_flashwrite(uint32_t offset, const uint8_t* data, uint32_t length);

// The flash file system (TFS). Results: 0 or a file descriptor, negative on
// failure; mon_tfsctrl request 1 gives the text of a result code.
struct TfsStat {
    char     name[24];
    uint32_t size;
    uint32_t flags;     // the file's flag letters as bits, below
};
// Flag letters of mon_tfsadd and their bits in TfsStat::flags.
constexpr uint32_t kTfsFlagExec    = 1;   // 'e': a script or program
constexpr uint32_t kTfsFlagBootRun = 2;   // 'b': run by the monitor at boot
constexpr uint32_t kTfsFlagUpdate  = 4;   // 'u': a delivered loader awaiting its patch
uint32_t TfsFlagBits(const char* letters);
constexpr long kTfsRead = 0x10000;   // mon_tfsopen mode
constexpr int kTfsCtrlErrTextRequest = 1;
constexpr int kTfsCtrlUsedRequest    = 2;
constexpr int kTfsCtrlDeadRequest    = 3;
constexpr int kTfsCtrlDefragRequest  = 4;
constexpr int kTfsCtrlAvailRequest   = 10;

int  mon_tfsadd(const char* name, const char* info, const char* flags, const uint8_t* src, int size); // creates or replaces
int  mon_tfsopen(const char* name, long mode, char* buf);
int  mon_tfsclose(int fd, const char* info);
int  mon_tfsread(int fd, char* buf, int count);
int  mon_tfsgetline(int fd, char* buf, int max);    // bytes read, 0 at the end
int  mon_tfseof(int fd);                             // non-zero at the end
int  mon_tfsunlink(const char* name);
int  mon_tfsstat(const char* name, TfsStat* stat);
int  mon_tfslist(int index, TfsStat* stat);          // the index-th file; negative past the last
// 1 error text (a pointer) for the code in arg, 2 bytes used, 3 bytes dead,
// 4 defragment (0 or an error), 10 bytes available.
long mon_tfsctrl(int request, long arg, long arg2);
