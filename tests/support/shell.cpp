#include "support/shell.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

CommandResult RunCommand(const std::string& command) {
    CommandResult r{-1, {}};
    FILE* p = popen(command.c_str(), "r");
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int ws = pclose(p);
    r.status = WIFEXITED(ws) ? WEXITSTATUS(ws) : -1;
    return r;
}

CommandResult RunKv5100(const std::string& args) {
    return RunCommand(std::string(KV5100_PATH) + " " + args + " 2>&1");
}

std::string ReadHostFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream s;
    s << f.rdbuf();
    return s.str();
}

int OpenUnitPty(const std::string& consoleFile, int port) {
    const std::string key = "serial port " + std::to_string(port) + " is ";
    std::string pts;
    for (int i = 0; i < 100 && pts.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::ifstream in(consoleFile);
        std::stringstream s;
        s << in.rdbuf();
        const std::string text = s.str();
        const size_t at = text.find(key);
        const size_t end = at == std::string::npos ? at : text.find('\n', at);
        if (end != std::string::npos) pts = text.substr(at + key.size(), end - at - key.size());
    }
    if (pts.empty()) return -1;
    const int fd = open(pts.c_str(), O_WRONLY | O_NOCTTY);
    if (fd < 0) return -1;
    termios tio{};
    tcgetattr(fd, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

static bool UdpPortFree(int port) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

int FreeUdpPortPair() {
    // Start from the process's own pair, so that runs started together begin apart.
    const int first = 30000 + 2 * static_cast<int>(getpid() % 10000);
    for (int i = 0; i < 10000; ++i) {
        const int port = 30000 + (first - 30000 + 2 * i) % 20000;
        if (UdpPortFree(port) && UdpPortFree(port + 1)) return port;
    }
    return first;
}
