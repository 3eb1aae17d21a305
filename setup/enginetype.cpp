// Engine type screen: the type decides which exhaust-gas, turbine-inlet and
// cylinder-head probes the engine monitor shows; SAVE writes ENGINE.KVD.
#include "core/adc.h"
#include "engine/enginecfg.h"
#include "engine/instrument.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "ui/statusbar.h"

namespace {

constexpr int32_t kRowY = 60;

// Probes switched on per engine type (EGT 1..6, TIT 1..2, CHT 1..6 as bits
// 0..13 of instruments 26..39).
constexpr uint32_t kProbes4 = 0x0F | 0x0F << 8, kProbes6 = 0x3F | 0x3F << 8, kProbesRotax = 0x03 | 0x03 << 8;
constexpr uint32_t kProbeBits[kEngineTypes] = {kProbes4, kProbes6, kProbesRotax, kProbesRotax, kProbes4,
                                               kProbes6, 0,        0,            0x3FFF};

void SetProbes(int32_t type) {
    for (int32_t inst = kInstEgt1; inst <= kInstCht6; ++inst)
        G_InstCfg[inst].nEnable = (kProbeBits[type] >> (inst - kInstEgt1)) & 1;
}

int32_t ShownType() {
    const int32_t t = G_EngInfo.nEngineType;
    return (t >= 0 && t < kEngineTypes) ? t : 0;
}

void DrawRow(int32_t) {
    DrawSettingsLabel(kRowY, "1. Engine Type");
    DrawSettingsValue(kRowY, G_SettingsScreen.nRow == 1, " %s ", EngineTypeNames[ShownType()]);
    if (G_SettingsScreen.bEditable) DrawSettingsCursor(kRowY, G_SettingsScreen.nRow == 1);
}

}  // namespace

void EngineTypeOpen() {
    BeginSettingsScreen(kInstEgt1);
    UpdateSoftKeys();
    DrawStatusBar();
    DrawRow(1);
}

int32_t EngineTypeInput(int32_t key, int32_t delta) {
    const int32_t k = SettingsKey(key);
    const SettingsKeyStep step = SharedSettingsKey(k, 1, DrawRow);
    if (step == SettingsKeyStep::kLeave) return 1;
    if (step == SettingsKeyStep::kDone) return 0;
    if (k == 5) {
        ClearSettingsArea();
        SaveEngineSettings();
        LoadEngineSettings();
        return 1;
    }
    if (delta != 0 && G_SettingsScreen.nRow == 1) {
        // No modular wrap: an overshoot lands on the far end.
        const int64_t t = static_cast<int64_t>(G_EngInfo.nEngineType) + delta;
        G_EngInfo.nEngineType = t < 0 ? kEngineTypes - 1 : (t > kEngineTypes - 1 ? 0 : static_cast<int32_t>(t));
        SetProbes(G_EngInfo.nEngineType);
        DrawRow(1);
    }
    return 0;
}

void EngineTypeScreen() {
    EngineTypeOpen();
    RunSettingsScreen(EngineTypeInput, SampleAdcStep);
}
