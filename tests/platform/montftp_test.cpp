// The monitor's TFTP client and server against peers written here from
// RFC 1350 (and RFC 826 for ARP), on a wire in the test: lost packets,
// error packets and files of whole blocks.
#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/montftp.h"

using platform::MonNetAddr;
using Bytes = std::vector<uint8_t>;

namespace {

const MonNetAddr kMonitor = {{0x02, 0, 0, 0, 0, 0xAF}, {192, 168, 0, 175}};
const uint8_t kPeerMac[6] = {0x02, 0, 0, 0, 0, 0x70};
const uint8_t kPeerIp[4] = {192, 168, 0, 70};

uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void Put16(Bytes& b, size_t at, uint32_t v) {
    b[at] = static_cast<uint8_t>(v >> 8);
    b[at + 1] = static_cast<uint8_t>(v);
}
uint16_t Checksum(const uint8_t* p, size_t n, uint32_t sum) {
    for (size_t i = 0; i < n; i += 2) sum += static_cast<uint32_t>(p[i] << 8 | (i + 1 < n ? p[i + 1] : 0));
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

// A UDP datagram as it stands in a frame.
struct Datagram {
    uint16_t from = 0, to = 0;
    Bytes payload;
};

Bytes UdpFrame(uint16_t from, uint16_t to, const Bytes& payload) {
    Bytes f(42 + payload.size(), 0);
    std::memcpy(&f[0], kMonitor.mac, 6);
    std::memcpy(&f[6], kPeerMac, 6);
    Put16(f, 12, 0x0800);
    f[14] = 0x45;
    Put16(f, 16, static_cast<uint32_t>(28 + payload.size()));
    f[22] = 64;
    f[23] = 17;
    std::memcpy(&f[26], kPeerIp, 4);
    std::memcpy(&f[30], kMonitor.ip, 4);
    Put16(f, 24, Checksum(&f[14], 20, 0));
    Put16(f, 34, from);
    Put16(f, 36, to);
    Put16(f, 38, static_cast<uint32_t>(8 + payload.size()));
    std::copy(payload.begin(), payload.end(), f.begin() + 42);
    uint32_t pseudo = 17 + static_cast<uint32_t>(8 + payload.size());
    for (int i = 0; i < 8; i += 2) pseudo += static_cast<uint32_t>(f[26 + i] << 8 | f[27 + i]);
    Put16(f, 40, Checksum(&f[34], 8 + payload.size(), pseudo));
    return f;
}

// An ARP packet (RFC 826) from the peer: 1 request, 2 reply.
Bytes ArpFrame(uint16_t op, const uint8_t* to, const uint8_t* targetMac, const uint8_t* targetIp) {
    Bytes r(42, 0);
    std::memcpy(&r[0], to, 6);
    std::memcpy(&r[6], kPeerMac, 6);
    Put16(r, 12, 0x0806);
    Put16(r, 14, 1);
    Put16(r, 16, 0x0800);
    r[18] = 6;
    r[19] = 4;
    Put16(r, 20, op);
    std::memcpy(&r[22], kPeerMac, 6);
    std::memcpy(&r[28], kPeerIp, 4);
    std::memcpy(&r[32], targetMac, 6);
    std::memcpy(&r[38], targetIp, 4);
    return r;
}

// The monitor's frames must be well formed: checked here with the RFCs' sums.
bool ParseUdp(const Bytes& f, Datagram& d) {
    if (f.size() < 42 || Get16(&f[12]) != 0x0800) return false;
    EXPECT_EQ(f[14], 0x45);
    EXPECT_EQ(Checksum(&f[14], 20, 0), 0) << "IP header checksum";
    EXPECT_EQ(0, std::memcmp(&f[6], kMonitor.mac, 6)) << "sent from ETHERADD";
    EXPECT_EQ(0, std::memcmp(&f[26], kMonitor.ip, 4)) << "sent from IPADD";
    const size_t ulen = Get16(&f[38]);
    uint32_t pseudo = 17 + static_cast<uint32_t>(ulen);
    for (int i = 0; i < 8; i += 2) pseudo += static_cast<uint32_t>(f[26 + i] << 8 | f[27 + i]);
    EXPECT_EQ(Checksum(&f[34], ulen, pseudo), 0) << "UDP checksum";
    d.from = Get16(&f[34]);
    d.to = Get16(&f[36]);
    d.payload.assign(f.begin() + 42, f.begin() + static_cast<long>(34 + ulen));
    return true;
}

Bytes Packet(uint16_t op, uint16_t n, const Bytes& rest = {}) {
    Bytes p(4, 0);
    Put16(p, 0, op);
    Put16(p, 2, n);
    for (const uint8_t b : rest) p.push_back(b);   // the release compiler's bounds warning stays quiet
    return p;
}
Bytes operator+(Bytes a, const Bytes& b) {
    for (const uint8_t x : b) a.push_back(x);
    return a;
}
Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }
Bytes Pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + i / 256);
    return b;
}

