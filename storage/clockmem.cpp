#include "storage/clockmem.h"

#include "core/rtc.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "map/map.h"
#include "nav/navsrc.h"
#include "storage/nvram.h"
#include "ui/knob.h"

uint8_t G_ClockMem[kClockMemRegs] = {};

// Set once the shadow holds what the chip holds: a write that keeps
// registers must never keep ones that were never read.
static uint32_t s_shadowLoaded = 0;

constexpr int kShadowReadTries = 2;

// A bus error is no lost memory: the read is tried again, and a shadow that
// still could not be read is never written back over the chip.
static bool LoadShadow() {
    int32_t r = 0;
    for (int i = 0; i < kShadowReadTries; ++i) {
        r = ReadClockMem(&G_ClockMem[kClockMemFirst], kClockMemFirst, kClockMemCount);
        if (r == 0) {
            s_shadowLoaded = 1;
            return true;
        }
    }
    s_shadowLoaded = 0;
    DebugPrintf("Clock memory read failed (%d), nothing written back\n", static_cast<int>(r));
    return false;
}

static uint32_t Bit(uint8_t reg, int bit) { return (reg >> bit) & 1u; }

static void SetBit(uint8_t& reg, int bit, uint32_t on) {
    reg = static_cast<uint8_t>(on ? (reg | (1u << bit)) : (reg & ~(1u << bit)));
}

static int16_t RegI16(int r) { return static_cast<int16_t>(G_ClockMem[r] | G_ClockMem[r + 1] << 8); }

static void SetRegI16(int r, int32_t v) {
    G_ClockMem[r] = static_cast<uint8_t>(v);
    G_ClockMem[r + 1] = static_cast<uint8_t>(v >> 8);
}

static void WriteBack(int r, int count) {
    if (s_shadowLoaded) WriteClockMem(&G_ClockMem[r], r, count);
}

static int32_t NvI32(uint32_t offset) { return static_cast<int32_t>(NvGetU32(offset)); }

// ---- loading --------------------------------------------------------------------

static void UnpackFlags() {
    uint8_t r10 = G_ClockMem[10], r11 = G_ClockMem[11];
    NvSetU32(kNvOatUnits, Bit(r10, 1));
    NvSetU32(kNvAhrsDebug, Bit(r10, 2));
    NvSetU32(kNvRollScaleOn, !Bit(r10, 3));
    NvSetU32(kNvHeadingOn, !Bit(r10, 4));
    NvSetU32(kNvGMeterOn, Bit(r10, 5));
    NvSetU32(kNvAoaDeclutterOn, Bit(r10, 6));
    NvSetU32(kNvAoaGaugeOn, Bit(r10, 7));
    NvSetU32(kNvWindsGaugeOn, Bit(r11, 0));
    NvSetU32(kNvCylGaugeType, Bit(r11, 5));
    G_MapPvtOn = Bit(r11, 2);
    G_MapIntsOn = Bit(r11, 4);
    NvSetU32(kNvDaltGaugeOn, 1);
    NvSetU32(kNvTasGaugeOn, 1);
    G_DistUnits = r11 >> 6;
    if (G_DistUnits > 2) {
        G_DistUnits = 0;
        G_ClockMem[11] &= 0x3F;
        WriteBack(11, 1);
    }
}

static void UnpackNavFlags() {
    uint8_t& r12 = G_ClockMem[12];
    G_NavSrc.hdr.nFlags0 = static_cast<uint8_t>((G_NavSrc.hdr.nFlags0 & 0x80) | (r12 & 0x7F));
    SetBit(G_NavSrc.hdr.nFlags1, 4, Bit(r12, 7));
    if (Bit(r12, 5) != Bit(r12, 7)) {
        SetBit(G_NavSrc.hdr.nFlags1, 4, Bit(G_NavSrc.hdr.nFlags0, 5));
        SetBit(r12, 7, Bit(G_NavSrc.hdr.nFlags0, 5));
        WriteBack(12, 1);
    }
}

