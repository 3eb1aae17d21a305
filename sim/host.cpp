#include "sim/host.h"
#include "sim/nethost.h"

#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/start.h"
#include "sim/screenshot.h"
#include "sim/script.h"

using platform::Board;
using platform::BoardStop;
using platform::StopReason;

static const char kUsage[] =
    "usage: kv5100 [--flash FILE] [--sd IMAGE [--sd-write-protect]] [--time virtual|real] [--run-for SECONDS]\n"
    "              [--clock host|YYYY-MM-DDTHH:MM:SS]\n"
    "              [--env NAME=VALUE]... [--hold GPIO,...]\n"
    "              [--serial N=pty|file:IN[,OUT]|tcp:PORT|loop|arinc-loader:CAPTURE[,OPT]...|null]... [--print-syslog]\n"
    "              [--headless] [--screenshot FILE.png] [--script FILE] [--audio FILE.wav]\n"
    "              [--demo] [--tfs NAME=FILE]... [--tfs-out NAME=FILE]...\n"
    "              [--net udp:LOCAL_PORT:PEER_PORT|tap:IFNAME] [--monitor-command LINE]...";

static std::string DefaultFlashPath() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string dir = data && *data ? std::string(data) : std::string(std::getenv("HOME") ? std::getenv("HOME") : ".") + "/.local/share";
    dir += "/kv5100";
    std::string cmd = dir;
    // Create each missing level of the folder.
    for (size_t i = 1; i <= cmd.size(); ++i)
        if (i == cmd.size() || cmd[i] == '/') mkdir(cmd.substr(0, i).c_str(), 0755);
    return dir + "/flash.bin";
}

// "61,63": the pins of buttons held while the unit powers on.
static bool ParseHold(const std::string& list, std::vector<int>& pins) {
    size_t at = 0;
    while (at <= list.size()) {
        size_t comma = list.find(',', at);
        std::string item = list.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
        char* end = nullptr;
        long pin = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end || pin < 0 || pin > 95) return false;
        pins.push_back(static_cast<int>(pin));
        if (comma == std::string::npos) return true;
        at = comma + 1;
    }
    return false;
}

