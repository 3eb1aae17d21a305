// The kv5100 program as a user runs it: options, exit status, the console
// and the system log kept in the flash file across runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/shell.h"

namespace {


size_t Count(const std::string& s, const std::string& what) {
    size_t n = 0;
    for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
    return n;
}

class Kv5100 : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kv5100e2eXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        flash_ = dir_ + "/unit.flash";
    }
    void TearDown() override { std::system(("rm -rf " + dir_).c_str()); }
    std::string dir_, flash_;
};

TEST_F(Kv5100, RunsForItsTimeAndKeepsTheLogAcrossPowerCycles) {
    CommandResult first = RunKv5100("--flash " + flash_ + " --run-for 61 --print-syslog");
    EXPECT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("run ended after 61.000 s"), std::string::npos) << first.out;
    EXPECT_EQ(Count(first.out, "**** SYSTEM BOOT "), 1u) << first.out;

    CommandResult second = RunKv5100("--flash " + flash_ + " --run-for 2 --print-syslog");
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(Count(second.out, "**** SYSTEM BOOT "), 2u) << "the first run's lines were lost";
    EXPECT_EQ(Count(second.out, "System Booted in "), 2u);

    // An independent reader of the flash file sees the same log.
    CommandResult printed = RunKv5100("--flash " + flash_ + " --print-syslog");
    std::string tools = KV_TOOLS_DIR;
    CommandResult independent = RunCommand("python3 " + tools + "/read-syslog.py " + flash_);
    ASSERT_EQ(independent.status, 0);
    EXPECT_EQ(printed.out, independent.out);
}

TEST_F(Kv5100, BadOptionsAndFilesAreRefusedClearly) {
    struct Case { const char* args; const char* says; };
    const Case cases[] = {
        {"--bogus", "unknown option --bogus"},
        {"--time sideways", "--time takes virtual or real"},
        {"--run-for -3", "--run-for takes a positive number"},
        {"--env NOEQUALS", "--env takes NAME=VALUE"},
        {"--run-for", "--run-for needs a value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        CommandResult r = RunKv5100("--flash " + flash_ + " " + c.args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.out.find(c.says), std::string::npos) << r.out;
    }
    std::system(("head -c 1000 /dev/zero > " + dir_ + "/short.flash").c_str());
    CommandResult r = RunKv5100("--flash " + dir_ + "/short.flash --run-for 1");
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.out.find("not a flash image"), std::string::npos) << r.out;
}

}  // namespace

namespace {

TEST_F(Kv5100, SerialBindingsMoveTheConsoleAndRejectBadSpecs) {
    const std::string out = dir_ + "/console.txt";
    CommandResult r = RunKv5100("--flash " + flash_ + " --run-for 1 --serial 1=file:/dev/null," + out);
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_EQ(r.out.find("RamLog Base:"), std::string::npos) << "the console left standard output";
    FILE* f = std::fopen(out.c_str(), "r");
    ASSERT_NE(f, nullptr);
    char buf[8192];
    const std::string console(buf, std::fread(buf, 1, sizeof buf, f));
    std::fclose(f);
    EXPECT_NE(console.find("RamLog Base: 0x"), std::string::npos) << console;

    for (const char* bad : {"5=pty", "0=serial", "1=tcp:0", "2=file:", "3=file:/no/such/file"}) {
        CommandResult b = RunKv5100("--flash " + flash_ + " --run-for 1 --serial " + bad);
        EXPECT_EQ(b.status, 2) << bad;
        EXPECT_NE(b.out.find("--serial"), std::string::npos) << b.out;
    }
}

TEST_F(Kv5100, PtyBindingPrintsItsName) {
    CommandResult r = RunKv5100("--flash " + flash_ + " --run-for 1 --serial 0=pty --serial 4=null");
    EXPECT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("kv5100: serial port 0 is /dev/pts/"), std::string::npos) << r.out;
}

}  // namespace
