// One's-complement checksums of the IPv4 header and of UDP and TCP with the
// IPv4 pseudo-header. Each gives the value for the checksum field (host
// order of the big-endian field), computed as if the field were zero.
#pragma once
#include <cstdint>

// The IPv4 header at `ip`, its length from its first byte.
uint16_t IpChecksum(const uint8_t* ip);
// True when the header fits in `available` bytes and its checksum field is right.
bool     IpHeaderChecksumGood(const uint8_t* ip, uint32_t available);
// The UDP datagram behind a 20-byte IP header; its length from the UDP header,
// bounded by the IP payload. An odd length gets a zero byte written behind the data.
uint16_t UdpChecksum(uint8_t* ip);
// The TCP segment of `tcpLength` bytes behind a 20-byte IP header; odd as above.
uint16_t TcpChecksum(uint8_t* ip, uint32_t tcpLength);