bool ParseOptions(int argc, char** argv, HostOptions& opts, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = a + " needs a value\n" + kUsage;
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--flash") {
            if (!value(opts.flashPath)) return false;
        } else if (a == "--sd") {
            if (!value(opts.sdPath)) return false;
        } else if (a == "--sd-write-protect") {
            opts.sdWriteProtect = true;
        } else if (a == "--time") {
            if (!value(v)) return false;
            if (v == "virtual") opts.timeMode = platform::TimeMode::Virtual;
            else if (v == "real") opts.timeMode = platform::TimeMode::Real;
            else return error = "--time takes virtual or real, not " + v, false;
            opts.timeGiven = true;
        } else if (a == "--run-for") {
            if (!value(v)) return false;
            char* end = nullptr;
            opts.runForSeconds = std::strtod(v.c_str(), &end);
            // Below one timer tick the end would be tick 0, which means no end.
            if (end == v.c_str() || *end || !(opts.runForSeconds * platform::kOsTimerHz >= 1) ||
                opts.runForSeconds > 1e7)
                return error = "--run-for takes a positive number of seconds, at least one timer tick, not " + v, false;
        } else if (a == "--clock") {
            if (!value(v)) return false;
            opts.clockGiven = true;
            if (v == "host") opts.clockStart = platform::RtcChip::kHostClock;
            else if (!platform::RtcChip::ParseTime(v.c_str(), &opts.clockStart))
                return error = "--clock takes host or YYYY-MM-DDTHH:MM:SS (years 2000..2099), not " + v, false;
        } else if (a == "--env") {
            if (!value(v)) return false;
            size_t eq = v.find('=');
            if (eq == 0 || eq == std::string::npos) return error = "--env takes NAME=VALUE, not " + v, false;
            opts.env.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--tfs") {
            if (!value(v)) return false;
            const size_t eq = v.find('=');
            if (eq == 0 || eq == std::string::npos || eq + 1 == v.size())
                return error = "--tfs takes NAME=FILE, not " + v, false;
            opts.tfs.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--tfs-out") {
            if (!value(v)) return false;
            const size_t eq = v.find('=');
            if (eq == 0 || eq == std::string::npos || eq + 1 == v.size())
                return error = "--tfs-out takes NAME=FILE, not " + v, false;
            opts.tfsOut.emplace_back(v.substr(0, eq), v.substr(eq + 1));
        } else if (a == "--hold") {
            if (!value(v)) return false;
            if (!ParseHold(v, opts.hold)) return error = "--hold takes GPIO numbers 0..95 separated by commas, not " + v, false;
        } else if (a == "--screenshot") {
            if (!value(opts.screenshotPath)) return false;
        } else if (a == "--script") {
            if (!value(opts.scriptPath)) return false;
        } else if (a == "--audio") {
            if (!value(opts.audioPath)) return false;
        } else if (a == "--demo") {
            opts.demo = true;
        } else if (a == "--headless") {
            opts.headless = true;
        } else if (a == "--serial") {
            if (!value(v)) return false;
            SerialBinding b;
            if (!ParseSerialOption(v, b, error)) return false;
            opts.serial.push_back(b);
        } else if (a == "--net") {
            if (!value(opts.netSpec) || !ValidNetSpec(opts.netSpec, error)) return false;
        } else if (a == "--monitor-command") {
            if (!value(v)) return false;
            opts.monitorCommands.push_back(v);
        } else if (a == "--print-syslog") {
            opts.printSyslog = true;
        } else if (a == "--help" || a == "-h") {
            error = kUsage;
            return false;
        } else {
            error = "unknown option " + a + "\n" + kUsage;
            return false;
        }
    }
    if (opts.flashPath.empty()) opts.flashPath = DefaultFlashPath();
    // A host peer on the wire lives in real time.
    if (!opts.netSpec.empty() && !opts.timeGiven) opts.timeMode = platform::TimeMode::Real;
    return true;
}

// The factory demonstration: air data, AHRS, engine, navigation and traffic
// installed, each from its demonstration source, and the moving map, which
// draws from the card given with --sd.
static const char kDemoSystemKvd[] =
    "EFIS_INSTALLED, 1\n"
    "AHRS_TYPE, 0\n"
    "NET_AHRS_MODE, 0\n"
    "ENGINE_INSTALLED, 1\n"
    "NET_ENG_MODE, 0\n"
    "AIR_INSTALLED, 1\n"
    "NET_AIR_MODE, 0\n"
    "NET_SERIAL_SHARE, 1\n"
    "MAP_INSTALLED, 1\n"
    "LOG_ENABLE, 5\n"
    "DEMO_FLAGS, 124\n"
    "VOLTS.MIN, 100\n"
    "VOLTS.MAX, 160\n"
    "VOLTS.RED_HIGH, 155\n"
    "VOLTS.YELLOW_HIGH, 150\n"
    "VOLTS.YELLOW_LOW, 125\n"
    "VOLTS.RED_LOW, 115\n"
    "VOLTS.ENABLE, 1\n";

// The main bus: the board's 14000 counts read 13.8 V; the battery and the
// backup bus on the same scale (12400 counts 12.2 V, 12200 counts 12.0 V).
#define KV_DEMO_VOLTS_CAL(name)              \
    name ".NUM_CAL_PTS, 2\n"                 \
    name ".AD_VALUE_1, 0\n"                  \
    name ".DISPLAY_VALUE_1, 0\n"             \
    name ".AD_VALUE_2, 14000\n"              \
    name ".DISPLAY_VALUE_2, 138\n"
static const char kDemoSystemKvc[] = KV_DEMO_VOLTS_CAL("VOLTS") KV_DEMO_VOLTS_CAL("BATVOLTS") KV_DEMO_VOLTS_CAL("BACKVOLTS");
#undef KV_DEMO_VOLTS_CAL

