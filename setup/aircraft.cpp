// The weight-and-balance files: AIRCRAFT.KVD (the aircraft, its design CG
// range and up to twelve stations, read at boot and after a file transfer,
// rewritten by SAVE) and the picture AIRCRAFT.KVB (an 8-bit BMP of 400 x 340).
#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/byteorder.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "core/util.h"
#include "engine/instrument.h"
#include "platform/monitor.h"
#include "setup/balance.h"
#include "setup/setup.h"
#include "storage/config.h"
#include "storage/tfs.h"
#include "ui/popup.h"

WbItemList     G_WbItems;
AircraftRecord G_Aircraft;

constexpr int32_t kCfgAircraft = 9;          // AIRCRAFT.KVD
constexpr int32_t kHeaderLines = 13;         // three caution lines, ten keys
constexpr int32_t kLinesPerStation = 7;
constexpr uint32_t kPopupTicks = kTicksPerSecond;
constexpr uint32_t kColourWhite = 0xFFFFFF;

// Numbers from the file are bounded so that no sum, product or screen
// position built from them can overflow.
constexpr int32_t kMaxFileInt = 999999;
constexpr float kMaxFileFloat = 99999.0f;
constexpr float kMaxDensity = 1000.0f;

uint32_t WbStationCount() { return G_WbItems.nCount < kWbStations ? G_WbItems.nCount : kWbStations; }

bool WbIsLiquid(const WbItem& item) { return item.TYPE[0] == 'L' || item.TYPE[0] == 'l'; }

// ---- the text file -------------------------------------------------------------------------

static bool Is(const char* key, const char* name) { return strcasecmp(key, name) == 0; }

static int32_t FileInt(const char* text) {
    const long v = std::strtol(text, nullptr, 10);
    return v > kMaxFileInt ? kMaxFileInt : (v < -kMaxFileInt ? -kMaxFileInt : static_cast<int32_t>(v));
}

static float FileFloat(const char* text, float limit) {
    const float v = std::strtof(text, nullptr);
    if (!(v == v)) return 0.0f;
    return v > limit ? limit : (v < -limit ? -limit : v);
}

enum Trim { kTrimLeft, kTrimBoth };

// A text value into a field of `size` bytes: trimmed first, then cut to fit.
static void TakeText(char* field, size_t size, const char* value, Trim trim) {
    char text[kCfgFieldBytes];
    std::snprintf(text, sizeof text, "%s", value);
    StrTrimLeft(text);
    if (trim == kTrimBoth) StrTrimRight(text);
    const size_t n = std::strlen(text) < size ? std::strlen(text) : size - 1;
    std::memcpy(field, text, n);
    field[n] = 0;
}

// One station line into its record; true for a DESC (the station exists).
static bool TakeStationLine(WbItem& it, const char* key, const char* value) {
    if (Is(key, "DESC")) {
        TakeText(it.DESC, sizeof it.DESC, value, kTrimBoth);
        return true;
    }
    if (Is(key, "QUANTITY")) it.QUANTITY = FileInt(value);
    else if (Is(key, "LENGTH")) it.LENGTH = FileFloat(value, kMaxFileFloat);
    else if (Is(key, "TYPE")) TakeText(it.TYPE, sizeof it.TYPE, value, kTrimLeft);
    else if (Is(key, "X")) it.X = FileInt(value);
    else if (Is(key, "Y")) it.Y = FileInt(value);
    return false;
}

static bool IsStationKey(const char* key) {
    return Is(key, "DESC") || Is(key, "QUANTITY") || Is(key, "LENGTH") || Is(key, "TYPE") || Is(key, "X") ||
           Is(key, "Y");
}

