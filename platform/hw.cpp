// The firmware's side of the board: accessors, processor and monitor calls.
#include "platform/hw.h"
#include "platform/board.h"
#include "platform/cpu.h"
#include "platform/monitor.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

using platform::Board;

static Board& B() {
    Board* b = Board::Current();
    if (!b) {
        std::fprintf(stderr, "board: firmware ran with no board\n");
        std::abort();
    }
    return *b;
}

uint8_t  HwRead8(uint32_t addr) { return static_cast<uint8_t>(B().Access(addr, 0, 1, false)); }
uint16_t HwRead16(uint32_t addr) { return static_cast<uint16_t>(B().Access(addr, 0, 2, false)); }
uint32_t HwRead32(uint32_t addr) { return B().Access(addr, 0, 4, false); }
void HwWrite8(uint32_t addr, uint8_t value) { B().Access(addr, value, 1, true); }
void HwWrite16(uint32_t addr, uint16_t value) { B().Access(addr, value, 2, true); }
void HwWrite32(uint32_t addr, uint32_t value) { B().Access(addr, value, 4, true); }
uint8_t* HwMemory(uint32_t addr, uint32_t len) { return B().Memory(addr, len); }
void HwIdle() { B().Idle(); }

uint32_t CpuReadCpsr() { return B().Cpsr(); }
void CpuWriteCpsr(uint32_t value) { B().SetCpsr(value); }
void CpuMcr(uint32_t crn, uint32_t, uint32_t, uint32_t value) { B().RecordCp15(crn, value); }
uint32_t CpuMrc(uint32_t crn, uint32_t, uint32_t) { return B().Cp15(crn); }
void CpuWait() {}

char* mon_getenv(const char* name) { return B().GetEnv(name); }
int mon_setenv(const char* name, const char* value) { return B().SetEnv(name, value); }

int mon_docommand(const char* command, int verbose) {
    (void)verbose;
    if (command && std::strcmp(command, "call $ENTRYPOINT") == 0)
        B().Stop(platform::StopReason::AppRestart);
    std::fprintf(stderr, "board: monitor: command not understood: %s\n", command ? command : "(null)");
    return -1;
}

int mon_assignhandler(int number, MonHandler handler) {
    if (number < kMonUndefined || number > kMonFiq || number == 6) return -1;
    B().SetHandler(number, handler);
    return 0;
}

const char* mon_version() { return "Monitor 1.19.2"; }

void mon_appexit(int status) { B().Stop(platform::StopReason::AppExit, status); }

int mon_flasherase(int sector) {
    if (sector < 0 || sector >= kFlashSectors) return -1;
    B().Spend(platform::Flash::kEraseTicks);
    int r = B().flash().Erase(static_cast<uint32_t>(sector));
    if (r == platform::Flash::kPowerCut) B().Stop(platform::StopReason::PowerOff);
    return r;
}

int mon_flashwrite(uint32_t offset, const uint8_t* data, uint32_t length) {
    if (!data) return -1;
    B().Spend(platform::Flash::kProgramTicksPer32 * (length / 32 + 1));
    int r = B().flash().Program(offset, data, length);
    if (r == platform::Flash::kPowerCut) B().Stop(platform::StopReason::PowerOff);
    return r;
}

// The flash file system: the monitor's own calls into its TFS.
int mon_tfsadd(const char* name, const char* info, const char* flags, const uint8_t* src, int size) {
    return B().tfs().Add(name, info, flags, src, size);
}
int mon_tfsopen(const char* name, long mode, char* buf) {
    (void)buf;
    return B().tfs().Open(name, mode);
}
int mon_tfsclose(int fd, const char* info) {
    (void)info;
    return B().tfs().Close(fd);
}
int mon_tfsread(int fd, char* buf, int count) { return B().tfs().Read(fd, buf, count); }
int mon_tfsgetline(int fd, char* buf, int max) { return B().tfs().GetLine(fd, buf, max); }
int mon_tfseof(int fd) { return B().tfs().Eof(fd); }
int mon_tfsunlink(const char* name) { return B().tfs().Remove(name); }
int mon_tfsstat(const char* name, TfsStat* stat) {
    platform::TfsFileInfo info{};
    int r = B().tfs().Stat(name, &info);
    if (r == 0 && stat) {
        std::memcpy(stat->name, info.name, sizeof stat->name);
        stat->size = info.size;
    }
    return r;
}
int mon_tfslist(int index, TfsStat* stat) {
    platform::TfsFileInfo info{};
    int r = B().tfs().List(index, &info);
    if (r == 0 && stat) {
        std::memcpy(stat->name, info.name, sizeof stat->name);
        stat->size = info.size;
    }
    return r;
}
long mon_tfsctrl(int request, long arg, long arg2) {
    (void)arg2;
    // A defragmentation takes its time inside the call.
    return B().tfs().Ctrl(request, arg);
}
