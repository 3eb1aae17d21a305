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
    return B().flash().Erase(static_cast<uint32_t>(sector));
}

int mon_flashwrite(uint32_t offset, const uint8_t* data, uint32_t length) {
    if (!data) return -1;
    B().Spend(platform::Flash::kProgramTicksPer32 * (length / 32 + 1));
    return B().flash().Program(offset, data, length);
}
