#include "core/adc.h"

#include <cstring>

#include "core/spi.h"
#include "engine/instrument.h"

static uint32_t s_samplePhase;

static int32_t Slot(int32_t i) { return ((i % kAvgCircSlots) + kAvgCircSlots) % kAvgCircSlots; }

void AvgCircInit(AvgCirc* avg, int32_t length, int32_t value, uint32_t time) {
    std::memset(avg, 0, sizeof *avg);
    avg->nLen = length < 1 ? 1 : (length > kAvgCircSlots ? kAvgCircSlots : length);
    avg->nIdx = avg->nLen % kAvgCircSlots;   // the next write stays inside the arrays
    for (int32_t i = 0; i < kAvgCircSlots; ++i) {
        avg->anValue[i] = value;
        avg->anTime[i] = time;
    }
}

void AvgCircAdd(AvgCirc* avg, int32_t value, uint32_t time) {
    const int32_t i = Slot(avg->nIdx);
    avg->anValue[i] = value;
    avg->anTime[i] = time;
    avg->nIdx = Slot(i + 1);
}

double AvgCircSlope(const AvgCirc* avg) {
    // A full ring's newest slot is also its slot 500 back: use the oldest kept one.
    const int32_t span = avg->nLen >= kAvgCircSlots ? kAvgCircSlots - 1 : (avg->nLen < 1 ? 1 : avg->nLen);
    const int32_t newest = Slot(avg->nIdx + kAvgCircSlots - 1);
    const int32_t oldest = Slot(avg->nIdx - span + kAvgCircSlots - 1);
    uint32_t dt = avg->anTime[newest] - avg->anTime[oldest];
    if (dt == 0) dt = 1;
    const int32_t dv = static_cast<int32_t>(static_cast<uint32_t>(avg->anValue[newest]) -
                                            static_cast<uint32_t>(avg->anValue[oldest]));
    return static_cast<double>(dv) / static_cast<double>(dt);
}

void SampleVoltChannel(int32_t inst) {
    if (inst != kInstBattVolts && inst != kInstMainVolts && inst != kInstAuxVolts) return;
    const int32_t ad = ReadAdc(inst);
    const InstAd& a = G_InstAd[inst];
    int32_t value = 0;   // the reading is packed: an aligned word first
    const bool ok = ConvertInstAd(inst, ad, true, &value);
    InstReading& r = G_InstReading[inst];
    r.nValue = value;
    r.bValid = (ok && ad >= a.nAdLow && ad <= a.nAdHigh) ? 1 : 0;
}

void SampleAdcStep() {
    switch (s_samplePhase) {
    case 0: SampleVoltChannel(kInstMainVolts); break;
    case 2: SampleVoltChannel(kInstAuxVolts); break;
    case 5: SampleVoltChannel(kInstBattVolts); break;
    default: break;
    }
    s_samplePhase = (s_samplePhase + 1) & 7;
}

void PrimeVoltChannels() {
    for (int round = 0; round < 40; ++round) {
        SampleVoltChannel(kInstBattVolts);
        SampleVoltChannel(kInstMainVolts);
        SampleVoltChannel(kInstAuxVolts);
    }
}
