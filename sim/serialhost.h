// Host bindings of the board's serial ports: a pseudo-terminal, a file to
// replay (and one to record), a TCP listening socket, or nothing.
//
// The application runs in a child process and reads its ports at board-time
// points, so every binding ends in descriptors the child inherits: the
// device reads its input descriptor (non-blocking) one character time at a
// time and writes what it sends to its output descriptor. Bytes not yet
// taken stay in the kernel's pipe, pty or socket buffer, so they survive an
// application restart. A TCP port is relayed by a thread of the host process
// through a socket pair, so that a client can come and go across restarts.
#pragma once
#include <string>
#include "platform/board.h"

struct SerialBinding {
    int port = -1;
    std::string spec;       // pty | file:IN[,OUT] | tcp:PORT | loop | arinc-loader:CAPTURE[,OPTION...] | null
    std::string ptyName;    // filled for pty
};

// Checks "N=SPEC"; false with a message in `error`.
bool ParseSerialOption(const std::string& text, SerialBinding& out, std::string& error);
// The part after "arinc-loader:": CAPTURE, then options bare, silent,
// version=D, wait=MS (the first XON MS after "^"), xoff=N[:MS] (XOFF after
// N bytes, XON MS later) and end=N ("!" after N bytes).
bool ParseLoaderSpec(const std::string& text, std::string& capture, platform::LoaderOptions& options,
                     std::string& error);
// A summary of what the boot loader on a line saw, empty for other lines.
std::string LoaderReport(const platform::SerialLine& line);
// Binds the port's host line; false with a message in `error`.
bool BindSerialPort(platform::Board& board, SerialBinding& binding, std::string& error);
