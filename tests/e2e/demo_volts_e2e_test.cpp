// The demonstration configuration reads plausible volts on every electrical
// input: the battery's, logged when the unit goes on battery power.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/shell.h"

TEST(DemoVolts, BatteryReadsVoltsNotCounts) {
    char dir[] = "/tmp/kv5100demovXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string d = dir;
    std::ofstream(d + "/script.txt") << "10 supply off\n";
    const CommandResult r = RunKv5100("--headless --demo --flash " + d + "/f.bin --run-for 16 --script " + d +
                                      "/script.txt --print-syslog");
    ASSERT_EQ(r.status, 0) << r.out;
    // The board's healthy 12400 counts on the scale of the main bus (14000 counts 13.8 V).
    EXPECT_NE(r.out.find("ON BAT PWR 12.2V @"), std::string::npos) << r.out;
    std::system(("rm -rf " + d).c_str());
}
