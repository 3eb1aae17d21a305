// On-chip 16550-style UART: registers, a 64-byte transmit FIFO drained at
// the programmed rate to the host side.
#pragma once
#include "platform/device.h"
#include "platform/intc.h"

namespace platform {

class Board;

class Uart final : public Device {
public:
    Uart(const Board& board, InterruptController& ic, uint32_t irqBit)
        : board_(board), ic_(ic), irqBit_(irqBit) {}
    // Offsets (4-byte stride): 0x00 RBR/THR/DLL, 0x04 IER/DLH, 0x08 IIR/FCR, 0x0C LCR,
    // 0x10 MCR, 0x14 LSR, 0x18 MSR, 0x1C SPR, 0x20 ISR
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    uint32_t TicksPerChar() const;
    // Host side: where sent bytes go (-1: nowhere), and the last bytes sent.
    void BindOutput(int fd) { hostFd_ = fd; }
    uint32_t SentTotal() const { return sent_; }
    int  CopySent(char* dst, int max) const;   // the retained tail, oldest first
private:
    void Transmit(uint8_t byte);
    void UpdateLines();
    const Board& board_;
    InterruptController& ic_;
    uint32_t irqBit_;
    uint64_t nextDrain_ = UINT64_MAX;
    uint8_t  txFifo_[64]{};
    int      txHead_ = 0, txCount_ = 0;
    uint32_t ier_ = 0, lcr_ = 0, mcr_ = 0, fcr_ = 0, spr_ = 0, isr_ = 0;
    uint32_t divisor_ = 8;
    int      hostFd_ = -1;
    static constexpr int kKeep = 65536;
    char     sentTail_[kKeep]{};
    uint32_t sent_ = 0;
};

}  // namespace platform
