// Ending kv5100 ends the whole unit: after kill -9 no process of the run is
// left and the flash file stays as it was; SIGTERM is a power-off with its
// report; a flash file held by a live run is refused to a second one.
#include <gtest/gtest.h>
#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "support/shell.h"

namespace {

// Processes whose command line names `mark` (every process of one run does).
int ProcessesNaming(const std::string& mark) {
    int n = 0;
    DIR* proc = opendir("/proc");
    if (!proc) return -1;
    while (dirent* e = readdir(proc)) {
        if (e->d_name[0] < '0' || e->d_name[0] > '9') continue;
        std::string cmd = ReadHostFile(std::string("/proc/") + e->d_name + "/cmdline");
        for (char& c : cmd)
            if (c == '\0') c = ' ';
        if (cmd.find(mark) != std::string::npos && cmd.find("kv5100 ") != std::string::npos) ++n;
    }
    closedir(proc);
    return n;
}

class PowerSwitch : public ::testing::Test {
protected:
    void SetUp() override {
        char dir[] = "/tmp/kvpowerXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        flash_ = dir_ + "/unit.flash";
    }
    void TearDown() override {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (!HasFailure()) std::system(("rm -rf " + dir_).c_str());
    }
    // Starts a run in real time that lasts well past the test; its standard
    // error goes to err.txt. Returns once the application process is up.
    void Start() {
        pid_ = fork();
        if (pid_ == 0) {
            const std::string cmd = std::string("exec ") + KV5100_PATH + " --headless --time real --demo --run-for 120 --flash " +
                                    flash_ + " >/dev/null 2>" + dir_ + "/err.txt";
            execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && ProcessesNaming(flash_) < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::this_thread::sleep_for(std::chrono::seconds(1));   // the unit boots and writes its flash
        ASSERT_EQ(ProcessesNaming(flash_), 2) << "kv5100 and its application process";
    }
    // Ends the run with `sig`; its exit status as a shell gives it.
    int Stop(int sig) {
        kill(pid_, sig);
        int ws = 0;
        waitpid(pid_, &ws, 0);
        pid_ = -1;
        return WIFEXITED(ws) ? WEXITSTATUS(ws) : 128 + WTERMSIG(ws);
    }
    // No process of the run within a second, and nothing writes the flash after that.
    void ExpectAllGone() {
        int left = 0;
        for (int i = 0; i < 50 && (left = ProcessesNaming(flash_)) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_EQ(left, 0) << "a process of the run outlived kv5100";
        const std::string before = ReadHostFile(flash_);
        std::this_thread::sleep_for(std::chrono::seconds(1));
        EXPECT_TRUE(before == ReadHostFile(flash_)) << "the flash file changed after the run ended";
    }
    std::string dir_, flash_;
    pid_t pid_ = -1;
};

TEST_F(PowerSwitch, KillNineEndsTheApplicationProcessToo) {
    Start();
    EXPECT_EQ(Stop(SIGKILL), 128 + SIGKILL);
    ExpectAllGone();
}

TEST_F(PowerSwitch, SigtermAndSigintArePowerOffs) {
    for (int sig : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(sig);
        Start();
        EXPECT_EQ(Stop(sig), 0);
        const std::string err = ReadHostFile(dir_ + "/err.txt");
        EXPECT_NE(err.find(sig == SIGTERM ? "kv5100: SIGTERM: power off at " : "kv5100: SIGINT: power off at "),
                  std::string::npos)
            << err;
        ExpectAllGone();
    }
    // The flash holds what the runs wrote: both starts are in its log.
    const CommandResult log = RunKv5100("--flash " + flash_ + " --print-syslog");
    EXPECT_EQ(log.status, 0);
    size_t boots = 0;
    const std::string separator = "======================================================";
    for (size_t at = log.out.find(separator); at != std::string::npos; at = log.out.find(separator, at + 1))
        ++boots;
    EXPECT_EQ(boots, 2u) << log.out;
}

TEST_F(PowerSwitch, ASecondRunOnAHeldFlashIsRefused) {
    Start();
    const CommandResult second = RunKv5100("--headless --flash " + flash_ + " --run-for 1");
    EXPECT_EQ(second.status, 2);
    EXPECT_NE(second.out.find("flash file " + flash_ + " is in use by another kv5100 run"), std::string::npos)
        << second.out;
    EXPECT_EQ(Stop(SIGTERM), 0);
    const CommandResult third = RunKv5100("--headless --flash " + flash_ + " --run-for 1");
    EXPECT_EQ(third.status, 0) << "the lock ends with the run\n" << third.out;
}

}  // namespace
