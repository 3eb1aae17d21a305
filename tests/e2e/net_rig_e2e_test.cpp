// The unit on Ethernet against the Linux stack: kv5100 on a TAP device in a
// network namespace the rig makes and deletes (tools/netns-rig.sh), so none
// of the unit's 192.168.0.x traffic leaves it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <string>

#include "support/shell.h"

namespace {

class NetRigE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100netXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        // The demonstration settings with the network switched on.
        std::ofstream(dir_ + "/SYSTEM.KVD") << "NET_ENABLE, 1\n";
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    std::string Unit(const std::string& extra = "") const {
        return std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --demo --tfs SYSTEM.KVD=" + dir_ +
               "/SYSTEM.KVD --headless --net tap:$KV_TAP --run-for 60 " + extra + " >" + dir_ + "/unit.log 2>&1";
    }
    // The rig's result; skips the test where no namespace can be made.
    CommandResult Rig(const std::string& unit, const std::string& peer) {
        const CommandResult r =
            RunCommand(std::string(KV_TOOLS_DIR) + "/netns-rig.sh -t 50 '" + unit + "' '" + peer + "' 2>&1");
        return r;
    }
    std::string dir_;
};

// Waits for the unit to answer ARP (it boots first), up to 40 s.
const char kArpUntilAnswered[] =
    "for i in $(seq 40); do arping -c 1 -w 1 -I $KV_TAP 192.168.0.175 >arp.out 2>&1 && break; done; cat arp.out; ";

