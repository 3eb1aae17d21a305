// NVRAM.KVD: the settings image as KEY, VALUE lines, written at every start
// and read back when both flash copies are lost.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/syslog.h"
#include "storage/clockmem.h"
#include "storage/config.h"
#include "storage/nvram.h"
#include "storage/tfs.h"

namespace {
enum NvKind : uint8_t { kInt, kDegrees, kGallons, kHours, kCylType, kByte, kHalf };

struct NvLine {
    const char* key;
    uint32_t    offset;
    NvKind      kind;
};

// The autopilot gains sit in the image range first, then P, I, D; the file
// lists P, I, D, then the range.
constexpr uint32_t Gain(uint32_t group, uint32_t i) { return kNvApGains + 8 * group + 2 * ((i + 1) % 4); }

constexpr NvLine kLines[] = {
    {"MAJOR_REL", kNvMajorRel, kInt},
    {"MINOR_REL", kNvMinorRel, kInt},
    {"BUG_FIX", kNvBugFix, kInt},
    {"ADMIN_USER", kNvAdminUser, kInt},
    {"CLOCK_FORMAT", kNvClockFormat, kInt},
    {"MASTER_VOLUME", kNvMasterVolume, kInt},
    {"SCREEN_CONFIG", kNvScreenConfig, kInt},
    {"SCREEN_ENABLE", kNvScreenEnable, kInt},
    {"SERIAL_DEBUG_ON", kNvSerialDebugOn, kInt},
    {"NET_DEBUG_LOGS_ON", kNvNetDebugLogsOn, kInt},
    {"LAST_LATITUDE", kNvLastLatitude, kDegrees},
    {"LAST_LONGITUDE", kNvLastLongitude, kDegrees},
    {"WRITECOUNT", kNvWriteCount, kInt},
    {"ERRORCOUNT", kNvErrorCount, kInt},
    {"ERASECOUNT", kNvEraseCount, kInt},
    {"GALS_USED", kNvGalsUsed, kGallons},
    {"GALS_REM", kNvGalsRem, kGallons},
    {"HOBBS_TIME", kNvHobbsTime, kHours},
    {"TACH_TIME", kNvTachTime, kHours},
    {"TODAY_TIME", kNvTodayTime, kHours},
    {"TODAY_DATE", kNvTodayDate, kInt},
    {"LAST_FLIGHT", kNvLastFlight, kHours},
    {"CYL_GAUGE_TYPE", kNvCylGaugeType, kCylType},
    {"OAT_UNITS", kNvOatUnits, kInt},
    {"WINDS_GAUGE_ON", kNvWindsGaugeOn, kInt},
    {"DALT_GAUGE_ON", kNvDaltGaugeOn, kInt},
    {"TAS_GAUGE_ON", kNvTasGaugeOn, kInt},
    {"PITCH_ADJ", kNvPitchAdj, kInt},
    {"HEADING_ADJ", kNvHeadingAdj, kInt},
    {"ROLL_ADJ", kNvRollAdj, kInt},
    {"AHRS_DEBUG", kNvAhrsDebug, kInt},
    {"TARGET_TYPE", kNvTargetType, kInt},
    {"ROLL_SCALE_ON", kNvRollScaleOn, kInt},
    {"HEADING_ON", kNvHeadingOn, kInt},
    {"AOA_GAUGE_ON", kNvAoaGaugeOn, kInt},
    {"AOA_DECLUTTER_ON", kNvAoaDeclutterOn, kInt},
    {"DIM_PERCENT", kNvDimPercent, kInt},
    {"G_METER_ON", kNvGMeterOn, kInt},
    {"GMETER_MAX", kNvGMeterMax, kInt},
    {"GMETER_MIN", kNvGMeterMin, kInt},
    {"AP_MIN_SPD", kNvApMinSpd, kByte},
    {"AP_MAX_SPD", kNvApMaxSpd, kByte},
    {"AP_LAT_PGAIN", Gain(0, 0), kHalf},
    {"AP_LAT_IGAIN", Gain(0, 1), kHalf},
    {"AP_LAT_DGAIN", Gain(0, 2), kHalf},
    {"AP_LAT_IRANGE", Gain(0, 3), kHalf},
    {"AP_ALTHOLD_PGAIN", Gain(1, 0), kHalf},
    {"AP_ALTHOLD_IGAIN", Gain(1, 1), kHalf},
    {"AP_ALTHOLD_DGAIN", Gain(1, 2), kHalf},
    {"AP_ALTHOLD_IRANGE", Gain(1, 3), kHalf},
    {"AP_VSHOLD_PGAIN", Gain(2, 0), kHalf},
    {"AP_VSHOLD_IGAIN", Gain(2, 1), kHalf},
    {"AP_VSHOLD_DGAIN", Gain(2, 2), kHalf},
    {"AP_VSHOLD_IRANGE", Gain(2, 3), kHalf},
    {"AP_APROACH_PGAIN", Gain(3, 0), kHalf},
    {"AP_APROACH_IGAIN", Gain(3, 1), kHalf},
    {"AP_APROACH_DGAIN", Gain(3, 2), kHalf},
    {"AP_APROACH_IRANGE", Gain(3, 3), kHalf},
    {"AP_PITCH_PGAIN", Gain(4, 0), kHalf},
    {"AP_PITCH_IGAIN", Gain(4, 1), kHalf},
    {"AP_PITCH_DGAIN", Gain(4, 2), kHalf},
    {"AP_PITCH_IRANGE", Gain(4, 3), kHalf},
};
constexpr int kNvLines = sizeof kLines / sizeof kLines[0];
static_assert(kNvLines == 62);
constexpr int kVersionLines = 3;
}  // namespace

