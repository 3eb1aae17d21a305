// Two displays linked over the datagram wire by tools/two-display.sh: the
// start-up notice accepted with the buttons on display A is dismissed on
// display B, which alone would keep showing it; a run never takes a port
// that is already bound.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "support/png_read.h"
#include "support/shell.h"

namespace {

TEST(TwoDisplayE2e, NoticeAcceptedOnOneIsDismissedOnTheOther) {
    char dirBuf[] = "/tmp/kv5100twoXXXXXX";
    ASSERT_NE(mkdtemp(dirBuf), nullptr);
    const std::string dir = dirBuf;
    // Real time: a loaded machine boots slower, so the notice is looked at
    // late and accepted later still.
    std::ofstream(dir + "/a.txt") << "13 press 3   # I AGREE\n15 press 3\n";
    std::ofstream(dir + "/b.txt") << "11 screenshot " << dir << "/b-before.png\n";
    const std::string run = "KV5100=" + std::string(KV5100_PATH) + " KV_A_ARGS='--script " + dir + "/a.txt --screenshot " +
                            dir + "/a.png' KV_B_ARGS='--script " + dir + "/b.txt --screenshot " + dir +
                            "/b.png' timeout 120 " + KV_TOOLS_DIR + "/two-display.sh " + dir + " 26 -- --headless 2>&1";
    const CommandResult r = RunCommand(run);
    ASSERT_EQ(r.status, 0) << r.out << RunCommand("cat " + dir + "/a.log " + dir + "/b.log").out;
    RgbImage before, a, b;
    ASSERT_TRUE(ReadPng(dir + "/b-before.png", before));
    ASSERT_TRUE(ReadPng(dir + "/a.png", a));
    ASSERT_TRUE(ReadPng(dir + "/b.png", b));
    // The warning's text lines: once the notice is gone, the page drawn in
    // their place (the EFIS pane, or black) keeps few of their white pixels.
    auto textKept = [&before](const RgbImage& img) {
        int text = 0, kept = 0;
        for (int y = 270; y <= 330; ++y)
            for (int x = 120; x <= 520; ++x)
                if (before.At(x, y) == 0xFFFFFF) {
                    ++text;
                    kept += img.At(x, y) == 0xFFFFFF;
                }
        return text ? static_cast<double>(kept) / text : 1.0;
    };
    EXPECT_GT(before.Lit(120, 270, 520, 330), 500) << "B shows the notice before";
    EXPECT_LT(textKept(a), 0.2) << "A accepted it";
    EXPECT_LT(textKept(b), 0.2) << "B followed A";
    EXPECT_GT(b.Lit(0, 340, 639, 460), 2000) << "B shows its pages";
    if (!::testing::Test::HasFailure()) RunCommand("rm -rf " + dir);
}

// Display A owns the engine and air data: its RPM pulses and the baro turned
// on its knob reach B, which has neither. Both leave the notice by
// themselves (I_AGREE.TXT on their cards), so nothing waits on a key pressed
// at a fixed time during the boot; A's knob sequence is given twice, late,
// and a second run of it only moves on to the next knob function.
TEST(TwoDisplayE2e, EngineAndBaroOfAReachB) {
    char dirBuf[] = "/tmp/kv5100twoXXXXXX";
    ASSERT_NE(mkdtemp(dirBuf), nullptr);
    const std::string dir = dirBuf;
    std::ofstream(dir + "/agree.txt") << "yes\n";
    for (const char* unit : {"a", "b"})
        ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + dir + "/" + unit + ".img --fat 12 " +
                             dir + "/agree.txt=I_AGREE.TXT")
                      .status,
                  0);
    // 40 Hz at two pulses per two revolutions is 2400 RPM. The knob push
    // twice selects BARO, then the knob turns it.
    std::ofstream(dir + "/a.txt") << "0 pulses rpm 40\n"
                                  << "25 press 6\n26 press 6\n28 knob 8 0.2\n"
                                  << "33 press 6\n34 press 6\n36 knob 8 0.2\n";
    const std::string run = "KV5100=" + std::string(KV5100_PATH) + " KV_A_ARGS='--sd " + dir + "/a.img --script " + dir +
                            "/a.txt --screenshot " + dir + "/a.png --print-syslog' KV_B_ARGS='--sd " + dir +
                            "/b.img --screenshot " + dir + "/b.png --print-syslog' timeout 120 " + KV_TOOLS_DIR +
                            "/two-display.sh " + dir + " 40 -- --headless 2>&1";
    const CommandResult r = RunCommand(run);
    const std::string logs = RunCommand("cat " + dir + "/a.log " + dir + "/b.log").out;
    ASSERT_EQ(r.status, 0) << r.out << logs;

    // The baro setting each display keeps in clock-memory registers 23..24
    // (after the clock file's 16-byte header).
    auto baro = [&dir](const char* unit) {
        const std::string rtc = ReadHostFile(dir + "/" + unit + ".flash.rtc");
        return rtc.size() > 16 + 24 ? (static_cast<uint8_t>(rtc[16 + 23]) | static_cast<uint8_t>(rtc[16 + 24]) << 8) : -1;
    };
    EXPECT_NE(baro("a"), 29921) << "turned on A";
    EXPECT_EQ(baro("b"), baro("a")) << "B took A's setting";

    const std::string b = ReadHostFile(dir + "/b.log");
    EXPECT_NE(b.find("Engine Started @"), std::string::npos) << "B's only RPM is A's: " << b;
    RgbImage ai, bi;
    ASSERT_TRUE(ReadPng(dir + "/a.png", ai));
    ASSERT_TRUE(ReadPng(dir + "/b.png", bi));
    // The RPM gauge's digits: four on both (about 2400), one ("0") without A's.
    const int rpmA = ai.Lit(560, 420, 630, 442), rpmB = bi.Lit(560, 420, 630, 442);
    EXPECT_GT(rpmA, 100);
    EXPECT_NEAR(rpmB, rpmA, rpmA / 5) << "B shows A's RPM";
    if (!::testing::Test::HasFailure()) RunCommand("rm -rf " + dir);
}

// Runs started together by a parallel suite once took neighbouring ports, so
// that one unit could not bind its own and another's peer was a third unit.
// A port bound elsewhere where the search starts is passed over.
TEST(TwoDisplayE2e, ARunPassesOverAPortAlreadyBound) {
    const int held = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(held, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(held, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(getsockname(held, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const int port = ntohs(a.sin_port);
    char dirBuf[] = "/tmp/kv5100twoXXXXXX";
    ASSERT_NE(mkdtemp(dirBuf), nullptr);
    const std::string dir = dirBuf;
    for (int start : {port - 1, port}) {
        SCOPED_TRACE(start);
        const CommandResult r = RunCommand("KV5100=" + std::string(KV5100_PATH) + " KV_PORT=" + std::to_string(start) +
                                           " timeout 60 " + KV_TOOLS_DIR + "/two-display.sh " + dir +
                                           " 2 -- --headless --time virtual 2>&1");
        const std::string logs = ReadHostFile(dir + "/a.log") + ReadHostFile(dir + "/b.log");
        EXPECT_EQ(r.status, 0) << r.out << logs;
        EXPECT_EQ(logs.find("Address already in use"), std::string::npos) << logs;
    }
    close(held);
    if (!::testing::Test::HasFailure()) RunCommand("rm -rf " + dir);
}

}  // namespace
