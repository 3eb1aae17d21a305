// The baro setting: offset from a setting, the start-up setting from the
// altitude saved at the last shut-down, and the altitude-encoder sentences.
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "core/boot.h"
#include "core/rtc.h"
#include "core/serial.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/instrument.h"
#include "storage/clockmem.h"

namespace {
constexpr int32_t kRegSavedAlt = 35;     // i16 LE, 32767 none
constexpr int32_t kRegBaro = 23;         // low 16 bits of the setting
constexpr int32_t kNoSavedAlt = 32767;
constexpr int32_t kSettleConversions = 40;
constexpr int32_t kMaxEncoderAlt = 99990;   // five digits keep the 14-character body
constexpr int32_t kBaroLow = 27500, kBaroHigh = 31500;

int32_t Round10(int32_t v) { return RoundHalfAwayF(static_cast<double>(v) / 10.0) * 10; }

int Thousands(int32_t s) { return static_cast<int>(s / 1000); }
int Fraction(int32_t s) { return static_cast<int>(std::abs(s % 1000)); }

int32_t ReadSavedAlt() {
    uint8_t b[2] = {};
    ReadClockMem(b, kRegSavedAlt, 2);
    return static_cast<int16_t>(static_cast<uint16_t>(b[0] | (b[1] << 8)));
}

void WriteClockI16(int32_t reg, int32_t value) {
    G_ClockMem[reg] = static_cast<uint8_t>(value);
    G_ClockMem[reg + 1] = static_cast<uint8_t>(value >> 8);
    WriteClockMem(&G_ClockMem[reg], reg, 2);
}

// Altitude conversions that settle the filter without entering the
// history: they come microseconds apart and would read as a climb.
void SettleAltitude() {
    const AvgCirc saved = G_AirData.history;
    const RunningAvg savedAvg = G_AirData.vsAvg;
    for (int32_t i = 0; i < kSettleConversions; ++i) ReadAltitudeChannel();
    G_AirData.history = saved;
    G_AirData.vsAvg = savedAvg;
}
}  // namespace

int32_t BaroAltOffset(int32_t s) {
    const double p = RoundHalfAwayF(static_cast<double>(s) / 10.0) / 100.0 + 0.001;
    const double offset = -(1.0 - std::pow(p / 29.921, 0.190261)) * 145442.2;
    return RoundHalfAwayF(offset);
}

int32_t BaroFromFieldAlt(int32_t field) {
    const int32_t pa = G_AirData.nPressAlt;
    double b = kBaroStdSetting;
    if (field != pa) {
        b = std::pow(1.0 - (static_cast<double>(pa) - field) / 145442.2, 5.255937895837822) * 29.921 * 1000.0;
        if (!(b >= kBaroLow && b <= kBaroHigh)) b = kBaroStdSetting;
    }
    const int32_t bi = static_cast<int32_t>(b);
    DebugPrintf("BARO: StdAlt=%d, FieldAlt=%d, Delta=%d, Calc Baro=%d.%03d\n", static_cast<int>(pa),
                static_cast<int>(field), static_cast<int>(field - pa), Thousands(bi), Fraction(bi));
    const int32_t c = bi / 10 * 10;
    const int32_t cand[3] = {c - 9, c + 1, c + 11};
    const int32_t target = Round10(field);
    int32_t a[3], r[3];
    for (int i = 0; i < 3; ++i) {
        a[i] = SaturateI32(static_cast<double>(pa) + BaroAltOffset(cand[i]));
        r[i] = Round10(a[i]);
    }
    DebugPrintf("BARO: Options, %d:%dft, %d:%dft, %d:%dft\n", static_cast<int>(cand[0]), static_cast<int>(a[0]),
                static_cast<int>(cand[1]), static_cast<int>(a[1]), static_cast<int>(cand[2]), static_cast<int>(a[2]));
    for (int i = 0; i < 3; ++i)
        if (r[i] == target) return cand[i];
    int32_t d[3];
    for (int i = 0; i < 3; ++i) d[i] = SaturateI32(std::fabs(static_cast<double>(target) - r[i]));
    DebugPrintf("BARO: Using Deltas, %d, %d, %d\n", static_cast<int>(d[0]), static_cast<int>(d[1]), static_cast<int>(d[2]));
    if (d[0] < d[1]) return d[0] < d[2] ? cand[0] : cand[2];
    return d[1] < d[2] ? cand[1] : cand[2];
}

void InitBaro() {
    int32_t& setting = G_AirData.nBaroSetting;
    // Whatever stops the choice below, the offset matches the setting kept.
    G_AirData.nBaroAltOffset = BaroAltOffset(setting);
    if (G_NetStreamCfg[kStreamAir].NET == 2) {
        DebugPrintf("BARO: Init No sensors using Baro:%d.%03d\n", Thousands(setting), Fraction(setting));
        return;
    }
    const int32_t saved = ReadSavedAlt();
    if (saved == kNoSavedAlt) {
        DebugPrintf("BARO: Init No Alt Saved using Baro:%d.%03d\n", Thousands(setting), Fraction(setting));
        return;
    }
    WriteClockI16(kRegSavedAlt, kNoSavedAlt);
    if (saved < -1000 || saved > 15000) {
        DebugPrintf("BARO: Init Last Alt:%d Out-of-Range using Baro:%d.%03d\n", static_cast<int>(saved),
                    Thousands(setting), Fraction(setting));
        return;
    }
    SettleAltitude();
    setting = BaroFromFieldAlt(saved);
    G_AirData.nBaroAltOffset = BaroAltOffset(setting);
    ReadAltitudeChannel();
    DebugPrintf("BARO: Field Adjusted, Alt=%d, Baro=%d\n", static_cast<int>(G_AirData.nBaroAlt),
                static_cast<int>(setting));
    WriteClockI16(kRegBaro, setting);
}

bool FormatAltitudeSentence(uint32_t function, int32_t pressAlt, char* out, int32_t size) {
    if (size < 1) return false;
    out[0] = 0;
    int32_t a = Round10(pressAlt);
    if (a > kMaxEncoderAlt) a = kMaxEncoderAlt;
    if (a < -kMaxEncoderAlt) a = -kMaxEncoderAlt;
    const char sign = pressAlt < 0 ? '-' : '+';
    const int mag = std::abs(static_cast<int>(a));
    char body[32];
    switch (function) {
    case 3: case 18:
        std::snprintf(out, static_cast<size_t>(size), "ALT %05d\r", static_cast<int>(a));
        return true;
    case 15: std::snprintf(body, sizeof body, "RMS %c%05dT+25", sign, mag); break;
    case 16: std::snprintf(body, sizeof body, "#AL %c%05dT+25", sign, mag); break;
    case 17: std::snprintf(body, sizeof body, "$MGL%c%05dT+25", sign, mag); break;
    default: return false;
    }
    uint8_t sum = 0;
    for (int i = 0; i < 14; ++i) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(body[i]));
    std::snprintf(out, static_cast<size_t>(size), "%s%X%X\r", body, sum >> 4, sum & 0xF);
    return true;
}

void SendAltitudeOutput(uint32_t port) {
    if (G_DemoFlags & (kDemoAir | kDemoTraffic)) return;
    if (port >= static_cast<uint32_t>(kSerialPorts)) return;
    // An encoder that falls silent tells the transponder the altitude is lost.
    if (!G_InstReading[kInstAltitude].bValid || G_AirData.nFresh == 0) return;
    char line[32];
    if (!FormatAltitudeSentence(G_Serial[port].nFunction, G_AirData.nPressAlt, line, sizeof line)) return;
    SerialPrintf(port, "%s", line);
}
