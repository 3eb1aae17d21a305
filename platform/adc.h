// The two A/D converters on the SPI bus. Both are pipelined: the answer to
// a frame is the conversion asked for by the frame before it, taken with the
// multiplexer code current at that frame.
#pragma once
#include <cstdint>

namespace platform {

// 16-bit air-data converter: command byte 0x87 + 0x10 x input, inputs
// 0 ALTITUDE, 1 WINGPRES, 2 BATVOLTS, 3 BACKVOLTS, 4 SENSORTEMP, 5 AIRSPEED,
// 6 VOLTS (main), 7 OAT. A frame without a conversion command answers 0.
class AirAdc {
public:
    static constexpr int kInputs = 8;
    void Reset();               // inputs back to a healthy aircraft on line power
    uint16_t Exchange(uint16_t word);
    void SetInput(int input, uint16_t counts) { if (input >= 0 && input < kInputs) value_[input] = counts; }
    uint16_t Input(int input) const { return (input >= 0 && input < kInputs) ? value_[input] : 0; }
    uint32_t Conversions(int input) const { return (input >= 0 && input < kInputs) ? count_[input] : 0; }
private:
    uint16_t value_[kInputs]{};
    uint32_t count_[kInputs]{};
    uint16_t pending_ = 0;
};

// 12-bit engine converter: command bits 15..12 pick the input; the answer
// is the count shifted left by 4. Inputs 0 (common), 9 (EGT/TIT) and 10
// (CHT) carry a different signal for each multiplexer code 0..7.
class EngineAdc {
public:
    static constexpr int kInputs = 16, kCodes = 8;
    void Reset();
    uint16_t Exchange(uint16_t word, uint32_t muxCode);
    // code -1 sets the input for every multiplexer code.
    void SetInput(int input, int code, uint16_t counts);
    uint16_t Input(int input, int code) const;
private:
    uint16_t value_[kInputs][kCodes]{};
    uint16_t pending_ = 0;
};

}  // namespace platform
