// Runs a host command for a test and keeps its exit status and output.
#pragma once
#include <string>

struct CommandResult {
    int status;        // exit status, -1 when it did not exit normally
    std::string out;   // standard output (add "2>&1" to the command for both)
};

CommandResult RunCommand(const std::string& command);

// The kv5100 program with these arguments, standard error included.
CommandResult RunKv5100(const std::string& args);

// The whole of a host file, empty when it cannot be read.
std::string ReadHostFile(const std::string& path);

// The pseudo-terminal kv5100 names for serial port N in its console output
// (the file its output goes to), opened for writing in raw mode; -1 when it
// is not named within 5 s.
int OpenUnitPty(const std::string& consoleFile, int port);

// Two neighbouring UDP ports of 127.0.0.1 (returns the lower) that nothing
// has bound now: test runs started together must not share a wire.
int FreeUdpPortPair();
