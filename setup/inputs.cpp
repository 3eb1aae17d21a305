// Discrete inputs configuration: label, usage, logic, time-out and audio of
// the three switch inputs, their live state, and SAVE into the NVRAM image
// and SYSTEM.KVD.
#include <cstdio>
#include <cstring>

#include "core/adc.h"
#include "core/discrete.h"
#include "core/irq.h"
#include "core/ostimer.h"
#include "core/util.h"
#include "gui/gui.h"
#include "setup/setup.h"
#include "setup/setupkit.h"
#include "storage/nvram.h"
#include "storage/upgrade.h"
#include "ui/popup.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

namespace {

constexpr int32_t kRows = 15, kRowsPerInput = 5, kRowTop = 60, kPitch = 13;
constexpr int32_t kLabelChars = 10;
constexpr int32_t kValueX = 500;
constexpr int32_t kBoxY = 270, kBoxX = 260, kBoxStep = 60, kBoxW = 30, kBoxH = 20;
constexpr uint32_t kPinTicks = 3686;          // 1 ms
constexpr uint32_t kPopupTicks = 3686400;     // 1 s
constexpr int32_t kUsages = 8, kLogics = 2, kAudios = 3;

const char kLabelSet[] = " ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-+";
constexpr int32_t kLabelSetSize = sizeof kLabelSet - 1;
static_assert(kLabelSetSize == 66);

const char* const kUsageNames[kUsages] = {"NONE", "GENERIC", "TANK TRANSFER", "CANOPY",
                                          "FLAPS", "GEAR", "BUTTON_1", "BUTTON_5"};
const char* const kLogicNames[kLogics] = {"Normally Open", "Normally Closed"};
const char* const kAudioNames[kAudios] = {" OFF", " ON", " ABOVE 1500 RPM"};

struct InputsScreen {
    int32_t  nPos;          // edited character of the label rows, 0..9
    int32_t  nShown;        // live bits last drawn, -1 none
    uint32_t nPinStamp;
    uint32_t nAdcStamp;
};
InputsScreen s_inputs;
char s_value[48];

DiscreteInput& Input(int32_t n) { return G_DiscreteIn.input[n]; }
int32_t InputOf(int32_t row) { return (row - 1) / kRowsPerInput; }
int32_t FieldOf(int32_t row) { return (row - 1) % kRowsPerInput; }   // 0 label .. 4 audio
int32_t RowY(int32_t row) { return kRowTop + kPitch * (row - 1); }
int32_t PageY(int32_t y) { return y + static_cast<int32_t>(G_FlipCtl.nDrawPageY); }

void PadLabel(int32_t n) {
    char* s = Input(n).szLabel;
    const size_t len = strnlen(s, kLabelChars);
    for (size_t i = len; i < kLabelChars; ++i) s[i] = ' ';
    s[kLabelChars] = 0;
}

void TrimLabels() {
    for (int32_t n = 0; n < kDiscreteInputs; ++n) {
        Input(n).szLabel[kLabelChars] = 0;
        StrTrimLeft(Input(n).szLabel);
        StrTrimRight(Input(n).szLabel);
    }
}

void SetDefaultLabel(int32_t n) {
    static const char* const kTransfer[kDiscreteInputs] = {"TANK3 XFR", "TANK4 XFR", "FUEL XFR"};
    char text[16] = "";
    switch (Input(n).nMode) {
    case 0: std::snprintf(text, sizeof text, "  "); break;
    case 1: std::snprintf(text, sizeof text, "INPUT-%d", static_cast<int>((n + 1) & 0xFF)); break;
    case 2: std::snprintf(text, sizeof text, "%s", kTransfer[n]); break;
    case 3: std::snprintf(text, sizeof text, "CANOPY"); break;
    case 4: std::snprintf(text, sizeof text, "FLAPS"); break;
    case 5: std::snprintf(text, sizeof text, "GEAR"); break;
    default: break;
    }
    SetDiscreteLabel(n, text);
    PadLabel(n);
}

const char* RowLabel(int32_t row) {
    static const char* const kFields[kRowsPerInput] = {"Label", "Usage", "Logic", "Timeout  (mm:ss)",
                                                       "Audio OFF/ON/etc"};
    static char text[40];
    std::snprintf(text, sizeof text, "%d. Input %d %s", static_cast<int>(row), static_cast<int>(InputOf(row) + 1),
                  kFields[FieldOf(row)]);
    return text;
}

template <int32_t N>
const char* NameOf(const char* const (&names)[N], uint32_t value) {
    return value < static_cast<uint32_t>(N) ? names[value] : names[0];
}

// The label ends at the value column like the other values; on the cursor
// row the character being edited is shown in reverse.
void DrawLabelValue(int32_t row, int32_t y) {
    const char* label = Input(InputOf(row)).szLabel;
    if (row != G_SettingsScreen.nRow) {
        DrawTextF(14, 6, 2, kValueX, y, " %.10s ", label);
        return;
    }
    // Drawn right to left: the tail, the edited character, the head.
    char head[kLabelChars + 2], edited[2] = {label[s_inputs.nPos], 0}, tail[kLabelChars + 2];
    std::snprintf(head, sizeof head, " %.*s", static_cast<int>(s_inputs.nPos), label);
    std::snprintf(tail, sizeof tail, "%s ", label + s_inputs.nPos + 1);
    int32_t x = kValueX;
    DrawTextF(14, 6, 2, x, y, "%s", tail);
    x -= TextWidth(6, tail);
    DrawTextF(14, 6, 14, x, y, "%s", edited);
    x -= TextWidth(6, edited);
    DrawTextF(14, 6, 2, x, y, "%s", head);
}

void DrawRow(int32_t row) {
    if (row < 1 || row > kRows) return;
    const int32_t y = RowY(row);
    DrawSettingsLabel(y, RowLabel(row));
    if (FieldOf(row) == 0) DrawLabelValue(row, y);
    else DrawSettingsValue(y, row == G_SettingsScreen.nRow, " %s ", InputsConfigValue(row));
    DrawSettingsCursor(y, row == G_SettingsScreen.nRow);
}

void DrawBoxes(uint32_t bits) {
    for (int32_t n = 0; n < kDiscreteInputs; ++n) {
        const int32_t x = kBoxX + kBoxStep * n, y = PageY(kBoxY);
        DrawTextF(31, 6, 3, x - 12, kBoxY + 4, "%d", static_cast<int>(n + 1));
        GUI_SetColorIndex((bits >> n) & 1 ? 5 : 0);
        GUI_FillRect(x + 1, y + 1, x + kBoxW - 1, y + kBoxH - 1);
        GUI_SetColorIndex(31);
        GUI_DrawRect(x, y, x + kBoxW, y + kBoxH);
    }
}

void EditRow(int32_t row, int32_t delta) {
    DiscreteInput& in = Input(InputOf(row));
    switch (FieldOf(row)) {
    case 0: in.szLabel[s_inputs.nPos] = NextLabelChar(in.szLabel[s_inputs.nPos], delta); break;
    case 1:
        in.nMode = static_cast<uint32_t>(WrapIndex(static_cast<int32_t>(in.nMode), kUsages, delta));
        SetDefaultLabel(InputOf(row));
        DrawRow(row - 1);
        break;
    case 2: in.nInvert = static_cast<uint32_t>(WrapIndex(static_cast<int32_t>(in.nInvert), kLogics, delta)); break;
    case 3: {
        const int64_t t = static_cast<int64_t>(in.nLimit) + delta;
        in.nLimit = static_cast<uint32_t>(t < 0 ? 0 : (t > INT32_MAX ? INT32_MAX : t));
        break;
    }
    default: in.nAlarm = static_cast<uint32_t>(WrapIndex(static_cast<int32_t>(in.nAlarm), kAudios, delta)); break;
    }
    DrawRow(row);
}

void Save() {
    TrimLabels();
    GUI_ClearRect(200, PageY(25), 550, PageY(459));
    ShowPopupMsg(31, 320, 240, kPopupTicks, "Writing to NVRAM");
    DelayTicks(kSetupTicks250ms);
    WriteNVRam(1);
    WriteNVRam(1);
    ShowPopupMsg(31, 320, 240, kPopupTicks, "Writing to NVRAM ... DONE");
    DelayTicks(kPopupTicks);
    ClearPopup();
    WriteSystemKvd();
    GUI_ClearRect(200, PageY(25), 550, PageY(459));
}

void MoveCursor(int32_t to) {
    if (to < 1 || to > kRows) return;
    const int32_t from = G_SettingsScreen.nRow;
    G_SettingsScreen.nRow = to;
    DrawRow(from);
    DrawRow(to);
}

void PollInputs() {
    const uint32_t now = ReadOsTimer();
    if (TicksElapsed(now, s_inputs.nPinStamp, kPinTicks)) {
        s_inputs.nPinStamp = now;
        InputsLiveState();
    }
    if (TicksElapsed(now, s_inputs.nAdcStamp, kSetupTicks50ms)) {
        s_inputs.nAdcStamp = now;
        SampleAdcStep();
    }
}

}  // namespace

