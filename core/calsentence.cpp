#include "core/calsentence.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/serial.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/engine.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "engine/tanks.h"
#include "nav/navsrc.h"
#include "storage/config.h"
#include "storage/settings.h"

namespace {
constexpr int32_t kLineBytes   = kNmeaMaxSentence + 2;   // one character more than allowed, terminated
constexpr int32_t kFieldBytes  = kCalFieldChars + 1;
constexpr int32_t kAnswerBytes = 82;                     // at most 81 characters
constexpr char    kHeader[]    = "$NRVCAL";
constexpr size_t  kHeaderChars = sizeof kHeader - 1;

// Configuration files whose calibration keys a sentence may set, in the
// order they are offered the key; and the settings-key kinds before them.
constexpr int32_t kFileEgtCht = 5, kFileTanks = 6, kFileAoa = 16;
constexpr int32_t kCalFiles[] = {kCfgAirdata, kCfgEngine, kFileEgtCht, kCfgSystem, kFileTanks, kFileAoa};
constexpr int32_t kKeyKinds[] = {kCfgAirdata, kCfgEngine, kCfgSystem};

enum CalAction { kActSet, kActRec, kActSave, kActGet, kActVal, kActUnknown };
constexpr const char* kActionNames[] = {"SET", "REC", "SAVE", "GET", "VAL"};

// Writers of a SAVE, by configuration file.
struct SaveEntry {
    int32_t fileId;
    void (*settings)();
    void (*calibration)();
};
const SaveEntry kSaves[] = {
    {kCfgEngine, [] { SaveEngineSettings(); }, [] { SaveEngineCal(); }},
    {kCfgAirdata, WriteAirdataFile, WriteAirdataCal},
    {kCfgSystem, [] { WriteSystemKvd(); }, WriteConfigFile},
    {kFileEgtCht, [] { SaveEngineSettings(); }, [] { SaveEgtChtCal(); }},
    {kFileTanks, [] { SaveEngineSettings(); }, [] { SaveTanksCal(); }},
};

// An instrument field named by a sentence key "INSTRUMENT.FIELD".
struct InstKey {
    int32_t     inst;
    const char* field;
};
}  // namespace

static bool StartsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Copies the field at *pos (cut to the buffer) and returns its full length.
// A field ends at ",", "*", CR or the end; only a "," leads to another field,
// so fields missing after the "*" read as empty and an empty field keeps its place.
static int32_t NextField(const char** pos, char* out, int32_t size) {
    const char* p = *pos;
    int32_t n = 0;
    while (*p != 0 && *p != ',' && *p != '*' && *p != '\r' && *p != '\n') {
        if (n < size - 1) out[n] = *p;
        ++n;
        ++p;
    }
    out[n < size - 1 ? n : size - 1] = 0;
    *pos = *p == ',' ? p + 1 : p;
    return n;
}

static CalAction FindAction(const char* text) {
    for (int i = 0; i < kActUnknown; ++i) {
        if (std::strcmp(text, kActionNames[i]) == 0) return static_cast<CalAction>(i);
    }
    return kActUnknown;
}

// The one-entry settings table that the key parsers read.
static void LoadCfgPair(const char* key, const char* value) {
    G_CfgCount = 1;
    std::snprintf(G_CfgKey[0], kCfgFieldBytes, "%s", key);
    std::snprintf(G_CfgValue[0], kCfgFieldBytes, "%s", value);
}

// Every calibration parser is offered the pair; one whose file does not carry
// the key changes nothing. A parser may change the shared tables, so each
// gets the pair afresh. Nothing is written here: a change is stored by SAVE.
static void ApplyCalPair(const char* key, const char* value) {
    for (int32_t file : kCalFiles) {
        LoadCfgPair(key, value);
        ApplyCalKeys(file);   // stored only by SAVE
    }
}

// Splits "INSTRUMENT.FIELD" and finds the instrument; logs why it cannot.
static bool FindInstKey(const char* key, InstKey* out) {
    const char* dot = std::strchr(key, '.');
    const size_t nameLen = dot ? static_cast<size_t>(dot - key) : std::strlen(key);
    if (nameLen == 0) {
        DebugPrintf("NRVCAL: strtok failed\n");
        return false;
    }
    char name[kFieldBytes];
    std::snprintf(name, sizeof name, "%.*s", static_cast<int>(nameLen), key);
    out->inst = -1;
    for (int32_t i = 0; i < kInstruments; ++i) {
        if (std::strcmp(InstrumentNames[i], name) == 0) out->inst = i;
    }
    if (out->inst < 0) {
        DebugPrintf("NRVCAL: No InstId:%d Str:%s\n", -1, name);
        return false;
    }
    if (dot == nullptr || dot[1] == 0) {
        DebugPrintf("NRVCAL: Invalid Rec option\n");
        return false;
    }
    out->field = dot + 1;
    return true;
}

static int32_t Saturate(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v));
}

// The live A/D value without its temperature correction.
static int32_t RawAd(int32_t inst) {
    return Saturate(static_cast<int64_t>(G_InstAd[inst].nAdValue) - G_InstAd[inst].nTempCorr);
}

// Calibration point named by the digits after a field prefix, clamped to 1..24.
static CalPoint& PointAfter(int32_t inst, const char* digits) {
    const long n = std::strtol(digits, nullptr, 10);
    const long p = n < 1 ? 1 : (n > kCalPoints ? kCalPoints : n);
    return G_InstCal[inst].point[p - 1];
}

