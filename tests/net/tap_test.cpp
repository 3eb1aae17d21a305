// UDP through the header builders and checksums against the Linux stack: this
// test program runs the stack on a TAP device inside tools/netns-rig.sh while
// a Python peer and tcpdump work on the namespace side.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/ostimer.h"
#include "net/checksum.h"
#include "net/net.h"
#include "sim/nethost.h"
#include "support/board_fixture.h"
#include "support/shell.h"

namespace {

constexpr int kDatagrams = 20;
constexpr uint16_t kPeerPort = 5000, kOwnPort = 5001;
const uint8_t kPeerIp[4] = {192, 168, 0, 176};

uint16_t Be16(const uint8_t* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }
void PutBe16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// Payload n: n + 1 bytes, so that odd and even lengths alternate.
std::string Payload(int n) { return std::string(static_cast<size_t>(n + 1), static_cast<char>('a' + n)); }

// A datagram to the peer built as every sender builds one.
std::vector<uint8_t> QueueDatagram(const uint8_t* peerMac, int n) {
    uint8_t* slot = NET_AllocTxBuffer();
    const std::string data = Payload(n);
    const uint32_t udpLength = 8 + static_cast<uint32_t>(data.size());
    NET_BuildEthHeader(slot, peerMac, kEtherTypeIp);
    NET_BuildIpHeader(slot, kPeerIp, udpLength, kIpProtoUdp);
    uint8_t* ip = SlotFrame(slot) + kIpHeaderAt;
    PutBe16(ip + kIpChecksumAt, IpChecksum(ip));
    uint8_t* udp = ip + 20;
    PutBe16(udp, kOwnPort);
    PutBe16(udp + 2, kPeerPort);
    PutBe16(udp + 4, udpLength);
    PutBe16(udp + 6, 0);
    std::memcpy(udp + 8, data.data(), data.size());
    uint16_t sum = UdpChecksum(ip);
    PutBe16(udp + 6, sum == 0 ? 0xFFFF : sum);
    SlotDesc(slot)->nLength = kIpHeaderAt + 20 + udpLength;
    std::vector<uint8_t> frame(SlotFrame(slot), SlotFrame(slot) + SlotDesc(slot)->nLength);
    NET_GetNextTxPacket();
    return frame;
}

class NetTapPeer : public BoardTest {};

// Inside the rig only (the test below starts it there).
TEST_F(NetTapPeer, ExchangesUdpWithTheLinuxStack) {
    const char* tap = std::getenv("KV_TAP");
    const char* out = std::getenv("KV_TAP_OUT");
    if (!tap || !out) {
        GTEST_SKIP() << "runs inside tools/netns-rig.sh, started by NetTap.UdpBothWays";
    }
    std::string error;
    ASSERT_TRUE(BindNetwork(board(), std::string("tap:") + tap, error)) << error;
    G_NetEnable = 1;
    G_NetIpLocal = 175;
    NET_Init();

    std::vector<std::vector<uint8_t>> sent;
    int go = 0, checked = 0, bad = 0, queued = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end && checked < kDatagrams) {
        DelayTicks(kTicksPerMs);
        NET_RxPoll();
        while (G_NetRing.nRxRd != G_NetRing.nRxWr) {
            uint8_t* slot = G_NetRing.abRx[G_NetRing.nRxRd];
            uint8_t* ip = SlotFrame(slot) + kIpHeaderAt;
            if (Be16(SlotFrame(slot) + 12) == kEtherTypeIp && ip[kIpProtocol] == kIpProtoUdp && Be16(ip + 22) == kOwnPort) {
                const uint16_t stored = Be16(ip + 26);
                const bool isGo = Be16(ip + 24) == 10 && std::memcmp(ip + 28, "go", 2) == 0;
                if (stored != UdpChecksum(ip)) {
                    ++bad;
                } else if (isGo) {
                    go = 1;
                } else {
                    ++checked;
                }
            } else {
                NET_ProcessRx(slot);
            }
            G_NetRing.nRxRd = (G_NetRing.nRxRd + 1) % kNetRxSlots;
        }
        if (go && queued < kDatagrams) {
            if (const ArpEntry* peer = ARP_Resolve(kPeerIp)) sent.push_back(QueueDatagram(peer->abMac, queued++));
        }
        NET_TxFlush();
    }
    std::ofstream f(out);
    f << "go " << go << " queued " << queued << " checked " << checked << " bad " << bad << "\n";
    for (const auto& frame : sent) {
        for (uint8_t b : frame) f << std::hex << static_cast<int>(b >> 4) << static_cast<int>(b & 15);
        f << "\n";
    }
    EXPECT_EQ(checked, kDatagrams);
}