// A four-cylinder engine with limits around the demonstration readings, so
// that the engine page shows every gauge in its colours.
static const char kDemoEngineKvd[] =
    "ENGINE_TYPE, STD_4CYL\n"
    "FUEL_COMP.GREEN_LOW, 100\n"
    "FUEL_COMP.RED_LOW, 50\n"
    "FUEL_COMP.CROSSCHECK_LIMIT, 20\n"
    "FUEL_COMP.ENABLE, 1\n"
    "RPM.MAX, 30000\n"
    "RPM.RED_HIGH, 27000\n"
    "RPM.YELLOW_HIGH, 26000\n"
    "RPM.PULSES_PER_2REVS, 2\n"
    "RPM.ENABLE, 1\n"
    "MANIFOLD.MAX, 350\n"
    "MANIFOLD.MIN, 100\n"
    "MANIFOLD.RED_HIGH, 320\n"
    "MANIFOLD.YELLOW_HIGH, 300\n"
    "MANIFOLD.RED_LOW, 100\n"
    "MANIFOLD.ENABLE, 1\n"
    "FUEL_PSI.MAX, 400\n"
    "FUEL_PSI.RED_HIGH, 350\n"
    "FUEL_PSI.YELLOW_HIGH, 320\n"
    "FUEL_PSI.YELLOW_LOW, 80\n"
    "FUEL_PSI.RED_LOW, 50\n"
    "FUEL_PSI.ENABLE, 1\n"
    "FUEL_FLOW.MAX, 200\n"
    "FUEL_FLOW.RED_HIGH, 190\n"
    "FUEL_FLOW.YELLOW_HIGH, 180\n"
    "FUEL_FLOW.K_FACTOR, 680\n"
    "FUEL_FLOW.ENABLE, 1\n"
    "AMPS_SHUNT.MAX, 600\n"
    "AMPS_SHUNT.MIN, -600\n"
    "AMPS_SHUNT.RED_HIGH, 500\n"
    "AMPS_SHUNT.YELLOW_HIGH, 400\n"
    "AMPS_SHUNT.YELLOW_LOW, -400\n"
    "AMPS_SHUNT.RED_LOW, -500\n"
    "AMPS_SHUNT.ENABLE, 1\n"
    "OIL_PSI.MAX, 1000\n"
    "OIL_PSI.RED_HIGH, 950\n"
    "OIL_PSI.YELLOW_HIGH, 900\n"
    "OIL_PSI.YELLOW_LOW, 250\n"
    "OIL_PSI.RED_LOW, 150\n"
    "OIL_PSI.ENABLE, 1\n"
    "OIL_TEMP.MAX, 2500\n"
    "OIL_TEMP.MIN, 500\n"
    "OIL_TEMP.RED_HIGH, 2450\n"
    "OIL_TEMP.YELLOW_HIGH, 2300\n"
    "OIL_TEMP.YELLOW_LOW, 1000\n"
    "OIL_TEMP.RED_LOW, 500\n"
    "OIL_TEMP.ENABLE, 1\n"
    "TANK_1.MAX, 250\n"
    "TANK_1.YELLOW_LOW, 60\n"
    "TANK_1.RED_LOW, 30\n"
    "TANK_1.ENABLE, 1\n"
    "TANK_2.MAX, 250\n"
    "TANK_2.YELLOW_LOW, 60\n"
    "TANK_2.RED_LOW, 30\n"
    "TANK_2.ENABLE, 1\n"
    "EGT_1.MAX, 17000\n"
    "EGT_1.MIN, 10000\n"
    "EGT_1.RED_HIGH, 16500\n"
    "EGT_1.YELLOW_HIGH, 15500\n"
    "EGT_1.RED_LOW, 10000\n"
    "EGT_1.ENABLE, 1\n"
    "EGT_2.ENABLE, 1\n"
    "EGT_3.ENABLE, 1\n"
    "EGT_4.ENABLE, 1\n"
    "CHT_1.MAX, 5000\n"
    "CHT_1.RED_HIGH, 4600\n"
    "CHT_1.YELLOW_HIGH, 4300\n"
    "CHT_1.ENABLE, 1\n"
    "CHT_2.ENABLE, 1\n"
    "CHT_3.ENABLE, 1\n"
    "CHT_4.ENABLE, 1\n"
    "FLAP_ANG.ENABLE, 1\n";

