#include "engine/enginecfg.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <strings.h>

#include "core/boot.h"
#include "core/ostimer.h"
#include "core/syslog.h"
#include "storage/config.h"
#include "storage/tfs.h"
#include "ui/popup.h"

const char EngineTypeNames[kEngineTypes][kInstNameBytes] = {
    "STD_4CYL", "STD_6CYL", "ROTAX_912", "ROTAX_914", "JABIRU_4CYL", "JABIRU_6CYL", "SUBARU_4CYL", "SUBARU_6CYL",
    "M14_9CYL",
};

namespace {
struct TypeAlias {
    const char* name;
    int32_t code;
};
constexpr TypeAlias kTypeAliases[] = {
    {"STD_4CYL", 0},    {"LYC_4CYL", 0},    {"STD_6CYL", 1},    {"LYC_6CYL", 1},    {"ROTAX_912", 2},
    {"ROTAX_914", 3},   {"JABIRU_4CYL", 4}, {"JABIRU_6CYL", 5}, {"SUBARU_4CYL", 6}, {"SUBARU_6CYL", 7},
    {"M14_9CYL", 8},
};

// An instrument's own key for a field slot.
struct AliasKey {
    int32_t inst;
    const char* suffix;
    int field;
};
constexpr AliasKey kLoadAliases[] = {
    {kInstFuelComp, "CROSSCHECK_LIMIT", kFldShiftAdj}, {kInstFuelComp, "ALARM", kFldAudio},
    {kInstRpm, "YELLOW_MID_TOP", kFldYellowLow},       {kInstRpm, "YELLOW_MID_BOT", kFldRedLow},
    {kInstRpm, "PULSES_PER_2REVS", kFldShiftAdj},      {kInstFuelFlow, "K_FACTOR", kFldShiftAdj},
    {kInstFuelFlow, "INJ_DELAY", kFldScaleFctr},       {kInstFuelFlow, "SENSOR_TYPE", kFldGaugeType},
};

constexpr int kFirstEngineInst = kInstFuelComp;
constexpr uint32_t kResultPause = kTicksPerSecond;
}  // namespace

static uint32_t KeyCount() { return G_CfgCount < kCfgPairs ? G_CfgCount : kCfgPairs; }

// Index of the first pair whose key equals `key` exactly, or -1.
static int32_t FindKey(const char* key) {
    for (uint32_t i = 0; i < KeyCount(); ++i) {
        if (std::strncmp(G_CfgKey[i], key, kCfgFieldBytes) == 0) return static_cast<int32_t>(i);
    }
    return -1;
}

