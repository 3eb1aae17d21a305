// Discrete inputs GPIO74..76 (low = active): sampled and debounced by the
// 1 ms tick, inverted per configuration, acting as alarm sources, timers or
// soft keys 1 and 5.
#pragma once
#include <cstdint>

constexpr int kDiscreteInputs = 3;
constexpr int kDiscreteLabelBytes = 12;
constexpr int kDiscreteRing = 10;       // samples kept
constexpr int kDiscreteDebounce = 9;    // consecutive active samples before an input counts

// Input modes.
constexpr uint32_t kDiModeOff        = 0;
constexpr uint32_t kDiModeAlarm      = 1;
constexpr uint32_t kDiModeTimer      = 2;
constexpr uint32_t kDiModeAlarmWord  = 3;
constexpr uint32_t kDiModeAlarmSpeed = 4;
constexpr uint32_t kDiModeSoftKey1   = 6;
constexpr uint32_t kDiModeSoftKey5   = 7;

struct DiscreteInput {
    uint32_t nMode;
    uint32_t nInvert;     // 1: the input is active while the pin is high
    uint32_t nCount;      // seconds active, in timer mode
    uint32_t nLimit;      // seconds, in timer mode
    uint32_t nAlarm;      // 0 none, 1 always, 2 only while the RPM is above 14999
    char     szLabel[kDiscreteLabelBytes];   // always terminated (see SetDiscreteLabel)
};
static_assert(sizeof(DiscreteInput) == 32);

struct DiscreteInputs {
    uint32_t nState;      // debounced state bits of the three inputs (bit 0 = input 1)
    uint32_t reserved[8];
    DiscreteInput input[kDiscreteInputs];
};
static_assert(sizeof(DiscreteInputs) == 132);
extern DiscreteInputs G_DiscreteIn;

// The pins as they are now: bit k-1 set while input k's pin is low, before
// debounce and logic inversion.
uint32_t SampleDiscretePins();
// Samples the pins once and returns the new state; from the tick only.
uint32_t ReadDiscreteInputs();
// Draws the active inputs' lines for the current page; from the frame block.
void     DrawDiscreteInputs();
// Stores a configured label, cut to 11 characters and terminated.
void     SetDiscreteLabel(int input, const char* text);
