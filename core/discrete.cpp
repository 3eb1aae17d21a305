#include "core/discrete.h"

#include <cstring>

#include "core/util.h"
#include "platform/hw.h"
#include "ui/buttons.h"
#include "ui/pages.h"

DiscreteInputs G_DiscreteIn = {};

constexpr uint32_t GPLR2 = 0x40E00008;
constexpr int kFirstPinBit = 74 - 64;     // GPIO74 is bit 10 of bank 2

struct DebounceState {
    uint8_t  abRing[kDiscreteRing];
    uint32_t nIndex;
    uint32_t nLast;      // the state returned last (after inversion)
};
static DebounceState s_debounce = {};

uint32_t SampleDiscretePins() {
    const uint32_t levels = HwRead32(GPLR2) >> kFirstPinBit;
    return ~levels & 7u;
}

// AND over the most recent nine samples, so that every active result rests
// on nine consecutive samples whatever the ring index.
static uint32_t Debounced() {
    uint32_t value = 7u;
    uint32_t i = s_debounce.nIndex;
    for (int n = 0; n < kDiscreteDebounce; ++n) {
        i = (i == 0) ? kDiscreteRing - 1 : i - 1;
        value &= s_debounce.abRing[i];
    }
    return value;
}

static uint32_t Inverted(uint32_t state) {
    for (int k = 0; k < kDiscreteInputs; ++k)
        if (G_DiscreteIn.input[k].nInvert == 1) state ^= 1u << k;
    return state;
}

static void PostSoftKeys(uint32_t before, uint32_t now) {
    for (int k = 0; k < kDiscreteInputs; ++k) {
        const uint32_t mode = G_DiscreteIn.input[k].nMode;
        if (mode != kDiModeSoftKey1 && mode != kDiModeSoftKey5) continue;
        const uint32_t bit = 1u << k;
        if ((before & bit) && !(now & bit) && G_KeyEvent == 0) G_KeyEvent = (mode == kDiModeSoftKey1) ? 1 : 5;
    }
}

uint32_t ReadDiscreteInputs() {
    // Inverted per sample, so an inverted input too must hold for the whole
    // debounce window: a glitch of one sample never activates it.
    s_debounce.abRing[s_debounce.nIndex] = static_cast<uint8_t>(Inverted(SampleDiscretePins()) & 7u);
    s_debounce.nIndex = (s_debounce.nIndex + 1) % kDiscreteRing;
    const uint32_t state = Debounced();
    PostSoftKeys(s_debounce.nLast, state);
    s_debounce.nLast = state;
    return state;
}

void SetDiscreteLabel(int input, const char* text) {
    if (input < 0 || input >= kDiscreteInputs) return;
    char* label = G_DiscreteIn.input[input].szLabel;
    std::memset(label, 0, kDiscreteLabelBytes);
    if (text) std::strncpy(label, text, kDiscreteLabelBytes - 1);
}

// ---- drawing -------------------------------------------------------------------------

struct DiscreteLines {
    int32_t x, y, font, step;
};

static bool LinesForPage(int32_t page, DiscreteLines& at) {
    switch (page) {
    case 2: case 3: case 4: case 9: case 19:
        at = {G_EfisLayout.x1 - 85, G_EfisLayout.y0 + 3, 6, 15};
        return true;
    case 5: case 6:
        at = {G_EfisLayout.x1 - 85, G_EfisLayout.y0 + 3, 2, 10};
        return true;
    case 1:
        at = {G_EnginePane.x0 + 256, G_EnginePane.y0 + 183, 6, 15};
        return true;
    default:
        return false;
    }
}

static void DrawInputLine(int k, const DiscreteLines& at) {
    const DiscreteInput& in = G_DiscreteIn.input[k];
    const int32_t y = at.y + k * at.step;
    constexpr int32_t style = 17;
    switch (in.nMode) {
    case kDiModeOff:
        break;
    case kDiModeSoftKey1:
        DrawTextF(31, at.font, style, at.x, y, "BUTTON_1");
        break;
    case kDiModeSoftKey5:
        DrawTextF(31, at.font, style, at.x, y, "BUTTON_5");
        break;
    case kDiModeTimer:
        if (k < 2) {
            const uint32_t colour = (in.nCount < in.nLimit) ? 31 : 2;
            DrawTextF(colour, at.font, style, at.x, y, "%.11s %d:%02d", in.szLabel, static_cast<int>(in.nCount / 60),
                      static_cast<int>(in.nCount % 60));
            break;
        }
        [[fallthrough]];
    default:
        DrawTextF(31, at.font, style, at.x, y, "%.11s", in.szLabel);
        break;
    }
}

void DrawDiscreteInputs() {
    DiscreteLines at{};
    if (!LinesForPage(G_CurPage, at)) return;
    for (int k = 0; k < kDiscreteInputs; ++k)
        if (G_DiscreteIn.nState & (1u << k)) DrawInputLine(k, at);
}
