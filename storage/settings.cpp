#include "storage/settings.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "core/boot.h"
#include "core/discrete.h"
#include "core/serial.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "gui/text.h"
#include "nav/navsrc.h"
#include "net/net.h"
#include "storage/config.h"
#include "storage/datastore.h"

uint32_t G_AhrsTypeCfg = 0;

// Special entries are recognised by the variable they carry.
static DiscreteInput& Input(int k) { return G_DiscreteIn.input[k]; }

const SystemKey SystemKeyTable[kSystemKeys] = {
    {3, "EFIS_INSTALLED", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamAhrs].INST},
    {3, "AHRS_TYPE", kKeySpecial, kKeyWritten, &G_NetStreamCfg[kStreamAhrs].DSRC},
    {3, "NET_AHRS_MODE", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamAhrs].NET},
    {3, "ENGINE_INSTALLED", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamEngine].INST},
    {3, "NET_ENG_MODE", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamEngine].NET},
    {3, "AIR_INSTALLED", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamAir].INST},
    {3, "NET_AIR_MODE", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamAir].NET},
    {3, "NET_WX_MODE", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamWx].INST},
    {3, "NET_ENABLE", kKeyI32, kKeyWritten, &G_NetEnable},
    {3, "NET_IP_ADR", kKeyI32, kKeyReadOnly, &G_NetIpLocal},
    {3, "NET_IP_ADR_LOCAL", kKeyI32, kKeyWritten, &G_NetIpLocal},
    {3, "NET_IP_ADR_OTHER", kKeyI32, kKeyWritten, &G_NetIpOther},
    {3, "NET_SERIAL_SHARE", kKeyI32, kKeyWritten, &G_NetSerialShare},
    {3, "SERIAL1_FUNC", kKeyI32, kKeyWritten, &G_Serial[1].nFunction},
    {3, "SERIAL1_BAUD", kKeyI32, kKeyWritten, &G_Serial[1].nBaudIdx},
    {3, "SERIAL2_FUNC", kKeyI32, kKeyWritten, &G_Serial[2].nFunction},
    {3, "SERIAL2_BAUD", kKeyI32, kKeyWritten, &G_Serial[2].nBaudIdx},
    {3, "SERIAL3_FUNC", kKeyI32, kKeyWritten, &G_Serial[3].nFunction},
    {3, "SERIAL3_BAUD", kKeyI32, kKeyWritten, &G_Serial[3].nBaudIdx},
    {3, "SERIAL4_FUNC", kKeyI32, kKeyWritten, &G_Serial[4].nFunction},
    {3, "SERIAL4_BAUD", kKeyI32, kKeyWritten, &G_Serial[4].nBaudIdx},
    {3, "GPSNAV1_PORT", kKeyI8, kKeyWritten, &G_NavSrc.hdr.nPort[0]},
    {3, "GPSNAV2_PORT", kKeyI8, kKeyWritten, &G_NavSrc.hdr.nPort[1]},
    {3, "GPSNAV3_PORT", kKeyI8, kKeyWritten, &G_NavSrc.hdr.nPort[2]},
    {3, "MAP_LATLON_PORT", kKeyI8, kKeyWritten, &G_NavSrc.hdr.MAP_LATLON_PORT},
    {3, "LOG_ENABLE", kKeyI32, kKeyWritten, &G_DataStoreInterval},
    {3, "AHRS_AIDING", kKeyI32, kKeyReadOnly, &G_AhrsState.nAiding},
    {3, "BARO_UNITS", kKeySpecial, kKeyReadOnly, &G_InstCfg[kInstAltitude].nUnits},
    {3, "INPUT_USAGE_1", kKeyI32, kKeyWritten, &G_DiscreteIn.input[0].nMode},
    {3, "INPUT_USAGE_2", kKeyI32, kKeyWritten, &G_DiscreteIn.input[1].nMode},
    {3, "INPUT_USAGE_3", kKeyI32, kKeyWritten, &G_DiscreteIn.input[2].nMode},
    {3, "INPUT_LABEL_1", kKeyString, kKeyWritten, G_DiscreteIn.input[0].szLabel},
    {3, "INPUT_LABEL_2", kKeyString, kKeyWritten, G_DiscreteIn.input[1].szLabel},
    {3, "INPUT_LABEL_3", kKeyString, kKeyWritten, G_DiscreteIn.input[2].szLabel},
    {3, "INPUT_LOGIC_1", kKeyI32, kKeyWritten, &G_DiscreteIn.input[0].nInvert},
    {3, "INPUT_LOGIC_2", kKeyI32, kKeyWritten, &G_DiscreteIn.input[1].nInvert},
    {3, "INPUT_LOGIC_3", kKeyI32, kKeyWritten, &G_DiscreteIn.input[2].nInvert},
    {3, "INPUT_TIMEOUT_1", kKeySpecial, kKeyWritten, &G_DiscreteIn.input[0].nLimit},
    {3, "INPUT_TIMEOUT_2", kKeySpecial, kKeyWritten, &G_DiscreteIn.input[1].nLimit},
    {3, "INPUT_TIMEOUT_3", kKeySpecial, kKeyWritten, &G_DiscreteIn.input[2].nLimit},
    {3, "INPUT_AUDIO_1", kKeyI32, kKeyWritten, &G_DiscreteIn.input[0].nAlarm},
    {3, "INPUT_AUDIO_2", kKeyI32, kKeyWritten, &G_DiscreteIn.input[1].nAlarm},
    {3, "INPUT_AUDIO_3", kKeyI32, kKeyWritten, &G_DiscreteIn.input[2].nAlarm},
    {3, "INPUT_1", kKeySpecial, kKeyReadOnly, G_DiscreteIn.input[0].szLabel},
    {3, "INPUT_2", kKeySpecial, kKeyReadOnly, G_DiscreteIn.input[1].szLabel},
    {3, "INPUT_3", kKeySpecial, kKeyReadOnly, G_DiscreteIn.input[2].szLabel},
    {3, "DEMO_FLAGS", kKeyI32, kKeyWritten, &G_DemoFlags},
    // The last of the two spare entries: no setup screen item installs the
    // moving map, so this key does.
    {3, "MAP_INSTALLED", kKeyI32, kKeyWritten, &G_NetStreamCfg[kStreamMap].INST},
};

