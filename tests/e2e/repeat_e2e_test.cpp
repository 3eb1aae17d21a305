// Two runs from the same flash, card, clock, script and serial input give
// the same console and system log, flash file, card image and pictures, byte
// for byte: a run can be replayed and its log kept as a reference.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "support/shell.h"

namespace {

TEST(RepeatE2e, TheSameInputsGiveTheSameLogFilesAndPictures) {
    char tmp[] = "/tmp/kvrepeatXXXXXX";
    ASSERT_NE(mkdtemp(tmp), nullptr);
    const std::string d = tmp;
    ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + d + "/card.img --fat 16").status, 0);
    std::ofstream(d + "/s.txt") << "7 press 3                  # I AGREE\n"
                                << "8 adc engine 9 all 2400    # EGT\n"
                                << "8 pulses rpm 40            # 2400 RPM\n"
                                << "9 knob 3\n"
                                << "10 press 5 1.2             # a screen dump to the card\n"
                                << "13 screenshot " << d << "/RUN/mid.png\n"
                                << "13.5 press 1\n";
    std::ofstream(d + "/gps.txt") << "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n"
                                     "garbage \x01\x02\xff\r\n";
    std::string out[2];
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        const std::string r = d + "/r" + std::to_string(run);
        ASSERT_EQ(RunCommand("mkdir " + r + " && cp " + d + "/card.img " + r + "/card.img").status, 0);
        std::string script = ReadHostFile(d + "/s.txt");
        script.replace(script.find("RUN"), 3, "r" + std::to_string(run));
        std::ofstream(r + "/s.txt") << script;
        const CommandResult c = RunCommand(std::string(KV5100_PATH) + " --headless --demo --clock 2024-05-01T12:34:56 --flash " +
                                           r + "/unit.flash --sd " + r + "/card.img --script " + r +
                                           "/s.txt --serial 0=file:" + d + "/gps.txt --run-for 16 --screenshot " + r +
                                           "/end.png --print-syslog 2>/dev/null");
        ASSERT_EQ(c.status, 0) << c.out;
        out[run] = c.out;
    }
    EXPECT_NE(out[0].find("**** SYSTEM BOOT 05-01-24 at 12:34:5"), std::string::npos) << out[0];
    EXPECT_NE(out[0].find("RamLog Base: 0xa"), std::string::npos) << out[0];
    EXPECT_EQ(out[0], out[1]) << "console and system log differ";
    for (const char* file : {"unit.flash", "card.img", "mid.png", "end.png"}) {
        SCOPED_TRACE(file);
        const std::string a = ReadHostFile(d + "/r0/" + file);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == ReadHostFile(d + "/r1/" + file)) << "differs between the runs";
    }
    if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d).c_str());
}

}  // namespace