char NextLabelChar(char c, int32_t delta) {
    const char* at = c != 0 ? std::strchr(kLabelSet, c) : nullptr;
    if (at == nullptr) return ' ';
    return kLabelSet[WrapIndex(static_cast<int32_t>(at - kLabelSet), kLabelSetSize, delta)];
}

void InputsNop() {}

const char* InputsConfigValue(int32_t row) {
    s_value[0] = 0;
    if (row < 1 || row > kRows) return s_value;
    const DiscreteInput& in = Input(InputOf(row));
    switch (FieldOf(row)) {
    case 0: std::snprintf(s_value, sizeof s_value, "%.10s", in.szLabel); break;
    case 1: std::snprintf(s_value, sizeof s_value, "%s", NameOf(kUsageNames, in.nMode)); break;
    case 2: std::snprintf(s_value, sizeof s_value, "%s", NameOf(kLogicNames, in.nInvert)); break;
    case 3:
        std::snprintf(s_value, sizeof s_value, "%u:%02u", static_cast<unsigned>(in.nLimit / 60),
                      static_cast<unsigned>(in.nLimit % 60));
        break;
    default: std::snprintf(s_value, sizeof s_value, "%s", NameOf(kAudioNames, in.nAlarm)); break;
    }
    return s_value;
}

