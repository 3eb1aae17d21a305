#include "sim/serialhost.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/ostimer.h"

static bool Count(const std::string& text, uint32_t& out) {
    char* end = nullptr;
    const unsigned long v = std::strtoul(text.c_str(), &end, 10);
    if (text.empty() || *end || v == 0 || v > 100000000ul) return false;
    out = static_cast<uint32_t>(v);
    return true;
}

bool ParseLoaderSpec(const std::string& text, std::string& capture, platform::LoaderOptions& options,
                     std::string& error) {
    size_t at = text.find(',');
    capture = text.substr(0, at);
    if (capture.empty()) {
        error = "arinc-loader needs a CAPTURE file";
        return false;
    }
    while (at != std::string::npos) {
        const size_t next = text.find(',', at + 1);
        const std::string o = text.substr(at + 1, next == std::string::npos ? std::string::npos : next - at - 1);
        at = next;
        uint32_t ms = 0;
        const size_t colon = o.find(':');
        if (o == "bare") options.crlf = false;
        else if (o == "silent") options.silent = true;
        else if (o.rfind("version=", 0) == 0 && o.size() == 9 && o[8] >= '0' && o[8] <= '9') options.version = o[8];
        else if (o.rfind("end=", 0) == 0 && Count(o.substr(4), options.endAt)) {
        } else if (o.rfind("wait=", 0) == 0 && Count(o.substr(5), ms)) {
            options.startTicks = ms * (platform::kOsTimerHz / 1000);
        } else if (o.rfind("xoff=", 0) == 0 && Count(o.substr(5, colon == std::string::npos ? colon : colon - 5), options.xoffAt) &&
                   (colon == std::string::npos || Count(o.substr(colon + 1), ms))) {
            if (ms != 0) options.pauseTicks = ms * (platform::kOsTimerHz / 1000);
        } else {
            error = "arinc-loader option " + o + ": bare, silent, version=D, wait=MS, xoff=N[:MS] or end=N";
            return false;
        }
    }
    return true;
}

bool ParseSerialOption(const std::string& text, SerialBinding& out, std::string& error) {
    const size_t eq = text.find('=');
    if (eq != 1 || text[0] < '0' || text[0] > '4') {
        error = "--serial takes N=SPEC with N 0..4, not " + text;
        return false;
    }
    out.port = text[0] - '0';
    out.spec = text.substr(2);
    const std::string& s = out.spec;
    if (s == "pty" || s == "null" || s == "loop" || (s.rfind("file:", 0) == 0 && s.size() > 5)) return true;
    if (s.rfind("arinc-loader:", 0) == 0) {
        platform::LoaderOptions options;
        std::string capture;
        return ParseLoaderSpec(s.substr(13), capture, options, error);
    }
    if (s.rfind("tcp:", 0) == 0) {
        char* end = nullptr;
        long p = std::strtol(s.c_str() + 4, &end, 10);
        if (end != s.c_str() + 4 && !*end && p > 0 && p < 65536) return true;
    }
    error = "--serial " + text + ": SPEC is pty, file:IN[,OUT], tcp:PORT, loop, arinc-loader:CAPTURE[,OPTION...] or null";
    return false;
}

static bool NonBlocking(int fd) {
    int flags = fcntl(fd, F_GETFL);
    return flags >= 0 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0;
}

static bool Fail(std::string& error, const std::string& what) {
    error = what + ": " + std::strerror(errno);
    return false;
}

static bool BindPty(platform::SerialLine& line, SerialBinding& b, std::string& error) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return Fail(error, "pty");
    const char* name = ptsname(master);
    if (!name) return Fail(error, "pty");
    b.ptyName = name;
    // Held open by the host, so the line stays up while tools come and go.
    int slave = open(name, O_RDWR | O_NOCTTY);
    if (slave < 0) return Fail(error, b.ptyName);
    termios tio{};
    if (tcgetattr(slave, &tio) == 0) {
        cfmakeraw(&tio);
        tcsetattr(slave, TCSANOW, &tio);
    }
    NonBlocking(master);
    line.BindInput(master);
    line.BindOutput(master);
    return true;
}

