// The firmware's side of the board: accessors, processor and monitor calls.
#include "platform/hw.h"
#include "platform/board.h"
#include "platform/cpu.h"
#include "platform/monitor.h"
#include "platform/montftp.h"

#include <fnmatch.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

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
void HwIdleUntil(uint32_t count) { B().IdleUntil(count); }

uint32_t CpuReadCpsr() { return B().Cpsr(); }
void CpuWriteCpsr(uint32_t value) { B().SetCpsr(value); }
void CpuMcr(uint32_t crn, uint32_t, uint32_t, uint32_t value) { B().RecordCp15(crn, value); }
uint32_t CpuMrc(uint32_t crn, uint32_t, uint32_t) { return B().Cp15(crn); }
void CpuWait() {}

static void RunStartupFile();

char* mon_getenv(const char* name) {
    RunStartupFile();
    return B().GetEnv(name);
}
int mon_setenv(const char* name, const char* value) { return B().SetEnv(name, value); }

uint32_t TfsFlagBits(const char* letters) {
    uint32_t bits = 0;
    for (const char* p = letters; p && *p; ++p) {
        if (*p == 'e') bits |= kTfsFlagExec;
        else if (*p == 'b') bits |= kTfsFlagBootRun;
        else if (*p == 'u') bits |= kTfsFlagUpdate;
    }
    return bits;
}

static std::vector<std::string> Words(const char* line) {
    std::vector<std::string> words;
    std::string w;
    for (const char* p = line;; ++p) {
        if (*p == 0 || *p == ' ' || *p == '\t' || *p == '\n' || *p == '\r') {
            if (!w.empty()) words.push_back(w);
            w.clear();
            if (*p == 0) return words;
        } else {
            w += *p;
        }
    }
}

// Every live file whose name matches one of the patterns is removed; no
// match is not an error.
static int TfsRemoveMatching(const std::vector<std::string>& patterns) {
    std::vector<std::string> doomed;
    platform::TfsFileInfo info{};
    for (int i = 0; B().tfs().List(i, &info) == 0; ++i) {
        for (const std::string& p : patterns)
            if (fnmatch(p.c_str(), info.name, 0) == 0) {
                doomed.emplace_back(info.name);
                break;
            }
    }
    int r = 0;
    for (const std::string& name : doomed)
        if (B().tfs().Remove(name.c_str()) != 0) r = -1;
    return r;
}

static int TfsCopy(const std::string& flags, const std::string& from, const std::string& to) {
    platform::TfsFileInfo info{};
    if (B().tfs().Stat(from.c_str(), &info) != 0) return -1;
    std::vector<uint8_t> data(info.size);
    int fd = B().tfs().Open(from.c_str(), platform::kTfsModeRead);
    if (fd < 0) return -1;
    int n = info.size ? B().tfs().Read(fd, reinterpret_cast<char*>(data.data()), static_cast<int>(info.size)) : 0;
    B().tfs().Close(fd);
    if (n != static_cast<int>(info.size)) return -1;
    const char* f = flags.empty() ? info.flags : flags.c_str();
    return B().tfs().Add(to.c_str(), info.info, f, data.data(), static_cast<int>(info.size)) == 0 ? 0 : -1;
}

// "tfs rm P...", "tfs [-f FLAGS] cp FROM TO"; a leading '-' on the line
// (as scripts write it) is ignored.
static int TfsCommand(const std::vector<std::string>& w) {
    size_t i = 1;
    std::string flags;
    while (i < w.size() && w[i].size() > 1 && w[i][0] == '-') {
        if (w[i] == "-f" && i + 1 < w.size()) flags = w[++i];
        else if (w[i].compare(0, 2, "-f") == 0) flags = w[i].substr(2);
        ++i;
    }
    if (i < w.size() && w[i] == "rm" && i + 1 < w.size())
        return TfsRemoveMatching(std::vector<std::string>(w.begin() + static_cast<long>(i) + 1, w.end()));
    if (i + 2 < w.size() && w[i] == "cp") return TfsCopy(flags, w[i + 1], w[i + 2]);
    return -1;
}

