#include "platform/adc.h"

namespace platform {

void AirAdc::Reset() {
    // Supplies on line power; the pitot input at 0, so that a unit without
    // an airspeed calibration reads no airspeed (at rest on the ground).
    static constexpr uint16_t kHealthy[kInputs] = {16000, 9000, 12400, 12200, 16400, 0, 14000, 19600};
    for (int i = 0; i < kInputs; ++i) {
        value_[i] = kHealthy[i];
        count_[i] = 0;
    }
    pending_ = 0;
}

uint16_t AirAdc::Exchange(uint16_t word) {
    uint16_t answer = 0;
    if (pending_ & 0x80) {
        int input = (pending_ >> 4) & 7;
        answer = value_[input];
        ++count_[input];
    }
    pending_ = static_cast<uint16_t>(word & 0xFF);
    return answer;
}

void EngineAdc::Reset() {
    // Mid-scale sensors, with a spread across the cylinders so each reads its own.
    for (int i = 0; i < kInputs; ++i)
        for (int c = 0; c < kCodes; ++c) value_[i][c] = 2000;
    for (int c = 0; c < kCodes; ++c) {
        value_[9][c] = static_cast<uint16_t>(2400 + 10 * c);    // EGT and TIT
        value_[10][c] = static_cast<uint16_t>(1600 + 10 * c);   // CHT
    }
    value_[0][1] = value_[0][2] = value_[0][5] = value_[0][6] = 2500;   // tanks
    for (int c = 0; c < kCodes; ++c) value_[6][c] = value_[7][c] = value_[8][c] = 2048;
    pending_ = 0;
}

void EngineAdc::SetInput(int input, int code, uint16_t counts) {
    if (input < 0 || input >= kInputs || code >= kCodes) return;
    counts &= 0xFFF;
    for (int c = 0; c < kCodes; ++c)
        if (code < 0 || c == code) value_[input][c] = counts;
}

uint16_t EngineAdc::Input(int input, int code) const {
    if (input < 0 || input >= kInputs || code < 0 || code >= kCodes) return 0;
    return value_[input][code];
}

uint16_t EngineAdc::Exchange(uint16_t word, uint32_t muxCode) {
    uint16_t answer = static_cast<uint16_t>(pending_ << 4);
    // Only the multiplexed inputs depend on the code; the others read the same for every code.
    pending_ = value_[(word >> 12) & 0xF][muxCode & 7];
    return answer;
}

}  // namespace platform