// The wire and the clock; the peer answers each frame the monitor sends and
// acts on each millisecond that passes.
class Wire : public platform::MonNetLink {
public:
    struct Peer {
        virtual ~Peer() = default;
        virtual void Frame(Wire& w, const Bytes& f) = 0;
        virtual void Tick(Wire&) {}
    };
    explicit Wire(Peer& peer) : peer_(peer) {}
    void Send(const uint8_t* frame, int len) override { peer_.Frame(*this, Bytes(frame, frame + len)); }
    int Receive(uint8_t* frame, int max) override {
        if (in_.empty()) return 0;
        const Bytes f = in_.front();
        in_.pop_front();
        const int n = static_cast<int>(f.size()) < max ? static_cast<int>(f.size()) : max;
        std::memcpy(frame, f.data(), static_cast<size_t>(n));
        return n;
    }
    uint64_t NowMs() override { return now_; }
    void Pause() override {
        ++now_;
        peer_.Tick(*this);
    }
    void ToMonitor(const Bytes& f) { in_.push_back(f); }
    void ArpAnswer(const Bytes& f) {
        // A request for the peer's address gets its reply.
        if (f.size() < 42 || Get16(&f[12]) != 0x0806 || Get16(&f[20]) != 1 || std::memcmp(&f[38], kPeerIp, 4) != 0)
            return;
        ToMonitor(ArpFrame(2, &f[6], &f[22], &f[28]));
    }
    uint64_t now_ = 0;

private:
    Peer& peer_;
    std::deque<Bytes> in_;
};

// A read-only TFTP server: DATA from port 3000, sent again after 500 ms
// without its ACK; blocks in `drop` are lost on their first sending.
struct ServerPeer : Wire::Peer {
    std::map<std::string, Bytes> files;
    std::set<int> drop;
    std::map<int, int> sends;      // DATA sends per block
    uint16_t client = 0;
    int block = 0;
    bool done = false;
    Bytes data;
    uint64_t sentAt = 0;

    void SendData(Wire& w) {
        const size_t from = static_cast<size_t>(block - 1) * 512;
        const size_t n = std::min<size_t>(512, data.size() - from);
        sentAt = w.now_;
        if (sends[block]++ == 0 && drop.count(block)) return;
        w.ToMonitor(UdpFrame(3000, client, Packet(3, static_cast<uint16_t>(block),
                                                   Bytes(data.begin() + static_cast<long>(from),
                                                         data.begin() + static_cast<long>(from + n)))));
    }
    void Frame(Wire& w, const Bytes& f) override {
        w.ArpAnswer(f);
        Datagram d;
        if (!ParseUdp(f, d) || d.payload.size() < 4) return;
        const uint16_t op = Get16(&d.payload[0]);
        if (op == 1 && d.to == 69) {
            const std::string name(reinterpret_cast<const char*>(&d.payload[2]));
            EXPECT_EQ(std::string(reinterpret_cast<const char*>(&d.payload[3 + name.size()])), "octet");
            client = d.from;
            if (!files.count(name)) {
                w.ToMonitor(UdpFrame(3000, client, Packet(5, 1, Text("File not found") + Bytes{0})));
                return;
            }
            data = files[name];
            block = 1;
            SendData(w);
        } else if (op == 4 && d.to == 3000 && Get16(&d.payload[2]) == block && !done) {
            if (static_cast<size_t>(block) * 512 > data.size()) done = true;
            else ++block, SendData(w);
        }
    }
    void Tick(Wire& w) override {
        if (block && !done && w.now_ - sentAt >= 500) SendData(w);
    }
};