// "set -f FILE": the variables set since the monitor started, as the
// script of "set NAME VALUE" lines the monitor runs when it starts.
static int SaveVariables(const std::vector<std::string>& w) {
    if (w.size() != 3 || w[1] != "-f") return -1;
    platform::EnvVar vars[platform::Board::kEnvSlots];
    const int n = B().RamVariables(vars, platform::Board::kEnvSlots);
    std::string script;
    for (int i = 0; i < n; ++i) script += std::string("set ") + vars[i].name + " " + vars[i].value + "\n";
    return B().tfs().Add(w[2].c_str(), "", "e", reinterpret_cast<const uint8_t*>(script.data()),
                         static_cast<int>(script.size())) == 0 ? 0 : -1;
}

// The monitor runs its start-up file once after power-on or a reset; here it
// runs before the application first asks for a variable.
static void RunStartupFile() {
    if (!B().TakeStartupFileDue()) return;
    const int fd = B().tfs().Open("monrc", platform::kTfsModeRead);
    if (fd < 0) return;
    char line[200];
    while (B().tfs().GetLine(fd, line, sizeof line) > 0) {
        const std::vector<std::string> w = Words(line);
        if (w.size() >= 3 && w[0] == "set") {
            std::string value = w[2];
            for (size_t i = 3; i < w.size(); ++i) value += " " + w[i];
            B().SetEnv(w[1].c_str(), value.c_str());
        }
    }
    B().tfs().Close(fd);
}

// ---- the monitor's network: TFTP over the Ethernet chip ---------------------

namespace {

// The wire as the monitor sees it. A host wire has a real peer, so its
// timeouts run on the host's clock; a board without one runs on board time.
class ChipLink final : public platform::MonNetLink {
public:
    void Send(const uint8_t* frame, int len) override { B().cs8900().MonitorSend(frame, len); }
    int Receive(uint8_t* frame, int max) override { return B().cs8900().MonitorTake(frame, max); }
    uint64_t NowMs() override {
        if (!B().cs8900().HostBound()) return B().Now() / (platform::kOsTimerHz / 1000);
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
    }
    void Pause() override {
        // Board time passes with the wait (the watchdog runs on), and a host
        // peer gets the millisecond in real time too.
        if (B().cs8900().HostBound() && B().Mode() == platform::TimeMode::Virtual) {
            timespec ts{0, 1000000};
            nanosleep(&ts, nullptr);
        }
        B().Spend(platform::kOsTimerHz / 1000);
    }
};

// The monitor's own addresses, from its variables; false when unusable.
bool MonitorAddress(platform::MonNetAddr& self) {
    const char* mac = mon_getenv("ETHERADD");
    const char* ip = mon_getenv("IPADD");
    static bool said = false;   // function 61 runs every pass: say it once
    if (!platform::ParseMac(mac, self.mac) || !platform::ParseIp(ip, self.ip)) {
        if (!said) std::fprintf(stderr, "board: monitor: ETHERADD %s or IPADD %s unusable for the network\n", mac ? mac : "(unset)",
                     ip ? ip : "(unset)");
        said = true;
        return false;
    }
    B().cs8900().MonitorOpen(self.mac);
    return true;
}

bool ReadTfsFile(const char* name, std::vector<uint8_t>& data) {
    platform::TfsFileInfo info{};
    if (B().tfs().Stat(name, &info) != 0) return false;
    data.assign(info.size, 0);
    const int fd = B().tfs().Open(name, platform::kTfsModeRead);
    if (fd < 0) return false;
    const int n = info.size ? B().tfs().Read(fd, reinterpret_cast<char*>(data.data()), static_cast<int>(info.size)) : 0;
    B().tfs().Close(fd);
    return n == static_cast<int>(info.size);
}

// Function 61's server: its transfers outlive each call.
platform::TftpServer g_tftpServer;

}  // namespace

