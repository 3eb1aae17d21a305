// The monitor's flash file system as the firmware calls it.
#include <cstring>
#include <string>
#include <vector>

#include "platform/monitor.h"
#include "platform/tfs.h"
#include "support/board_fixture.h"

namespace {

using platform::StopReason;

constexpr uint32_t kHalfBytes = platform::kTfsHalfSectors * platform::kFlashSectorBytes;
constexpr uint32_t kMarkerBytes = 16;

class TfsTest : public BoardTest {
protected:
    int Add(const std::string& name, const std::string& data) {
        return mon_tfsadd(name.c_str(), nullptr, nullptr, reinterpret_cast<const uint8_t*>(data.data()),
                          static_cast<int>(data.size()));
    }
    // The whole file, or "<missing>".
    std::string Contents(const std::string& name) {
        int fd = mon_tfsopen(name.c_str(), kTfsRead, nullptr);
        if (fd < 0) return "<missing>";
        std::string out;
        char buf[4096];
        int n;
        while ((n = mon_tfsread(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
        mon_tfsclose(fd, nullptr);
        return out;
    }
    std::vector<std::string> Names() {
        std::vector<std::string> out;
        TfsStat st{};
        for (int i = 0; mon_tfslist(i, &st) == 0; ++i) out.emplace_back(st.name);
        return out;
    }
    // Every byte of the active half is accounted for as used, dead or available.
    void ExpectSpaceAccounted() {
        long used = mon_tfsctrl(kTfsCtrlUsedRequest, 0, 0);
        long dead = mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0);
        long avail = mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0);
        EXPECT_EQ(used + dead + avail, static_cast<long>(kHalfBytes - kMarkerBytes));
    }
    void PowerCycle() {
        ReopenFlash();
        board().PowerOn();
    }
};

TEST_F(TfsTest, AddReplaceRemoveAndSpace) {
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlAvailRequest, 0, 0), static_cast<long>(kHalfBytes - kMarkerBytes));
    ASSERT_EQ(Add("SYSTEM.KVD", "A, 1\n"), 0);
    ASSERT_EQ(Add("ENGINE.KVD", "B, 2\n"), 0);
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlUsedRequest, 0, 0), 2 * (64 + 16));
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);

    ASSERT_EQ(Add("SYSTEM.KVD", "A, 3\nC, 4\n"), 0);   // replaces; the old copy is dead space
    EXPECT_EQ(Contents("SYSTEM.KVD"), "A, 3\nC, 4\n");
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 64 + 16);
    TfsStat st{};
    ASSERT_EQ(mon_tfsstat("SYSTEM.KVD", &st), 0);
    EXPECT_EQ(st.size, 10u);

    EXPECT_EQ(mon_tfsunlink("ENGINE.KVD"), 0);
    EXPECT_EQ(mon_tfsunlink("ENGINE.KVD"), platform::kTfsErrNoFile);
    EXPECT_EQ(Contents("ENGINE.KVD"), "<missing>");
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 2 * (64 + 16));
    ExpectSpaceAccounted();

    PowerCycle();   // everything is in flash
    EXPECT_EQ(Names(), std::vector<std::string>{"SYSTEM.KVD"});
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 2 * (64 + 16));

    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDefragRequest, 0, 0), 0);
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);
    EXPECT_EQ(Contents("SYSTEM.KVD"), "A, 3\nC, 4\n");
    ExpectSpaceAccounted();
    PowerCycle();
    EXPECT_EQ(Contents("SYSTEM.KVD"), "A, 3\nC, 4\n");
}

TEST_F(TfsTest, ErrorsAndLimits) {
    EXPECT_EQ(mon_tfsopen("NONE", kTfsRead, nullptr), platform::kTfsErrNoFile);
    EXPECT_STREQ(reinterpret_cast<const char*>(mon_tfsctrl(kTfsCtrlErrTextRequest, platform::kTfsErrNoFile, 0)),
                 "file not found");
    EXPECT_EQ(Add(std::string(30, 'N'), "x"), platform::kTfsErrNameLen);
    EXPECT_EQ(mon_tfsctrl(99, 0, 0), platform::kTfsErrBadArg);
    ASSERT_EQ(Add("F", "x\n"), 0);
    std::vector<int> fds;
    for (int i = 0; i < platform::kTfsMaxOpen; ++i) fds.push_back(mon_tfsopen("F", kTfsRead, nullptr));
    for (int fd : fds) EXPECT_GE(fd, 0);
    EXPECT_EQ(mon_tfsopen("F", kTfsRead, nullptr), platform::kTfsErrNoSlot);
    EXPECT_EQ(mon_tfsctrl(kTfsCtrlDefragRequest, 0, 0), platform::kTfsErrBusy);
    for (int fd : fds) EXPECT_EQ(mon_tfsclose(fd, nullptr), 0);
    EXPECT_EQ(mon_tfsclose(fds[0], nullptr), platform::kTfsErrBadFd);
    // A file too big for the free space is refused and changes nothing.
    std::string big(200000, 'x');
    int added = 0;
    while (Add("BIG" + std::to_string(added), big) == 0) ++added;
    EXPECT_EQ(added, 13);
    EXPECT_EQ(Add("BIG", big), platform::kTfsErrFlashFull);
    EXPECT_EQ(Contents("F"), "x\n");
    ExpectSpaceAccounted();
}

