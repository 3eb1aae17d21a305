// The boot monitor's TFTP end to end. Two displays on one wire
// (tools/two-display.sh): B, whose engine and air data come from A, asks for
// the remote files on the administrator screen's item 14 while A waits on
// its own item 14 and serves them. And the monitor against independent
// implementations in a network namespace (tools/netns-rig.sh): its client
// reads from a server written from RFC 1350, tftp-hpa's client reads from a
// unit waiting on item 14.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <unistd.h>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

const char* const kRemoteFiles[] = {"ENGINE.KVD", "TANKS.KVC", "AIRDATA.KVD", "AOA.KVC"};

class TftpE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100tftpXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure() && !std::getenv("KV_KEEP")) std::system(("rm -rf " + dir_).c_str());
    }
    // Calibration mode's row 1 opened at `at` seconds, then the cursor moved
    // down to item 14 (a run held at power-on with the calibration button).
    static std::string ToItem14(double at) {
        std::ostringstream s;
        s << "3 release 5\n" << at << " press 4\n";
        for (int i = 0; i < 13; ++i) s << at + 1 + 0.3 * i << " press 2\n";
        return s.str();
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string dir_;
};

// A's own files: the demonstration's engine and air-data settings with a
// line of A's own, a tank table of several blocks and an AOA file.
void WriteDisplayAFiles(const std::string& dir) {
    const CommandResult demo = RunKv5100("--flash " + dir + "/demo.flash --demo --tfs-out ENGINE.KVD=" + dir +
                                         "/A-ENGINE.KVD --tfs-out AIRDATA.KVD=" + dir + "/A-AIRDATA.KVD --print-syslog");
    ASSERT_EQ(demo.status, 0) << demo.out;
    std::ofstream(dir + "/A-ENGINE.KVD", std::ios::app) << "RPM_REDLINE_FROM_A, 2701\n";
    std::ofstream(dir + "/A-AIRDATA.KVD", std::ios::app) << "VNE_FROM_A, 163\n";
    std::ofstream tanks(dir + "/A-TANKS.KVC");
    for (int t = 1; t <= 4; ++t) {
        tanks << "TANK_" << t << ".NUM_CAL_PTS, 6\n";
        for (int i = 0; i < 6; ++i)
            tanks << "TANK_" << t << ".DISPLAY_VALUE_" << i << ", " << 50 * i << "\nTANK_" << t << ".AD_VALUE_GND_" << i
                  << ", " << 300 + 600 * i << "\nTANK_" << t << ".AD_VALUE_FLT_" << i << ", " << 310 + 600 * i << "\n";
    }
    std::ofstream(dir + "/A-AOA.KVC") << "ZERO_LIFT_CRUISE, 120\nSTALL, 880\nARM_AIRSPEED, 45\nAOA_ENABLE, 1\n";
}

