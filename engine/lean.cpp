#include "engine/lean.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "core/rtc.h"
#include "core/syslog.h"
#include "engine/instrument.h"
#include "ui/keys.h"
#include "ui/knob.h"
#include "ui/statusbar.h"

uint32_t   G_LeanMode = 0;
EgtPeak    G_EgtPeak[6] = {};
EgtPeakSeq G_EgtPeakSeq = {};

void ResetLeanPeaks() {
    std::memset(G_EgtPeak, 0, sizeof G_EgtPeak);
    std::memset(&G_EgtPeakSeq, 0, sizeof G_EgtPeakSeq);
}

bool LeanAssistAvailable() {
    const int32_t type = G_EngInfo.nEngineType;
    return type != kEngM14 && type != kEngRotax912 && type != kEngRotax914;
}

uint32_t SetLeanMode(uint32_t mode) {
    // Any non-zero mode (a user event from the other unit) means on.
    const uint32_t on = mode != 0 && LeanAssistAvailable() ? 1 : 0;
    if (on && G_LeanMode != 1) ResetLeanPeaks();
    G_LeanMode = on;
    return G_LeanMode;
}

void LeanAssistKey() {
    if (!LeanAssistAvailable()) {
        G_LeanMode = 0;
        return;
    }
    SendRemoteUserEvent(15, SetLeanMode(G_LeanMode == 1 ? 0 : 1), 0);
}

void PeakResetKey() {
    ResetLeanPeaks();
    DebugPrintf("PEAK: Resetting Peak Detect\n");
}

int32_t RoundedEgt(int32_t value) {
    const double v = value / 10.0;
    return static_cast<int32_t>(v >= 0 ? v + 0.5 : v - 0.5);
}

static void LogTransition(const char* what, int32_t index) {
    const EgtPeakSeq& q = G_EgtPeakSeq;
    DebugPrintf("[[DEBUG]] %02d:%02d:%02d - EGT:%d %s NumPeaked:%d, SEQ:%d%d%d%d%d%d\n",
                static_cast<int>(G_DateTime.nHours), static_cast<int>(G_DateTime.nMinutes),
                static_cast<int>(G_DateTime.nSeconds), static_cast<int>(index + 1), what, static_cast<int>(q.count),
                static_cast<int>(q.order[0] + 1), static_cast<int>(q.order[1] + 1), static_cast<int>(q.order[2] + 1),
                static_cast<int>(q.order[3] + 1), static_cast<int>(q.order[4] + 1), static_cast<int>(q.order[5] + 1));
}

static void RemoveFromOrder(int32_t index) {
    EgtPeakSeq& q = G_EgtPeakSeq;
    int32_t w = 0;
    for (int32_t i = 0; i < q.count && i < 6; ++i)
        if (q.order[i] != index) q.order[w++] = q.order[i];
    q.count = w;
}

void DetectEgtPeak(int32_t inst, int32_t n, int32_t barTop) {
    if (inst < kInstEgt1 || inst > kInstEgt6) return;
    const int32_t index = inst - kInstEgt1;
    EgtPeak& p = G_EgtPeak[index];
    EgtPeakSeq& q = G_EgtPeakSeq;
    const int32_t flow = G_InstReading[kInstFuelFlow].nValue;
    if (n > p.peak) {
        p.peak = n;
        p.peakFuelFlow = flow;
        p.peakColour = G_InstReading[inst].nColour;
        p.peakY = barTop;
        if (p.peaked) {
            p.peaked = 0;
            RemoveFromOrder(index);
            LogTransition("Unpeaked,", index);
            SetSoftKeyLabel(4, "");
        }
    }
    p.drop = p.peak - n;
    if (p.drop > 9 && !p.peaked && q.count < 6) {
        p.peaked = 1;
        q.count += 1;
        q.order[q.count - 1] = index;
        LogTransition("Peaked:", index);
        SetSoftKeyLabel(4, "");
    }
    if (!p.peaked) p.letter = ' ';
    else p.letter = flow == p.peakFuelFlow ? 'P' : (flow > p.peakFuelFlow ? 'R' : 'L');
}

void FormatPeakSeq(char* out, uint32_t size) {
    const EgtPeakSeq& q = G_EgtPeakSeq;
    int32_t len = std::snprintf(out, size, "SEQ:");
    if (q.count < 1 || q.count > 6) return;
    for (int32_t i = 0; i < q.count && len > 0 && static_cast<uint32_t>(len) < size; ++i)
        len += std::snprintf(out + len, size - static_cast<uint32_t>(len), "%d", static_cast<int>(q.order[i] + 1));
}

void ShowPeakSeq() {
    if (G_MenuState != 33) return;
    char label[16];
    FormatPeakSeq(label, sizeof label);
    SetSoftKeyLabel(4, label);
}

static bool IsLeanEgt(int32_t inst) { return inst >= kInstEgt1 && inst <= kInstEgt6; }


void FormatPeakText(int32_t inst, char* out, uint32_t size) {
    if (!IsLeanEgt(inst) || !G_InstReading[inst].bValid) {
        std::snprintf(out, size, "   ");
        return;
    }
    int32_t peak = G_EgtPeak[inst - kInstEgt1].peak;
    if (G_InstCfg[inst].nUnits == 1) peak = RoundHalfAway(static_cast<float>((peak - 32) * 5.0 / 9.0));
    std::snprintf(out, size, "%d", static_cast<int>(peak));
}

void FormatDropText(int32_t inst, char* out, uint32_t size) {
    if (!IsLeanEgt(inst) || !G_EgtPeak[inst - kInstEgt1].peaked || !G_InstReading[inst].bValid) {
        std::snprintf(out, size, "    ");
        return;
    }
    const EgtPeak& p = G_EgtPeak[inst - kInstEgt1];
    std::snprintf(out, size, "%3d%c", static_cast<int>(p.drop), static_cast<char>(p.letter));
}

// The EGT channels in scan order: 26.. for the shown count, the radial's nine.
static int32_t EgtChannels(int32_t* out) {
    if (G_EngInfo.nEngineType == kEngM14) {
        static constexpr int32_t kM14[9] = {26, 27, 28, 29, 30, 31, 32, 33, 39};
        std::memcpy(out, kM14, sizeof kM14);
        return 9;
    }
    int32_t n = G_EngInfo.nEgtCount;
    n = n < 0 ? 0 : (n > 6 ? 6 : n);
    for (int32_t i = 0; i < n; ++i) out[i] = kInstEgt1 + i;
    return n;
}

int32_t FindHottestEgt() {
    int32_t ch[9];
    const int32_t n = EgtChannels(ch);
    int32_t best = kInstEgt1;
    for (int32_t i = 0; i < n; ++i)
        if (G_InstReading[ch[i]].nValue > G_InstReading[best].nValue) best = ch[i];
    return best;
}

int32_t FindColdestEgt() {
    int32_t ch[9];
    const int32_t n = EgtChannels(ch);
    const int32_t hot = G_EngInfo.nHotEgt >= 0 && G_EngInfo.nHotEgt < kInstruments ? G_EngInfo.nHotEgt : kInstEgt1;
    int32_t best = hot;
    for (int32_t i = 0; i < n; ++i)
        if (G_InstReading[ch[i]].nValue < G_InstReading[best].nValue) best = ch[i];
    if (best != hot) return best;
    for (int32_t i = 0; i < n; ++i)
        if (ch[i] == hot + 1) return hot + 1;
    return kInstEgt1;
}