namespace {
constexpr int kRangeInsts[] = {kInstBattVolts, kInstMainVolts, kInstAuxVolts};
constexpr int kLabelBytes = sizeof(DiscreteInput::szLabel);
}  // namespace

static uint32_t PairCount() { return G_CfgCount < kCfgPairs ? G_CfgCount : kCfgPairs; }

static bool Blank(char c) { return c == ' ' || c == '\t'; }

static const char* SkipBlanks(const char* s) {
    while (Blank(*s)) ++s;
    return s;
}

// A decimal as the files were always read ("12abc" 12, "" 0); the low 32 bits
// are kept, so an address written as a negative number or as an unsigned one
// reads back to the same word.
static uint32_t KeyValue(const char* text) {
    char buf[kCfgFieldBytes];
    std::snprintf(buf, sizeof buf, "%.*s", static_cast<int>(kCfgFieldBytes - 1), text);
    return static_cast<uint32_t>(std::strtoll(buf, nullptr, 10));
}

// Copies at most size - 1 characters of text, starting after its leading
// blanks and ending before its trailing ones.
static void CopyTrimmed(char* to, int size, const char* text) {
    const char* from = SkipBlanks(text);
    size_t n = strnlen(from, kCfgFieldBytes - 1);
    while (n > 0 && Blank(from[n - 1])) --n;
    if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
    std::memcpy(to, from, n);
    to[n] = 0;
}

// An older-layout label: copied as it stands, then its leading blanks taken out.
static void CopyOldLabel(char* label, const char* text) {
    std::snprintf(label, kLabelBytes, "%.*s", kLabelBytes - 1, text);
    const char* from = SkipBlanks(label);
    std::memmove(label, from, std::strlen(from) + 1);
}

static void ApplySpecial(const SystemKey& e, const char* value) {
    if (e.var == &G_NetStreamCfg[kStreamAhrs].DSRC) {
        G_AhrsTypeCfg = KeyValue(value);
        G_NetStreamCfg[kStreamAhrs].DSRC = G_AhrsTypeCfg;
        G_Ahrs.nType = G_AhrsTypeCfg;
        G_NetStreamCfg[kStreamAhrs].FileOk = 1;
        return;
    }
    if (e.var == &G_InstCfg[kInstAltitude].nUnits) {
        const char c = *SkipBlanks(value);
        if (c == 'M' || c == '1') G_InstCfg[kInstAltitude].nUnits |= 2;
        return;
    }
    for (int k = 0; k < kDiscreteInputs; ++k) {
        if (e.var == Input(k).szLabel) {
            CopyOldLabel(Input(k).szLabel, value);
            Input(k).nMode = 1;
            return;
        }
        if (e.var == &Input(k).nLimit) {
            Input(k).nLimit = KeyValue(value);
            return;
        }
    }
}