static void UnpackRecords() {
    const uint8_t* m = G_ClockMem;
    G_KnobPushSel = Bit(m[11], 3);
    G_MapZoom = m[13] & 15u;
    G_MapViewMode = (m[13] >> 4) & 3u;
    G_NexradOn = Bit(m[13], 6);
    G_MapAirOn = Bit(m[13], 7);
    G_MapShowEngine = Bit(m[14], 0);
    G_NavSrc.hdr.nCrsSlot = (m[14] >> 1) & 7u;
    G_NavSrc.hdr.nBrgSlot = (m[14] >> 4) & 7u;
    G_NavSrc.hdr.nMapSrcSlot = m[47];
    G_NavSrc.hdr.nMapCrsSlot = m[48];
    NvSetU32(kNvTargetType, m[15]);
    NvSetU32(kNvClockFormat, m[16]);
    NvSetU32(kNvScreenConfig, m[17]);
    NvSetU32(kNvScreenEnable, m[37]);
    NvSetU32(kNvFuelCompMode, m[18]);
    NvSetU32(kNvPitchAdj, static_cast<uint32_t>(int32_t{RegI16(19)}));
    NvSetU32(kNvHeadingAdj, static_cast<uint32_t>(int32_t{RegI16(21)}));
    NvSetU32(kNvRollAdj, static_cast<uint32_t>(int32_t{RegI16(29)}));
    G_AirData.nBaroSetting = RegI16(23);
    NvSetU32(kNvDimPercent, 100);
    G_NavSrc.hdr.nHdgBug = RegI16(31);
    G_NavSrc.hdr.nAltBug = RegI16(33);
    G_NavSrc.hdr.nSpeedBug = RegI16(38);
    G_NavSrc.hdr.nMinAltBug = RegI16(49);
    if (G_NavSrc.hdr.nFlags0 & 0x30) G_NavSrc.hdr.nFlags1 = static_cast<uint8_t>((G_NavSrc.hdr.nFlags1 | 4) & ~8);
    else G_NavSrc.hdr.nFlags1 &= static_cast<uint8_t>(~12);
}

static void UnpackKnobs() {
    uint8_t& r51 = G_ClockMem[51];
    uint32_t left = r51 & 15u;
    if (left == 0 || left > 9) {
        DebugPrintf("KnobFunc out-of-range %d\n", static_cast<int>(left));
        r51 = 1;
        WriteBack(51, 1);
        left = 1;
    }
    G_Knob0.nFunction = static_cast<int32_t>(left);
    G_Knob0.nMainFunction = static_cast<int32_t>(left);
    uint32_t right = r51 >> 4;
    if (right > 9) {
        DebugPrintf("KnobFunc2 out-of-range %d\n", static_cast<int>(right));
        r51 &= 15;
        WriteBack(51, 1);
    }
    G_Knob1.nFunction = 0;
    G_Knob1.nMainFunction = 0;
}

// An i16 setting outside lo..hi is set to `repair`, logged and written back.
static bool CheckI16(int reg, int32_t& value, int32_t lo, int32_t hi, int32_t repair, const char* line) {
    if (value >= lo && value <= hi) return true;
    DebugPrintf(line, static_cast<int>(value));
    value = repair;
    SetRegI16(reg, repair);
    WriteBack(reg, 2);
    return false;
}

static void CheckImage() {
    if (NvGetU32(kNvAdminUser) == 0 && NvGetU32(kNvAhrsDebug) == 1) {
        DebugPrintf("ReadNVClock: AHRS Debug On w/ Admin off\n");
        NvSetU32(kNvAhrsDebug, 0);
        SetBit(G_ClockMem[10], 2, 0);
        WriteBack(10, 1);
    }
    if (NvI32(kNvClockFormat) < 0 || NvI32(kNvClockFormat) > 2) {
        DebugPrintf("ReadNVClock: Bad Clock Format\n");
        NvSetU32(kNvClockFormat, 0);
        G_ClockMem[16] = 0;
        WriteBack(16, 1);
    }
    G_ClockFormat = NvI32(kNvClockFormat);
    if (NvGetU32(kNvScreenConfig) == 0 || NvGetU32(kNvScreenConfig) > 8) {
        DebugPrintf("ReadNVClock: Screen Config out-of-range:%d\n", static_cast<int>(NvGetU32(kNvScreenConfig)));
        NvSetU32(kNvScreenConfig, 3);
    }
    uint32_t enable = NvGetU32(kNvScreenEnable);
    if (enable == 0 || enable > 255) {
        DebugPrintf("ReadNVClock: Bad Screen Enable Mask\n");
        NvSetU32(kNvScreenEnable, 0x2FE);
        G_ClockMem[37] = 0xFE;
        WriteBack(37, 1);
    } else if (enable & 8) {
        NvSetU32(kNvScreenEnable, enable | 0x200);
    }
    if (NvI32(kNvFuelCompMode) < 0 || NvI32(kNvFuelCompMode) > 6) {
        DebugPrintf("ReadNVClock: Invalid FuelComp mode\n");
        NvSetU32(kNvFuelCompMode, 1);
        G_ClockMem[18] = 1;
        WriteBack(18, 1);
    }
    int32_t v = NvI32(kNvPitchAdj);
    if (!CheckI16(19, v, -300, 300, 0, "ReadNVClock: Invalid Pitch Adjust\n")) NvSetU32(kNvPitchAdj, 0);
    v = NvI32(kNvHeadingAdj);
    if (!CheckI16(21, v, -300, 300, 0, "ReadNVClock: Invalid Heading Adjust\n")) NvSetU32(kNvHeadingAdj, 0);
    CheckI16(23, G_AirData.nBaroSetting, 27500, 31500, 29921, "ReadNVClock: Baro in inHg out-of-range\n");
    G_AirData.nBaroAltOffset = BaroAltOffset(G_AirData.nBaroSetting);
    v = NvI32(kNvRollAdj);
    if (!CheckI16(29, v, -50, 50, 0, "ReadNVClock: RollAdjust out-of-range\n")) NvSetU32(kNvRollAdj, 0);
}