// Airspeed bands and limits around the demonstration flight (75..145 kt,
// 1500..4500 ft), so that its fast end reaches the caution range. Airspeed
// fields are in tenths of a knot, the V speeds in knots, OAT in tenths of a
// degree F, vertical speed in ft/min.
static const char kDemoAirdataKvd[] =
    "ALTITUDE.MAX, 20000\n"
    "ALTITUDE.MIN, -1000\n"
    "ALTITUDE.ENABLE, 1\n"
    "AIRSPEED.MAX, 2000\n"
    "AIRSPEED.RED_HIGH, 1700\n"
    "AIRSPEED.YELLOW_HIGH, 1400\n"
    "AIRSPEED.ENABLE, 1\n"
    "OAT.MAX, 1200\n"
    "OAT.MIN, -400\n"
    "OAT.ENABLE, 1\n"
    "VERTSPEED.MAX, 4000\n"
    "VERTSPEED.MIN, -4000\n"
    "VERTSPEED.ENABLE, 1\n"
    "AIRSPEED.VS0, 50\n"
    "AIRSPEED.VS1, 58\n"
    "AIRSPEED.VFE, 100\n"
    "AIRSPEED.VNO, 140\n"
    "AIRSPEED.VNE, 170\n";

static bool AddDemoFile(Board& board, const char* name, const char* text, size_t size) {
    return board.tfs().Add(name, nullptr, nullptr, reinterpret_cast<const uint8_t*>(text), static_cast<int>(size - 1)) == 0;
}

// Sample checklists and maintenance items for the auxiliary pages.
static const char kDemoChklstKvd[] =
    "CHKLST0.TITLE, Before Start\n"
    "CHKLST0.LINE1, Preflight inspection  COMPLETE\n"
    "CHKLST0.LINE2, Seat belts  FASTENED\n"
    "CHKLST0.LINE3, Fuel selector  BOTH\n"
    "CHKLST0.LINE4, Circuit breakers  IN\n"
    "CHKLST2.TITLE, Run-up\n"
    "CHKLST2.LINE1, Throttle  1700 RPM\n"
    "CHKLST2.LINE2, Magnetos  CHECK\n"
    "CHKLST2.LINE3, Carb heat  CHECK\n"
    "CHKLST5.TITLE, Cruise\n"
    "CHKLST5.LINE1, Power  SET\n"
    "CHKLST5.LINE2, Mixture  LEAN\n";
static const char kDemoMaintKvd[] =
    "DESC, Oil change\nLASTDATE, 03/15/2024\nLASTTACH, 412.50\nINTERVAL, 50\nUNITS, tach hours\nNEXTLINE, 0\n"
    "DESC, Annual inspection\nLASTDATE, 01/31/2024\nLASTTACH, 380.00\nINTERVAL, 365\nUNITS, Days\nNEXTLINE, 0\n"
    "DESC, ELT battery\nLASTDATE, 06/01/2020\nLASTTACH, 100.00\nINTERVAL, 1461\nUNITS, Days\nNEXTLINE, 0\n";

bool WriteDemoConfig(Board& board) {
    return AddDemoFile(board, "SYSTEM.KVD", kDemoSystemKvd, sizeof kDemoSystemKvd) &&
           AddDemoFile(board, "CHKLST.KVD", kDemoChklstKvd, sizeof kDemoChklstKvd) &&
           AddDemoFile(board, "MAINT.KVD", kDemoMaintKvd, sizeof kDemoMaintKvd) &&
           AddDemoFile(board, "SYSTEM.KVC", kDemoSystemKvc, sizeof kDemoSystemKvc) &&
           AddDemoFile(board, "ENGINE.KVD", kDemoEngineKvd, sizeof kDemoEngineKvd) &&
           AddDemoFile(board, "AIRDATA.KVD", kDemoAirdataKvd, sizeof kDemoAirdataKvd) && WriteDemoAircraft(board);
}