TEST_F(TftpE2e, DisplayBFetchesTheFourFilesFromAWaitingOnItem14) {
    WriteDisplayAFiles(dir_);
    if (HasFatalFailure()) return;
    // A waits on item 14 until B has ended, however far its own board time
    // runs ahead meanwhile.
    std::string aArgs = "--script " + Path("a.txt") + " --run-for 100000",
                bArgs = "--script " + Path("b.txt") + " --print-syslog";
    for (const char* f : kRemoteFiles) {
        aArgs += std::string(" --tfs ") + f + "=" + Path(std::string("A-") + f);
        bArgs += std::string(" --tfs-out ") + f + "=" + Path(std::string("B-") + f);
    }
    // Virtual time: each script runs on its own unit's board time, so B's
    // screens fall where its script says whatever the machine's load. A is
    // on item 14 from 10.6 s of its time; B asks at 40 s of its own (the
    // monitor's client waits for an answer on the host's clock). Each file
    // shows its name, then its result 2 s later, for 2 s each; " DONE "
    // follows for 2 s, from 56 s and the time the four transfers took. A
    // sanitized build beside a loaded suite takes minutes of wall time.
    // A's keys still move its cursor after it has served for 18 s.
    std::ofstream(Path("a.txt")) << ToItem14(6) << "30 press 3\n30.5 screenshot " << Path("a-moved.png")
                                 << "\n31 press 2\n35 screenshot " << Path("a-waiting.png") << "\n";
    std::ofstream(Path("b.txt")) << ToItem14(6) << "39.5 screenshot " << Path("b-before.png") << "\n40 press 4\n"
                                 << "41 screenshot " << Path("b-engine.png") << "\n43 screenshot "
                                 << Path("b-success.png") << "\n57 screenshot " << Path("b-done.png") << "\n61 screenshot "
                                 << Path("b-after.png") << "\n";
    const std::string run = "KV5100=" + std::string(KV5100_PATH) + " KV_A_UNTIL_B=1 KV_A_ARGS='" + aArgs +
                            "' KV_B_ARGS='" + bArgs + "' timeout 400 " + KV_TOOLS_DIR + "/two-display.sh " + dir_ +
                            " 63 -- --headless --time virtual --hold 62 2>&1";
    const CommandResult r = RunCommand(run);
    const std::string logB = ReadHostFile(Path("b.log"));
    ASSERT_EQ(r.status, 0) << r.out << ReadHostFile(Path("a.log")) << logB;

    size_t at = 0;
    for (const char* f : kRemoteFiles) {
        SCOPED_TRACE(f);
        const std::string line = std::string("tftp -F ") + f + " 192.168.0.175 get " + f + " 0x";
        at = logB.find(line, at);
        ASSERT_NE(at, std::string::npos) << "B logs each command, in order:\n" << logB;
        EXPECT_EQ(ReadHostFile(Path(std::string("B-") + f)), ReadHostFile(Path(std::string("A-") + f)))
            << "B's TFS holds A's file";
        if (std::string(f) != "AOA.KVC") {   // AOA's reload takes the values without a read line
            EXPECT_NE(logB.find(std::string("Reading ") + f + "... Done", at), std::string::npos) << "reloaded";
        }
    }
    EXPECT_EQ(logB.find("board: monitor: tftp"), std::string::npos) << "no failed transfer";

    // The value column of item 14 (y = 41 + 13 * 13): "Press Select", the
    // file's name, " SUCCESS ", " DONE ", then "Press Select" again.
    RgbImage before, engine, success, done, after, waiting, moved;
    ASSERT_TRUE(ReadPng(Path("b-before.png"), before));
    ASSERT_TRUE(ReadPng(Path("b-engine.png"), engine));
    ASSERT_TRUE(ReadPng(Path("b-success.png"), success));
    ASSERT_TRUE(ReadPng(Path("b-done.png"), done));
    ASSERT_TRUE(ReadPng(Path("b-after.png"), after));
    ASSERT_TRUE(ReadPng(Path("a-waiting.png"), waiting));
    ASSERT_TRUE(ReadPng(Path("a-moved.png"), moved));
    auto value = [](const RgbImage& img) {
        std::string s;
        for (int y = 210; y <= 221; ++y)
            for (int x = 400; x <= 560; ++x) s += std::to_string(img.At(x, y)) + ",";
        return s;
    };
    EXPECT_GT(engine.Lit(400, 210, 550, 221), 50);
    EXPECT_NE(value(engine), value(before));
    EXPECT_NE(value(success), value(engine));
    EXPECT_NE(value(done), value(success));
    EXPECT_EQ(value(after), value(before)) << "the list drawn again";
    EXPECT_EQ(value(waiting), value(before)) << "A shows the same item while it serves";
    EXPECT_EQ(moved.Lit(400, 210, 550, 221), 0) << "A's cursor left item 14, whose value is then not shown";
    EXPECT_GT(moved.Lit(400, 197, 550, 208), waiting.Lit(400, 197, 550, 208) + 100) << "item 13's value highlighted";
    EXPECT_EQ(done.Lit(551, 41, 639, 440), 0) << "values end at x 550";
}