// Decimal conversion as the files were always read ("12abc" 12, "" 0), but
// bounded: a value beyond the i32 range saturates instead of overflowing.
static int32_t DecimalValue(const char* text) {
    char buf[kCfgFieldBytes];
    std::snprintf(buf, sizeof buf, "%.*s", static_cast<int>(kCfgFieldBytes - 1), text);
    const long long v = std::strtoll(buf, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

bool LookupCfgInt(const char* key, int32_t* out) {
    const int32_t i = FindKey(key);
    if (i < 0) return false;
    *out = DecimalValue(G_CfgValue[i]);
    return true;
}

static void LookupField(int32_t inst, const char* suffix, int field) {
    char key[kCfgFieldBytes];
    // A cut key could name another instrument's field: skip it instead.
    const int n = std::snprintf(key, sizeof key, "%s.%s", InstrumentNames[inst], suffix);
    if (n < 0 || static_cast<size_t>(n) >= sizeof key) return;
    LookupCfgInt(key, &InstCfgField(G_InstCfg[inst], field));
}

static void ParseEngineType() {
    for (uint32_t i = 0; i < KeyCount(); ++i) {
        if (strncasecmp(G_CfgKey[i], "ENGINE_TYPE", kCfgFieldBytes) != 0) continue;
        const char* value = G_CfgValue[i];
        while (*value == ' ') ++value;
        int32_t code = 0;
        for (const TypeAlias& a : kTypeAliases) {
            if (std::strncmp(value, a.name, kCfgFieldBytes) == 0) {
                code = a.code;
                break;
            }
        }
        G_EngInfo.nEngineType = code;
        DebugPrintf("Engine_Type: %d\n", static_cast<int>(code));
        return;
    }
}

void ParseEngineSettings() {
    ParseEngineType();
    for (int32_t inst = kFirstEngineInst; inst < kInstruments; ++inst) {
        for (int f = 0; f < kInstFields; ++f) LookupField(inst, InstFieldNames[f], f);
        LookupField(inst, "GREEN_HIGH", kFldYellowHigh);
        LookupField(inst, "GREEN_LOW", kFldYellowLow);
        for (const AliasKey& a : kLoadAliases) {
            if (a.inst == inst) LookupField(inst, a.suffix, a.field);
        }
        if (inst == kInstRpm && G_InstCfg[inst].nShiftAdj == 0) G_InstCfg[inst].nShiftAdj = 2;
    }
}

static void CopyFields(int32_t to, int32_t from, std::initializer_list<int> fields) {
    for (int f : fields) InstCfgField(G_InstCfg[to], f) = InstCfgField(G_InstCfg[from], f);
}

static void Silence(int32_t first, int32_t last) {
    for (int32_t i = first; i <= last; ++i) G_InstCfg[i].nEnable = G_InstCfg[i].nAudio = 0;
}

static void ApplyAmpsRule() {
    InstCfg& shunt = G_InstCfg[kInstAmpsShunt];
    InstCfg& hall = G_InstCfg[kInstAmpsHall];
    if (shunt.nEnable != hall.nEnable || shunt.nEnable == 0) return;
    if (shunt.nEnable == 1) {
        hall.nEnable = 0;
    } else if (shunt.nEnable == 2) {
        shunt.nEnable = 1;
    } else {
        shunt.nEnable = 1;
        hall.nEnable = 0;
    }
}

static void ApplyProbeCopies() {
    const std::initializer_list<int> probe = {kFldMax, kFldRedHigh, kFldYellowHigh, kFldYellowLow, kFldRedLow,
                                              kFldMin, kFldShiftAdj, kFldUnits, kFldAudio, kFldGaugeType};
    for (int32_t i = kInstEgt1 + 1; i <= kInstEgt6; ++i) CopyFields(i, kInstEgt1, probe);
    CopyFields(kInstTit2, kInstTit1,
               {kFldMax, kFldRedHigh, kFldYellowHigh, kFldYellowLow, kFldRedLow, kFldMin, kFldShiftAdj, kFldUnits,
                kFldEnable, kFldAudio});
    for (int32_t i = kInstCht1 + 1; i <= kInstCht6; ++i) CopyFields(i, kInstCht1, probe);
}

static void ApplyEngineType() {
    constexpr int32_t kEgt5 = 30, kCht3 = 36, kCht5 = 38, kEgt3 = 28, kCht5Last = 38;
    switch (G_EngInfo.nEngineType) {
    case kEngStd4: case kEngJabiru4:
        Silence(kEgt5, kInstEgt6);
        Silence(kCht5, kInstCht6);
        break;
    case kEngRotax912: case kEngRotax914:
        Silence(kEgt3, kInstEgt6);
        Silence(kCht3, kInstCht6);
        break;
    case kEngSubaru4: case kEngSubaru6:
        Silence(kInstEgt1, kInstCht6);
        break;
    case kEngM14: {
        const std::initializer_list<int> limits = {kFldMax, kFldRedHigh, kFldYellowHigh, kFldYellowLow, kFldRedLow,
                                                   kFldMin, kFldUnits, kFldAudio, kFldGaugeType};
        for (int32_t i = kInstCht1 + 1; i <= kCht5Last; ++i) CopyFields(i, kInstCht1, limits);
        for (int32_t i : {27, 28, 29, 30, 31, kInstTit1, kInstTit2, kInstCht6}) CopyFields(i, kInstEgt1, limits);
        break;
    }
    default:
        break;
    }
}

void LoadEngineSettings() {
    if (ReadConfigFile(kCfgEngine, kExtKvd) == 0) G_NetStreamCfg[kStreamEngine].FileOk = 1;
    ParseEngineSettings();
    InstCfg& comp = G_InstCfg[kInstFuelComp];
    comp.nGaugeType = comp.nGaugeType != 0 ? 9 : 8;
    InstCfg& flow = G_InstCfg[kInstFuelFlow];
    comp.nUnits = flow.nUnits;
    for (int32_t i = kInstTank1; i <= kInstTank4; ++i) G_InstCfg[i].nUnits = flow.nUnits;
    if (flow.nShiftAdj == 0) flow.nShiftAdj = 680;
    if (flow.nScaleFctr < 11 || flow.nScaleFctr > 2000) flow.nScaleFctr = 1000;
    // Only 0 (flow sensor) and 1 (injector timing) count fuel: any other type
    // would arm the sensor input and count nothing, silently.
    if (flow.nGaugeType != 1) flow.nGaugeType = 0;
    for (int32_t i : {kInstEgt1, kInstCht1}) {
        if (static_cast<uint32_t>(G_InstCfg[i].nGaugeType) > 1) G_InstCfg[i].nGaugeType = 1;
    }
    ApplyAmpsRule();
    ApplyProbeCopies();
    ApplyEngineType();
    for (int32_t i : {kInstElevTrim, kInstAilTrim, kInstFlapAng}) {
        G_InstCfg[i].nMax = 1000;
        G_InstCfg[i].nMin = 0;
    }
}

LineWriter::LineWriter() {
    std::memset(G_CfgKey, 0, sizeof G_CfgKey);
    std::memset(G_CfgValue, 0, sizeof G_CfgValue);
}

void LineWriter::Text(const char* key, const char* value) {
    if (n_ >= kCfgPairs) return;
    std::snprintf(G_CfgKey[n_], kCfgFieldBytes, "%.95s", key);
    std::snprintf(G_CfgValue[n_], kCfgFieldBytes, "%.95s", value);
    ++n_;
}

void LineWriter::Int(const char* key, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    Text(key, text);
}

void LineWriter::Field(int32_t inst, const char* suffix, int32_t value) {
    char key[kCfgFieldBytes];
    std::snprintf(key, sizeof key, "%.15s.%.79s", InstrumentNames[inst], suffix);
    Int(key, value);
}

// The key a field is written under: the instrument's own name for its slot.
static const char* WriteName(int32_t inst, int f) {
    if (inst == kInstRpm) {
        if (f == kFldYellowLow) return "YELLOW_MID_TOP";
        if (f == kFldRedLow) return "YELLOW_MID_BOT";
        if (f == kFldShiftAdj) return "PULSES_PER_2REVS";
    }
    if (inst == kInstFuelFlow) {
        if (f == kFldShiftAdj) return "K_FACTOR";
        if (f == kFldScaleFctr) return "INJ_DELAY";
        if (f == kFldGaugeType) return "SENSOR_TYPE";
    }
    return InstFieldNames[f];
}

int32_t FormatEngineSettings() {
    LineWriter out;
    if (static_cast<uint32_t>(G_EngInfo.nEngineType) >= kEngineTypes) G_EngInfo.nEngineType = 0;
    out.Text("ENGINE_TYPE", EngineTypeNames[G_EngInfo.nEngineType]);
    for (int32_t inst = kFirstEngineInst; inst < kInstruments; ++inst) {
        InstCfg& cfg = G_InstCfg[inst];
        if (inst == kInstFuelComp) {
            out.Field(inst, "GREEN_LOW", cfg.nYellowLow);
            out.Field(inst, "RED_LOW", cfg.nRedLow);
            out.Field(inst, "CROSSCHECK_LIMIT", cfg.nShiftAdj);
            out.Field(inst, "AUDIO", cfg.nAudio);
            out.Field(inst, "ENABLE", cfg.nEnable);
            out.Field(inst, "UNITS", cfg.nUnits);
            continue;
        }
        for (int f = 0; f < kInstFields; ++f) {
            const int32_t value = InstCfgField(cfg, f);
            if (inst == kInstTit2 && f == kFldEnable) {
                out.Field(inst, InstFieldNames[f], G_InstCfg[kInstTit1].nEnable);
                continue;
            }
            const bool always = f == kFldUnits && inst != kInstRpm;
            if (value != 0 || always) out.Field(inst, WriteName(inst, f), value);
        }
    }
    return out.Count();
}

int32_t WriteEngineFile(const char* name, int32_t lines, int32_t fileId, int32_t extId, uint32_t errColour) {
    ShowPopupMsg(kPopupWhite, 320, 240, kTicksPerSecond, "Writing %s", name);
    const int32_t r = writedatabyline(lines, fileId, extId);
    if (r != 0) ShowPopupMsg(errColour, 320, 240, kTicksPerSecond, "Writing %s ... ERROR", name);
    else ShowPopupMsg(kPopupWhite, 320, 240, kTicksPerSecond, "Writing %s ... DONE", name);
    DelayTicks(kResultPause);
    ClearPopup();
    return r;
}

int32_t SaveEngineSettings() {
    TFS_Defrag(0);
    return WriteEngineFile("ENGINE.KVD", FormatEngineSettings(), kCfgEngine, kExtKvd, kPopupRed);
}

void LoadEngineCal() {
    ReadConfigFile(kCfgEngine, kExtKvc);
    ParseCalFile(kCfgEngine);
}

int32_t SaveEngineCal() {
    TFS_Defrag(0);
    return WriteEngineFile("ENGINE.KVC", FormatCalLines(kCfgEngine), kCfgEngine, kExtKvc, kPopupWhite);
}
