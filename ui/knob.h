// The two knob records: encoder step counting and the delta mailbox.
#pragma once
#include <cstdint>

struct KnobRecord {
    uint32_t nKnob;          // 0 left, 1 right
    uint32_t bPresent;
    uint32_t bSelecting;
    uint32_t nSelectTime;
    int32_t  nFunction;
    int32_t  nMainFunction;
    int32_t  nDelta;         // mailbox for the main loop; 0 = empty
    int32_t  nSteps;         // encoder steps counted since the last ReadKnobDelta
    int32_t  nLastDir;
    uint32_t nLastStepTime;
    uint32_t nStepInterval;
    uint32_t nPhaseBReg;     // level register and mask of the encoder's second phase
    uint32_t nPhaseBMask;
    uint32_t nAllowMask;
};
static_assert(sizeof(KnobRecord) == 56);

extern KnobRecord G_Knob0;
extern KnobRecord G_Knob1;
extern uint32_t   G_KnobPushSel;   // 0 a push steps to the next function, 1 a push enters selection

int32_t ReadKnobDelta(int32_t knob);
void InitKnobs();
void ResetKnobAllow();
