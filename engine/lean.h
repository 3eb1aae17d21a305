// Lean assist: each EGT's peak, the order in which cylinders peaked, and the
// hottest and coldest EGT searches.
#pragma once
#include <cstdint>

extern uint32_t G_LeanMode;   // 1: lean assist on

struct EgtPeak {
    int32_t  peak;             // whole degrees of the stored unit
    int32_t  peakFuelFlow;     // FUEL_FLOW value when the peak was raised
    int32_t  peakY;            // bar view: bar-top row at the peak
    int32_t  peaked;
    int32_t  drop;
    int32_t  letter;           // ' ', 'P', 'R', 'L'
    uint32_t peakColour;
};
struct EgtPeakSeq {
    int32_t count;
    int32_t order[6];
};
extern EgtPeak    G_EgtPeak[6];
extern EgtPeakSeq G_EgtPeakSeq;

// The Rotax and radial engine types have no lean assist and no EGT/CHT menu.
bool LeanAssistAvailable();
// Key 3 of the EGT/CHT menu: lean assist toggled (forced off where not
// available), and the new mode sent to the other display.
void LeanAssistKey();
// Key 4 of the EGT/CHT menu: every peak forgotten.
void PeakResetKey();
// Clears both tables (switch-on and peak reset).
void ResetLeanPeaks();
// Switches lean assist; the engine types without it keep it off. Returns the mode.
uint32_t SetLeanMode(uint32_t mode);
// The current EGT in whole degrees, halves away from zero.
int32_t RoundedEgt(int32_t value);
// One detection pass for an EGT instrument (26..31) with its rounded value;
// barTop is the bar-top row in the bar view (ignored otherwise).
void DetectEgtPeak(int32_t inst, int32_t n, int32_t barTop);
// The soft-key label 4 text of the peaking order ("SEQ:..."), 16 bytes.
void FormatPeakSeq(char* out, uint32_t size);
// Sets soft-key label 4 to the order while the EGT/CHT menu is open.
void ShowPeakSeq();
// Drop text "%3d%c" in stored degrees, or four blanks.
void FormatDropText(int32_t inst, char* out, uint32_t size);
// Peak text "%d", in Celsius when the EGT's UNITS is 1, or three blanks.
void FormatPeakText(int32_t inst, char* out, uint32_t size);

int32_t FindHottestEgt();
int32_t FindColdestEgt();