// Half away from zero, then truncated.
static int RoundAway(double v) { return static_cast<int>(v >= 0 ? v + 0.5 : v - 0.5); }

// Four decimals rounded together with the integer part, so that 45.99996
// becomes 46.0000; the sign stays on values between -1 and 0.
static void FormatDegrees(float value, char* out) {
    const double v = value;
    const long long scaled = static_cast<long long>((v < 0 ? -v : v) * 10000.0 + 0.5);
    std::snprintf(out, kCfgFieldBytes, "%s%lld.%04lld", v < 0 && scaled != 0 ? "-" : "", scaled / 10000,
                  scaled % 10000);
}

static void FormatLine(const NvLine& l, char* out) {
    switch (l.kind) {
    case kInt: std::snprintf(out, kCfgFieldBytes, "%d", static_cast<int>(NvGetU32(l.offset))); break;
    case kDegrees: FormatDegrees(NvGetF32(l.offset), out); break;
    case kGallons:
        std::snprintf(out, kCfgFieldBytes, "%d", RoundAway(static_cast<float>(NvGetF64(l.offset))));
        break;
    case kHours: std::snprintf(out, kCfgFieldBytes, "%d", RoundAway(double{NvGetF32(l.offset)} * 10.0)); break;
    case kCylType: std::snprintf(out, kCfgFieldBytes, "%s", NvGetU32(l.offset) == 0 ? "BAR" : "ENG"); break;
    case kByte: std::snprintf(out, kCfgFieldBytes, "%d", G_NVRam[l.offset]); break;
    case kHalf: std::snprintf(out, kCfgFieldBytes, "%d", NvGetU16(l.offset)); break;
    }
}

void WriteNVRamFile() {
    TFS_Defrag(0);
    std::memset(G_CfgKey, 0, sizeof G_CfgKey);
    std::memset(G_CfgValue, 0, sizeof G_CfgValue);
    for (int i = 0; i < kNvLines; ++i) {
        std::snprintf(G_CfgKey[i], kCfgFieldBytes, "%s", kLines[i].key);
        FormatLine(kLines[i], G_CfgValue[i]);
    }
    writedatabyline(kNvLines, kCfgNvram, kExtKvd);
}

static int32_t IntValue(const char* text) {
    const long long v = std::strtoll(text, nullptr, 10);
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
}

// The range a value of the file may take before arithmetic is done on it;
// a value outside is set to the nearer end and the repair logged.
struct NvRange {
    double low, high;
};

static NvRange RangeOf(const NvLine& l) {
    switch (l.kind) {
    case kDegrees: return l.offset == kNvLastLatitude ? NvRange{-90, 90} : NvRange{-180, 180};
    case kGallons: return {-9999999, 9999999};   // tenths
    case kHours: return {0, 9999999};   // tenths; exact in the stored f32
    default: return {INT32_MIN, INT32_MAX};
    }
}

static double InRange(const NvLine& l, double v, const char* text) {
    const NvRange r = RangeOf(l);
    const double kept = !(v >= r.low) ? r.low : v > r.high ? r.high : v;   // NaN to the low end
    while (*text == ' ') ++text;
    if (kept != v) DebugPrintf("NVRAM.KVD: %.24s %.12s set to %.0f\n", l.key, text, kept);
    return kept;
}

static void StoreLine(const NvLine& l, const char* value) {
    switch (l.kind) {
    case kInt: NvSetU32(l.offset, static_cast<uint32_t>(IntValue(value))); break;
    case kDegrees: NvSetF32(l.offset, static_cast<float>(InRange(l, std::strtod(value, nullptr), value))); break;
    case kGallons: NvSetF64(l.offset, InRange(l, IntValue(value), value)); break;
    case kHours: NvSetF32(l.offset, static_cast<float>(InRange(l, IntValue(value), value) / 10.0)); break;
    case kCylType: {
        const char* p = value;
        while (*p == ' ' || *p == '\t') ++p;
        NvSetU32(l.offset, (*p == 'B' || *p == 'b') ? 0 : 1);
        break;
    }
    case kByte: G_NVRam[l.offset] = static_cast<uint8_t>(IntValue(value)); break;
    case kHalf: NvSetU16(l.offset, static_cast<uint16_t>(IntValue(value))); break;
    }
}

// Stores every recognised pair in file order (a repeated key's last value
// wins); the version lines only when asked.
static void ApplyNVRamPairs(bool withVersion) {
    const uint32_t n = G_CfgCount < kCfgPairs ? G_CfgCount : kCfgPairs;
    const int first = withVersion ? 0 : kVersionLines;
    for (uint32_t i = 0; i < n; ++i) {
        for (int k = first; k < kNvLines; ++k) {
            if (strncasecmp(G_CfgKey[i], kLines[k].key, kCfgFieldBytes) != 0) continue;
            StoreLine(kLines[k], G_CfgValue[i]);
            break;
        }
    }
}

// The chip keeps what the image does not own (bugs, baro, map options, knob
// functions): at boot those records are not loaded yet.
static void LoadNVRamFile(bool withVersion) {
    std::memset(G_CfgKey, 0, sizeof G_CfgKey);
    std::memset(G_CfgValue, 0, sizeof G_CfgValue);
    if (ReadConfigFile(kCfgNvram, kExtKvd) == 0) ApplyNVRamPairs(withVersion);
    else G_CfgCount = 0;
    WriteNVClockImage();
    WriteNVRam(1);
    WriteNVRam(1);
}

void ReadNVRamFile() { LoadNVRamFile(false); }

void RestoreNVRamFile() { LoadNVRamFile(true); }
