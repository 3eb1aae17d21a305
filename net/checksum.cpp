#include "net/checksum.h"

namespace {

constexpr uint32_t kIpTotalLen = 2;
constexpr uint32_t kIpChecksum = 10;
constexpr uint32_t kIpSource = 12;      // then the destination at 16
constexpr uint32_t kUdpLength = 4;
constexpr uint32_t kUdpChecksum = 6;
constexpr uint32_t kTcpChecksum = 16;

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0] << 8 | p[1]); }

// Adds big-endian words of [p, p + n) to sum, skipping the word at `skip` (an even offset).
uint32_t AddWords(uint32_t sum, const uint8_t* p, uint32_t n, uint32_t skip) {
    for (uint32_t i = 0; i + 1 < n; i += 2) {
        if (i != skip) sum += Be16(p + i);
    }
    if (n & 1) sum += static_cast<uint32_t>(p[n - 1]) << 8;
    return sum;
}

uint16_t Fold(uint32_t sum) {
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

uint16_t TransportChecksum(uint8_t* ip, uint32_t length, uint32_t protocol, uint32_t checksumAt) {
    uint8_t* data = ip + 20;
    if (length & 1) data[length] = 0;   // the pad byte the sum covers
    uint32_t sum = AddWords(0, ip + kIpSource, 8, 8);   // source and destination
    sum += protocol + length;
    return Fold(AddWords(sum, data, length + (length & 1), checksumAt));
}

}  // namespace

uint16_t IpChecksum(const uint8_t* ip) {
    return Fold(AddWords(0, ip, (ip[0] & 0x0F) * 4u, kIpChecksum));
}

bool IpHeaderChecksumGood(const uint8_t* ip, uint32_t available) {
    const uint32_t header = (ip[0] & 0x0F) * 4u;
    if (header < 20 || header > available) return false;
    return IpChecksum(ip) == Be16(ip + kIpChecksum);
}

uint16_t UdpChecksum(uint8_t* ip) {
    uint32_t length = Be16(ip + 20 + kUdpLength);
    const uint32_t total = Be16(ip + kIpTotalLen);
    if (total >= 20 && length > total - 20) length = total - 20;
    return TransportChecksum(ip, length, 17, kUdpChecksum);
}

uint16_t TcpChecksum(uint8_t* ip, uint32_t tcpLength) {
    return TransportChecksum(ip, tcpLength, 6, kTcpChecksum);
}
