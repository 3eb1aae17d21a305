// kv5100: builds the board, binds it to host resources and runs the unit.
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include "sim/host.h"

// A new flash file is made whole under a temporary name, erased and with
// the --demo files, then moved into place: a cut while it is made leaves no
// half-made flash that the next start would take for a used one.
static bool CreateFlash(platform::Board& board, const HostOptions& opts) {
    const std::string temp = opts.flashPath + ".new";
    unlink(temp.c_str());   // left by a cut
    if (!board.OpenFlash(temp.c_str())) {
        std::fprintf(stderr, "kv5100: cannot create flash file %s: %s\n", temp.c_str(), std::strerror(errno));
        return false;
    }
    if (opts.demo && !WriteDemoConfig(board)) {
        std::fprintf(stderr, "kv5100: --demo: cannot write the demonstration configuration\n");
        return false;
    }
    board.CloseFlash();
    // Another run that made the file meanwhile keeps its own.
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, opts.flashPath.c_str(), RENAME_NOREPLACE) != 0 && errno != EEXIST) {
        std::fprintf(stderr, "kv5100: cannot create flash file %s: %s\n", opts.flashPath.c_str(), std::strerror(errno));
        return false;
    }
    unlink(temp.c_str());
    return true;
}

// One run per flash file: the lock lives as long as this process and the
// application process that inherits it.
static bool LockFlash(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        std::fprintf(stderr, "kv5100: cannot open flash file %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    std::fprintf(stderr, "kv5100: flash file %s is in use by another kv5100 run\n", path.c_str());
    close(fd);
    return false;
}

int main(int argc, char** argv) {
    HostOptions opts;
    std::string error;
    if (!ParseOptions(argc, argv, opts, error)) {
        std::fprintf(stderr, "kv5100: %s\n", error.c_str());
        return 2;
    }
    InstallStopSignals();
    signal(SIGPIPE, SIG_IGN);   // a reader of an output that goes away only loses output
    if (opts.runForSeconds > 0 || !opts.printSyslog) OpenHostWindow(opts);
    platform::Board* board = platform::Board::Create(opts.timeMode);
    if (!board) {
        std::fprintf(stderr, "kv5100: cannot create the board\n");
        return 2;
    }
    struct stat st;
    if (stat(opts.flashPath.c_str(), &st) != 0 && !CreateFlash(*board, opts)) return 2;
    // Printing the log alone only reads: it may look at a flash a run holds.
    const bool readOnly = opts.printSyslog && opts.runForSeconds <= 0 && opts.tfs.empty() && opts.tfsOut.empty() &&
                          opts.monitorCommands.empty();
    if (!readOnly && !LockFlash(opts.flashPath)) return 2;
    if (!board->OpenFlash(opts.flashPath.c_str())) {
        std::fprintf(stderr, "kv5100: cannot open flash file %s: %s\n", opts.flashPath.c_str(),
                     errno == EINVAL ? "not a flash image (wrong size)" : std::strerror(errno));
        return 2;
    }
    if (!WriteTfsFiles(*board, opts, error)) {
        std::fprintf(stderr, "kv5100: %s\n", error.c_str());
        return 2;
    }
    // The clock chip's battery-backed memory and time live beside the flash
    // file; a new file starts the clock at --clock, by default the host's
    // local time.
    std::string clockPath = opts.flashPath + ".rtc";
    if (opts.clockGiven && stat(clockPath.c_str(), &st) == 0)
        std::fprintf(stderr, "kv5100: --clock ignored: %s keeps the clock's time\n", clockPath.c_str());
    if (!board->OpenClockMemory(clockPath.c_str(), opts.clockStart)) {
        std::fprintf(stderr, "kv5100: cannot open clock memory file %s: %s\n", clockPath.c_str(),
                     errno == EINVAL ? "not a clock memory file (wrong size)" : std::strerror(errno));
        return 2;
    }
    // Mapped before any application process is forked, so every start sees the card.
    if (!opts.sdPath.empty() && (!board->mmc().card().OpenImage(opts.sdPath.c_str()) || !board->mmc().Insert())) {
        std::fprintf(stderr, "kv5100: cannot open SD card image %s: %s\n", opts.sdPath.c_str(),
                     errno == EINVAL ? "not a card image (empty, not whole 512-byte sectors, or over 4 GB)"
                                     : std::strerror(errno));
        return 2;
    }
    if (opts.sdWriteProtect) board->mmc().card().InjectFault(platform::SdFault::WriteProtect, -1);
    // Opened before any application process is forked: every start appends to it.
    if (!opts.audioPath.empty() && !board->ac97().sink().Open(opts.audioPath.c_str())) {
        std::fprintf(stderr, "kv5100: cannot open audio file %s: %s\n", opts.audioPath.c_str(), std::strerror(errno));
        return 2;
    }
    for (const auto& [name, value] : opts.env) {
        if (!board->SetFactoryEnv(name.c_str(), value.c_str())) {
            std::fprintf(stderr, "kv5100: --env %s: name or value too long, or too many variables\n", name.c_str());
            return 2;
        }
    }
    if (!RunMonitorCommands(*board, opts, error)) {
        std::fprintf(stderr, "kv5100: %s\n", error.c_str());
        return 2;
    }
    int status = 0;
    if (opts.runForSeconds > 0 || !opts.printSyslog) status = RunUnit(*board, opts);
    board->dma().CatchUp();   // frames due by the end of the run
    if (!board->ac97().sink().Close()) {
        std::fprintf(stderr, "kv5100: cannot write audio file %s: %s\n", opts.audioPath.c_str(), std::strerror(errno));
        if (status == 0) status = 1;
    }
    board->SetRunEnd(0);   // the run is over: reading its files is the host's own
    if (!ReadTfsFiles(*board, opts, error)) {
        std::fprintf(stderr, "kv5100: %s\n", error.c_str());
        if (status == 0) status = 1;
    }
    if (opts.printSyslog) PrintSyslog(*board);
    platform::Board::Destroy();
    return status;
}
