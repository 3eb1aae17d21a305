// The boot monitor's own small network for TFTP (RFC 1350): ARP, IPv4 and
// UDP enough for its client ("tftp -F NAME HOST get NAME ADDR") and for the
// server that function 61 runs, apart from the application's stack. It sends
// from the monitor's own addresses (ETHERADD, IPADD) and reaches the wire
// through a MonNetLink: the Ethernet chip's model on the board, or a test's
// peer.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace platform {

struct MonNetAddr {
    uint8_t mac[6];
    uint8_t ip[4];
};

// "aa:bb:cc:dd:ee:ff" and "a.b.c.d"; false when the text is not one.
bool ParseMac(const char* text, uint8_t mac[6]);
bool ParseIp(const char* text, uint8_t ip[4]);

class MonNetLink {
public:
    virtual ~MonNetLink() = default;
    virtual void     Send(const uint8_t* frame, int len) = 0;
    virtual int      Receive(uint8_t* frame, int max) = 0;   // 0 when nothing waits
    virtual uint64_t NowMs() = 0;
    virtual void     Pause() = 0;                            // about a millisecond passes
};

constexpr int      kTftpPort      = 69;
constexpr int      kTftpBlock     = 512;
constexpr uint64_t kTftpTimeoutMs = 1000;   // between sends of one packet
constexpr int      kTftpSends     = 6;      // sends of one packet before giving up
constexpr uint32_t kTftpMaxFile   = 8u << 20;   // more than TFS holds

// Reads `remote` from `server` in octet mode into `out` (whole, or false
// with `error` said).
bool TftpGet(MonNetLink& link, const MonNetAddr& self, const uint8_t server[4], const char* remote,
             std::vector<uint8_t>& out, std::string& error);

// The files the server offers: false when there is no such file.
using TftpFileReader = std::function<bool(const char* name, std::vector<uint8_t>& data)>;

// Answers, at each Poll, what waits on the wire: ARP for its own address,
// read requests (octet or netascii) and acknowledgements; and sends again
// what was not acknowledged in time. Writes are refused.
class TftpServer {
public:
    void Poll(MonNetLink& link, const MonNetAddr& self, const TftpFileReader& read);
    int  Active() const;

private:
    struct Session {
        bool     open = false;
        uint8_t  mac[6]{}, ip[4]{};
        uint16_t port = 0;       // the client's transfer id
        uint16_t own = 0;        // ours
        uint32_t block = 0;      // the block sent and not yet acknowledged (1 = first)
        int      sends = 0;
        uint64_t sentAt = 0;
        std::vector<uint8_t> data;
    };
    static constexpr int kSessions = 4;
    void Request(MonNetLink& link, const MonNetAddr& self, const uint8_t* frame, const uint8_t* udp, int len,
                 const TftpFileReader& read);
    void Acknowledged(MonNetLink& link, const MonNetAddr& self, Session& s, const uint8_t* payload, int len);
    void SendBlock(MonNetLink& link, const MonNetAddr& self, Session& s);
    Session sessions_[kSessions];
    uint16_t nextPort_ = 0;
};

}  // namespace platform
