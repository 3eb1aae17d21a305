// The magnetometer alignment (page 17). The pilot's key starts each phase
// (steps 0, 1, 3, 9 and 12, raising GPIO66 at 2, 4 and 10); this side moves
// the step on when the AHRS reports the phase done, lowers GPIO66 again, and
// shows the instruction, the heading and the three alignment bits.
#include "core/irq.h"
#include "core/util.h"
#include "efis/ahrs.h"
#include "efis/efis.h"
#include "gui/gui.h"
#include "platform/hw.h"
#include "ui/keys.h"
#include "ui/pages.h"
#include "ui/statusbar.h"
#include "ui/style.h"

namespace {

constexpr uint32_t GPCR2 = 0x40E0002C;         // write 1 drives low, GPIO 64 and up
constexpr uint32_t kGpio66 = 1u << (66 - 64);  // the AHRS calibration request line

constexpr uint32_t kBitLeveling = 1u << 12, kBitIronCal = 1u << 13, kBitHdgOffset = 1u << 14;
constexpr uint32_t kAlignBits = kBitLeveling | kBitIronCal | kBitHdgOffset;
constexpr int32_t kQuarterTurn = 900;   // 0.1 degree
constexpr int32_t kLastStep = 12;
constexpr uint32_t kAhrsGreen = 0xFF00, kAhrsCyan = 0xFFFF00;   // 0x00BBGGRR

constexpr const char* kStepText[kLastStep + 1] = {
    "Press START to align the magnetometer.",
    "Park level, away from metal. Press CONTINUE.",
    "Levelling: hold the aircraft still.",
    "Press CONTINUE, then turn slowly through 360.",
    "Turn slowly: first quarter.",
    "Keep turning: second quarter.",
    "Keep turning: third quarter.",
    "Keep turning: last quarter.",
    "Hold still: iron calibration.",
    "Point on a known heading. Press CONTINUE.",
    "Hold still: heading offset.",
    "Checking the alignment.",
    "Alignment complete. CONTINUE repeats it.",
};

struct AlignTrack {
    uint32_t nLastStep = 0;
    uint32_t nSeen = 0;        // alignment bits seen set since the phase began
    int32_t  nLastHeading = 0;
    int32_t  nTurned = 0;      // 0.1 degree, signed, within the current quarter
};
AlignTrack s_track;

bool Fresh() { return G_Ahrs.nFresh > 0; }

void PhaseDone(uint32_t next) {
    HwWrite32(GPCR2, kGpio66);
    G_MagAlignStep = next;
}

// The AHRS reports a phase done when its bit, raised during the phase, clears.
bool BitCycled(uint32_t bit) { return (s_track.nSeen & bit) && !(G_Ahrs.nStatus & bit); }

int32_t HeadingStep() {
    int32_t d = (G_Ahrs.nHeading - s_track.nLastHeading) % 3600;
    if (d > 1800) d -= 3600;
    if (d < -1800) d += 3600;
    s_track.nLastHeading = G_Ahrs.nHeading;
    return d;
}

}  // namespace

static void MagAlignAdvance() {
    const uint32_t step = G_MagAlignStep;
    if (step != s_track.nLastStep) {
        if (step == 2 || step == 4 || step == 10) s_track.nSeen = 0;   // a phase the key began
        if (step == 4) s_track.nTurned = 0;   // later quarters keep the overshoot of the one before
        s_track.nLastStep = step;
    }
    if (!Fresh()) return;
    s_track.nSeen |= G_Ahrs.nStatus & kAlignBits;
    const int32_t turn = HeadingStep();
    switch (step) {
    case 2: if (BitCycled(kBitLeveling)) PhaseDone(3); break;
    case 4: case 5: case 6: case 7:
        s_track.nTurned += turn;
        if (s_track.nTurned >= kQuarterTurn || s_track.nTurned <= -kQuarterTurn) {
            s_track.nTurned -= s_track.nTurned > 0 ? kQuarterTurn : -kQuarterTurn;
            G_MagAlignStep = step + 1;
        }
        break;
    case 8: if (BitCycled(kBitIronCal)) PhaseDone(9); break;
    case 10: if (BitCycled(kBitHdgOffset)) PhaseDone(11); break;
    case 11: if (!(G_Ahrs.nStatus & kAlignBits)) G_MagAlignStep = 12; break;
    default: break;
    }
}

static void MagAlignStep() {
    const uint32_t before = G_MagAlignStep;
    MagAlignAdvance();
    if (G_MagAlignStep != before) UpdateSoftKeys();   // START or CONTINUE follows the step
}

static void DrawBitLine(int32_t x, int32_t y, const char* name, uint32_t bit) {
    const bool bad = (G_Ahrs.nStatus & bit) != 0;
    DrawTextF(kAhrsWhite, 8, 33, x, y, "%s", name);
    if (!Fresh()) DrawTextF(kAhrsWhite, 8, 33, x + 170, y, "---");
    else DrawTextF(bad ? kAhrsYellow : kAhrsGreen, 8, 33, x + 170, y, "%s", bad ? "INVALID" : "VALID");
}

void MagAlignProcedure() {
    MagAlignStep();
    const PaneRecord& p = G_EfisLayout;
    if (!p.pRect) return;
    const uint32_t step = G_MagAlignStep <= static_cast<uint32_t>(kLastStep) ? G_MagAlignStep : 0;
    const int32_t w = 420, h = 176;
    const int32_t x0 = p.nCenterX - w / 2, y0 = p.nCenterY - h / 2;
    const int32_t page = static_cast<int32_t>(G_FlipCtl.nDrawPageY);
    GUI_SetBkColorIndex(0);
    GUI_ClearRect(x0, y0 + page, x0 + w, y0 + h + page);
    SetDrawColor(kAhrsWhite);
    GUI_DrawRect(x0, y0 + page, x0 + w, y0 + h + page);
    const int32_t x = x0 + 12;
    DrawTextF(kAhrsWhite, 9, 33, x, y0 + 8, "MAGNETOMETER ALIGNMENT");
    DrawTextF(kAhrsWhite, 8, 33, x0 + w - 12 - 90, y0 + 8, "STEP %2d/%d", static_cast<int>(step), kLastStep);
    DrawTextF(kAhrsCyan, 8, 33, x, y0 + 36, "%s", kStepText[step]);
    if (Fresh()) {
        DrawTextF(kAhrsWhite, 8, 33, x, y0 + 64, "HEADING %03d", static_cast<int>((G_Ahrs.nHeading + 5) / 10 % 360));
        if (step >= 4 && step <= 7)
            DrawTextF(kAhrsWhite, 8, 33, x + 170, y0 + 64, "TURNED %3d", static_cast<int>(s_track.nTurned / 10));
    } else {
        DrawTextF(kAhrsYellow, 8, 33, x, y0 + 64, "NO AHRS DATA");
    }
    DrawBitLine(x, y0 + 96, "MAG LEVELING", kBitLeveling);
    DrawBitLine(x, y0 + 120, "IRON CAL", kBitIronCal);
    DrawBitLine(x, y0 + 144, "HEADING OFFSET", kBitHdgOffset);
}
