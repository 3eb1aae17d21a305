// A GPS file replayed on port 3 of the demonstration unit: what comes while
// the unit boots is lost, the port receives once it is set up, and a lead of
// filler longer than the boot only holds the first sentence back by its rest
// at the port's 4,800 baud, however long the boot (6 s with --demo).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "support/shell.h"

namespace {

class SerialStartE2e : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kvserstartXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        d_ = dir;
        std::ofstream(d_ + "/system.kvd") << "SERIAL3_FUNC, 2\nGPSNAV1_PORT, 3\n";
    }
    void TearDown() override {
        if (!::testing::Test::HasFailure()) std::system(("rm -rf " + d_).c_str());
    }
    // `leadSeconds` of blank lines at 115,200 baud, then a minute of one RMC a
    // second, padded with blank lines to fill the second at 4,800 baud.
    void WriteTrack(const std::string& name, double leadSeconds) const {
        std::ofstream f(d_ + "/" + name, std::ios::binary);
        for (int i = 0; i < static_cast<int>(leadSeconds * 5760); ++i) f << "\r\n";
        const std::string rmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";
        for (int s = 0; s < 60; ++s) {
            f << rmc;
            for (size_t n = rmc.size(); n + 2 <= 480; n += 2) f << "\r\n";
        }
    }
    // Whether port 3 had received data after `seconds` of a new demonstration unit.
    bool Received(const std::string& track, int seconds) const {
        const std::string flash = d_ + "/flash" + std::to_string(seconds) + track;
        const CommandResult r = RunKv5100("--headless --time virtual --clock 2024-05-01T12:00:00 --demo --flash " + flash +
                                          " --tfs SYSTEM.KVD=" + d_ + "/system.kvd --serial 3=file:" + d_ + "/" + track +
                                          " --run-for " + std::to_string(seconds) + " --print-syslog");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_NE(r.out.find("System Booted in 6.0 sec"), std::string::npos) << r.out;
        return r.out.find("Serial Data Recvd on Port:3") != std::string::npos;
    }
    std::string d_;
};

TEST_F(SerialStartE2e, PortThreeReceivesAfterTheBootWhateverCameBefore) {
    WriteTrack("fit.nmea", 6.0);    // the lead as long as the boot
    WriteTrack("long.nmea", 8.0);   // 2 s (23,040 bytes) left: 48 s at 4,800 baud
    struct Case { const char* track; int seconds; bool received; };
    for (const Case& c : {Case{"fit.nmea", 9, true}, Case{"long.nmea", 50, false}, Case{"long.nmea", 58, true}}) {
        SCOPED_TRACE(std::string(c.track) + " " + std::to_string(c.seconds) + " s");
        EXPECT_EQ(Received(c.track, c.seconds), c.received);
    }
}

}  // namespace