static void TakeHeaderLine(AircraftRecord& a, const char* key, const char* value) {
    if (Is(key, "AIRCRAFT")) TakeText(a.AIRCRAFT, sizeof a.AIRCRAFT, value, kTrimBoth);
    else if (Is(key, "MAX_GROSS_WEIGHT")) a.MAX_GROSS_WEIGHT = FileInt(value);
    else if (Is(key, "CG_LOWER_X")) a.CG_LOWER_X = FileInt(value);
    else if (Is(key, "CG_UPPER_X")) a.CG_UPPER_X = FileInt(value);
    else if (Is(key, "DESIGN_CG_LOWER")) a.DESIGN_CG_LOWER = FileFloat(value, kMaxFileFloat);
    else if (Is(key, "DESIGN_CG_UPPER")) a.DESIGN_CG_UPPER = FileFloat(value, kMaxFileFloat);
    else if (Is(key, "LIQUID_DENSITY")) a.LIQUID_DENSITY = FileFloat(value, kMaxDensity);
    else if (Is(key, "WEIGHT_UNITS")) TakeText(a.WEIGHT_UNITS, sizeof a.WEIGHT_UNITS, value, kTrimLeft);
    else if (Is(key, "LENGTH_UNITS")) TakeText(a.LENGTH_UNITS, sizeof a.LENGTH_UNITS, value, kTrimLeft);
    else if (Is(key, "LIQUID_UNITS")) TakeText(a.LIQUID_UNITS, sizeof a.LIQUID_UNITS, value, kTrimLeft);
}

// No density in the file: fuel by the weight unit's first letter and the
// fuel-flow unit (1 litres).
static void DefaultDensity(AircraftRecord& a) {
    const int32_t unit = G_InstCfg[kInstFuelFlow].nUnits;
    const bool kilograms = a.WEIGHT_UNITS[0] == 'K' || a.WEIGHT_UNITS[0] == 'k';
    if (kilograms) a.LIQUID_DENSITY = unit == 1 ? 0.72f : 2.72f;
    else a.LIQUID_DENSITY = unit == 1 ? 1.585f : 6.0f;
    std::snprintf(a.LIQUID_UNITS, sizeof a.LIQUID_UNITS, "%s", unit != 0 ? "ltr" : "gal");
}

void ReadAircraftFile() {
    ReadConfigFile(kCfgAircraft, kExtKvd);
    // A restored file must not inherit keys of the one it replaces.
    std::memset(&G_Aircraft, 0, sizeof G_Aircraft);
    std::memset(&G_WbItems, 0, sizeof G_WbItems);
    uint32_t r = 0, count = 0, dropped = 0;
    const uint32_t lines = G_CfgCount < kCfgPairs ? G_CfgCount : kCfgPairs;
    for (uint32_t i = 0; i < lines; ++i) {
        const char* key = G_CfgKey[i];
        const char* value = G_CfgValue[i];
        if (Is(key, "NEXTLINE")) {
            ++r;
        } else if (!IsStationKey(key)) {
            TakeHeaderLine(G_Aircraft, key, value);
        } else if (r >= kWbStations) {
            ++dropped;
        } else if (TakeStationLine(G_WbItems.item[r], key, value) && r + 1 > count) {
            count = r + 1;   // two DESC lines in one station still make one
        }
    }
    if (dropped != 0)
        DebugPrintf("WARNING: AIRCRAFT.KVD: %d lines past station %d ignored\n", static_cast<int>(dropped), kWbStations);
    G_WbItems.nCount = count;
    if (G_Aircraft.LIQUID_DENSITY == 0.0f) DefaultDensity(G_Aircraft);
}

static void FormatRounded(char* out, int32_t size, float value, int32_t decimals, double scale) {
    FormatScaled(out, size, RoundNearest(static_cast<double>(value) * scale), decimals, 1);
}

void FormatTenths(char* out, int32_t size, float value) { FormatRounded(out, size, value, 1, 10.0); }
void FormatHundredths(char* out, int32_t size, float value) { FormatRounded(out, size, value, 2, 100.0); }

static int32_t s_lines = 0;