bool WriteTfsFiles(Board& board, const HostOptions& opts, std::string& error) {
    for (const auto& [name, path] : opts.tfs) {
        FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) return error = "--tfs " + name + ": cannot read " + path, false;
        std::vector<uint8_t> data;
        uint8_t buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.insert(data.end(), buf, buf + n);
        std::fclose(f);
        const int rc = board.tfs().Add(name.c_str(), nullptr, nullptr, data.data(), static_cast<int>(data.size()));
        if (rc != 0) return error = "--tfs " + name + ": " + platform::TfsErrorText(rc), false;
    }
    return true;
}

bool ReadTfsFiles(Board& board, const HostOptions& opts, std::string& error) {
    for (const auto& [name, path] : opts.tfsOut) {
        const int fd = board.tfs().Open(name.c_str(), platform::kTfsModeRead);
        if (fd < 0) return error = "--tfs-out " + name + ": no such file in TFS", false;
        std::vector<char> data;
        char buf[4096];
        int n;
        while ((n = board.tfs().Read(fd, buf, sizeof buf)) > 0) data.insert(data.end(), buf, buf + n);
        board.tfs().Close(fd);
        FILE* f = std::fopen(path.c_str(), "wb");
        const bool ok = f && std::fwrite(data.data(), 1, data.size(), f) == data.size();
        if (f && std::fclose(f) != 0) return error = "--tfs-out " + name + ": cannot write " + path, false;
        if (!ok) return error = "--tfs-out " + name + ": cannot write " + path, false;
    }
    return true;
}

static double Seconds(const Board& board) { return static_cast<double>(board.Now()) / platform::kOsTimerHz; }

// Each start of the application runs in a new child process forked from this
// one, which never runs firmware code: the child begins with every firmware
// global as the start routine leaves it, and finds the board (shared memory)
// and the flash (shared file mapping) as the last run left them.
constexpr int kChildStopped = 64;

// The running application process (0: none) and the signal that asked for
// the end of the run; the handler only kills and records.
static volatile sig_atomic_t g_childPid = 0;
static volatile sig_atomic_t g_stopSignal = 0;

// SIGINT and SIGTERM are the power switch: the application stops where it
// is, and the flash file holds what it had written.
static void OnStopSignal(int sig) {
    g_stopSignal = sig;
    if (g_childPid > 0) kill(static_cast<pid_t>(g_childPid), SIGKILL);
    else if (Board* board = Board::Current()) board->RequestStop(StopReason::PowerOff);   // idling in the monitor
}

void InstallStopSignals() {
    struct sigaction sa{};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
}

// The application never outlives kv5100, however kv5100 ends: the kernel
// kills it when its parent dies, and a parent that died before the request
// was made is caught at once. The power switch is the parent's alone.
static void TieToParent(pid_t parent) {
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(kChildStopped);
}

[[noreturn]] static void RunApplicationChild(pid_t parent) {
    TieToParent(parent);
    try {
        AppStart();
    } catch (const BoardStop&) {
    }
    std::fflush(nullptr);
    _exit(kChildStopped);
}

static HostWindow g_window;

// Waits for the child; with a window, shows the page meanwhile. False when
// the user closed the window (the child is ended), which ends the run.
static bool WaitChild(Board& board, pid_t pid, int& ws) {
    while (g_window.IsOpen()) {
        if (waitpid(pid, &ws, WNOHANG) == pid) return true;
        std::vector<ControlInput> input;
        const bool open = g_window.Update(board.display(), input);
        for (const ControlInput& in : input)
            if (!QueueControl(board, in)) std::fprintf(stderr, "kv5100: window input dropped: the event queue is full\n");
        if (!open) {
            kill(pid, SIGKILL);
            while (waitpid(pid, &ws, 0) < 0) {
            }
            g_window.Close();
            return false;
        }
        usleep(16000);
    }
    while (waitpid(pid, &ws, 0) < 0) {
    }
    return true;
}

static const char* SignalName(int sig) { return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "signal"; }