// The rig's result; 77 when no namespace can be made here.
CommandResult Rig(const std::string& unit, const std::string& peer) {
    return RunCommand(std::string(KV_TOOLS_DIR) + "/netns-rig.sh -t 90 '" + unit + "' '" + peer + "' 2>&1");
}

// The monitor's client against a server written from RFC 1350 in the
// namespace, one kv5100 run per file: each stored whole, a missing one not
// at all, a lost block sent again, a file of whole blocks ended by an empty one.
TEST_F(TftpE2e, MonitorClientReadsFromAnRfcServer) {
    ASSERT_EQ(std::system(("mkdir -p " + Path("srv")).c_str()), 0);
    std::string text;
    for (int i = 0; text.size() < 1300; ++i) text += "LINE_" + std::to_string(i) + ", " + std::to_string(i * 37) + "\n";
    text.resize(1300);
    std::ofstream(Path("srv/WHOLE.KVD")) << text;
    std::ofstream(Path("srv/LOST.KVD")) << text;
    std::ofstream(Path("srv/EXACT.KVD")) << text.substr(0, 1024);
    std::string unit;
    for (const char* f : {"WHOLE.KVD", "EXACT.KVD", "LOST.KVD", "MISSING.KVD"})
        unit += std::string(KV5100_PATH) + " --flash " + Path("unit.flash") +
                " --env IPADD=192.168.0.175 --net tap:$KV_TAP --monitor-command \"tftp -F " + f +
                " 192.168.0.70 get " + f + " 0xa0100000\" --tfs-out " + f + "=" + Path(std::string("got-") + f) +
                " --print-syslog >" + Path(std::string(f) + ".log") + " 2>&1; echo $? >" + Path(std::string(f) + ".status") +
                "; ";
    unit += "touch " + Path("done");
    std::ofstream(Path("unit.sh")) << unit << "\n";
    const std::string peer = "/usr/bin/python3 " + std::string(KV_TOOLS_DIR) + "/../tests/peers/tftp_server.py 192.168.0.70 " +
                             Path("srv") + " " + Path("server.log") + " --lose LOST.KVD:2 --until " + Path("done");
    const CommandResult r = Rig("sh " + Path("unit.sh"), peer);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    ASSERT_EQ(r.status, 0) << r.out << ReadHostFile(Path("server.log"));

    struct Case { const char* file; std::string expect; };
    const Case cases[] = {{"WHOLE.KVD", text}, {"EXACT.KVD", text.substr(0, 1024)}, {"LOST.KVD", text}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_EQ(ReadHostFile(Path(std::string(c.file) + ".status")), "0\n") << ReadHostFile(Path(std::string(c.file) + ".log"));
        EXPECT_EQ(ReadHostFile(Path(std::string("got-") + c.file)), c.expect);
    }
    const std::string server = ReadHostFile(Path("server.log"));
    EXPECT_NE(server.find("EXACT.KVD data 3\nEXACT.KVD done 1024"), std::string::npos) << "an empty third block\n" << server;
    EXPECT_NE(server.find("LOST.KVD data 2\nLOST.KVD data 2\nLOST.KVD data 3"), std::string::npos)
        << "block 2 lost, then sent again\n" << server;

    EXPECT_EQ(ReadHostFile(Path("MISSING.KVD.status")), "2\n");
    EXPECT_NE(ReadHostFile(Path("MISSING.KVD.log")).find("tftp MISSING.KVD from 192.168.0.70: error 1: File not found"),
              std::string::npos) << ReadHostFile(Path("MISSING.KVD.log"));
    const CommandResult missing = RunKv5100("--flash " + Path("unit.flash") + " --tfs-out MISSING.KVD=" +
                                            Path("x") + " --print-syslog");
    EXPECT_NE(missing.out.find("MISSING.KVD: no such file in TFS"), std::string::npos) << missing.out;
}