static void Line(const char* key, const char* format, ...) __attribute__((format(printf, 2, 3)));
static void Line(const char* key, const char* format, ...) {
    if (s_lines >= kCfgPairs) return;
    std::snprintf(G_CfgKey[s_lines], kCfgFieldBytes, "%s", key);
    va_list args;
    va_start(args, format);
    std::vsnprintf(G_CfgValue[s_lines], kCfgFieldBytes, format, args);
    va_end(args);
    ++s_lines;
}

static void HeaderLines(const AircraftRecord& a) {
    char lower[24], upper[24], density[24];
    FormatTenths(lower, sizeof lower, a.DESIGN_CG_LOWER);
    FormatTenths(upper, sizeof upper, a.DESIGN_CG_UPPER);
    FormatHundredths(density, sizeof density, a.LIQUID_DENSITY);
    Line("# Caution: Do not change Empty Aircraft or Minimum fuel sections.", " ");
    Line("# Caution: The DESC field must be TANK1, TANK2, etc, for your fuel tanks,", " ");
    Line("#          if you want the balance page to work properly.", " ");
    Line("AIRCRAFT", "%s", a.AIRCRAFT);
    Line("MAX_GROSS_WEIGHT", "%d", static_cast<int>(a.MAX_GROSS_WEIGHT));
    Line("DESIGN_CG_LOWER", "%s", lower);
    Line("DESIGN_CG_UPPER", "%s", upper);
    Line("CG_LOWER_X", "%d", static_cast<int>(a.CG_LOWER_X));
    Line("CG_UPPER_X", "%d", static_cast<int>(a.CG_UPPER_X));
    Line("WEIGHT_UNITS", "%s", a.WEIGHT_UNITS);
    Line("LENGTH_UNITS", "%s", a.LENGTH_UNITS);
    Line("LIQUID_UNITS", "%s", a.LIQUID_UNITS);
    Line("LIQUID_DENSITY", "%s", density);
}

static void StationLines(const WbItem& it) {
    char arm[24];
    FormatTenths(arm, sizeof arm, it.LENGTH);
    Line("DESC", "%s", it.DESC);
    Line("QUANTITY", "%d", static_cast<int>(it.QUANTITY));
    Line("LENGTH", "%s", arm);
    Line("TYPE", "%s", it.TYPE);
    Line("X", "%d", static_cast<int>(it.X));
    Line("Y", "%d", static_cast<int>(it.Y));
    Line("NEXTLINE", "%d", 0);
}

void WriteAircraftFile() {
    TFS_Defrag(0);
    ShowPopupMsg(kColourWhite, 320, 240, kPopupTicks, "Writing AIRCRAFT.KVD");
    const uint32_t count = WbStationCount();
    s_lines = 0;
    HeaderLines(G_Aircraft);
    for (uint32_t i = 0; i < count; ++i) StationLines(G_WbItems.item[i]);
    const int32_t rc = writedatabyline(kHeaderLines + kLinesPerStation * static_cast<int32_t>(count), kCfgAircraft, kExtKvd);
    ShowPopupMsg(kColourWhite, 320, 240, kPopupTicks, rc != 0 ? "Writing AIRCRAFT.KVD ... ERROR" : "Writing AIRCRAFT.KVD ... DONE");
    DelayTicks(kPopupTicks);
    ClearPopup();
}

// ---- the picture ---------------------------------------------------------------------------

constexpr char kBitmapName[] = "AIRCRAFT.KVB";
constexpr uint32_t kBmpPixelOffset = 10;    // u32: where the rows start
constexpr uint32_t kBmpInfoSize = 14;       // u32: the info header's size, at least 40
constexpr uint32_t kBmpWidth = 18;          // u32
constexpr uint32_t kBmpHeight = 22;         // i32: positive, rows bottom-up
constexpr uint32_t kBmpBitCount = 28;       // u16
constexpr uint32_t kBmpCompression = 30;    // u32: 0, none
constexpr uint32_t kBmpFileHeader = 14;     // the colour table follows file and info header
constexpr uint32_t kBmpMinInfo = 40;
constexpr uint32_t kPaletteBytes = 256 * 4;   // blue, green, red, reserved
constexpr uint32_t kPixelBytes = kAircraftImageWidth * kAircraftImageHeight;