static void CheckBugs() {
    int32_t v = G_NavSrc.hdr.nHdgBug;
    CheckI16(31, v, 0, 359, 0, "ReadNVClock: HdgBug out-of-range:%d\n");
    G_NavSrc.hdr.nHdgBug = static_cast<int16_t>(v);
    v = G_NavSrc.hdr.nAltBug;
    if (v % 10 != 0) {
        DebugPrintf("ReadNVClock: AltBug != MOD(10)\n");
        v -= v % 10;   // toward zero
        SetRegI16(33, v);
        WriteBack(33, 2);
    }
    CheckI16(33, v, -1000, 25000, 0, "ReadNVClock: AltBug out-of-range:%d\n");
    G_NavSrc.hdr.nAltBug = static_cast<int16_t>(v);
    v = G_NavSrc.hdr.nSpeedBug;
    CheckI16(38, v, 0, 500, 0, "ReadNVClock: SpdBug out-of-range\n");
    G_NavSrc.hdr.nSpeedBug = static_cast<int16_t>(v);
}

void ReadNVClock() {
    LoadShadow();
    UnpackFlags();
    UnpackNavFlags();
    UnpackRecords();
    UnpackKnobs();
    CheckImage();
    CheckBugs();
}

// ---- writing ----------------------------------------------------------------------

static void PackShadow() {
    uint8_t& r10 = G_ClockMem[10];
    r10 = static_cast<uint8_t>((r10 & 1) | (NvGetU32(kNvOatUnits) & 1) << 1 | (NvGetU32(kNvAhrsDebug) & 1) << 2 |
                               (NvGetU32(kNvRollScaleOn) == 0) << 3 | (NvGetU32(kNvHeadingOn) == 0) << 4 |
                               (NvGetU32(kNvGMeterOn) & 1) << 5 | (NvGetU32(kNvAoaDeclutterOn) & 1) << 6 |
                               (NvGetU32(kNvAoaGaugeOn) & 1) << 7);
    uint8_t& r11 = G_ClockMem[11];
    r11 = static_cast<uint8_t>((r11 & 0xD4) | (NvGetU32(kNvWindsGaugeOn) & 1) | (NvGetU32(kNvCylGaugeType) & 1) << 5);
    G_ClockMem[12] = static_cast<uint8_t>((G_ClockMem[12] & 0x80) | (G_NavSrc.hdr.nFlags0 & 0x7F));
    G_ClockMem[15] = static_cast<uint8_t>(NvGetU32(kNvTargetType));
    G_ClockMem[16] = static_cast<uint8_t>(NvGetU32(kNvClockFormat));
    G_ClockMem[17] = static_cast<uint8_t>(NvGetU32(kNvScreenConfig));
    G_ClockMem[37] = static_cast<uint8_t>(NvGetU32(kNvScreenEnable));
    G_ClockMem[18] = static_cast<uint8_t>(NvGetU32(kNvFuelCompMode));
    SetRegI16(19, NvI32(kNvPitchAdj));
    SetRegI16(21, NvI32(kNvHeadingAdj));
    SetRegI16(29, NvI32(kNvRollAdj));
    SetRegI16(23, G_AirData.nBaroSetting);
    G_ClockMem[28] = static_cast<uint8_t>(NvGetU32(kNvDimPercent));
    SetRegI16(31, G_NavSrc.hdr.nHdgBug);
    SetRegI16(33, G_NavSrc.hdr.nAltBug);
    SetRegI16(38, G_NavSrc.hdr.nSpeedBug);
}

static void ClearUnused() {
    for (int r = 40; r <= 48; ++r) G_ClockMem[r] = 0;
    for (int r = 54; r <= 56; ++r) G_ClockMem[r] = 0;
}