static bool PowerOffBySignal(Board& board, int& status) {
    std::fprintf(stderr, "kv5100: %s: power off at %.3f s\n", SignalName(g_stopSignal), Seconds(board));
    status = 0;
    return false;
}

static bool RunOnce(Board& board, int& status) {
    if (g_stopSignal) return PowerOffBySignal(board, status);
    board.BeginApplication();
    const pid_t parent = getpid();
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("kv5100: fork");
        status = 3;
        return false;
    }
    if (pid == 0) RunApplicationChild(parent);
    g_childPid = pid;
    if (g_stopSignal) kill(pid, SIGKILL);   // asked for before the child was known
    int ws = 0;
    const bool windowOpen = WaitChild(board, pid, ws);
    g_childPid = 0;
    if (g_stopSignal) return PowerOffBySignal(board, status);
    if (!windowOpen) {
        std::fprintf(stderr, "kv5100: window closed at %.3f s\n", Seconds(board));
        status = 0;
        return false;
    }
    if (!WIFEXITED(ws) || WEXITSTATUS(ws) != kChildStopped) {
        if (WIFSIGNALED(ws))
            std::fprintf(stderr, "kv5100: the application crashed (signal %d) at %.3f s\n", WTERMSIG(ws), Seconds(board));
        else
            std::fprintf(stderr, "kv5100: the application ended unexpectedly (status %d)\n", WEXITSTATUS(ws));
        status = 3;
        return false;
    }
    return true;
}

// What the board does after the application stopped; false ends the run.
static bool AfterStop(Board& board, StopReason reason, int exitStatus, int& status) {
    switch (reason) {
    case StopReason::AppRestart:
        std::fprintf(stderr, "kv5100: application restart at %.3f s\n", Seconds(board));
        return true;
    case StopReason::WatchdogReset:
        std::fprintf(stderr, "kv5100: watchdog reset at %.3f s\n", Seconds(board));
        board.Reset();
        return true;
    case StopReason::PowerOff:
        std::fprintf(stderr, "kv5100: power off at %.3f s\n", Seconds(board));
        status = 0;
        return false;
    case StopReason::RunEnd:
        std::fprintf(stderr, "kv5100: run ended after %.3f s of board time\n", Seconds(board));
        status = exitStatus == 0 ? 0 : 1;
        return false;
    case StopReason::AppExit:
    case StopReason::None:
        break;
    }
    std::fprintf(stderr, "kv5100: application returned %d to the monitor at %.3f s\n", exitStatus, Seconds(board));
    try {
        board.IdleInMonitor();
    } catch (const BoardStop& s) {
        return AfterStop(board, s.reason, exitStatus, status);
    }
}

bool OpenHostWindow(HostOptions& opts) {
    if (opts.headless || !g_window.Open()) return false;
    if (!opts.timeGiven) opts.timeMode = platform::TimeMode::Real;
    return true;
}

static void SayStartupStopped(Board& board) {
    std::fprintf(stderr,
                 "kv5100: BOOTSTOP is in TFS: the monitor leaves the application unstarted at %.3f s "
                 "(--monitor-command \"tfs rm BOOTSTOP\" starts it again)\n",
                 Seconds(board));
}

static int RunLoop(Board& board) {
    int status = 0;
    bool fromReset = true;   // power-on: the monitor's start-up decides
    for (;;) {
        if (fromReset && board.StartupStopped()) {
            SayStartupStopped(board);
            try {
                board.IdleInMonitor();
            } catch (const BoardStop& s) {
                if (!AfterStop(board, s.reason, 0, status)) return status;
            }
            fromReset = board.LastStop() == StopReason::WatchdogReset;
            continue;
        }
        if (!RunOnce(board, status)) return status;
        if (!AfterStop(board, board.LastStop(), board.ExitStatus(), status)) return status;
        fromReset = board.LastStop() == StopReason::WatchdogReset;
    }
}