// The peer: tcpdump records the unit's frames; a socket on .176 says go,
// takes the unit's datagrams and sends its own; the kernel's UDP checksum
// error count must not move.
TEST(NetTap, UdpBothWays) {
    if (std::getenv("KV_TAP")) {
        GTEST_SKIP() << "the rig's inner run";
    }
    char dirBuf[] = "/tmp/kvtapXXXXXX";
    ASSERT_NE(mkdtemp(dirBuf), nullptr);
    const std::string dir = dirBuf;
    std::ofstream(dir + "/peer.py") << R"(import socket, sys, time
n = int(sys.argv[1])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("192.168.0.176", 5000))
s.settimeout(1.0)
got = []
end = time.time() + 20
while len(got) < n and time.time() < end:
    if not got:
        s.sendto(b"go", ("192.168.0.175", 5001))
    try:
        data, addr = s.recvfrom(2000)
    except socket.timeout:
        continue
    if data == bytes([ord("a") + len(got)]) * (len(got) + 1):
        got.append(data)
print("received", len(got))
for i in range(n):
    s.sendto(bytes(range(i % 7, i % 7 + i + 3)), ("192.168.0.175", 5001))
    time.sleep(0.02)
lines = [l.split() for l in open("/proc/net/snmp") if l.startswith("Udp:")]
print("csum errors", lines[1][lines[0].index("InCsumErrors")])
)";
    char self[4096];
    const ssize_t len = readlink("/proc/self/exe", self, sizeof self - 1);
    ASSERT_GT(len, 0);
    self[len] = 0;
    const std::string unit = "env KV_TAP_OUT=" + dir + "/unit.out " + self +
                             " --gtest_filter=NetTapPeer.ExchangesUdpWithTheLinuxStack >" + dir + "/unit.log 2>&1";
    const std::string peer = "cd " + dir + "; tcpdump -i $KV_TAP -U -w cap.pcap ether src 00:50:c2:51:00:01 2>/dev/null & td=$!; sleep 1; "
                             "/usr/bin/python3 peer.py " + std::to_string(kDatagrams) + "; sleep 2; kill $td; wait $td";
    const CommandResult r = RunCommand(std::string(KV_TOOLS_DIR) + "/netns-rig.sh -t 40 '" + unit + "' '" + peer + "' 2>&1");
    if (r.status == 77) {
        GTEST_SKIP() << "no network namespace here: " << r.out;
    }
    EXPECT_NE(r.out.find("received 20"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("csum errors 0"), std::string::npos) << r.out;

    // Every frame the unit queued went on the wire byte for byte (padded to 60).
    std::ifstream in(dir + "/unit.out");
    std::string summary;
    std::getline(in, summary);
    EXPECT_EQ(summary, "go 1 queued 20 checked 20 bad 0") << RunCommand("cat " + dir + "/unit.log").out;
    std::ofstream(dir + "/compare.py") << R"(import sys
from scapy.all import rdpcap
frames = [bytes.fromhex(l.strip()) for l in open(sys.argv[1]).read().split("\n")[1:] if l.strip()]
wire = [bytes(p) for p in rdpcap(sys.argv[2]) if bytes(p)[12:14] == b"\x08\x00"]
frames = [f + bytes(max(0, 60 - len(f))) for f in frames]
print("match" if frames == wire else "differ %d %d" % (len(frames), len(wire)))
)";
    const CommandResult cmp = RunCommand("/usr/bin/python3 " + dir + "/compare.py " + dir + "/unit.out " + dir + "/cap.pcap 2>&1");
    EXPECT_EQ(cmp.out, "match\n");
    if (!::testing::Test::HasFailure()) RunCommand("rm -rf " + dir);
}

}  // namespace
