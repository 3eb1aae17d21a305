#include "support/board_fixture.h"

#include <unistd.h>
#include <cstdlib>
#include <cstring>

#include "core/syslog.h"
#include "platform/monitor.h"
#include "storage/flash.h"

using platform::Board;
using platform::BoardStop;
using platform::StopReason;

void BoardTest::SetUp() {
    char path[] = "/tmp/kvflashXXXXXX";
    int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    unlink(path);   // a missing file is created erased
    flashPath_ = path;
    board_ = Board::Create(mode_);
    ASSERT_NE(board_, nullptr);
    ASSERT_TRUE(board_->OpenFlash(flashPath_.c_str()));
    board_->PowerOn();
}

void BoardTest::TearDown() {
    Board::Destroy();
    board_ = nullptr;
    unlink(flashPath_.c_str());
}

std::string BoardTest::SerialOut(int port) {
    static char buf[65536];
    int n = board_->uart(port).CopySent(buf, sizeof buf);
    return std::string(buf, static_cast<size_t>(n));
}

void BoardTest::ReopenFlash() {
    board_->CloseFlash();
    ASSERT_TRUE(board_->OpenFlash(flashPath_.c_str()));
}

StopReason BoardTest::RunApp(const std::function<void()>& fn) {
    try {
        fn();
    } catch (const BoardStop& s) {
        return s.reason;
    }
    return StopReason::None;
}

std::string SysLogSectorText() {
    std::string out;
    for (uint32_t r = 0; r < kSysLogRecords; ++r) {
        const char* p = reinterpret_cast<const char*>(FlashPtr(kSysLogSectorA * kFlashSectorBytes + r * 64, 64));
        if (static_cast<uint8_t>(p[0]) == 0xFF) break;
        out += std::string(p, strnlen(p, 64));
    }
    return out;
}

std::string RamLogText() {
    std::string all;
    for (uint32_t i = 0; i < G_RamLog.nCount && i < kRamLogLines; ++i) all += G_RamLog.szLine[i];
    return all;
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

void BoardTest::Put(const char* name, const std::string& text) {
    ASSERT_EQ(mon_tfsadd(name, nullptr, nullptr, reinterpret_cast<const uint8_t*>(text.data()),
                         static_cast<int>(text.size())),
              0);
}

std::string BoardTest::Contents(const char* name) {
    int fd = mon_tfsopen(name, kTfsRead, nullptr);
    if (fd < 0) return "<missing>";
    std::string out;
    char buf[4096];
    int n;
    while ((n = mon_tfsread(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    mon_tfsclose(fd, nullptr);
    return out;
}
