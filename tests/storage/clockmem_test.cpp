// Clock memory: registers 10..54 of the clock chip unpacked into the
// settings image and records, repaired, packed and written back.
#include "storage/clockmem.h"

#include <cstring>
#include <string>

#include "core/rtc.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "map/map.h"
#include "nav/navsrc.h"
#include "platform/rtcchip.h"
#include "storage/flash.h"
#include "storage/nvram.h"
#include "support/board_fixture.h"
#include "ui/knob.h"

namespace {

using platform::RtcChip;

class ClockMemTest : public BoardTest {
protected:
    void SetUp() override {
        BoardTest::SetUp();
        SysLogOpen();
        I2cInit();
        chip().SetTime(2015, 10, 30, 6, 10, 0, 0, board().Now());
        SoundRegisters();
    }
    // A sound set of registers: every value in range.
    void SoundRegisters() {
        const uint8_t good[] = {0xA0, 0x15, 0xF4, 0xC0, 0x01, 1, 0, 3, 0, 0, 0, 0, 0, 0xE1, 0x74};   // 10..24
        for (int i = 0; i < 15; ++i) SetReg(10 + i, good[i]);
        SetReg(37, 0xFE);
        SetReg(51, 0x21);
    }
    RtcChip& chip() { return board().rtcChip(); }
    void SetReg(int r, uint8_t v) { chip().SetReg(r, v, board().Now()); }
    void SetRegI16(int r, int v) {
        SetReg(r, static_cast<uint8_t>(v));
        SetReg(r + 1, static_cast<uint8_t>(v >> 8));
    }
    uint8_t Reg(int r) { return chip().Reg(r, board().Now()); }
    int RegI16(int r) { return static_cast<int16_t>(Reg(r) | Reg(r + 1) << 8); }
    static std::string Log() { return SysLogSectorText(); }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
};

TEST_F(ClockMemTest, SoundRegistersLoadWithoutRepairs) {
    SetRegI16(19, -120);
    SetRegI16(29, 50);
    SetRegI16(31, 359);
    SetRegI16(33, 25000);
    SetRegI16(38, 500);
    SetRegI16(49, 777);
    SetReg(37, 0x0C);
    SetReg(13, 0xD5);   // zoom 5, view 1, NEXRAD, air
    SetReg(14, 0x5B);   // engine, course slot 5, bearing slot 5
    NvSetU32(kNvAdminUser, 1);
    ReadNVClock();
    EXPECT_EQ(Log().find("ReadNVClock"), std::string::npos);
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvPitchAdj)), -120);
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvRollAdj)), 50);
    EXPECT_EQ(NvGetU32(kNvScreenEnable), 0x20Cu);   // bit 9 follows bit 3
    EXPECT_EQ(NvGetU32(kNvGMeterOn), 1u);
    EXPECT_EQ(NvGetU32(kNvRollScaleOn), 1u);
    EXPECT_EQ(NvGetU32(kNvDaltGaugeOn), 1u);
    EXPECT_EQ(G_NavSrc.hdr.nHdgBug, 359);
    EXPECT_EQ(G_NavSrc.hdr.nAltBug, 25000);
    EXPECT_EQ(G_NavSrc.hdr.nSpeedBug, 500);
    EXPECT_EQ(G_NavSrc.hdr.nMinAltBug, 777);
    EXPECT_EQ(G_NavSrc.hdr.nFlags0, 0x74);
    EXPECT_EQ(G_NavSrc.hdr.nFlags1, 0x14);   // bit 4 from register 12 bit 7, bit 2 from flags 4/5
    EXPECT_EQ(G_MapZoom, 5u);
    EXPECT_EQ(G_MapViewMode, 1u);
    EXPECT_EQ(G_NavSrc.hdr.nCrsSlot, 5);
    EXPECT_EQ(G_NavSrc.hdr.nBrgSlot, 5);
    EXPECT_EQ(G_AirData.nBaroSetting, 29921);
    EXPECT_EQ(G_Knob0.nFunction, 1);
    EXPECT_EQ(G_Knob1.nFunction, 0);   // the right knob always starts at 0
    EXPECT_EQ(NvGetU32(kNvDimPercent), 100u);
}