uint32_t InputsLiveState() {
    uint32_t bits = SampleDiscretePins();
    for (int32_t n = 0; n < kDiscreteInputs; ++n)
        if (Input(n).nInvert == 1) bits ^= 1u << n;
    if (static_cast<int32_t>(bits) != s_inputs.nShown) {
        s_inputs.nShown = static_cast<int32_t>(bits);
        DrawBoxes(bits);
    }
    return bits;
}

void InputsConfigOpen() {
    G_SettingsScreen = {};
    G_SettingsScreen.bEditable = 1;
    G_SettingsScreen.nRow = 1;
    s_inputs = {};
    s_inputs.nShown = -1;
    G_CurPage = kPageSetupInputs;
    UpdateSoftKeys();
    SetSoftKeyLabel(4, "");
    SetSoftKeyLabel(6, "ADJUST/NEXT");
    for (int32_t n = 0; n < kDiscreteInputs; ++n) PadLabel(n);
    InputsLiveState();
    for (int32_t row = 1; row <= kRows; ++row) DrawRow(row);
}

int32_t InputsConfigInput(int32_t key, int32_t delta) {
    const int32_t row = G_SettingsScreen.nRow;
    switch (SettingsKey(key)) {
    case 1: TrimLabels(); return 1;
    case 2: MoveCursor(row + 1); break;
    case 3: MoveCursor(row - 1); break;
    case 5: Save(); return 1;
    case 6:
        if (FieldOf(row) == 0) {
            s_inputs.nPos = (s_inputs.nPos + 1) % kLabelChars;
            DrawRow(row);
        }
        break;
    default: break;
    }
    if (delta != 0) EditRow(G_SettingsScreen.nRow, delta);
    return 0;
}

void InputsConfigScreen() {
    InputsConfigOpen();
    RunSettingsScreen(InputsConfigInput, PollInputs);
}
