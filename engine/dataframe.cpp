// The engine data frame sent every 125 ms on the port of function 6 (rebuilt
// every second send): the readings of instruments 9..40 in a fixed 73-byte
// layout, documented in docs/engine-links.md.
#include <cstring>

#include "engine/engine.h"
#include "engine/instrument.h"

namespace {
constexpr uint8_t kFrameMarker[2] = {0xA5, 0x45};
constexpr int32_t kMaskAt = 3, kValuesAt = 7, kSumAt = 71;
static_assert(kValuesAt + 2 * kEngFrameInsts == kSumAt);
static_assert(kSumAt + 2 == sizeof G_EngineDataFrame.abFrame);
uint8_t s_sequence = 0;
}  // namespace

void InitEngineDataMsg() {
    std::memset(G_EngineDataFrame.abFrame, 0, sizeof G_EngineDataFrame.abFrame);
    s_sequence = 0;
}

static int16_t Saturate16(int32_t v) {
    return static_cast<int16_t>(v > INT16_MAX ? INT16_MAX : (v < INT16_MIN ? INT16_MIN : v));
}

static void Put16(uint8_t* at, uint16_t v) {
    at[0] = static_cast<uint8_t>(v & 0xFF);
    at[1] = static_cast<uint8_t>(v >> 8);
}

void BuildEngineDataMsg() {
    uint8_t* f = G_EngineDataFrame.abFrame;
    f[0] = kFrameMarker[0];
    f[1] = kFrameMarker[1];
    f[2] = s_sequence++;
    uint32_t mask = 0;
    for (int32_t i = 0; i < kEngFrameInsts; ++i) {
        const int32_t inst = kEngFrameFirstInst + i;
        const InstReading& r = G_InstReading[inst];
        if (r.bValid) mask |= 1u << i;
        // RPM in whole revolutions: its tenths would not fit 16 bits.
        const int32_t value = inst == kInstRpm ? r.nValue / 10 : r.nValue;
        Put16(f + kValuesAt + 2 * i, static_cast<uint16_t>(Saturate16(value)));
    }
    for (int32_t b = 0; b < 4; ++b) f[kMaskAt + b] = static_cast<uint8_t>(mask >> (8 * b));
    uint16_t sum = 0;
    for (int32_t i = 0; i < kSumAt; ++i) sum = static_cast<uint16_t>(sum + f[i]);
    Put16(f + kSumAt, sum);
}
