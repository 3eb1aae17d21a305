// External dual UART on the SPI bus: two channels (A, B) with 16550-style
// registers reached by 16-bit words (bit 15 read, bits 14..11 register,
// bit 9 channel, bits 7..0 data), 64-byte FIFOs paced at 115,200 / divisor.
// Its own interrupt line is not wired: the firmware polls it.
#pragma once
#include "platform/device.h"
#include "platform/serialline.h"

namespace platform {

class Board;

class Duart final : public Device {
public:
    explicit Duart(Board& board) : board_(board) {}
    // Not on the memory bus: reached through the SSP.
    uint32_t Read(uint32_t, int) override { return 0; }
    void     Write(uint32_t, uint32_t, int) override {}
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    // One SPI frame with the chip select low; returns the answer word.
    uint16_t Exchange(uint16_t word);

    SerialLine& line(int channel) { return ch_[channel & 1].line; }
    void Wake(int channel);
    uint32_t TicksPerChar(int channel) const;
    uint32_t TxOverflows(int channel) const { return ch_[channel & 1].txOverflows; }
    uint32_t RxOverruns(int channel) const { return ch_[channel & 1].rxOverruns; }
    uint32_t Divisor(int channel) const { return ch_[channel & 1].divisor; }
    uint32_t Lcr(int channel) const { return ch_[channel & 1].lcr; }
private:
    static constexpr int kFifo = 64;
    struct Channel {
        uint8_t  rx[kFifo], tx[kFifo];
        int      rxHead, rxCount, txHead, txCount;
        uint32_t lcr, fcr, ier, spr, divisor;
        uint64_t nextTx, nextRx;
        uint32_t txOverflows, rxOverruns;
        SerialLine line;
    };
    void ResetChannel(Channel& c);
    uint8_t ReadReg(Channel& c, uint32_t reg);
    void WriteReg(Channel& c, uint32_t reg, uint8_t value);
    void Step(Channel& c, uint64_t now);
    uint32_t Tpc(const Channel& c) const;
    Board& board_;
    Channel ch_[2]{};
};

}  // namespace platform