constexpr int kNotUnderstood = -2;

// "tftp [-F FILE] HOST get NAME [ADDR]": NAME is read from HOST and stored in
// TFS as FILE (NAME by default), only when the whole of it arrived. The
// target's ADDR, its transfer buffer, means nothing here and is not used.
static int TftpCommand(const std::vector<std::string>& w) {
    size_t i = 1;
    std::string local;
    for (; i < w.size() && w[i].size() > 1 && w[i][0] == '-'; ++i) {
        if (w[i] != "-F" || i + 1 >= w.size()) return kNotUnderstood;
        local = w[++i];
    }
    if (i + 2 >= w.size() || w[i + 1] != "get" || i + 4 < w.size()) return kNotUnderstood;
    const std::string& host = w[i];
    const std::string& remote = w[i + 2];
    if (local.empty()) local = remote;
    uint8_t server[4];
    platform::MonNetAddr self{};
    if (!platform::ParseIp(host.c_str(), server) || !MonitorAddress(self)) return -1;
    ChipLink link;
    std::vector<uint8_t> data;
    std::string error;
    if (!platform::TftpGet(link, self, server, remote.c_str(), data, error)) {
        std::fprintf(stderr, "board: monitor: tftp %s from %s: %s\n", remote.c_str(), host.c_str(), error.c_str());
        return -1;
    }
    if (B().tfs().Add(local.c_str(), "", "", data.data(), static_cast<int>(data.size())) != 0) {
        std::fprintf(stderr, "board: monitor: tftp %s: cannot store %zu bytes as %s\n", remote.c_str(), data.size(),
                     local.c_str());
        return -1;
    }
    return 0;
}

int mon_docommand(const char* command, int verbose) {
    (void)verbose;
    if (command && std::strcmp(command, "call $ENTRYPOINT") == 0)
        B().Stop(platform::StopReason::AppRestart);
    std::vector<std::string> w = Words(command ? command : "");
    if (!w.empty() && w[0].size() > 1 && w[0][0] == '-') w[0].erase(0, 1);
    if (!w.empty() && w[0] == "echo") {
        std::string text;
        for (size_t i = 1; i < w.size(); ++i) text += (i > 1 ? " " : "") + w[i];
        std::fprintf(stderr, "board: monitor: %s\n", text.c_str());
        return 0;
    }
    if (!w.empty() && w[0] == "tfs") {
        int r = TfsCommand(w);
        if (r == 0) return 0;
    }
    if (!w.empty() && w[0] == "set" && SaveVariables(w) == 0) return 0;
    if (!w.empty() && w[0] == "tftp") {
        const int r = TftpCommand(w);
        if (r != kNotUnderstood) return r;   // a failed transfer has said why
    }
    std::fprintf(stderr, "board: monitor: command failed or not understood: %s\n", command ? command : "(null)");
    return -1;
}

// Answers what waits on the wire for the monitor's TFTP server; the
// application calls it with (0, -999) while it waits for the other display.
int mon_func61(int arg, int arg2) {
    (void)arg;
    (void)arg2;
    platform::MonNetAddr self{};
    if (!MonitorAddress(self)) return -1;
    ChipLink link;
    g_tftpServer.Poll(link, self, ReadTfsFile);
    return 0;
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
        stat->flags = TfsFlagBits(info.flags);
    }
    return r;
}
int mon_tfslist(int index, TfsStat* stat) {
    platform::TfsFileInfo info{};
    int r = B().tfs().List(index, &info);
    if (r == 0 && stat) {
        std::memcpy(stat->name, info.name, sizeof stat->name);
        stat->size = info.size;
        stat->flags = TfsFlagBits(info.flags);
    }
    return r;
}
long mon_tfsctrl(int request, long arg, long arg2) {
    (void)arg2;
    // A defragmentation takes its time inside the call.
    return B().tfs().Ctrl(request, arg);
}
