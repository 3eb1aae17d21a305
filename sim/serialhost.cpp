#include "sim/serialhost.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <thread>

bool ParseSerialOption(const std::string& text, SerialBinding& out, std::string& error) {
    const size_t eq = text.find('=');
    if (eq != 1 || text[0] < '0' || text[0] > '4') {
        error = "--serial takes N=SPEC with N 0..4, not " + text;
        return false;
    }
    out.port = text[0] - '0';
    out.spec = text.substr(2);
    const std::string& s = out.spec;
    if (s == "pty" || s == "null" || (s.rfind("file:", 0) == 0 && s.size() > 5)) return true;
    if (s.rfind("tcp:", 0) == 0) {
        char* end = nullptr;
        long p = std::strtol(s.c_str() + 4, &end, 10);
        if (end != s.c_str() + 4 && !*end && p > 0 && p < 65536) return true;
    }
    error = "--serial " + text + ": SPEC is pty, file:IN[,OUT], tcp:PORT or null";
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

bool BindSerialPort(platform::Board& board, SerialBinding& b, std::string& error) {
    if (b.port < 0 || b.port > 4) {
        error = "serial port out of range";
        return false;
    }
    platform::SerialLine& line = board.serialLine(b.port);
    line.BindInput(-1);
    line.BindOutput(-1);
    bool ok = true;
    if (b.spec == "pty") ok = BindPty(line, b, error);
    else if (b.spec.rfind("file:", 0) == 0) ok = BindFiles(line, b.spec.substr(5), error);
    else if (b.spec.rfind("tcp:", 0) == 0) ok = BindTcp(line, std::atoi(b.spec.c_str() + 4), error);
    if (ok) board.SerialInput(b.port, nullptr, 0);   // start reading the new input at the port's pace
    return ok;
}
