// SSP port as SPI master with three chip-selected devices: the dual UART
// (GPIO 50), the engine A/D converter (GPIO 70, behind the multiplexer on
// GPIO 67..69) and the air-data A/D converter (GPIO 73), all active low.
// Each 16-bit write to the data register while enabled is one full-duplex
// frame with the one selected device; its answer goes to the receive FIFO.
#pragma once
#include "platform/adc.h"
#include "platform/device.h"
#include "platform/duart.h"
#include "platform/gpio.h"

namespace platform {

class Ssp final : public Device {
public:
    Ssp(const Gpio& gpio, Duart& duart, AirAdc& air, EngineAdc& engine)
        : gpio_(gpio), duart_(duart), air_(air), engine_(engine) {}
    // Offsets: SSCR0 0x00, SSCR1 0x04, SSSR 0x08, SSDR 0x10, SSPSP 0x2C
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;

    // Frames sent with no device or more than one selected (the latter a fault).
    uint32_t Unselected() const { return unselected_; }
    uint32_t Collisions() const { return collisions_; }
    uint32_t Frames() const { return frames_; }
    // The last frames' command words, for tests (oldest first).
    int CopyLog(uint16_t* words, uint8_t* device, int max) const;
private:
    void Frame(uint16_t word);
    bool Selected(int pin) const;
    static constexpr int kRxFifo = 16, kLog = 256;
    const Gpio& gpio_;
    Duart& duart_;
    AirAdc& air_;
    EngineAdc& engine_;
    uint32_t cr0_ = 0, cr1_ = 0, psp_ = 0;
    uint16_t rx_[kRxFifo]{};
    int rxHead_ = 0, rxCount_ = 0;
    uint32_t unselected_ = 0, collisions_ = 0, frames_ = 0;
    uint16_t logWord_[kLog]{};
    uint8_t  logDev_[kLog]{};
};

}  // namespace platform