// tftp-hpa's client reads files from a unit that waits on item 14 and
// answers through the monitor's function 61: in octet mode byte for byte, in
// netascii with its lines translated there and back; a missing file is an
// error packet.
TEST_F(TftpE2e, TftpHpaReadsFromAUnitWaitingOnItem14) {
    std::ofstream(Path("SYSTEM.KVD")) << "NET_ENABLE, 1\nNET_IP_ADR_LOCAL, 175\nNET_IP_ADR_OTHER, 176\nNET_ENG_MODE, 1\n";
    std::ofstream(Path("AOA.KVC")) << "ZERO_LIFT_CRUISE, 120\nSTALL, 880\n";
    std::ofstream(Path("s.txt")) << ToItem14(15);
    WriteDisplayAFiles(dir_);
    if (HasFatalFailure()) return;
    const std::string unit = std::string(KV5100_PATH) + " --flash " + Path("unit.flash") + " --demo --tfs SYSTEM.KVD=" +
                             Path("SYSTEM.KVD") + " --tfs AOA.KVC=" + Path("AOA.KVC") + " --tfs ENGINE.KVD=" + Path("A-ENGINE.KVD") +
                             " --headless --hold 62 --script " + Path("s.txt") + " --net tap:$KV_TAP --run-for 900 >" +
                             Path("unit.log") + " 2>&1";
    // Asked again until the unit answers (it boots and opens the screen first).
    const std::string peer = "cd " + dir_ + "; for i in $(seq 25); do rm -f engine.kvd; "
                             "printf \"binary\\nrexmt 1\\ntimeout 3\\nget ENGINE.KVD engine.kvd\\n\" | tftp 192.168.0.175 "
                             ">hpa.out 2>&1; [ -s engine.kvd ] && break; sleep 1; done; cat hpa.out; "
                             "printf \"ascii\\nget AOA.KVC aoa.txt\\nbinary\\nget NOPE.KVD nope.kvd\\n\" | tftp 192.168.0.175 2>&1";
    const CommandResult r = Rig(unit, peer);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    ASSERT_EQ(r.status, 0) << r.out << ReadHostFile(Path("unit.log"));
    EXPECT_GT(ReadHostFile(Path("A-ENGINE.KVD")).size(), 1024u) << "several blocks";
    EXPECT_EQ(ReadHostFile(Path("engine.kvd")), ReadHostFile(Path("A-ENGINE.KVD"))) << r.out;
    EXPECT_EQ(ReadHostFile(Path("aoa.txt")), ReadHostFile(Path("AOA.KVC"))) << r.out;
    EXPECT_NE(r.out.find("Error code 1: File not found"), std::string::npos) << r.out;
}