// The wire is bound before the monitor's commands: "tftp" uses it.
bool RunMonitorCommands(Board& board, const HostOptions& opts, std::string& error) {
    if (!opts.netSpec.empty() && !BindNetwork(board, opts.netSpec, error))
        return error = "--net " + opts.netSpec + ": " + error, false;
    for (const std::string& command : opts.monitorCommands) {
        int r = -1;
        try {
            r = mon_docommand(command.c_str(), 1);
        } catch (const BoardStop&) {   // "call": there is no application yet
        }
        if (r != 0) return error = "--monitor-command " + command + ": the monitor refused it", false;
    }
    return true;
}

int RunUnit(Board& board, const HostOptions& opts) {
    if (opts.runForSeconds > 0)
        board.SetRunEnd(static_cast<uint64_t>(opts.runForSeconds * platform::kOsTimerHz));
    board.uart(1).BindOutput(STDOUT_FILENO);   // the debug port is the console unless bound otherwise
    for (SerialBinding b : opts.serial) {
        std::string error;
        if (!BindSerialPort(board, b, error)) {
            std::fprintf(stderr, "kv5100: --serial %d=%s: %s\n", b.port, b.spec.c_str(), error.c_str());
            g_window.Close();
            return 2;
        }
        if (!b.ptyName.empty()) std::fprintf(stderr, "kv5100: serial port %d is %s\n", b.port, b.ptyName.c_str());
    }
    if (!opts.scriptPath.empty()) {
        std::string error;
        if (!LoadScript(board, opts.scriptPath, error)) {
            std::fprintf(stderr, "kv5100: --script: %s\n", error.c_str());
            g_window.Close();
            return 2;
        }
    }
    for (int pin : opts.hold) board.gpio().HoldAtPowerOn(pin);
    board.PowerOn();
    int status = RunLoop(board);
    g_window.Close();
    for (int port = 0; port < 5; ++port)
        if (const uint32_t lost = board.serialLine(port).Lost())
            std::fprintf(stderr, "kv5100: serial port %d: %u bytes lost (its output was closed or not read)\n", port, lost);
    for (int port = 0; port < 5; ++port)
        if (const std::string report = LoaderReport(board.serialLine(port)); !report.empty())
            std::fprintf(stderr, "kv5100: serial port %d: %s\n", port, report.c_str());
    if (!opts.screenshotPath.empty()) {
        std::string error;
        if (!WriteScreenshotPng(board.display(), opts.screenshotPath.c_str(), error)) {
            std::fprintf(stderr, "kv5100: --screenshot: %s\n", error.c_str());
            if (status == 0) status = 1;
        }
    }
    return status;
}

// ---- the system log in flash --------------------------------------------------

constexpr uint32_t kLogSectors[2] = {60, 61};
constexpr uint32_t kRecordBytes = 64;
constexpr uint32_t kRecords = platform::kFlashSectorBytes / kRecordBytes;

static bool RecordErased(const uint8_t* r) {
    for (uint32_t i = 0; i < kRecordBytes; ++i)
        if (r[i] != 0xFF) return false;
    return true;
}

static bool SectorFull(const uint8_t* sector) { return !RecordErased(sector + (kRecords - 1) * kRecordBytes); }

static void PrintSector(const uint8_t* sector) {
    for (uint32_t i = 0; i < kRecords; ++i) {
        const uint8_t* r = sector + i * kRecordBytes;
        const void* end = std::memchr(r, 0, kRecordBytes);
        if (!end) continue;   // erased or unterminated
        std::fwrite(r, 1, static_cast<size_t>(static_cast<const uint8_t*>(end) - r), stdout);
    }
}

void PrintSyslog(Board& board) {
    uint8_t* flash = board.flash().Data();
    const uint8_t* s60 = flash + kLogSectors[0] * platform::kFlashSectorBytes;
    const uint8_t* s61 = flash + kLogSectors[1] * platform::kFlashSectorBytes;
    // The full sector holds the older records; with neither full, 60 came first.
    bool sixtyFirst = SectorFull(s60) || !SectorFull(s61);
    PrintSector(sixtyFirst ? s60 : s61);
    PrintSector(sixtyFirst ? s61 : s60);
    std::fflush(stdout);
}
