// On-chip 16550-style UART: registers, 64-byte transmit and receive FIFOs
// paced at the programmed rate, the receive trigger and character time-out,
// and the host line on the other side.
#pragma once
#include "platform/device.h"
#include "platform/intc.h"
#include "platform/serialline.h"

namespace platform {

class Board;

class Uart final : public Device {
public:
    Uart(Board& board, InterruptController& ic, uint32_t irqBit)
        : board_(board), ic_(ic), irqBit_(irqBit) {}
    // Offsets (4-byte stride): 0x00 RBR/THR/DLL, 0x04 IER/DLH, 0x08 IIR/FCR, 0x0C LCR,
    // 0x10 MCR, 0x14 LSR, 0x18 MSR, 0x1C SPR, 0x20 ISR
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    uint32_t TicksPerChar() const;
    SerialLine& line() { return line_; }
    // New host input is waiting: start receiving it at the line's pace.
    void Wake();
    void BindOutput(int fd) { line_.BindOutput(fd); }
    uint32_t SentTotal() const { return line_.SentTotal(); }
    int  CopySent(char* dst, int max) const { return line_.CopySent(dst, max); }
    uint32_t Overruns() const { return overruns_; }
private:
    static constexpr int kFifo = 64;
    void Transmit(uint8_t byte);
    void Receive(uint64_t now);
    bool TimedOut(uint64_t now) const;
    int  RxTrigger() const;
    uint32_t Lsr() const;
    uint32_t Iir() const;
    uint8_t  PopRx();
    void UpdateLines();
    Board& board_;
    InterruptController& ic_;
    uint32_t irqBit_;
    uint64_t nextDrain_ = UINT64_MAX;
    uint8_t  txFifo_[kFifo]{};
    int      txHead_ = 0, txCount_ = 0;
    uint64_t nextRx_ = UINT64_MAX;
    uint64_t rxStamp_ = 0;            // last byte in or out of the receive FIFO
    uint16_t rxFifo_[kFifo]{};        // byte | error bits << 8
    int      rxHead_ = 0, rxCount_ = 0;
    bool     overrun_ = false;
    uint32_t overruns_ = 0;
    uint32_t ier_ = 0, lcr_ = 0, mcr_ = 0, fcr_ = 0, spr_ = 0, isr_ = 0;
    uint32_t divisor_ = 8;
    SerialLine line_;
};

}  // namespace platform
