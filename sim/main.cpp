// kv5100: builds the board, binds it to host resources and runs the unit.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include "sim/host.h"

int main(int argc, char** argv) {
    HostOptions opts;
    std::string error;
    if (!ParseOptions(argc, argv, opts, error)) {
        std::fprintf(stderr, "kv5100: %s\n", error.c_str());
        return 2;
    }
    if (opts.runForSeconds > 0 || !opts.printSyslog) OpenHostWindow(opts);
    platform::Board* board = platform::Board::Create(opts.timeMode);
    if (!board) {
        std::fprintf(stderr, "kv5100: cannot create the board\n");
        return 2;
    }
    struct stat st;
    const bool newFlash = stat(opts.flashPath.c_str(), &st) != 0;
    if (!board->OpenFlash(opts.flashPath.c_str())) {
        std::fprintf(stderr, "kv5100: cannot open flash file %s: %s\n", opts.flashPath.c_str(),
                     errno == EINVAL ? "not a flash image (wrong size)" : std::strerror(errno));
        return 2;
    }
    if (opts.demo && newFlash && !WriteDemoConfig(*board)) {
        std::fprintf(stderr, "kv5100: --demo: cannot write the demonstration configuration\n");
        return 2;
    }
    if (!WriteTfsFiles(*board, opts, error)) {
        std::fprintf(stderr, "kv5100: %s\n", error.c_str());
        return 2;
    }
    // The clock chip's battery-backed memory and time live beside the flash
    // file; a new file starts the clock from the host's local time.
    std::string clockPath = opts.flashPath + ".rtc";
    if (!board->OpenClockMemory(clockPath.c_str())) {
        std::fprintf(stderr, "kv5100: cannot open clock memory file %s: %s\n", clockPath.c_str(),
                     errno == EINVAL ? "not a clock memory file (wrong size)" : std::strerror(errno));
        return 2;
    }
    if (opts.clock[0] != 0) {
        const int* c = opts.clock;
        // Day of the week 1..7 from Sunday, as the host clock sets it (Zeller's rule).
        const int m = c[1] < 3 ? c[1] + 12 : c[1], y = c[1] < 3 ? c[0] - 1 : c[0];
        const int h = (c[2] + 13 * (m + 1) / 5 + y + y / 4 - y / 100 + y / 400) % 7;   // 0 Saturday
        board->rtcChip().SetTime(c[0], c[1], c[2], (h + 6) % 7 + 1, c[3], c[4], c[5], board->Now());
    }
    // Mapped before any application process is forked, so every start sees the card.
    if (!opts.sdPath.empty() && (!board->mmc().card().OpenImage(opts.sdPath.c_str()) || !board->mmc().Insert())) {
        std::fprintf(stderr, "kv5100: cannot open SD card image %s: %s\n", opts.sdPath.c_str(),
                     errno == EINVAL ? "not a card image (empty, not whole 512-byte sectors, or over 4 GB)"
                                     : std::strerror(errno));
        return 2;
    }
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