static void ApplyEntry(const SystemKey& e, const char* value) {
    const uint32_t v = KeyValue(value);
    switch (e.type) {
    case kKeyI32: *static_cast<uint32_t*>(e.var) = v; break;
    case kKeyI16: *static_cast<uint16_t*>(e.var) = static_cast<uint16_t>(v); break;
    case kKeyI8: *static_cast<uint8_t*>(e.var) = static_cast<uint8_t>(v); break;
    case kKeyString: CopyTrimmed(static_cast<char*>(e.var), kLabelBytes, value); break;
    case kKeySpecial: ApplySpecial(e, value); break;
    default: break;
    }
}

static void ApplyTableKeys() {
    for (uint32_t i = 0; i < PairCount(); ++i) {
        for (const SystemKey& e : SystemKeyTable) {
            if (e.marker == 0 || strncasecmp(G_CfgKey[i], e.name, kCfgFieldBytes) != 0) continue;
            ApplyEntry(e, G_CfgValue[i]);
            break;
        }
    }
}

// The first pair whose key is exactly "<inst>.<field>" sets the field.
static void TakeRangeKey(int inst, const char* field, int32_t& to) {
    char key[kCfgFieldBytes];
    std::snprintf(key, sizeof key, "%.40s.%.40s", InstrumentNames[inst], field);
    for (uint32_t i = 0; i < PairCount(); ++i) {
        if (std::strncmp(G_CfgKey[i], key, kCfgFieldBytes) != 0) continue;
        to = static_cast<int32_t>(KeyValue(G_CfgValue[i]));
        return;
    }
}

static void ApplyRangeKeys() {
    for (int inst : kRangeInsts) {
        InstCfg& cfg = G_InstCfg[inst];
        for (int f = 0; f < kInstFields; ++f) TakeRangeKey(inst, InstFieldNames[f], InstCfgField(cfg, f));
        TakeRangeKey(inst, "GREEN_HIGH", cfg.nYellowHigh);
        TakeRangeKey(inst, "GREEN_LOW", cfg.nYellowLow);
    }
}

void ApplySettingKeys(int32_t kind) {
    switch (kind) {
    case 3:
        ApplyTableKeys();
        ApplyRangeKeys();
        break;
    case 2: ParseAirdataFile(); break;
    case 0: ParseEngineSettings(); break;
    default: break;
    }
}

static void FormatEntry(const SystemKey& e, char* value) {
    int32_t v = 0;
    switch (e.type) {
    case kKeyI32: v = *static_cast<const int32_t*>(e.var); break;
    case kKeyI16: v = *static_cast<const int16_t*>(e.var); break;
    case kKeyI8: v = *static_cast<const uint8_t*>(e.var); break;
    case kKeyString:
        std::snprintf(value, kCfgFieldBytes, "%.*s", kLabelBytes - 1, static_cast<const char*>(e.var));
        return;
    case kKeySpecial:
        // The configured AHRS type, not the input kind the repair derived from it.
        v = e.var == &G_NetStreamCfg[kStreamAhrs].DSRC ? static_cast<uint8_t>(G_AhrsTypeCfg)
                                                        : *static_cast<const int32_t*>(e.var);
        break;
    default: break;
    }
    std::snprintf(value, kCfgFieldBytes, "%d", static_cast<int>(v));
}

int32_t WriteSettingKeys(int32_t kind) {
    if (kind != 3) return 0;
    std::memset(G_CfgKey, 0, sizeof G_CfgKey);
    std::memset(G_CfgValue, 0, sizeof G_CfgValue);
    int32_t n = 0;
    for (const SystemKey& e : SystemKeyTable) {
        if (e.marker == 0 || !(e.access & kKeyWritten)) continue;
        std::snprintf(G_CfgKey[n], kCfgFieldBytes, "%s", e.name);
        FormatEntry(e, G_CfgValue[n]);
        ++n;
    }
    for (int inst : kRangeInsts) {
        InstCfg& cfg = G_InstCfg[inst];
        for (int f = 0; f < kInstFields; ++f) {
            const int32_t v = InstCfgField(cfg, f);
            if (v == 0) continue;
            std::snprintf(G_CfgKey[n], kCfgFieldBytes, "%.40s.%.40s", InstrumentNames[inst], InstFieldNames[f]);
            std::snprintf(G_CfgValue[n], kCfgFieldBytes, "%d", static_cast<int>(v));
            ++n;
        }
        if (inst == kInstBattVolts) GUI_DrawText(".");
    }
    return n;
}