// The monitor's client against tftpd-hpa's in.tftpd in the namespace, from
// one kv5100 run: a file of several blocks and one of two whole blocks,
// which the server ends with an empty third.
TEST_F(TftpE2e, MonitorClientReadsFromTftpdHpa) {
    if (access("/usr/sbin/in.tftpd", X_OK) != 0) GTEST_SKIP() << "tftpd-hpa is not installed (tools/install-deps.sh)";
    WriteDisplayAFiles(dir_);
    if (HasFatalFailure()) return;
    std::string exact;
    for (int i = 0; exact.size() < 1024; ++i) exact += "TANK_1.AD_VALUE_GND_" + std::to_string(i) + ", " + std::to_string(i * 11) + "\n";
    exact.resize(1024);
    // in.tftpd gives up root for nobody within its chroot: the files are world-readable.
    ASSERT_EQ(std::system(("mkdir -m 755 " + Path("srv") + " && cp " + Path("A-ENGINE.KVD") + " " + Path("srv/ENGINE.KVD") +
                           " && chmod 755 " + dir_).c_str()), 0);
    std::ofstream(Path("srv/TANKS.KVC")) << exact;
    ASSERT_EQ(std::system(("chmod 644 " + Path("srv") + "/*").c_str()), 0);

    std::ostringstream unit;
    unit << "/usr/sbin/in.tftpd -L -s " << Path("srv") << " -a 192.168.0.70:69 & server=$!\n"
         << "timeout 60 " << KV5100_PATH << " --flash " << Path("unit.flash") << " --env IPADD=192.168.0.175 --net tap:$KV_TAP";
    for (const char* f : {"ENGINE.KVD", "TANKS.KVC"})
        unit << " --monitor-command \"tftp -F " << f << " 192.168.0.70 get " << f << " 0xa0100000\" --tfs-out " << f << "="
             << Path(std::string("got-") + f);
    unit << " --print-syslog >" << Path("unit.log") << " 2>&1\nstatus=$?\nkill $server\nexit $status\n";
    std::ofstream(Path("unit.sh")) << unit.str();
    const CommandResult r = Rig("sh " + Path("unit.sh"), "");
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    ASSERT_EQ(r.status, 0) << r.out << ReadHostFile(Path("unit.log"));
    EXPECT_GT(ReadHostFile(Path("A-ENGINE.KVD")).size(), 1024u) << "several blocks";
    EXPECT_EQ(ReadHostFile(Path("got-ENGINE.KVD")), ReadHostFile(Path("A-ENGINE.KVD")));
    EXPECT_EQ(ReadHostFile(Path("got-TANKS.KVC")), exact);
}

