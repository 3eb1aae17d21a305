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
    std::string spec;       // pty | file:IN[,OUT] | tcp:PORT | null
    std::string ptyName;    // filled for pty
};

// Checks "N=SPEC"; false with a message in `error`.
bool ParseSerialOption(const std::string& text, SerialBinding& out, std::string& error);
// Binds the port's host line; false with a message in `error`.
bool BindSerialPort(platform::Board& board, SerialBinding& binding, std::string& error);
