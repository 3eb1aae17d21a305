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
    const int local = FreeUdpPortPair(), peer = local + 1;
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

// The partner display in Python beside the unit. As the first display, the
// unit's broadcasts of every type it sends are checked field by field (with
// the notice left through I_AGREE.TXT, so event 13 goes out too); as the
// second display, taking every stream from the network, each type the
// partner sends changes what it should: the baro, the bugs, the dim level,
// the local-time offset and the clock chip's date in clock memory, and the
// engine's RPM in its start line.
TEST_F(NetRigE2e, PythonPartnerDisplay) {
    std::ofstream(dir_ + "/partner.py") << R"PY(import select, socket, struct, sys, time
# The partner display (192.168.0.176) of the unit (192.168.0.175).
#   partner.py listen SECONDS: checks every display-link packet the unit sends
#   partner.py send: sends each type the unit takes, twice (a receiver drops
#   the first packet of a new sender)
SIZES = {1: 65, 2: 66, 3: 288, 4: 148, 6: 132, 7: 132, 8: 16, 9: 64, 10: 28,
         14: 362, 15: 362, 16: 362, 17: 362, 19: 648, 22: 132}
PORTS = {1: 50000, 6: 50000, 2: 50001, 7: 50001, 8: 50002, 3: 50003, 4: 50003,
         14: 50004, 15: 50005, 16: 50006, 17: 50007, 19: 50008, 9: 50009, 10: 50009, 22: 50009}

def listen(seconds):
    socks = []
    for port in range(50000, 50010):
        s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        s.bind(("", port))
        socks.append(s)
    seen = {}
    bad = []
    events = set()
    end = time.time() + seconds
    while time.time() < end:
        ready, _, _ = select.select(socks, [], [], 0.5)
        for s in ready:
            data, (src, sport) = s.recvfrom(2000)
            port = s.getsockname()[1]
            if src != "192.168.0.175":
                continue
            if len(data) < 14:
                bad.append("short %d" % len(data)); continue
            major, minor, patch, t, size, seq, zero = struct.unpack("<BBBBHII", data[:14])
            body = data[14:]
            why = []
            if (major, minor, patch) != (6, 3, 1): why.append("version %d.%d.%d" % (major, minor, patch))
            if t not in SIZES: why.append("type")
            elif size != SIZES[t] or len(body) != size: why.append("size %d/%d" % (size, len(body)))
            elif PORTS[t] != port or sport != port: why.append("port %d" % port)
            if zero: why.append("reserved")
            prev = seen.get(t)
            if prev and seq != prev[-1][0] + 1: why.append("seq %d after %d" % (seq, prev[-1][0]))
            if why:
                bad.append("type %d: %s" % (t, ", ".join(why))); continue
            seen.setdefault(t, []).append((seq, body))
            if t == 9:
                events.add(struct.unpack_from("<I", body)[0])
    # What each record says.
    def last(t):
        return seen[t][-1][1] if t in seen else bytes(SIZES[t])
    ias, baro = struct.unpack_from("<i", last(1), 0)[0], struct.unpack_from("<I", last(1), 52)[0]
    if not (27500 <= baro <= 31500 and 0 <= ias <= 5000): bad.append("air data ias %d baro %d" % (ias, baro))
    heading = struct.unpack_from("<I", last(2), 12)[0]
    if heading > 3599: bad.append("heading %d" % heading)
    eng = last(3)
    if any(eng[9 * i + 8] > 1 for i in range(32)): bad.append("engine valid bytes")
    adj = last(7)
    if adj[0:8] != bytes(8) or adj[36:40] != bytes(4): bad.append("own attitude adjustments sent")
    for seq, body in seen.get(9, []):
        code, arg1 = struct.unpack_from("<II", body)
        if code == 33 and arg1 != 47: bad.append("event 33 record %d" % arg1)
    for t in sorted(seen):
        print("type %d count %d" % (t, len(seen[t])))
    print("events", sorted(events))
    print("bad", bad[:5])
    lines = [l.split() for l in open("/proc/net/snmp") if l.startswith("Udp:")]
    print("csum errors", lines[1][lines[0].index("InCsumErrors")])

def send_all():
    socks = {}
    def sock(port):
        if port not in socks:
            s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind(("192.168.0.176", port))
            socks[port] = s
        return socks[port]
    seq = {}
    def send(t, body):
        body = body.ljust(SIZES[t], b"\0")
        assert len(body) == SIZES[t]
        for _ in range(2):
            n = seq.get(t, 1)
            seq[t] = n + 1
            sock(PORTS[t]).sendto(struct.pack("<BBBBHII", 6, 3, 1, t, len(body), n, 0) + body, ("192.168.0.255", PORTS[t]))
            time.sleep(0.05)
    def event(code, *args):
        send(9, struct.pack("<%dI" % (1 + len(args)), code, *[a & 0xFFFFFFFF for a in args]))
    air = bytearray(65)
    struct.pack_into("<ii", air, 0, 1234, 1300)          # IAS 123.4 kt, TAS
    struct.pack_into("<I", air, 52, 30121)               # baro setting
    engine = bytearray(288)
    struct.pack_into("<IIB", engine, 9 * 1, 24000, 0, 1)  # record 10: 2400.0 RPM
    send(1, bytes(air))
    ahrs = bytearray(66); struct.pack_into("<I", ahrs, 12, 900); send(2, bytes(ahrs))
    for i in range(30):
        send(3, bytes(engine))
    send(4, b"")
    send(6, b"")
    clock = bytearray(132); struct.pack_into("<i", clock, 0, 15); send(7, bytes(clock))
    send(8, struct.pack("<I", 12))
    event(9, 123)       # heading bug
    event(10, 30000)    # altitude bug, held at 25000
    event(11, -5)       # local-time offset
    event(12, 120)      # speed bug
    event(21, 50)       # dim level
    send(10, struct.pack("<7I", 2031, 7, 5, 4, 12, 34, 56))
    for t in (14, 15, 16, 17):
        send(t, b"")
    send(19, b"")
    send(22, b"")
    print("sent", sorted(seq))

if sys.argv[1] == "listen":
    listen(float(sys.argv[2]))
else:
    send_all()
)PY";
    std::ofstream(dir_ + "/agree.txt") << "yes\n";
    ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir_ + "/agree.img --fat 12 " + dir_ +
                         "/agree.txt=I_AGREE.TXT")
                  .status,
              0);
    const std::string installed = "EFIS_INSTALLED, 1\nAHRS_TYPE, 0\nENGINE_INSTALLED, 1\nAIR_INSTALLED, 1\nNET_ENABLE, 1\n";
    std::ofstream(dir_ + "/SYSTEM.KVD") << installed << "NET_AIR_MODE, 1\nNET_AHRS_MODE, 1\nNET_ENG_MODE, 1\nDEMO_FLAGS, 124\n";
    const CommandResult sent = Rig(Unit("--sd " + dir_ + "/agree.img"), "cd " + dir_ + "; /usr/bin/python3 partner.py listen 25");
    if (sent.status == 77) {
        GTEST_SKIP() << "no network namespace here: " << sent.out;
    }
    for (const char* line : {"type 1 count", "type 2 count", "type 3 count", "type 4 count", "type 7 count",
                             "type 9 count", "type 22 count 1\n", "events [13, 33]\n", "bad []\n", "csum errors 0\n"})
        EXPECT_NE(sent.out.find(line), std::string::npos) << line << " in\n" << sent.out;

    std::ofstream(dir_ + "/SYSTEM.KVD") << installed << "NET_AIR_MODE, 2\nNET_AHRS_MODE, 2\nNET_ENG_MODE, 2\n";
    RunCommand("rm -f " + dir_ + "/unit.flash " + dir_ + "/unit.flash.rtc");
    // Twice, some seconds apart, in case the first round comes before the
    // unit's main loop takes packets.
    const CommandResult taken = Rig(Unit(), "cd " + dir_ + "; " + kArpUntilAnswered +
                                                             "sleep 5; /usr/bin/python3 partner.py send; sleep 6; "
                                                             "/usr/bin/python3 partner.py send; sleep 3");
    ASSERT_NE(taken.out.find("sent [1, 2, 3, 4, 6, 7, 8, 9, 10, 14, 15, 16, 17, 19, 22]"), std::string::npos)
        << taken.out;
    const std::string rtc = ReadHostFile(dir_ + "/unit.flash.rtc");
    ASSERT_GT(rtc.size(), 16u + 56u);
    auto reg = [&rtc](int r) { return static_cast<uint8_t>(rtc[16 + r]); };
    auto reg16 = [&reg](int r) { return static_cast<int16_t>(reg(r) | reg(r + 1) << 8); };
    EXPECT_EQ(reg16(23), static_cast<int16_t>(30121)) << "the partner's baro, from its air data";
    EXPECT_EQ(reg16(31), 123) << "heading bug";
    EXPECT_EQ(reg16(33), 25000) << "altitude bug 30000 held at 25000";
    EXPECT_EQ(reg16(38), 120) << "speed bug";
    EXPECT_EQ(reg(28), 50) << "dim level";
    EXPECT_EQ(static_cast<int8_t>(reg(8)), -5) << "local-time offset";
    // The clock chip's time and date registers, BCD: 12:34:56 on 07/04/31.
    EXPECT_EQ(reg(2), 0x12);
    EXPECT_EQ(reg(1), 0x34);
    EXPECT_EQ(reg(4), 0x04);
    EXPECT_EQ(reg(5), 0x07);
    EXPECT_EQ(reg(6), 0x31);
    const CommandResult log = RunCommand(std::string(KV5100_PATH) + " --flash " + dir_ + "/unit.flash --print-syslog 2>&1");
    EXPECT_NE(log.out.find("Engine Started @"), std::string::npos) << "RPM from the partner's engine record: " << log.out;
}

}  // namespace
