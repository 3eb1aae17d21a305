// The ARINC adapter's service screens on the emulated board: the test page
// of the diagnostics menu against the adapter peer, and the firmware
// upgrade against the boot-loader model on the line, with ARINC.HEX made by
// srec_cat on a card made by make-sd-image.sh.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <string>

#include "core/framers.h"
#include "core/serial.h"
#include "core/spi.h"
#include "nav/arinc.h"
#include "nav/navsrc.h"
#include "peers/arinc_peer.h"
#include "setup/arinctest.h"
#include "setup/arincupgrade.h"
#include "setup/setup.h"
#include "storage/config.h"
#include "storage/nvram.h"
#include "storage/sdcard.h"
#include "support/shell.h"
#include "sim/screenshot.h"
#include "ui/ui_fixture.h"

namespace {

namespace ap = arinc_peer;

class ArincScreens : public UiTest {
protected:
    void SetUp() override {
        UiTest::SetUp();
        board().SetRunEnd(board().Now() + 600ull * kTicksPerSecond);   // a screen that never leaves fails, not hangs
        RunApp([] {
            InitSsp();
            InitPalette();
            ReadNVRam();
        });
        char dir[] = "/tmp/kvarincXXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
    }
    void TearDown() override {
        std::system(("rm -rf " + dir_).c_str());
        UiTest::TearDown();
    }
    void Ports(uint32_t f1, uint32_t f2, uint32_t f3, uint32_t f4) {
        RunApp([&] {
            const uint32_t f[5] = {0, f1, f2, f3, f4};
            for (uint32_t p = 1; p <= 4; ++p) G_Serial[p].nFunction = f[p];
            InitSerialPorts();
        });
    }
    void Send(int port, const std::string& bytes) {
        board().SerialInput(port, bytes.data(), static_cast<int>(bytes.size()));
    }
    double Key(int b, double t) {
        Press(b, t, 60);
        return t + 200;
    }
    // A card holding ARINC.HEX with these bytes (none: no file), mounted.
    void Card(const std::string* hex) {
        std::string args = dir_ + "/card.img --fat 16";
        if (hex != nullptr) {
            std::ofstream(dir_ + "/ARINC.HEX", std::ios::binary) << *hex;
            args += " " + dir_ + "/ARINC.HEX=ARINC.HEX";
        }
        ASSERT_EQ(RunCommand(std::string(KV_TOOLS_DIR) + "/make-sd-image.sh " + args + " 2>&1").status, 0);
        ASSERT_TRUE(board().mmc().card().OpenImage((dir_ + "/card.img").c_str()));
        ASSERT_TRUE(board().mmc().Insert());
        RunApp([] { MountSDCard(); });
        ASSERT_EQ(G_SDCard.nState, kSdMounted);
    }
    // Intel HEX of `n` random bytes, as srec_cat writes it.
    std::string HexFile(int n) {
        const std::string bin = dir_ + "/blob.bin", hex = dir_ + "/blob.hex";
        EXPECT_EQ(RunCommand("head -c " + std::to_string(n) + " /dev/urandom > " + bin).status, 0);
        EXPECT_EQ(RunCommand("srec_cat " + bin + " -binary -o " + hex + " -intel").status, 0);
        return ReadHostFile(hex);
    }
    std::string dir_;
};

// ---- the test page ------------------------------------------------------------------------------

uint32_t Image(uint32_t label, double value, double range, int bits, uint32_t ssm) {
    return ap::LineToImage(ap::BnrLine(label, value, range, bits, ssm));
}

TEST_F(ArincScreens, TestPageShowsLabelsAndSendsTheKnobHeading) {
    Ports(5, 0, 5, 0);   // ports 1 and 3 both on the adapter: 3 is tested
    const uint8_t source1 = G_NavSrc.hdr.nPort[0];
    Send(3, ap::Message('A', '0', "B1.05"));
    Send(3, ap::Message('G', '1', ap::Words({Image(100, 90.0, 180.0, 12, 3), Image(114, 45.0, 180.0, 12, 1)})));
    Restart();
    double t = 50;
    for (int i = 0; i < 8; ++i) t = Key(2, t);   // row 9: GPS
    t = Key(4, t);
    Turn(-2, t + 300, 100);   // the first detent after the rest is dropped: one step left
    t = Key(4, t + 900);      // STOP
    Key(1, t + 100);
    ASSERT_EQ(RunApp([] { DiagnosticsMenu(); }), platform::StopReason::None);
    EXPECT_EQ(ArincTestPort(), 3u);
    EXPECT_EQ(ArincTestHeading(), 359);
    EXPECT_EQ(ArincTestCount(), 1u) << "both messages taken in one pass";
    struct Line { int i; const char* text; uint32_t colour; };
    const Line lines[] = {
        {3, "Course(x10): |0900   ", 31},       // normal: white
        {4, "Des.Track(x10): |0450 true     ", 2},  // SSM 1: red
        {12, "Ground Speed(x10): |", 21},          // never received: grey
        {1, "Equipment: |", 21},                   // not decoded by the adapter parser
    };
    for (const Line& l : lines) {
        EXPECT_STREQ(ArincTestLine(l.i), l.text);
        EXPECT_EQ(ArincTestColour(l.i), l.colour) << l.text;
    }
    // The frames after the turn carry 359 degrees in label 320.
    const ap::Stream out = ap::Split(SerialOut(3));
    ASSERT_GT(out.frames.size(), 10u);
    const ap::Decoded h = ap::Heading320(out.frames.back().word[4]);
    EXPECT_EQ(h.label, 320u);
    EXPECT_NEAR(std::fmod(h.value + 360.0, 360.0), 359.0, 0.01);
    EXPECT_NE(out.commands.find('R'), std::string::npos) << "the version asked for";
    EXPECT_EQ(G_NavSrc.hdr.nPort[0], source1) << "source 1 handed back";
}

TEST_F(ArincScreens, TestPageWithoutAnAdapterPortReturnsAfter20s) {
    Ports(0, 0, 0, 0);
    Restart();
    double t = 50;
    for (int i = 0; i < 8; ++i) t = Key(2, t);
    t = Key(4, t);
    Key(1, t + 25000);   // leaves the menu only when the page returned alone
    Key(1, t + 26000);
    ASSERT_EQ(RunApp([] { DiagnosticsMenu(); }), platform::StopReason::None);
    EXPECT_EQ(ArincTestPort(), 0u);
    EXPECT_LT(board().Now() - start_, static_cast<uint64_t>((t + 25500) * kMs)) << "the first key left the menu";
}

TEST(ArincNames, CodesOutsideTheTablesAreBlank) {
    struct Case { const char* (*name)(int32_t); int32_t code; const char* text; };
    const Case cases[] = {
        {ArincManufacturerName, 24, "Garmin"}, {ArincManufacturerName, 30, ""}, {ArincManufacturerName, -1, ""},
        {ArincEquipmentName, 11, "GPS"},       {ArincEquipmentName, 20, ""},
        {ArincPhaseName, 4, "OCN"},            {ArincPhaseName, 6, ""},          {ArincPhaseName, 7, ""},
        {ArincCourseSourceName, 2, "VLOC"},    {ArincCourseSourceName, 4, ""},
    };
    for (const Case& c : cases) EXPECT_STREQ(c.name(c.code), c.text) << c.code;
}

// ---- the upgrade --------------------------------------------------------------------------------

TEST(IntelHexCheck, RecordsLengthsChecksumsAndTheEndRecord) {
    struct Case { const char* name; std::string text; int32_t bad; };
    const std::string end = ":00000001FF\n";
    const Case cases[] = {
        {"good", ":0300300002337A1E\n" + end, 0},
        {"CR LF", ":0300300002337A1E\r\n:00000001FF\r\n", 0},
        {"empty file", "", 0},
        {"bad checksum", ":0300300002337A1F\n" + end, 1},
        {"length byte wrong", ":0400300002337A1E\n" + end, 1},
        {"not hex", ":03003000G2337A1E\n" + end, 1},
        {"unknown type", ":00000006FA\n" + end, 1},
        {"no end record", ":0300300002337A1E\n", 2},
        {"record after the end", end + ":0300300002337A1E\n", 2},
        {"too long", ":" + std::string(600, '0') + "\n" + end, 1},
        {"text", "hello\n", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CheckIntelHex(reinterpret_cast<const uint8_t*>(c.text.data()), static_cast<uint32_t>(c.text.size())),
                  c.bad) << c.name;
}

TEST_F(ArincScreens, UpgradeAgainstTheBootLoader) {
    const std::string hex = HexFile(96);
    std::string badSum = hex;
    badSum[badSum.find('\n') - 1] ^= 1;   // the first record's checksum
    const std::string big(kFlashBufBytes, ':');   // no room for its terminating zero
    const std::string empty;
    struct Case {
        const char* name;
        const std::string* file;      // null: no card
        bool onCard;
        platform::LoaderOptions loader;
        std::string logged;
        const char* version;
        uint32_t sent;                // file bytes after "^"; ~0u: no "^"
    };
    platform::LoaderOptions plain, bare, silent, paused, early, other;
    bare.crlf = false;
    silent.silent = true;
    paused.xoffAt = 40;
    paused.startTicks = 200 * kMs;
    early.endAt = 50;
    other.version = '3';
    const uint32_t all = static_cast<uint32_t>(hex.size()), none = ~0u;
    const Case cases[] = {
        {"no card", nullptr, false, plain, "No SD Card in slot", "B7", none},
        {"whole file", &hex, true, plain, "Done, " + std::to_string(all) + " bytes sent", "B7", all},
        {"paused by XOFF, first XON late", &hex, true, paused, "Done, " + std::to_string(all) + " bytes sent", "B7", all},
        {"bare B7 found on its second answer", &hex, true, bare, "Done, ", "B7", all},
        {"another version", &hex, true, other, "Done, ", "B3", all},
        {"early end", &hex, true, early, "Done, 50 bytes sent", "B7", 50},
        {"empty file", &empty, true, plain, "Done, 0 bytes sent", "B7", 0},
        {"bad checksum", &badSum, true, plain, "ARINC.HEX line 1 is not an Intel HEX record", "B7", none},
        {"too big", &big, true, plain, "ARINC.HEX is 310000 bytes", "B7", none},
        {"no file", &hex, false, plain, "ARINC.HEX file not found on SD Card", "B7", none},
        {"no adapter", &hex, true, silent, "Init Port:3, func:11", "", none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        platform::SerialLine& line = board().serialLine(3);
        line.peer().SetArincLoader(c.loader, -1);
        if (c.file != nullptr) Card(c.onCard ? c.file : nullptr);
        Ports(0, 0, 5, 0);
        const uint32_t before = line.SentTotal();
        const size_t logBefore = SysLog().size();
        Restart();
        Key(4, 1500);   // START
        Key(1, 6000);   // RETURN where the screen waits
        ASSERT_EQ(RunApp([] { ArincUpgradeScreen(131); }), platform::StopReason::None);
        Run(6500);
        const std::string log = SysLog().substr(logBefore);
        if (const char* keep = std::getenv("KV_SHOT_DIR")) {
            std::string error;
            WriteScreenshotPng(board().display(), (std::string(keep) + "/" + c.name + ".png").c_str(), error);
        }
        if (c.loader.silent) {
            EXPECT_GE(board().Now() - start_, 10ull * kTicksPerSecond) << "10 s of probing";
        }
        EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        EXPECT_STREQ(ArincLoaderVersion(), c.version);
        std::string out(line.SentTotal() - before, 0);
        out.resize(static_cast<size_t>(line.CopySent(out.data(), static_cast<int>(out.size()))));
        const size_t caret = out.find('^');
        if (c.sent == none) {
            EXPECT_EQ(caret, std::string::npos) << "nothing sent";
            EXPECT_EQ(out.find_first_not_of('x'), std::string::npos) << "probes only";
        } else {
            ASSERT_NE(caret, std::string::npos);
            EXPECT_EQ(out.substr(caret + 1), c.file->substr(0, c.sent)) << "the file's bytes, unchanged";
            const platform::LoaderStats& st = line.peer().stats();
            EXPECT_EQ(st.underXoff, 0u);
            if (c.sent > 1) {
                EXPECT_GE(st.shortestGap, 18432u) << "5 ms apart";
            }
            if (c.sent == all && all > 0) {
                EXPECT_EQ(st.endRecord, 1u);
                EXPECT_EQ(st.badRecords, 0u);
            }
            if (!c.loader.crlf) {
                EXPECT_EQ(out.find_first_not_of('x'), 2u) << "two probes";
            }
        }
        EXPECT_EQ(G_Serial[3].nFunction, 5u) << "the port handed back";
        EXPECT_EQ(G_Serial[3].nBaudIdx, 1u);
        EXPECT_EQ(G_Serial[3].fpFrame, &ArincResync);
        if (c.file != nullptr) board().mmc().Remove();
    }
    // The port parses adapter messages again.
    board().serialLine(3).peer().Clear();
    Send(3, ap::Message('A', '0', "V2.00"));
    Restart();
    Run(100);
    RunApp([] {
        G_Serial[3].bRxPending = 0;
        G_Serial[3].fpFrame(3);
    });
    EXPECT_STREQ(ArincInputRec(3)->szVersion, "V2.00");
}

TEST_F(ArincScreens, UpgradeWithoutAnAdapterPortTouchesNoPort) {
    Ports(2, 0, 4, 0);
    const uint32_t sent3 = board().serialLine(3).SentTotal();
    const size_t logBefore = SysLog().size();
    ASSERT_EQ(RunApp([] { ArincUpgradeScreen(131); }), platform::StopReason::None);
    EXPECT_NE(SysLog().substr(logBefore).find("ERROR: No Arinc Port Assigned"), std::string::npos);
    EXPECT_EQ(board().serialLine(3).SentTotal(), sent3);
    EXPECT_EQ(G_Serial[3].nFunction, 4u);
    EXPECT_EQ(G_Serial[1].nFunction, 2u);
}

}  // namespace