TEST(MonitorTftpClient, FetchesWholeFiles) {
    struct Case { const char* name; size_t size; std::set<int> drop; int block2Sends; };
    const Case cases[] = {
        {"short file, one block", 300, {}, 0},
        {"two blocks and a short one", 1300, {}, 1},
        {"exact multiple of 512: a final empty block", 1024, {}, 1},
        {"empty file", 0, {}, 0},
        {"a lost data block is sent again", 1300, {2}, 2},
        {"the last block lost", 1024, {3}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServerPeer peer;
        peer.files["ENGINE.KVD"] = Pattern(c.size);
        peer.drop = c.drop;
        Wire wire(peer);
        Bytes out;
        std::string error;
        ASSERT_TRUE(platform::TftpGet(wire, kMonitor, kPeerIp, "ENGINE.KVD", out, error)) << error;
        EXPECT_EQ(out, Pattern(c.size));
        EXPECT_TRUE(peer.done) << "the last block was acknowledged";
        EXPECT_EQ(peer.sends[2], c.block2Sends);
        EXPECT_EQ(peer.sends[static_cast<int>(c.size / 512) + 2], 0) << "nothing past the last block";
    }
}

TEST(MonitorTftpClient, FailuresGiveNothing) {
    // The server's error packet: the file is missing.
    ServerPeer peer;
    peer.files["TANKS.KVC"] = Pattern(700);
    Wire wire(peer);
    Bytes out = {1, 2, 3};
    std::string error;
    EXPECT_FALSE(platform::TftpGet(wire, kMonitor, kPeerIp, "AOA.KVC", out, error));
    EXPECT_NE(error.find("File not found"), std::string::npos) << error;
    EXPECT_TRUE(out.empty());

    // A server that stops sending halfway: given up after the resends.
    ServerPeer gone;
    gone.files["TANKS.KVC"] = Pattern(2000);
    gone.drop = {3};
    struct Silent : Wire::Peer {
        ServerPeer& inner;
        explicit Silent(ServerPeer& s) : inner(s) {}
        void Frame(Wire& w, const Bytes& f) override { inner.Frame(w, f); }
    } silent(gone);   // no resends from the server: block 3 never comes
    Wire quiet(silent);
    EXPECT_FALSE(platform::TftpGet(quiet, kMonitor, kPeerIp, "TANKS.KVC", out, error));
    EXPECT_EQ(error, "timed out");
    EXPECT_TRUE(out.empty());
    EXPECT_GE(quiet.now_, 5000u) << "the acknowledgement was sent again before giving up";
    EXPECT_LT(quiet.now_, 10000u);

    // Nobody on the wire at all.
    struct Nobody : Wire::Peer {
        void Frame(Wire&, const Bytes&) override {}
    } nobody;
    Wire empty(nobody);
    EXPECT_FALSE(platform::TftpGet(empty, kMonitor, kPeerIp, "TANKS.KVC", out, error));
    EXPECT_EQ(error, "no answer to ARP");
}

// A TFTP client peer against the monitor's server, which is polled every
// millisecond as the waiting application calls function 61.
struct ClientPeer : Wire::Peer {
    Bytes got;
    std::vector<Datagram> seen;
    uint16_t server = 0;
    std::set<int> loseAcks;        // acknowledgements lost once
    int silentFrom = 0;            // from this block on nothing is acknowledged
    std::map<int, int> dataSeen;
    bool arpAnswered = false;
    void Frame(Wire& w, const Bytes& f) override {
        if (f.size() >= 42 && Get16(&f[12]) == 0x0806) {
            arpAnswered = Get16(&f[20]) == 2 && std::memcmp(&f[28], kMonitor.ip, 4) == 0 &&
                          std::memcmp(&f[22], kMonitor.mac, 6) == 0;
            return;
        }
        Datagram d;
        if (!ParseUdp(f, d) || d.to != 1234) return;
        seen.push_back(d);
        if (Get16(&d.payload[0]) != 3) return;
        const int block = Get16(&d.payload[2]);
        if (dataSeen[block]++ == 0) got.insert(got.end(), d.payload.begin() + 4, d.payload.end());
        server = d.from;
        if ((dataSeen[block] == 1 && loseAcks.count(block)) || (silentFrom && block >= silentFrom)) return;
        w.ToMonitor(UdpFrame(1234, server, Packet(4, static_cast<uint16_t>(block))));
    }
};

Bytes Rrq(const std::string& name, const std::string& mode) {
    Bytes p = {0, 1};
    return p + Text(name) + Bytes{0} + Text(mode) + Bytes{0};
}

void Serve(platform::TftpServer& server, Wire& wire, const std::map<std::string, Bytes>& files, int ms) {
    auto read = [&files](const char* name, Bytes& data) {
        auto it = files.find(name);
        if (it == files.end()) return false;
        data = it->second;
        return true;
    };
    for (int i = 0; i < ms; ++i) {
        server.Poll(wire, kMonitor, read);
        wire.Pause();
    }
}

TEST(MonitorTftpServer, ServesTfsFiles) {
    const std::map<std::string, Bytes> files = {{"ENGINE.KVD", Pattern(1024)}, {"AOA.KVC", Text("A\nB\rC\n")}};
    struct Case { const char* name; std::string file, mode; std::set<int> loseAcks; Bytes expect; int block2Sends; };
    const Case cases[] = {
        {"octet, two full blocks and an empty one", "ENGINE.KVD", "octet", {}, Pattern(1024), 1},
        {"a lost acknowledgement: the block goes again", "ENGINE.KVD", "OCTET", {2}, Pattern(1024), 2},
        {"netascii lines", "AOA.KVC", "netascii", {}, Text("A\r\nB\r") + Bytes{0} + Text("C\r\n"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClientPeer peer;
        peer.loseAcks = c.loseAcks;
        Wire wire(peer);
        platform::TftpServer server;
        wire.ToMonitor(UdpFrame(1234, 69, Rrq(c.file, c.mode)));
        Serve(server, wire, files, 3000);
        EXPECT_EQ(peer.got, c.expect);
        EXPECT_EQ(peer.dataSeen[2], c.block2Sends);
        EXPECT_NE(peer.server, 69) << "answers come from a transfer id of their own";
        EXPECT_EQ(server.Active(), 0) << "the transfer ended with the last acknowledgement";
    }
}

TEST(MonitorTftpServer, RefusalsAndArp) {
    const std::map<std::string, Bytes> files = {{"TANKS.KVC", Pattern(600)}};
    struct Case { const char* name; Bytes request; uint16_t code; };
    const Case cases[] = {
        {"missing file", Rrq("NOPE.KVD", "octet"), 1},
        {"write request", Bytes{0, 2} + Text("TANKS.KVC") + Bytes{0} + Text("octet") + Bytes{0}, 4},
        {"mail mode", Rrq("TANKS.KVC", "mail"), 4},
        {"name without its end", Bytes{0, 1} + Text("TANKS.KVC"), 4},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClientPeer peer;
        Wire wire(peer);
        platform::TftpServer server;
        wire.ToMonitor(UdpFrame(1234, 69, c.request));
        Serve(server, wire, files, 10);
        ASSERT_EQ(peer.seen.size(), 1u);
        EXPECT_EQ(Get16(&peer.seen[0].payload[0]), 5) << "an error packet";
        EXPECT_EQ(Get16(&peer.seen[0].payload[2]), c.code);
        EXPECT_EQ(server.Active(), 0);
    }

    // ARP for the monitor's address is answered; a client that goes away is
    // given up after the resends.
    ClientPeer peer;
    peer.loseAcks = {1};
    Wire wire(peer);
    const uint8_t broadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, unknown[6] = {};
    wire.ToMonitor(ArpFrame(1, broadcast, unknown, kMonitor.ip));
    platform::TftpServer server;
    Serve(server, wire, files, 10);
    EXPECT_TRUE(peer.arpAnswered);
    peer.silentFrom = 2;
    wire.ToMonitor(UdpFrame(1234, 69, Rrq("TANKS.KVC", "octet")));
    peer.dataSeen.clear();
    // The acknowledgement of block 1 is lost once and the block is sent
    // again; then the client goes away during block 2.
    Serve(server, wire, files, 10000);
    EXPECT_EQ(peer.dataSeen[1], 2);
    EXPECT_EQ(peer.dataSeen[2], platform::kTftpSends);
    EXPECT_EQ(server.Active(), 0);
}

}  // namespace