static void LogRegisters() {
    const uint8_t* m = G_ClockMem;
    DebugPrintf("WriteClockMem():%02X %02X %02X %02X %02X %02X\n", m[10], m[11], m[12], m[13], m[14], m[15]);
    for (int r = 16; r <= 32; r += 16) {
        DebugPrintf("WriteClockMem():%02X %02X %02X %02X %02X %02X %02X %02X", m[r], m[r + 1], m[r + 2], m[r + 3],
                    m[r + 4], m[r + 5], m[r + 6], m[r + 7]);
        DebugPrintf(" %02X %02X %02X %02X %02X %02X %02X %02X\n", m[r + 8], m[r + 9], m[r + 10], m[r + 11], m[r + 12],
                    m[r + 13], m[r + 14], m[r + 15]);
    }
}

// The image-owned bits and registers only: the records mirrored elsewhere in
// the chip (navigation flags, bugs, baro, map options) may not be loaded yet.
static void PackImageFields() {
    uint8_t& r10 = G_ClockMem[10];
    r10 = static_cast<uint8_t>((r10 & 1) | (NvGetU32(kNvOatUnits) & 1) << 1 | (NvGetU32(kNvAhrsDebug) & 1) << 2 |
                               (NvGetU32(kNvRollScaleOn) == 0) << 3 | (NvGetU32(kNvHeadingOn) == 0) << 4 |
                               (NvGetU32(kNvGMeterOn) & 1) << 5 | (NvGetU32(kNvAoaDeclutterOn) & 1) << 6 |
                               (NvGetU32(kNvAoaGaugeOn) & 1) << 7);
    uint8_t& r11 = G_ClockMem[11];
    r11 = static_cast<uint8_t>((r11 & 0xDE) | (NvGetU32(kNvWindsGaugeOn) & 1) | (NvGetU32(kNvCylGaugeType) & 1) << 5);
    G_ClockMem[15] = static_cast<uint8_t>(NvGetU32(kNvTargetType));
    G_ClockMem[16] = static_cast<uint8_t>(NvGetU32(kNvClockFormat));
    G_ClockMem[17] = static_cast<uint8_t>(NvGetU32(kNvScreenConfig));
    G_ClockMem[37] = static_cast<uint8_t>(NvGetU32(kNvScreenEnable));
    G_ClockMem[18] = static_cast<uint8_t>(NvGetU32(kNvFuelCompMode));
    SetRegI16(19, NvI32(kNvPitchAdj));
    SetRegI16(21, NvI32(kNvHeadingAdj));
    SetRegI16(29, NvI32(kNvRollAdj));
    G_ClockMem[28] = static_cast<uint8_t>(NvGetU32(kNvDimPercent));
}

void WriteNVClockImage() {
    if (ReadClockMem(&G_ClockMem[kClockMemFirst], kClockMemFirst, kClockMemCount) != 0) return;
    s_shadowLoaded = 1;
    PackImageFields();
    WriteClockMem(&G_ClockMem[kClockMemFirst], kClockMemFirst, kClockMemCount);
    LogRegisters();
}

void WriteNVClock() {
    if (!s_shadowLoaded && !LoadShadow()) return;
    PackShadow();
    ClearUnused();
    WriteClockMem(&G_ClockMem[kClockMemFirst], kClockMemFirst, kClockMemCount);
    LogRegisters();
}

void SetDefaultClockMem() {
    const bool loaded = s_shadowLoaded || LoadShadow();
    uint8_t* m = G_ClockMem;
    m[10] = 0xA0;
    m[11] = 0x15;
    m[12] = 0xF4;
    m[13] = 0xC0;
    m[14] = static_cast<uint8_t>((m[14] & 0x80) | 1);
    m[15] = 1;
    m[16] = 0;
    m[17] = 3;
    m[18] = 0;
    SetRegI16(19, 0);
    SetRegI16(21, 0);
    SetRegI16(23, 29921);
    // The screen-dump counter: today, first dump.
    uint32_t day = G_DateTime.nDay;
    m[25] = static_cast<uint8_t>((G_DateTime.nMonth & 15) | (day & 15) << 4);
    m[26] = static_cast<uint8_t>(((day >> 4) & 1) | 1 << 1);
    m[28] = 100;
    SetRegI16(29, 0);
    SetRegI16(31, 0);
    SetRegI16(33, 0);
    m[35] = 255;
    m[36] = 127;
    m[37] = 254;
    SetRegI16(38, 0);
    ClearUnused();
    // Registers 49..53 are kept: unread, they would be written as zeros.
    if (loaded) WriteClockMem(&G_ClockMem[kClockMemFirst], kClockMemFirst, kClockMemCount);
}
