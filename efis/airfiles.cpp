// The air-data files: AIRDATA.KVD (limits and options of the air-data
// instruments and the airspeed limits, in the "INSTRUMENT.FIELD, VALUE" form
// of ENGINE.KVD) and AIRDATA.KVC (the calibration points of instruments 0,
// 1, 2, 3 and 6, through the calibration-file code).
//
// AIRDATA.KVD keys: ALTITUDE, SENSORTEMP, WINGPRES, AIRSPEED, OAT and
// VERTSPEED with the 13 instrument fields (MAX ... GAUGE_TYPE; the supply
// voltages 4, 5 and 7 live in SYSTEM.KVD), then AIRSPEED.VS0, VS1, VFE, VNO
// and VNE in knots.
#include <cstdint>
#include <cstdio>

#include "core/ostimer.h"
#include "core/syslog.h"
#include "efis/airdata.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "storage/config.h"
#include "storage/settings.h"
#include "storage/tfs.h"
#include "storage/upgrade.h"
#include "ui/popup.h"

namespace {
constexpr int32_t kAirInsts[] = {kInstAltitude, kInstSensorTemp, 2, kInstAirspeed, kInstOat, kInstVertSpeed};
constexpr uint32_t kWhite = 31;
constexpr int32_t kOatSettleReads = 40;

struct SpeedKey {
    const char* suffix;
    int32_t AirspeedCfg::*field;
};
constexpr SpeedKey kSpeedKeys[] = {
    {"VS0", &AirspeedCfg::nVs0}, {"VS1", &AirspeedCfg::nVs1}, {"VFE", &AirspeedCfg::nVfe},
    {"VNO", &AirspeedCfg::nVno}, {"VNE", &AirspeedCfg::nVne},
};

void TakeField(int32_t inst, const char* suffix, int32_t* field) {
    char key[kCfgFieldBytes];
    const int n = std::snprintf(key, sizeof key, "%s.%s", InstrumentNames[inst], suffix);
    if (n > 0 && static_cast<size_t>(n) < sizeof key) LookupCfgInt(key, field);
}

int32_t FormatAirdataLines() {
    LineWriter out;
    for (int32_t inst : kAirInsts) {
        InstCfg& cfg = G_InstCfg[inst];
        for (int f = 0; f < kInstFields; ++f) {
            const int32_t v = InstCfgField(cfg, f);
            if (v != 0 || f == kFldUnits) out.Field(inst, InstFieldNames[f], v);
        }
    }
    for (const SpeedKey& k : kSpeedKeys) out.Field(kInstAirspeed, k.suffix, G_AirspeedCfg.*k.field);
    return out.Count();
}
}  // namespace

void ParseAirdataFile() {
    for (int32_t inst : kAirInsts) {
        for (int f = 0; f < kInstFields; ++f) TakeField(inst, InstFieldNames[f], &InstCfgField(G_InstCfg[inst], f));
    }
    for (const SpeedKey& k : kSpeedKeys) TakeField(kInstAirspeed, k.suffix, &(G_AirspeedCfg.*k.field));
}

void WriteAirdataFile() {
    TFS_Defrag(0);
    WriteEngineFile("AIRDATA.KVD", FormatAirdataLines(), kCfgAirdata, kExtKvd, kPopupRed);
}

void LoadAirdataCal() {
    if (ReadConfigFile(kCfgAirdata, kExtKvc) == 0) ParseCalFile(kCfgAirdata);
}

void WriteAirdataCal() {
    TFS_Defrag(0);
    WriteEngineFile("AIRDATA.KVC", FormatCalLines(kCfgAirdata), kCfgAirdata, kExtKvc, kPopupWhite);
}

void RepairSystemKvd() {
    // A file that opens but holds no pair is as broken as a missing one.
    if (ReadConfigFile(kCfgAirdata, kExtKvd) == 0 && G_CfgCount > 0) {
        ApplySettingKeys(2);
        return;
    }
    // Written at once, the messages timed on their own: a first start is
    // not held up by the repair.
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "Repairing SYSTEM.KVD File");
    DebugPrintf("AIRDATA.KVD not present...Creating\n");
    TFS_Defrag(0);
    writedatabyline(WriteSettingKeys(3), kCfgSystem, kExtKvd);
    writedatabyline(FormatAirdataLines(), kCfgAirdata, kExtKvd);
    ShowPopupMsg(kWhite, 320, 240, kTicksPerSecond, "File Repair Complete... Thank You");
}

void ReadOatChannel() {
    InitOatInstrument();
    for (int32_t i = 0; i < kOatSettleReads; ++i) ConvertAirChannel(kInstOat);
}
