// A TCP segment as a peer on the Ethernet wire sends it, built from RFC 791
// and RFC 793 with the checksums written out here, apart from the firmware's.
#pragma once
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/inet_sum.h"

namespace tcp_peer {

struct Ends {
    const uint8_t* dstMac;
    const uint8_t* srcMac;
    const uint8_t* srcIp;
    const uint8_t* dstIp;
    uint16_t srcPort, dstPort;
};

inline void Put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Ethernet, IPv4 (20 bytes) and TCP (20 bytes, window 64240) around `data`.
inline std::vector<uint8_t> Segment(const Ends& e, uint8_t flags, uint32_t seq, uint32_t ack,
                                    const std::vector<uint8_t>& data = {}) {
    std::vector<uint8_t> f(54 + data.size(), 0);
    std::memcpy(f.data(), e.dstMac, 6);
    std::memcpy(f.data() + 6, e.srcMac, 6);
    f[12] = 0x08;
    uint8_t* ip = f.data() + 14;
    ip[0] = 0x45;
    Put16(ip + 2, 40 + static_cast<uint32_t>(data.size()));
    ip[8] = 64;
    ip[9] = 6;
    std::memcpy(ip + 12, e.srcIp, 4);
    std::memcpy(ip + 16, e.dstIp, 4);
    Put16(ip + 10, Fold(Sum16(ip, 20)));
    uint8_t* tcp = ip + 20;
    Put16(tcp, e.srcPort);
    Put16(tcp + 2, e.dstPort);
    Put16(tcp + 4, seq >> 16);
    Put16(tcp + 6, seq);
    Put16(tcp + 8, ack >> 16);
    Put16(tcp + 10, ack);
    tcp[12] = 0x50;
    tcp[13] = flags;
    Put16(tcp + 14, 64240);
    if (!data.empty()) std::memcpy(tcp + 20, data.data(), data.size());
    const uint32_t len = 20 + static_cast<uint32_t>(data.size());
    Put16(tcp + 16, Fold(Sum16(tcp, len, Sum16(ip + 12, 8) + 6 + len)));
    return f;
}

}  // namespace tcp_peer