TEST_F(NetRigE2e, LinuxResolvesTheUnitByArpButGetsNoEcho) {
    const std::string peer = std::string("cd ") + dir_ + "; " + kArpUntilAnswered +
                             "if ping -c 1 -W 2 192.168.0.175 >/dev/null; then echo ECHO; fi; "
                             "ip neigh show 192.168.0.175 dev $KV_TAP";
    const CommandResult r = Rig(Unit(), peer);
    if (r.status == 77) {
        GTEST_SKIP() << "no network namespace here: " << r.out;
    }
    EXPECT_NE(r.out.find("reply from 192.168.0.175 [00:50:C2:51:00:01]"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("ECHO"), std::string::npos) << "no ICMP in the unit: " << r.out;
    EXPECT_NE(r.out.find("lladdr 00:50:c2:51:00:01"), std::string::npos) << r.out;
}

TEST_F(NetRigE2e, MalformedFramesAreDroppedWithTheirLines) {
    // Injected from the namespace side once the unit answers ARP. A bad header
    // checksum is dropped by the tick's poll already, without a line.
    std::ofstream(dir_ + "/inject.py") << R"(import os
from scapy.all import Ether, IP, IPOption, UDP, Raw, sendp
tap = os.environ["KV_TAP"]
mac, src = "00:50:c2:51:00:01", "02:00:00:00:00:70"
def ip(**kw):
    return Ether(dst=mac, src=src) / IP(src="192.168.0.70", dst="192.168.0.175", **kw)
frames = [ip(options=[IPOption(b"\x01\x01\x01\x01")]) / UDP(sport=9, dport=9) / Raw(b"y" * 8),
          ip(flags="MF") / UDP(sport=9, dport=9) / Raw(b"z" * 8),
          Ether(dst=mac, src=mac) / IP(src="192.168.0.70", dst="192.168.0.175") / UDP() / Raw(b"m" * 8),
          Ether(dst=mac, src=src) / Raw(b"q" * 15)]
for f in frames:
    sendp(f, iface=tap, verbose=False)
)";
    const std::string peer = std::string("cd ") + dir_ + "; " + kArpUntilAnswered + "/usr/bin/python3 inject.py; sleep 1";
    const CommandResult r = Rig(Unit(), peer);
    if (r.status == 77) {
        GTEST_SKIP() << "no network namespace here: " << r.out;
    }
    ASSERT_NE(r.out.find("reply from 192.168.0.175"), std::string::npos) << r.out;
    const CommandResult log = RunCommand(std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --print-syslog 2>&1");
    EXPECT_NE(log.out.find("NET: IP hdr dropped: 46"), std::string::npos) << log.out;
    EXPECT_NE(log.out.find("frag:2000"), std::string::npos) << log.out;
}

// curl against the weather master's web page, twenty times: every reply is
// whole and every record is free again afterwards (no "NET: oos").
TEST_F(NetRigE2e, CurlGetsTheWebPageTwentyTimes) {
    std::ofstream(dir_ + "/SYSTEM.KVD") << "NET_ENABLE, 1\nNET_WX_MODE, 1\n";
    std::ofstream(dir_ + "/curl.sh") << "tcpdump -i $KV_TAP -U -w web.pcap tcp port 80 2>/dev/null & td=$!\n"
                                     << kArpUntilAnswered << "\n"
                                     << R"SH(ok=0
for i in $(seq 20); do
    curl -sS --max-time 5 -D head.$i -o body.$i http://192.168.0.175/ || continue
    len=$(tr -d '\r' <head.$i | sed -n 's/^Content-Length: *//p')
    grep -q '^HTTP/1.0 200 OK' head.$i && [ "$len" = "$(stat -c %s body.$i)" ] && ok=$((ok+1))
done
echo "pages $ok"
sleep 1; kill $td; wait $td
)SH";
    const std::string peer = "cd " + dir_ + "; sh curl.sh";
    const CommandResult r = Rig(Unit(), peer);
    if (r.status == 77) {
        GTEST_SKIP() << "no network namespace here: " << r.out;
    }
    EXPECT_NE(r.out.find("pages 20"), std::string::npos) << r.out << " (capture in " << dir_ << "/web.pcap)";
    const CommandResult body = RunCommand("cat " + dir_ + "/body.20");
    EXPECT_NE(body.out.find("Vantorel!"), std::string::npos) << body.out;
    EXPECT_EQ(body.out.size(), 171u);
    const CommandResult log = RunCommand(std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --print-syslog 2>&1");
    EXPECT_EQ(log.out.find("NET: oos"), std::string::npos) << log.out;
    EXPECT_NE(log.out.find("NET: sse"), std::string::npos) << log.out;
}

// Two ports of 127.0.0.1 as the wire: a script speaking raw frames as
// datagrams gets the unit's answer to its ARP request, once the unit has
// returned to the monitor and come back through a watchdog reset (the exit
// buttons held at power-on): the binding outlives the reset.
TEST_F(NetRigE2e, DatagramWireOutlivesAWatchdogReset) {
    const int local = 20000 + static_cast<int>(getpid() % 20000), peer = local + 1;
    std::ofstream(dir_ + "/arp.py") << R"(import socket, struct, sys, time
local, peer = int(sys.argv[1]), int(sys.argv[2])
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("127.0.0.1", peer))
s.settimeout(0.2)
me = bytes.fromhex("020000000070")
req = b"\xff" * 6 + me + b"\x08\x06" + struct.pack(">HHBBH", 1, 0x0800, 6, 4, 1) + me + bytes([192, 168, 0, 70]) + b"\x00" * 6 + bytes([192, 168, 0, 175])
end = time.time() + 60
while time.time() < end:
    s.sendto(req, ("127.0.0.1", local))
    try:
        f = s.recv(2000)
    except socket.timeout:
        continue
    if f[12:14] == b"\x08\x06" and f[20:22] == b"\x00\x02":
        print("reply", f[22:28].hex(), len(f))
        sys.exit(0)
sys.exit(1)
)";
    const std::string unit = std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --demo --tfs SYSTEM.KVD=" +
                             dir_ + "/SYSTEM.KVD --headless --hold 61,63 --time virtual --net udp:" +
                             std::to_string(local) + ":" + std::to_string(peer) + " --run-for 3000 2>" + dir_ +
                             "/unit.err >/dev/null";
    const CommandResult r = RunCommand("(exec " + unit + ") & pid=$!; /usr/bin/python3 " + dir_ + "/arp.py " +
                                       std::to_string(local) + " " + std::to_string(peer) +
                                       "; status=$?; kill -TERM $pid; wait $pid; cat " + dir_ + "/unit.err; exit $status");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("reply 0050c2510001 60"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("watchdog reset at 305."), std::string::npos) << r.out;
}

}  // namespace