TEST_F(TfsTest, GetLinePassesOverTheRestOfLongLines) {
    std::string longLine(300, 'L');
    ASSERT_EQ(Add("T", "ab\n" + longLine + "\nlast"), 0);
    int fd = mon_tfsopen("T", kTfsRead, nullptr);
    char buf[256];
    EXPECT_EQ(mon_tfsgetline(fd, buf, sizeof buf), 3);
    EXPECT_STREQ(buf, "ab\n");
    EXPECT_EQ(mon_tfsgetline(fd, buf, sizeof buf), 255);
    EXPECT_EQ(std::string(buf), longLine.substr(0, 255));
    EXPECT_EQ(mon_tfseof(fd), 0);
    EXPECT_EQ(mon_tfsgetline(fd, buf, sizeof buf), 4);
    EXPECT_STREQ(buf, "last");
    EXPECT_NE(mon_tfseof(fd), 0);
    EXPECT_EQ(mon_tfsgetline(fd, buf, sizeof buf), 0);
    mon_tfsclose(fd, nullptr);
}

TEST_F(TfsTest, FlashFailureDuringAddKeepsTheOldFile) {
    ASSERT_EQ(Add("F", "old\n"), 0);
    board().flash().FailNext(1);   // the header write
    EXPECT_EQ(Add("F", "new\n"), platform::kTfsErrFlashFail);
    EXPECT_EQ(Contents("F"), "old\n");
    board().flash().FailNext(1);
    EXPECT_EQ(Add("G", "other\n"), platform::kTfsErrFlashFail);
    EXPECT_EQ(Contents("G"), "<missing>");
    ASSERT_EQ(Add("G", "other\n"), 0);
    EXPECT_EQ(Contents("F"), "old\n");
    PowerCycle();
    EXPECT_EQ(Contents("F"), "old\n");
    ExpectSpaceAccounted();
}

// The board loses power at each flash operation of an add that replaces a
// file in turn; after the restart the file system mounts, the file is the
// old or the new one, and later adds still work.
TEST_F(TfsTest, PowerCutAtEveryStepOfAnAdd) {
    const std::string oldText = "KEY, OLD\n", newText = "KEY, NEW VALUE\n";
    bool completed = false;
    for (int step = 0; step < 20 && !completed; ++step) {
        SCOPED_TRACE("cut at operation " + std::to_string(step));
        ASSERT_EQ(Add("SYSTEM.KVD", oldText), 0);
        board().flash().ArmPowerCut(step);
        StopReason r = RunApp([&] { Add("SYSTEM.KVD", newText); });
        board().flash().ArmPowerCut(-1);
        completed = r == StopReason::None;
        if (!completed) {
            ASSERT_EQ(r, StopReason::PowerOff);
        }
        PowerCycle();
        std::string now = Contents("SYSTEM.KVD");
        EXPECT_TRUE(now == oldText || now == newText) << now;
        if (completed) {
            EXPECT_EQ(now, newText);
        }
        EXPECT_EQ(Names(), std::vector<std::string>{"SYSTEM.KVD"});
        ExpectSpaceAccounted();
        ASSERT_EQ(Add("OTHER", "x\n"), 0);
        EXPECT_EQ(Contents("OTHER"), "x\n");
        ASSERT_EQ(mon_tfsunlink("OTHER"), 0);
    }
    EXPECT_TRUE(completed);
}

TEST_F(TfsTest, PowerCutAtEveryStepOfADefrag) {
    bool completed = false;
    for (int step = 0; step < 60 && !completed; ++step) {
        SCOPED_TRACE("cut at operation " + std::to_string(step));
        ASSERT_EQ(mon_tfsctrl(kTfsCtrlDefragRequest, 0, 0), 0);   // a clean start for each round
        ASSERT_EQ(Add("A", "first\n"), 0);
        ASSERT_EQ(Add("B", "second\n"), 0);
        ASSERT_EQ(Add("A", "first, again\n"), 0);
        ASSERT_EQ(mon_tfsunlink("B"), 0);
        ASSERT_EQ(Add("C", std::string(5000, 'c')), 0);
        board().flash().ArmPowerCut(step);
        StopReason r = RunApp([&] { mon_tfsctrl(kTfsCtrlDefragRequest, 0, 0); });
        board().flash().ArmPowerCut(-1);
        completed = r == StopReason::None;
        if (!completed) {
            ASSERT_EQ(r, StopReason::PowerOff);
        }
        PowerCycle();
        EXPECT_EQ(Contents("A"), "first, again\n");
        EXPECT_EQ(Contents("B"), "<missing>");
        EXPECT_EQ(Contents("C"), std::string(5000, 'c'));
        ExpectSpaceAccounted();
        if (completed) {
            EXPECT_EQ(mon_tfsctrl(kTfsCtrlDeadRequest, 0, 0), 0);
        }
        ASSERT_EQ(Add("D", "after\n"), 0);
        EXPECT_EQ(Contents("D"), "after\n");
        ASSERT_EQ(mon_tfsunlink("D"), 0);
        ASSERT_EQ(mon_tfsunlink("A"), 0);
        ASSERT_EQ(mon_tfsunlink("C"), 0);
    }
    EXPECT_TRUE(completed);
}

}  // namespace
