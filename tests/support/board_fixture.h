// A fresh emulated board for each test, in virtual time, on a new erased flash.
#pragma once
#include <gtest/gtest.h>
#include <functional>
#include <string>
#include "platform/board.h"

// The system log written in the first log sector since it was last erased.
std::string SysLogSectorText();
// The lines of the RAM log, joined.
std::string RamLogText();
// How often `what` stands in `text`.
size_t CountOf(const std::string& text, const std::string& what);

class BoardTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // A file put into the flash file system as a host tool would.
    static void Put(const char* name, const std::string& text);
    // A file of the flash file system, or "<missing>".
    static std::string Contents(const char* name);

    platform::Board& board() { return *board_; }
    // Bytes sent so far on an on-chip serial port (1 is the debug port).
    std::string SerialOut(int port = 1);
    // Closes the flash file and opens it again, as across a power cycle.
    void ReopenFlash();
    // Runs `fn` as application code and returns how the board stopped it
    // (or StopReason::None when fn returned).
    platform::StopReason RunApp(const std::function<void()>& fn);

    std::string flashPath_;
    platform::Board* board_ = nullptr;
    platform::TimeMode mode_ = platform::TimeMode::Virtual;   // set before SetUp
};
