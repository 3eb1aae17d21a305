// Two displays linked over the datagram wire by tools/two-display.sh: the
// start-up notice accepted with the buttons on display A is dismissed on
// display B, which alone would keep showing it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>
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
    // The warning's text lines, and the I AGREE label under soft key 3.
    EXPECT_GT(before.Lit(120, 270, 520, 330), 500) << "B shows the notice before";
    EXPECT_EQ(a.Lit(120, 270, 520, 330), 0) << "A accepted it";
    EXPECT_EQ(b.Lit(120, 270, 520, 330), 0) << "B followed A";
    EXPECT_GT(b.Lit(0, 340, 639, 460), 2000) << "B shows its pages";
    if (!::testing::Test::HasFailure()) RunCommand("rm -rf " + dir);
}

}  // namespace
