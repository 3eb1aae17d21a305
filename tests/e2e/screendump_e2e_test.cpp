// A screen dump end to end: kv5100 boots on a card image, soft key 5 is held
// for 1.2 s, and the dump is found on the image with mtools and decoded with
// Pillow.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "support/shell.h"

namespace {

TEST(ScreenDumpE2e, LongPressOfKeyFiveSavesTheShownPageOnTheCard) {
    char tmp[] = "/tmp/kvdumpXXXXXX";
    ASSERT_NE(mkdtemp(tmp), nullptr);
    const std::string d = tmp, image = d + "/card.img";
    ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + image + " --fat 16").status, 0);
    std::ofstream(d + "/s.txt") << "7 press 3          # I AGREE\n"
                                << "9 input 2 on       # a discrete input that is not configured shows nothing\n"
                                << "10 press 5 1.2\n"
                                << "+0.5 input 2 off\n";
    const CommandResult run = RunKv5100("--headless --flash " + d + "/unit.flash --sd " + image +
                                        " --run-for 16 --script " + d + "/s.txt --print-syslog 2>&1");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find("INFO: Screen Dump 308278 bytes from (0,"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("INFO: 308278 bytes written(SD) in "), std::string::npos) << run.out;

    const CommandResult dir = RunCommand("MTOOLS_SKIP_CHECK=1 mdir -b -i " + image + " :: | grep -i '/SS.*KVB$'");
    ASSERT_EQ(dir.status, 0) << "no dump on the card";
    const std::string name = dir.out.substr(dir.out.rfind('/') + 1, 12);
    ASSERT_EQ(RunCommand("MTOOLS_SKIP_CHECK=1 mcopy -n -i " + image + " ::" + name + " " + d + "/dump.bmp").status, 0);
    // The dump was written after the flip of the frame that carries the red
    // card mark (palette 2) at the left of the status bar.
    std::ofstream(d + "/check.py") << "import sys\n"
                                      "from PIL import Image\n"
                                      "im = Image.open(sys.argv[1])\n"
                                      "print(im.format, im.mode, im.size, im.getpixel((6, 471)))\n";
    const CommandResult py = RunCommand("/usr/bin/python3 " + d + "/check.py " + d + "/dump.bmp 2>&1");
    EXPECT_EQ(py.out, "BMP P (640, 480) 2\n") << py.out;
    EXPECT_EQ(RunCommand("fsck.fat -n " + image + " >/dev/null 2>&1").status, 0);
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

}  // namespace