static bool BindFiles(platform::SerialLine& line, const std::string& files, std::string& error) {
    const size_t comma = files.find(',');
    const std::string in = files.substr(0, comma);
    int fd = open(in.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return Fail(error, in);
    line.BindInput(fd);
    if (comma != std::string::npos) {
        const std::string out = files.substr(comma + 1);
        int ofd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (ofd < 0) return Fail(error, out);
        line.BindOutput(ofd);
    }
    return true;
}

// Moves bytes between one TCP client at a time and the board's end of a socket pair.
static void RelayTcp(int listener, int inner) {
    int client = -1;
    char buf[4096];
    for (;;) {
        pollfd fds[2] = {{inner, POLLIN, 0}, {client >= 0 ? client : listener, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents & POLLIN) {
            ssize_t n = read(inner, buf, sizeof buf);
            if (n <= 0) return;
            // Without a client the line is unplugged: what the unit sends is lost.
            if (client >= 0 && send(client, buf, static_cast<size_t>(n), MSG_NOSIGNAL) < 0) {
                close(client);
                client = -1;
            }
        }
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            if (client < 0) {
                client = accept(listener, nullptr, nullptr);
                continue;
            }
            ssize_t n = read(client, buf, sizeof buf);
            if (n <= 0) {
                close(client);
                client = -1;
                continue;
            }
            for (ssize_t off = 0; off < n;) {
                ssize_t w = write(inner, buf + off, static_cast<size_t>(n - off));
                if (w <= 0) break;
                off += w;
            }
        }
    }
}

static bool BindTcp(platform::SerialLine& line, int tcpPort, std::string& error) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0) return Fail(error, "tcp socket");
    int one = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(tcpPort));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 1) != 0)
        return Fail(error, "tcp:" + std::to_string(tcpPort));
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) return Fail(error, "socketpair");
    NonBlocking(pair[0]);
    line.BindInput(pair[0]);
    line.BindOutput(pair[0]);
    std::thread(RelayTcp, listener, pair[1]).detach();
    return true;
}

static bool BindLoader(platform::SerialLine& line, const std::string& spec, std::string& error) {
    platform::LoaderOptions options;
    std::string capture;
    if (!ParseLoaderSpec(spec, capture, options, error)) return false;
    int fd = open(capture.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return Fail(error, capture);
    line.peer().SetArincLoader(options, fd);
    return true;
}

bool BindSerialPort(platform::Board& board, SerialBinding& b, std::string& error) {
    if (b.port < 0 || b.port > 4) {
        error = "serial port out of range";
        return false;
    }
    platform::SerialLine& line = board.serialLine(b.port);
    line.BindInput(-1);
    line.BindOutput(-1);
    line.peer().Clear();
    bool ok = true;
    if (b.spec == "pty") ok = BindPty(line, b, error);
    else if (b.spec == "loop") line.peer().SetLoop();
    else if (b.spec.rfind("arinc-loader:", 0) == 0) ok = BindLoader(line, b.spec.substr(13), error);
    else if (b.spec.rfind("file:", 0) == 0) ok = BindFiles(line, b.spec.substr(5), error);
    else if (b.spec.rfind("tcp:", 0) == 0) ok = BindTcp(line, std::atoi(b.spec.c_str() + 4), error);
    if (ok) board.SerialInput(b.port, nullptr, 0);   // start reading the new input at the port's pace
    return ok;
}

std::string LoaderReport(const platform::SerialLine& line) {
    if (line.peer().kind() != platform::SerialPeer::Kind::kArincLoader) return "";
    const platform::LoaderStats& st = line.peer().stats();
    char text[256];
    std::snprintf(text, sizeof text,
                  "arinc-loader: %s, %u bytes after ^, %u records, %u bad, end record %s, %u bytes under XOFF, "
                  "shortest gap %llu ticks",
                  st.started ? "started" : "not started", st.bytes, st.records, st.badRecords,
                  st.endRecord ? "seen" : "not seen", st.underXoff, static_cast<unsigned long long>(st.shortestGap));
    return text;
}