TEST_F(ClockMemTest, RangeRepairs) {
    struct Case {
        const char* name;
        int reg;
        int value;        // i16 at reg, or a byte when byte is set
        bool byte;
        int repaired;     // what the register holds afterwards
        const char* line;
    };
    const Case cases[] = {
        {"alt bug not a multiple of 10", 33, 1234, false, 1230, "ReadNVClock: AltBug != MOD(10)\n"},
        {"alt bug too high", 33, 30000, false, 0, "ReadNVClock: AltBug out-of-range:30000\n"},
        {"alt bug negative odd", 33, -1005, false, -1000, "ReadNVClock: AltBug != MOD(10)\n"},
        {"baro too low", 23, 27499, false, 29921, "ReadNVClock: Baro in inHg out-of-range\n"},
        {"baro lowest", 23, 27500, false, 27500, nullptr},
        {"baro highest", 23, 31500, false, 31500, nullptr},
        {"speed bug", 38, 501, false, 0, "ReadNVClock: SpdBug out-of-range\n"},
        {"heading bug", 31, 360, false, 0, "ReadNVClock: HdgBug out-of-range:360\n"},
        {"pitch", 19, 301, false, 0, "ReadNVClock: Invalid Pitch Adjust\n"},
        {"heading", 21, -301, false, 0, "ReadNVClock: Invalid Heading Adjust\n"},
        {"roll", 29, -51, false, 0, "ReadNVClock: RollAdjust out-of-range\n"},
        {"knob 0x0A", 51, 0x0A, true, 0x01, "KnobFunc out-of-range 10\n"},
        {"knob 0xA3", 51, 0xA3, true, 0x03, "KnobFunc2 out-of-range 10\n"},
        {"clock format", 16, 3, true, 0, "ReadNVClock: Bad Clock Format\n"},
        {"fuel mode", 18, 7, true, 1, "ReadNVClock: Invalid FuelComp mode\n"},
        {"screen enable", 37, 0, true, 0xFE, "ReadNVClock: Bad Screen Enable Mask\n"},
        {"screen config (not written back)", 17, 9, true, 9, "ReadNVClock: Screen Config out-of-range:9\n"},
        {"distance units", 11, 0xD5, true, 0x15, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SoundRegisters();
        if (c.byte) SetReg(c.reg, static_cast<uint8_t>(c.value));
        else SetRegI16(c.reg, c.value);
        size_t before = Log().size();
        ReadNVClock();
        std::string log = Log().substr(before);
        EXPECT_EQ(c.byte ? Reg(c.reg) : RegI16(c.reg), c.repaired);
        if (c.line) {
            EXPECT_EQ(Count(log, c.line), 1) << log;
        }
    }
    EXPECT_EQ(G_Knob0.nFunction, 1);
    SetReg(51, 0xA3);
    ReadNVClock();
    EXPECT_EQ(G_Knob0.nFunction, 3);
    EXPECT_EQ(G_Knob1.nFunction, 0);
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 3u);
}

TEST_F(ClockMemTest, DeadBattery) {
    for (auto mode : {RtcChip::Battery::DeadZeros, RtcChip::Battery::DeadOnes}) {
        SCOPED_TRACE(mode == RtcChip::Battery::DeadZeros ? "all 0x00" : "all 0xFF");
        chip().KillBattery(mode, board().Now());
        std::memset(G_NVRam, 0, sizeof G_NVRam);
        size_t before = Log().size();
        ReadNVClock();
        std::string log = Log().substr(before);
        EXPECT_EQ(NvGetU32(kNvDimPercent), 100u);
        EXPECT_EQ(Count(log, "KnobFunc out-of-range"), 1);
        EXPECT_EQ(Count(log, "ReadNVClock: Baro in inHg out-of-range\n"), 1);
        EXPECT_EQ(Count(log, "ReadNVClock: Screen Config out-of-range"), 1);
        EXPECT_EQ(RegI16(23), 29921);
        EXPECT_EQ(Reg(51), 1);
        if (mode == RtcChip::Battery::DeadZeros) {
            EXPECT_EQ(Count(log, "ReadNVClock: Bad Screen Enable Mask\n"), 1);
            EXPECT_EQ(NvGetU32(kNvScreenEnable), 0x2FEu);
            EXPECT_EQ(Reg(37), 0xFE);
        } else {
            for (const char* line : {"ReadNVClock: AHRS Debug On w/ Admin off\n", "ReadNVClock: Bad Clock Format\n",
                                     "ReadNVClock: Invalid FuelComp mode\n", "ReadNVClock: HdgBug out-of-range:-1\n",
                                     "ReadNVClock: AltBug != MOD(10)\n", "ReadNVClock: SpdBug out-of-range\n"}) {
                EXPECT_EQ(Count(log, line), 1) << line;
            }
            EXPECT_EQ(Reg(10) & 4, 0);
            EXPECT_EQ(Reg(11) >> 6, 0);      // distance units repaired
            EXPECT_EQ(Reg(16), 0);
            EXPECT_EQ(Reg(18), 1);
            EXPECT_EQ(RegI16(31), 0);
            EXPECT_EQ(G_ClockFormat, 0);
        }
    }
}

