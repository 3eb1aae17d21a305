// The monitor's flash file system: a log of files in flash sectors of its
// own, in two halves that take turns. Files are appended to the active half;
// a replaced or removed file stays behind as dead space until the
// defragmentation copies the live files into the other half, commits it with
// a marker and erases the old one. A power cut at any step leaves either the
// old or the new file, never neither.
#pragma once
#include <cstdint>

namespace platform {

class Board;

// Result codes of the monitor's file calls.
constexpr int kTfsOkay         = 0;
constexpr int kTfsErrNoFile    = -1;
constexpr int kTfsErrNoSlot    = -2;    // every file descriptor in use
constexpr int kTfsErrEof       = -3;
constexpr int kTfsErrBadArg    = -4;
constexpr int kTfsErrBadFd     = -5;
constexpr int kTfsErrFlashFull = -6;
constexpr int kTfsErrFlashFail = -7;
constexpr int kTfsErrNameLen   = -8;
constexpr int kTfsErrBusy      = -9;    // files open during a defragmentation

constexpr long kTfsModeRead = 0x10000;

// mon_tfsctrl requests.
constexpr int kTfsCtrlErrText = 1;
constexpr int kTfsCtrlUsed    = 2;
constexpr int kTfsCtrlDead    = 3;
constexpr int kTfsCtrlDefrag  = 4;
constexpr int kTfsCtrlAvail   = 10;

constexpr uint32_t kTfsFirstSector = 6;     // sectors 6..25 and 26..45
constexpr uint32_t kTfsHalfSectors = 20;
constexpr int      kTfsNameBytes   = 24;
constexpr int      kTfsInfoBytes   = 16;
constexpr int      kTfsMaxOpen     = 8;

struct TfsFileInfo {
    char     name[kTfsNameBytes];
    char     info[kTfsInfoBytes];
    char     flags[8];
    uint32_t size;
};

const char* TfsErrorText(int code);

class Tfs {
public:
    explicit Tfs(Board& board) : board_(board) {}
    // Forgets the mount and the open files (power-on, reset, a new flash file).
    void Unmount();

    int  Add(const char* name, const char* info, const char* flags, const uint8_t* src, int size);
    int  Open(const char* name, long mode);
    int  Close(int fd);
    int  Read(int fd, char* buf, int count);
    // One line of at most max - 1 bytes with its line feed when it fits; the
    // rest of a longer line is passed over. 0 at the end of the file.
    int  GetLine(int fd, char* buf, int max);
    int  Eof(int fd);
    int  Stat(const char* name, TfsFileInfo* out);
    // The index-th live file in the order they were added; kTfsErrNoFile past the last.
    int  List(int index, TfsFileInfo* out);
    int  Remove(const char* name);
    int  Defrag();
    long Ctrl(int request, long arg);

    uint32_t Used();
    uint32_t Dead();
    uint32_t Avail();
    uint32_t Generation() { Mount(); return gen_; }

private:
    struct Entry { uint32_t addr; uint32_t len; bool live; };
    struct OpenFile { uint32_t used, data, size, pos; };
    void     Mount();
    bool     Next(uint32_t& pos, Entry& e);
    uint32_t FindLive(const char* name);
    int      Program(uint32_t addr, const void* src, uint32_t n);
    int      Erase(uint32_t sector);
    int      Format(uint32_t half, uint32_t gen);
    uint32_t HalfBase(uint32_t half) const;
    OpenFile* File(int fd);

    Board&   board_;
    bool     mounted_ = false;
    uint32_t active_ = 0;       // 0 or 1
    uint32_t gen_ = 0;
    uint32_t end_ = 0;          // flash address where the next file goes
    uint32_t seq_ = 0;          // sequence number of the next file added
    OpenFile open_[kTfsMaxOpen]{};
};

}  // namespace platform
