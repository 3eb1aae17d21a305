// The devices at the far end of a serial line: the loop-back plug and the
// ARINC adapter's boot loader, driven byte by byte as a port sends, and the
// kv5100 option that sets the loader up.
#include <gtest/gtest.h>

#include <string>

#include "platform/serialline.h"
#include "sim/serialhost.h"

namespace {

using platform::LoaderOptions;
using platform::SerialLine;

// Sends the bytes at `step` ticks apart from `at`; returns what came back.
std::string Exchange(SerialLine& line, const std::string& bytes, uint64_t& at, uint64_t step = 20000) {
    for (char c : bytes) {
        line.Sent(static_cast<uint8_t>(c), at);
        at += step;
    }
    std::string back;
    for (int c; (c = line.Next(at)) >= 0;) back += static_cast<char>(c);
    return back;
}

TEST(SerialPeer, LoopPlugReturnsWhatIsSent) {
    SerialLine line;
    line.peer().SetLoop();
    EXPECT_TRUE(line.InputBound()) << "polled like a bound input";
    uint64_t at = 0;
    EXPECT_EQ(Exchange(line, "UART #2\r\n", at), "UART #2\r\n");
    line.peer().Clear();
    EXPECT_EQ(Exchange(line, "x", at), "");
}

TEST(SerialPeer, BootLoaderAnswersProbesAsConfigured) {
    struct Case { const char* name; LoaderOptions o; const char* answer; };
    LoaderOptions plain, bare, other, silent;
    bare.crlf = false;
    other.version = '3';
    silent.silent = true;
    const Case cases[] = {
        {"B7 CR LF", plain, "B7\r\nB7\r\n"}, {"bare", bare, "B7B7"}, {"version 3", other, "B3\r\nB3\r\n"}, {"silent", silent, ""},
    };
    for (const Case& c : cases) {
        SerialLine line;
        line.peer().SetArincLoader(c.o, -1);
        uint64_t at = 0;
        EXPECT_EQ(Exchange(line, "xqx", at), c.answer) << c.name;
        EXPECT_EQ(line.peer().stats().started, 0u) << c.name;
    }
}

TEST(SerialPeer, BootLoaderPacesChecksAndEndsTheTransfer) {
    const std::string file = ":0300300002337A1E\n:0300300002337A1F\n:00000001FF\n";
    LoaderOptions o;
    o.xoffAt = 10;
    o.pauseTicks = 100000;
    o.startTicks = 50000;
    SerialLine line;
    line.peer().SetArincLoader(o, -1);
    uint64_t at = 0;
    EXPECT_EQ(Exchange(line, "^", at), "") << "the first XON waits";
    at = 70000;
    EXPECT_EQ(Exchange(line, "", at), "\x11");
    EXPECT_EQ(Exchange(line, file.substr(0, 10), at), "\x13") << "XOFF after 10 bytes";
    EXPECT_EQ(Exchange(line, file.substr(10, 1), at), "") << "a byte under XOFF";
    at += 100000;
    EXPECT_EQ(Exchange(line, "", at), "\x11") << "XON after the pause";
    EXPECT_EQ(Exchange(line, file.substr(11), at, 18432), "!");
    const platform::LoaderStats& st = line.peer().stats();
    EXPECT_EQ(st.bytes, file.size());
    EXPECT_EQ(st.underXoff, 1u);
    EXPECT_EQ(st.records, 2u);
    EXPECT_EQ(st.badRecords, 1u);
    EXPECT_EQ(st.endRecord, 1u);
    EXPECT_EQ(st.shortestGap, 18432u);

    LoaderOptions early;
    early.endAt = 5;
    SerialLine second;
    second.peer().SetArincLoader(early, -1);
    at = 0;
    EXPECT_EQ(Exchange(second, "^" + file.substr(0, 5), at), "\x11!") << "an early end";
}

TEST(SerialPeer, LoaderOptionOfKv5100) {
    struct Case { std::string spec; bool ok; std::string capture; uint32_t xoff, pause, end; char version; bool crlf, silent; };
    const Case cases[] = {
        {"cap.bin", true, "cap.bin", 0, 368640, 0, '7', true, false},
        {"cap.bin,bare,version=4,xoff=100:20,end=50", true, "cap.bin", 100, 73720, 50, '4', false, false},
        {"cap.bin,silent,xoff=7", true, "cap.bin", 7, 368640, 0, '7', true, true},
        {"", false, "", 0, 0, 0, 0, false, false},
        {"cap.bin,version=x", false, "", 0, 0, 0, 0, false, false},
        {"cap.bin,xoff=0", false, "", 0, 0, 0, 0, false, false},
        {"cap.bin,loud", false, "", 0, 0, 0, 0, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.spec);
        LoaderOptions o;
        std::string capture, error;
        ASSERT_EQ(ParseLoaderSpec(c.spec, capture, o, error), c.ok) << error;
        if (!c.ok) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(capture, c.capture);
        EXPECT_EQ(o.xoffAt, c.xoff);
        EXPECT_EQ(o.pauseTicks, c.pause);
        EXPECT_EQ(o.endAt, c.end);
        EXPECT_EQ(o.version, c.version);
        EXPECT_EQ(o.crlf, c.crlf);
        EXPECT_EQ(o.silent, c.silent);
    }
    SerialBinding b;
    std::string error;
    EXPECT_TRUE(ParseSerialOption("2=loop", b, error));
    EXPECT_TRUE(ParseSerialOption("3=arinc-loader:/tmp/c,bare", b, error));
    EXPECT_FALSE(ParseSerialOption("3=arinc-loader:", b, error));
}

}  // namespace