// The value a GET answers for a field; false for a field no table has.
static bool ReadCalField(const InstKey& k, int32_t* value) {
    const InstCal& cal = G_InstCal[k.inst];
    const char* f = k.field;
    if (StartsWith(f, "DISPLAY_VALUE_")) *value = PointAfter(k.inst, f + 14).nDisplay;
    else if (StartsWith(f, "DISPLAY_VALUE")) *value = G_InstReading[k.inst].nValue;
    else if (StartsWith(f, "AD_VALUE_")) *value = PointAfter(k.inst, f + 9).nAd;
    else if (StartsWith(f, "AD_VAL_RAW")) *value = RawAd(k.inst);
    else if (StartsWith(f, "AD_VAL_TC")) *value = G_InstAd[k.inst].nAdValue;
    else if (StartsWith(f, "NUM_CAL_PTS")) *value = cal.nNumPts;
    else if (StartsWith(f, "TEMP_CAL_AD_VALUE")) *value = cal.nTempCalAd;
    else if (StartsWith(f, "HI_TEMP_SLOPE")) *value = cal.nHiTempSlope;
    else if (StartsWith(f, "LOW_TEMP_SLOPE")) *value = cal.nLowTempSlope;
    else return false;
    return true;
}

// The live value a REC stores for a field; false for the fields that are
// not recorded, which must not re-apply whatever the shared table still holds.
static bool RecordValue(const InstKey& k, int32_t* value) {
    if (StartsWith(k.field, "TEMP_CAL_AD_VALUE")) {
        const bool cylinder = k.inst >= kInstEgt1 && k.inst <= kInstCht6;
        *value = G_InstAd[cylinder ? kInstThermoTemp : kInstSensorTemp].nAdValue;
        return true;
    }
    if (StartsWith(k.field, "AD_VALUE_")) {
        *value = RawAd(k.inst);
        return true;
    }
    return false;
}

static void RecordCalPoint(const char* key) {
    InstKey k;
    if (!FindInstKey(key, &k)) return;
    int32_t v = 0;
    if (!RecordValue(k, &v)) {
        DebugPrintf("NRVCAL: Invalid Rec option\n");
        return;
    }
    char value[kFieldBytes];
    std::snprintf(value, sizeof value, "%d", static_cast<int>(v));
    ApplyCalPair(key, value);
}

static void SaveCalFile(const char* name) {
    for (int32_t id = 0; id < kCfgFileIds; ++id) {
        if (CfgFileNames[id][0] == 0 || std::strcmp(CfgFileNames[id], name) != 0) continue;
        for (const SaveEntry& s : kSaves) {
            if (s.fileId != id) continue;
            s.settings();
            s.calibration();
            return;
        }
        DebugPrintf("NRVCAL: Unknown File: %s", name);
        return;
    }
}

static void AnswerCalField(const char* key, uint32_t port) {
    InstKey k;
    if (!FindInstKey(key, &k)) return;
    int32_t v = 0;
    if (!ReadCalField(k, &v)) {
        DebugPrintf("NRVCAL: Unknown Field %s\n", k.field);
        return;
    }
    char answer[kAnswerBytes];
    int n = std::snprintf(answer, sizeof answer, "$NRVCAL,%s,VAL,%d*hh\r\n", key, static_cast<int>(v));
    if (n < 0) return;
    if (n > kAnswerBytes - 1) n = kAnswerBytes - 1;
    NmeaSetCrc(answer, n);
    DebugPrintf("NRVCAL Sending:%s", answer);
    SerialPrintf(port, "%s", answer);
}

static void HandleCalSentence(const uint8_t* msg, int32_t length, uint32_t port) {
    // The framed message is not terminated: work on a bounded copy.
    char line[kLineBytes] = {};
    if (msg != nullptr && length > 0) std::memcpy(line, msg, static_cast<size_t>(length < kLineBytes - 1 ? length : kLineBytes - 1));
    if (std::strncmp(line, kHeader, kHeaderChars) != 0) {
        DebugPrintf("NRVCAL UNKNOWN MSG:%.7s\n", line);
        return;
    }
    if (!NmeaCheckCrc(line, length)) {
        DebugPrintf("NRVCAL INVALID MSG:%.8s, %d chars\n", line, static_cast<int>(length));
        return;
    }
    const char* pos = line + 1;
    char head[kFieldBytes], key[kFieldBytes], action[kFieldBytes], value[kFieldBytes];
    NextField(&pos, head, kFieldBytes);
    const int32_t keyChars = NextField(&pos, key, kFieldBytes);
    if (keyChars == 0) {
        DebugPrintf("NRVCAL: NULL CAL_FIELD\n");
        return;
    }
    NextField(&pos, action, kFieldBytes);
    const CalAction act = FindAction(action);
    if (act == kActUnknown) {
        DebugPrintf("NRVCAL: UKNOWN ACTION %s\n", action);
        return;
    }
    // A key cut to the buffer could name another field ("..._1" for "..._12").
    if (keyChars > kCalFieldChars) {
        DebugPrintf("NRVCAL: KEY TOO LONG %s\n", key);
        return;
    }
    if (NextField(&pos, value, kFieldBytes) == 0) std::snprintf(value, sizeof value, "0000");

    G_CfgCount = 1;
    std::snprintf(G_CfgKey[0], kCfgFieldBytes, "%s", key);
    switch (act) {
    case kActSet:
        for (int32_t kind : kKeyKinds) {
            LoadCfgPair(key, value);
            ApplySettingKeys(kind);
        }
        ApplyCalPair(key, value);
        break;
    case kActRec: RecordCalPoint(key); break;
    case kActSave: SaveCalFile(key); break;
    case kActGet: AnswerCalField(key, port); break;
    case kActVal:
    case kActUnknown: break;
    }
}

void ParseCalSentence(uint8_t* msg, int32_t length, uint32_t port) {
    HandleCalSentence(msg, length, port);
    if (port < kSerialPorts) G_Serial[port].nRxCount = 1;
}
