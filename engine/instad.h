// A/D set-up and state per instrument: which converter input it reads, how
// its samples are averaged and filtered, and its plausible range.
#pragma once
#include <cstdint>

constexpr int kInstruments = 48;

struct InstAd {
    int32_t nAdCmd;       // converter command word (low 16 bits)
    int32_t nSpiMode;     // 512 air-data converter, 64 engine converter
    int32_t nMuxGroup;    // multiplexer group, named by an instrument; 44 = none
    int32_t nAvgShift;    // right shift of the mean
    int32_t nSamples;     // conversions averaged per reading
    int32_t nFiltScale;   // fixed-point scale shift of the low-pass filter
    int32_t nFiltShift;   // a new sample weighs 1 / 2^nFiltShift
    int32_t nFiltAcc;     // state
    int32_t nAdValue;     // filtered value with the temperature correction (state)
    int32_t nTempCorr;    // state
    int32_t nAdLow;       // plausible range, inclusive
    int32_t nAdHigh;
    int32_t nHoldLimit;   // OAT: out-of-range readings held before one passes
    int32_t nHoldCount;   // OAT: state
    int32_t nStamp;       // OS-timer time of the last reading (state)
};
static_assert(sizeof(InstAd) == 15 * 4);

extern InstAd G_InstAd[kInstruments];

// Copies the default table into G_InstAd, state fields zeroed.
void InitAdcTable();
