// The kv5100 host program: options, the run of the unit, the system log reader.
#pragma once
#include <cstdint>
#include <string>
#include <utility>
#include <vector>
#include "platform/board.h"

struct HostOptions {
    std::string flashPath;
    std::string sdPath;            // empty: no card in the slot
    platform::TimeMode timeMode = platform::TimeMode::Virtual;
    double runForSeconds = 0;      // 0: until stopped
    bool printSyslog = false;
    std::vector<std::pair<std::string, std::string>> env;
};

// Parses the command line; false with a message in `error` for bad options.
bool ParseOptions(int argc, char** argv, HostOptions& opts, std::string& error);
// Runs the unit until power-off or the run's end; returns the exit status.
int RunUnit(platform::Board& board, const HostOptions& opts);
// Prints the system log kept in flash, oldest record first.
void PrintSyslog(platform::Board& board);
