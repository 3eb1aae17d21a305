// The processor's I2C unit as a bus master, with the clock chip as the one
// target on the bus. Byte transfers complete at once; a target that does not
// answer never completes one. The unit's interrupt line follows the
// transmit-empty, receive-full and bus-error status with their enables.
#pragma once
#include "platform/device.h"
#include "platform/intc.h"
#include "platform/rtcchip.h"

namespace platform {

class Board;

class I2c final : public Device {
public:
    I2c(Board& board, InterruptController& ic, RtcChip& chip) : board_(board), ic_(ic), chip_(chip) {}
    // Offsets from 0x40301680: IBMR 0x00, IDBR 0x08, ICR 0x10, ISR 0x18, ISAR 0x20
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    // Tests: another master holds the bus.
    void     SetBusHeld(bool held) { busHeld_ = held; }
private:
    void Transfer(uint32_t control);
    void UpdateLine();
    Board& board_;
    InterruptController& ic_;
    RtcChip& chip_;
    uint32_t idbr_ = 0, icr_ = 0, isr_ = 0, isar_ = 0;
    bool addressed_ = false, reading_ = false, busHeld_ = false;
};

}  // namespace platform
