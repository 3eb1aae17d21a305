// EGTCHT.KVC: the calibration curves of the EGT, TIT and CHT probes
// (instruments 26..39), with their cold-junction reference keys.
#include "engine/enginecfg.h"
#include "engine/engine.h"
#include "engine/instrument.h"
#include "storage/config.h"
#include "storage/tfs.h"

namespace {
constexpr int32_t kEgtChtFile = 5;
}  // namespace

void LoadEgtChtCal() {
    if (ReadConfigFile(kEgtChtFile, kExtKvc) != 0) return;   // no file: the curves stay as they are
    ParseCalFile(kEgtChtFile);
}

void ParseEgtChtCal() {
    for (int32_t inst = kInstEgt1; inst <= kInstCht6; ++inst) ParseInstCal(inst);
}

int32_t SaveEgtChtCal() {
    TFS_Defrag(0);
    return WriteEngineFile("EGTCHT.KVC", FormatCalLines(kEgtChtFile), kEgtChtFile, kExtKvc, kPopupWhite);
}