static const char kWrongType[] = "Aircraft bitmap wrong type\n";
static const char kWrongSize[] = "Aircraft bitmap wrong depth or size\n";

const char* CheckAircraftBitmap(const uint8_t* file, uint32_t size) {
    if (size < 2 || file[0] != 'B' || file[1] != 'M') return kWrongType;
    if (size < kBmpFileHeader + kBmpMinInfo) return kWrongSize;
    const uint64_t info = Le32(file + kBmpInfoSize);
    const uint64_t pixels = Le32(file + kBmpPixelOffset);
    const uint32_t bits = static_cast<uint32_t>(file[kBmpBitCount] | file[kBmpBitCount + 1] << 8);
    const bool shape = bits == 8 && Le32(file + kBmpWidth) == kAircraftImageWidth &&
                       Le32(file + kBmpHeight) == kAircraftImageHeight && Le32(file + kBmpCompression) == 0;
    const uint64_t paletteEnd = kBmpFileHeader + info + kPaletteBytes;
    if (!shape || info < kBmpMinInfo || paletteEnd > pixels || pixels + kPixelBytes > size) return kWrongSize;
    return nullptr;
}

// The file into FlashBuf; the bytes read (at most the buffer), or -1.
static int32_t ReadBitmapFile(uint32_t size) {
    const int fd = mon_tfsopen(kBitmapName, kTfsRead, nullptr);
    if (fd < 0) return -1;
    const uint32_t want = size < kFlashBufBytes ? size : kFlashBufBytes;
    uint32_t got = 0;
    while (got < want) {
        const int n = mon_tfsread(fd, reinterpret_cast<char*>(FlashBuf + got), static_cast<int>(want - got));
        if (n <= 0) break;
        got += static_cast<uint32_t>(n);
    }
    mon_tfsclose(fd, nullptr);
    return static_cast<int32_t>(got);
}

void LoadAircraftBitmap() {
    AircraftImage& img = G_AircraftImage;
    img.nWidth = kAircraftImageWidth;
    img.nHeight = kAircraftImageHeight;
    img.nBytesPerLine = kAircraftImageWidth;
    TfsStat st = {};
    if (mon_tfsstat(kBitmapName, &st) != 0) {
        DebugPrintf("Aircraft bitmap file not found\n");
        return;
    }
    const int32_t got = ReadBitmapFile(st.size);
    if (got < 0) {
        DebugPrintf("Aircraft bitmap file not found\n");
        return;
    }
    // Every check against what was read: a file larger than the buffer is
    // judged by the part that fits, a read cut short by what arrived.
    const char* refused = CheckAircraftBitmap(FlashBuf, static_cast<uint32_t>(got));
    if (refused != nullptr) {
        DebugPrintf("%s", refused);
        return;
    }
    const uint8_t* table = FlashBuf + kBmpFileHeader + Le32(FlashBuf + kBmpInfoSize);
    for (int i = 0; i < 256; ++i) {
        const uint8_t* e = table + 4 * i;
        img.aPalette[i] = static_cast<uint32_t>(e[2]) | static_cast<uint32_t>(e[1]) << 8 | static_cast<uint32_t>(e[0]) << 16;
    }
    const uint8_t* rows = FlashBuf + Le32(FlashBuf + kBmpPixelOffset);
    for (int k = 0; k < kAircraftImageHeight; ++k)
        std::memcpy(img.abPixels + (kAircraftImageHeight - 1 - k) * kAircraftImageWidth, rows + k * kAircraftImageWidth,
                    kAircraftImageWidth);
}
