// The kv5100 host program: options, the run of the unit, the system log reader.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include "platform/board.h"
#include "sim/serialhost.h"

struct HostOptions {
    std::string flashPath;
    std::string sdPath;            // empty: no card in the slot
    bool sdWriteProtect = false;   // --sd-write-protect: the card's lock switch set
    platform::TimeMode timeMode = platform::TimeMode::Virtual;
    double runForSeconds = 0;      // 0: until stopped
    bool timeGiven = false;        // --time given: a window does not change it
    // --clock: the clock chip's time when its file is created.
    int64_t clockStart = platform::RtcChip::kHostClock;
    bool clockGiven = false;
    bool printSyslog = false;
    bool headless = false;         // no window even when one could open
    bool demo = false;             // a new flash gets the factory demonstration configuration
    std::string screenshotPath;    // PNG of the shown page at the end of the run
    std::string audioPath;         // WAV file of the codec's output; empty: none
    std::vector<std::pair<std::string, std::string>> env;
    std::vector<std::pair<std::string, std::string>> tfs;   // --tfs NAME=FILE: files put into TFS
    std::vector<std::pair<std::string, std::string>> tfsOut;   // --tfs-out NAME=FILE: copied out after the run
    std::string scriptPath;        // --script: timed input events
    std::vector<int> hold;         // GPIO pins of buttons held at power-on
    std::vector<SerialBinding> serial;
    std::string netSpec;           // --net: udp:LOCAL:PEER or tap:IFNAME
    std::vector<std::string> monitorCommands;   // --monitor-command: run before power-on
};

// Parses the command line; false with a message in `error` for bad options.
bool ParseOptions(int argc, char** argv, HostOptions& opts, std::string& error);
// Opens the window unless --headless or no display; a window runs in real
// time unless --time says otherwise.
bool OpenHostWindow(HostOptions& opts);
// Writes the factory demonstration SYSTEM.KVD into the board's TFS.
bool WriteDemoConfig(platform::Board& board);
// The demonstration AIRCRAFT.KVD and its picture AIRCRAFT.KVB.
bool WriteDemoAircraft(platform::Board& board);
// Puts each --tfs host file into the board's TFS, replacing a file of that
// name; false with a message naming the file.
bool WriteTfsFiles(platform::Board& board, const HostOptions& opts, std::string& error);
// Copies each --tfs-out file of the board's TFS to its host file after the
// run; false with a message naming the file.
bool ReadTfsFiles(platform::Board& board, const HostOptions& opts, std::string& error);
// Runs each --monitor-command line in the boot monitor before power-on;
// false with a message for a line the monitor refuses.
bool RunMonitorCommands(platform::Board& board, const HostOptions& opts, std::string& error);
// SIGINT and SIGTERM end the run as a power-off does.
void InstallStopSignals();
// Runs the unit until power-off or the run's end; returns the exit status.
int RunUnit(platform::Board& board, const HostOptions& opts);
// Prints the system log kept in flash, oldest record first.
void PrintSyslog(platform::Board& board);