// B, whose engine and air data come from its partner, asks for the four
// files on item 14; the partner (a server written from RFC 1350) lacks
// ENGINE.KVD. Its row says " ERROR " and the three files after it are still
// fetched, stored and reloaded.
TEST_F(TftpE2e, AFailedFetchShowsErrorAndTheNextFilesAreStillFetched) {
    WriteDisplayAFiles(dir_);
    if (HasFatalFailure()) return;
    ASSERT_EQ(std::system(("mkdir -p " + Path("srv")).c_str()), 0);
    for (const char* f : {"TANKS.KVC", "AIRDATA.KVD", "AOA.KVC"})
        ASSERT_EQ(std::system(("cp " + Path(std::string("A-") + f) + " " + Path(std::string("srv/") + f)).c_str()), 0);
    std::ofstream(Path("SYSTEM.KVD")) << "NET_ENABLE, 1\nNET_IP_ADR_LOCAL, 175\nNET_IP_ADR_OTHER, 176\n"
                                         "NET_AIR_MODE, 2\nNET_AHRS_MODE, 2\nNET_ENG_MODE, 2\n";
    // Each file shows its name, then its result 2 s later, for 2 s each;
    // " DONE " follows for 2 s.
    const double select = 20;
    std::ofstream(Path("s.txt")) << ToItem14(12) << select - 0.5 << " screenshot " << Path("before.png") << "\n"
                                 << select << " press 4\n"
                                 << select + 1 << " screenshot " << Path("engine.png") << "\n"
                                 << select + 3 << " screenshot " << Path("error.png") << "\n"
                                 << select + 5 << " screenshot " << Path("tanks.png") << "\n"
                                 << select + 7 << " screenshot " << Path("success.png") << "\n"
                                 << select + 17 << " screenshot " << Path("done.png") << "\n";
    std::string unit = std::string(KV5100_PATH) + " --flash " + Path("unit.flash") + " --demo --tfs SYSTEM.KVD=" +
                       Path("SYSTEM.KVD") + " --env IPADD=192.168.0.175 --net tap:$KV_TAP --time virtual --headless --hold 62"
                       " --script " + Path("s.txt") + " --run-for " + std::to_string(static_cast<int>(select) + 20) +
                       " --print-syslog";
    for (const char* f : kRemoteFiles) unit += std::string(" --tfs-out ") + f + "=" + Path(std::string("B-") + f);
    std::ofstream(Path("unit.sh")) << unit << " >" << Path("unit.log") << " 2>&1\necho $? >" << Path("unit.status")
                                   << "\ntouch " << Path("done") << "\n";
    const std::string peer = "/usr/bin/python3 " + std::string(KV_TOOLS_DIR) + "/../tests/peers/tftp_server.py 192.168.0.176 " +
                             Path("srv") + " " + Path("server.log") + " --until " + Path("done");
    const CommandResult r = Rig("sh " + Path("unit.sh"), peer);
    if (r.status == 77) GTEST_SKIP() << "no network namespace here: " << r.out;
    const std::string log = ReadHostFile(Path("unit.log"));
    ASSERT_EQ(r.status, 0) << r.out << log;
    ASSERT_EQ(ReadHostFile(Path("unit.status")), "0\n") << log;

    size_t at = 0;
    for (const char* f : kRemoteFiles) {
        SCOPED_TRACE(f);
        at = log.find(std::string("tftp -F ") + f + " 192.168.0.176 get " + f + " 0x", at);
        ASSERT_NE(at, std::string::npos) << "each file asked for, in order:\n" << log;
    }
    EXPECT_NE(log.find("tftp ENGINE.KVD from 192.168.0.176: error 1: File not found"), std::string::npos) << log;
    const size_t asked = log.find("tftp -F ENGINE.KVD"), next = log.find("tftp -F TANKS.KVC");
    EXPECT_EQ(log.substr(asked, next - asked).find("Reading ENGINE.KVD"), std::string::npos) << "nothing to reload\n" << log;
    EXPECT_EQ(ReadHostFile(Path("B-ENGINE.KVD")).find("RPM_REDLINE_FROM_A"), std::string::npos) << "B keeps its own";
    for (const char* f : {"TANKS.KVC", "AIRDATA.KVD", "AOA.KVC"}) {
        SCOPED_TRACE(f);
        EXPECT_EQ(ReadHostFile(Path(std::string("B-") + f)), ReadHostFile(Path(std::string("A-") + f)));
        if (std::string(f) != "AOA.KVC") {   // AOA's reload takes the values without a read line
            EXPECT_NE(log.find(std::string("Reading ") + f + "... Done"), std::string::npos) << "reloaded\n" << log;
        }
    }

    // The value column of item 14: the first file's name, " ERROR ", the
    // next name, " SUCCESS ", " DONE ". " ERROR " is narrower than " SUCCESS ".
    RgbImage before, engine, error, tanks, success, done;
    for (auto [name, img] : {std::pair{"before.png", &before}, {"engine.png", &engine}, {"error.png", &error},
                             {"tanks.png", &tanks}, {"success.png", &success}, {"done.png", &done}})
        ASSERT_TRUE(ReadPng(Path(name), *img)) << name;
    auto value = [](const RgbImage& img) {
        std::string s;
        for (int y = 210; y <= 221; ++y)
            for (int x = 400; x <= 560; ++x) s += std::to_string(img.At(x, y)) + ",";
        return s;
    };
    // The value is drawn on a highlight that ends at x 550: its left edge.
    auto leftmost = [](const RgbImage& img) {
        for (int x = 400; x <= 560; ++x)
            for (int y = 210; y <= 221; ++y)
                if (img.At(x, y) != 0) return x;
        return -1;
    };
    const std::string shown[] = {value(before), value(engine), value(error), value(tanks), value(success), value(done)};
    for (size_t i = 1; i < std::size(shown); ++i) EXPECT_NE(shown[i], shown[i - 1]) << "shot " << i;
    EXPECT_GT(leftmost(error), leftmost(success)) << "the failed file's row";
    EXPECT_GT(leftmost(success), 400);
}

}  // namespace