// A read that fails on the bus is no dead battery: tried again, and when it
// still fails, nothing is written over the chip (baro, knobs, screen mask).
TEST_F(ClockMemTest, AFailedReadIsRetriedAndNeverRepairsTheChip) {
    SetRegI16(23, 30012);
    SetReg(51, 0x35);
    SetReg(37, 0x0C);
    chip().FailReads(1);
    ReadNVClock();
    EXPECT_EQ(G_AirData.nBaroSetting, 30012) << "the second read holds";
    EXPECT_EQ(Log().find("Clock memory read failed"), std::string::npos);

    chip().FailReads(4);
    ReadNVClock();
    EXPECT_NE(Log().find("Clock memory read failed (-"), std::string::npos) << Log();
    WriteNVClock();
    chip().FailReads(2);
    SetDefaultClockMem();
    EXPECT_EQ(RegI16(23), 30012);
    EXPECT_EQ(Reg(51), 0x35);
    EXPECT_EQ(Reg(37), 0x0C);
    // Once the chip reads again, writes go out as before.
    chip().FailReads(0);
    WriteNVClock();
    EXPECT_NE(Log().find("WriteClockMem():"), std::string::npos);
}

TEST_F(ClockMemTest, DefaultsKeepKnobsTimerAndNavField) {
    SetRegI16(49, 4321);
    SetReg(51, 0x25);
    SetRegI16(52, 300);
    SetReg(40, 9);
    G_DateTime = DateTime{2015, 10, 6, 30, 10, 0, 0};
    SetDefaultClockMem();   // at boot, before anything read the chip
    const uint8_t expect[][2] = {{10, 0xA0}, {11, 0x15}, {12, 0xF4}, {13, 0xC0}, {14, 0x01}, {15, 1}, {16, 0},
                                 {17, 3},    {18, 0},    {23, 0xE1}, {24, 0x74}, {25, 0xEA}, {26, 0x03}, {28, 100},
                                 {35, 255},  {36, 127},  {37, 254},  {40, 0},    {54, 0}};
    for (auto& e : expect) EXPECT_EQ(Reg(e[0]), e[1]) << "register " << int{e[0]};
    EXPECT_EQ(RegI16(49), 4321);
    EXPECT_EQ(Reg(51), 0x25);
    EXPECT_EQ(RegI16(52), 300);
}

TEST_F(ClockMemTest, WriteNVClockPacksTheImage) {
    SetReg(51, 0x34);
    SetRegI16(52, 120);
    // The restore path: the image replaced, clock memory never read this boot.
    NvSetU32(kNvGMeterOn, 0);
    NvSetU32(kNvRollScaleOn, 0);
    NvSetU32(kNvWindsGaugeOn, 1);
    NvSetU32(kNvScreenConfig, 7);
    NvSetU32(kNvPitchAdj, static_cast<uint32_t>(-25));
    NvSetU32(kNvDimPercent, 60);
    G_NavSrc.hdr.nAltBug = 4500;
    WriteNVClock();
    EXPECT_EQ(Reg(10) & 0x28, 0x08);   // G-meter off, roll scale off
    EXPECT_EQ(Reg(17), 7);
    EXPECT_EQ(RegI16(19), -25);
    EXPECT_EQ(Reg(28), 60);
    EXPECT_EQ(RegI16(33), 4500);
    EXPECT_EQ(Reg(51), 0x34);      // kept as the chip held them
    EXPECT_EQ(RegI16(52), 120);
    EXPECT_NE(Log().find("WriteClockMem():"), std::string::npos);
    std::memset(G_NVRam, 0, sizeof G_NVRam);
    G_NavSrc = {};
    NvSetU32(kNvAdminUser, 1);
    ReadNVClock();
    EXPECT_EQ(NvGetU32(kNvScreenConfig), 7u);
    EXPECT_EQ(static_cast<int32_t>(NvGetU32(kNvPitchAdj)), -25);
    EXPECT_EQ(NvGetU32(kNvRollScaleOn), 0u);
    EXPECT_EQ(G_NavSrc.hdr.nAltBug, 4500);
}

}  // namespace
