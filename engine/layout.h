// Gauge geometry of the engine page, one record per instrument; the record
// also carries the instrument's active calibration segment. The module
// chooses the layout for the current page, builds every gauge's record and
// redraws the engine area each frame.
#pragma once
#include <cstdint>

#include "engine/instad.h"

struct GaugeLayout {
    int32_t nOrigin[2];          // x, y of the gauge in the current layout
    int32_t nScale[11];          // words 2..12: scale values set by the gauge set-up
    float   fActiveSlope;        // word 13: segment chosen by the last SetInstCalSegment
    float   fActiveIntercept;    // word 14
    int32_t nScale2[4];          // words 15..18
    int32_t nElem[174];          // words 19..192: element geometry from the templates
    int32_t nShownValue;         // word 193: last trim or flap value shown
};
static_assert(sizeof(GaugeLayout) == 194 * 4);

extern GaugeLayout G_GaugeLayout[kInstruments];
extern uint32_t    G_EngLayoutIdx;   // 0 normal, 1 large

constexpr int kGaugeWords = 194;
constexpr int kElemFirst = 19;
// Word k (0..193) of an instrument's record; the two float words are not
// reachable here.
int32_t& GaugeWord(int32_t inst, int32_t k);

// Origin of an instrument in the position table of a layout (0 normal, 1 large).
void GaugePosition(int32_t inst, int32_t layout, int32_t* x, int32_t* y);

// Centre x of a centred label of a width, moved so that the whole label
// stays on the 640-pixel screen.
constexpr int32_t kScreenWidth = 640;
int32_t LabelCentreOnScreen(int32_t x, int32_t width);

void SelectEngineLayout();
void LayoutEngineGauges();
void ScaleGaugeLayout(int32_t inst, float percent);
void OffsetGaugeLayout(int32_t inst);
void DrawEngineGauges();

// The redraw of the engine area as a list of steps: background restores
// (page rows) and group drawers in the order they run.
enum EngineDrawOp : int32_t {
    kDrawRestore, kDrawRpm, kDrawElectrical, kDrawCylinder, kDrawFuelComputer, kDrawTanks, kDrawFlap,
    kDrawTrim, kDrawOat, kDrawTimer, kDrawClock, kDrawFadecStatus, kDrawHp,
};
struct EngineDrawStep {
    EngineDrawOp op;
    int32_t x, y;                // restore rectangle, or the clock and timer position
    int32_t nWidth, nHeight;     // restore only
};
constexpr int32_t kEnginePlanSteps = 16;
struct EngineDrawPlan {
    int32_t nCount;
    EngineDrawStep step[kEnginePlanSteps];
};
void PlanEngineGauges(EngineDrawPlan& plan);
