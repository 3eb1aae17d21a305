// What a hostile host side does to kv5100: a reader that goes away or never
// reads, a run length below one tick, a cut while the flash file is made, a
// log sector whose erase was cut. The unit runs on and says what it lost.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "support/shell.h"

namespace {

class HostileHost : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kvhostileXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        flash_ = dir_ + "/unit.flash";
        // Every line of the log echoed on the console: output enough to fill a pipe.
        std::ofstream(dir_ + "/nvram.kvd") << "SERIAL_DEBUG_ON, 1\n";
    }
    void TearDown() override {
        if (!HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    std::string Kv5100(const std::string& args) {
        return std::string(KV5100_PATH) + " --headless --flash " + flash_ + " --tfs NVRAM.KVD=" + dir_ + "/nvram.kvd " + args;
    }
    std::string dir_, flash_;
};

TEST_F(HostileHost, AConsoleReaderThatGoesAwayLosesOutputOnly) {
    // The reader is gone before the unit's first line (a run prints only a few
    // hundred bytes, all at once on a fast host): every write then meets it gone.
    const CommandResult r = RunCommand("bash -c '(sleep 1; exec " + Kv5100("--run-for 12 2>" + dir_ + "/err.txt") +
                                       ") | true; echo status ${PIPESTATUS[0]}'");
    EXPECT_EQ(r.out, "status 0\n");
    const std::string err = ReadHostFile(dir_ + "/err.txt");
    EXPECT_NE(err.find("run ended after 12.000 s"), std::string::npos) << err;
    EXPECT_NE(err.find("kv5100: serial port 1: "), std::string::npos) << err;
}

TEST_F(HostileHost, AnOutputNobodyReadsDoesNotFreezeTheUnit) {
    const std::string fifo = dir_ + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // A reader that holds the pipe open, with the smallest buffer, and never reads.
    const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    fcntl(reader, F_SETPIPE_SZ, 4096);
    const CommandResult r = RunCommand("timeout 120 " + Kv5100("--run-for 12 --serial 1=file:/dev/null," + fifo + " 2>&1"));
    close(reader);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("run ended after 12.000 s"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("kv5100: serial port 1: "), std::string::npos) << r.out;
}

TEST_F(HostileHost, ARunShorterThanATickIsRefused) {
    const CommandResult r = RunCommand("timeout 30 " + std::string(KV5100_PATH) + " --headless --flash " + flash_ +
                                       " --run-for 1e-7 2>&1");
    EXPECT_EQ(r.status, 2) << r.out;
    EXPECT_NE(r.out.find("--run-for takes a positive number of seconds, at least one timer tick"), std::string::npos)
        << r.out;
}

// The file-size limit cuts kv5100 while it makes the new flash file.
TEST_F(HostileHost, AFlashWhoseCreationWasCutStillGetsTheDemo) {
    RunCommand("bash -c 'ulimit -f 1024; exec " + std::string(KV5100_PATH) + " --headless --demo --run-for 1 --flash " +
               flash_ + "' >/dev/null 2>&1");
    const CommandResult r = RunCommand(std::string(KV5100_PATH) + " --headless --demo --run-for 1 --flash " + flash_ +
                                       " --tfs-out SYSTEM.KVD=" + dir_ + "/system.kvd 2>&1");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(ReadHostFile(dir_ + "/system.kvd").find("DEMO_FLAGS, 124"), std::string::npos);
}

// Both log sectors full of old records, then the erase of sector 60 cut
// after its first 40 records: a free run at its start, old records after.
TEST_F(HostileHost, ALogSectorWhoseEraseWasCutDoesNotStopTheLog) {
    ASSERT_EQ(RunCommand(Kv5100("--run-for 1 >/dev/null 2>&1")).status, 0);
    std::ofstream(dir_ + "/cut.py") << "import sys\n"
                                       "f = open(sys.argv[1], 'r+b')\n"
                                       "for sector in (60, 61):\n"
                                       "    f.seek(sector * 0x20000)\n"
                                       "    for r in range(2048):\n"
                                       "        f.write(('old %d/%d\\n' % (sector, r)).encode().ljust(64, b'\\0'))\n"
                                       "f.seek(60 * 0x20000)\n"
                                       "f.write(b'\\xff' * 40 * 64)\n";
    ASSERT_EQ(RunCommand("python3 " + dir_ + "/cut.py " + flash_).status, 0);
    const CommandResult r = RunCommand(Kv5100("--run-for 12 --print-syslog 2>&1"));
    EXPECT_EQ(r.status, 0);
    const std::string log = r.out.substr(r.out.find("run ended after"));
    EXPECT_NE(log.find("System Booted"), std::string::npos) << log;
    EXPECT_NE(log.find("old 61/2047"), std::string::npos) << "the older sector was kept";
}

}  // namespace
