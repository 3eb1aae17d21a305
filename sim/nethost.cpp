#include "sim/nethost.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

bool Port(const std::string& text, int& port) {
    char* end = nullptr;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end || v < 1 || v > 65535) return false;
    port = static_cast<int>(v);
    return true;
}

bool ParseUdp(const std::string& spec, int& local, int& peer) {
    const size_t colon = spec.find(':', 4);
    return colon != std::string::npos && Port(spec.substr(4, colon - 4), local) && Port(spec.substr(colon + 1), peer);
}

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

int OpenUdp(int local, int peer, std::string& error) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    if (fd < 0) return error = std::strerror(errno), -1;
    sockaddr_in me = Loopback(local), other = Loopback(peer);
    if (bind(fd, reinterpret_cast<sockaddr*>(&me), sizeof me) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&other), sizeof other) != 0) {
        error = std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

int OpenTap(const std::string& name, std::string& error) {
    if (name.empty() || name.size() >= IFNAMSIZ) return error = "interface name empty or too long", -1;
    const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK);
    if (fd < 0) return error = std::string("/dev/net/tun: ") + std::strerror(errno), -1;
    ifreq ifr{};
    ifr.ifr_flags = IFF_TAP | IFF_NO_PI;
    std::memcpy(ifr.ifr_name, name.c_str(), name.size());
    if (ioctl(fd, TUNSETIFF, &ifr) != 0) {
        error = std::strerror(errno);
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

bool ValidNetSpec(const std::string& spec, std::string& error) {
    int local = 0, peer = 0;
    if (spec.rfind("udp:", 0) == 0 && ParseUdp(spec, local, peer)) return true;
    if (spec.rfind("tap:", 0) == 0 && spec.size() > 4 && spec.size() - 4 < IFNAMSIZ) return true;
    error = "--net takes udp:LOCAL_PORT:PEER_PORT or tap:IFNAME, not " + spec;
    return false;
}

bool BindNetwork(platform::Board& board, const std::string& spec, std::string& error) {
    int local = 0, peer = 0, fd = -1;
    platform::Cs8900::HostKind kind = platform::Cs8900::HostKind::Datagram;
    if (spec.rfind("udp:", 0) == 0 && ParseUdp(spec, local, peer)) {
        fd = OpenUdp(local, peer, error);
    } else if (spec.rfind("tap:", 0) == 0) {
        fd = OpenTap(spec.substr(4), error);
        kind = platform::Cs8900::HostKind::Tap;
    } else {
        error = "not udp:LOCAL_PORT:PEER_PORT or tap:IFNAME";
    }
    if (fd < 0) return false;
    board.cs8900().BindHost(fd, kind);
    return true;
}
