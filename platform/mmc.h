// MMC/SD controller (polled, one data line) with the card slot behind it.
// Card detect is GPIO 3: high when the slot is empty.
#pragma once
#include "platform/device.h"
#include "platform/sdcard.h"

namespace platform {

class Board;
class Gpio;

constexpr int kCardDetectPin = 3;

class Mmc final : public Device {
public:
    // Offsets: STRPCL 0x00, STAT 0x04, CLKRT 0x08, SPI 0x0C, CMDAT 0x10,
    // RESTO 0x14, RDTO 0x18, BLKLEN 0x1C, NOB 0x20, PRTBUF 0x24, I_MASK 0x28,
    // I_REG 0x2C, CMD 0x30, ARGH 0x34, ARGL 0x38, RES 0x3C, RXFIFO 0x40, TXFIFO 0x44
    static constexpr uint32_t kBytes = 0x48;

    // Status bits.
    static constexpr uint32_t kStatReadTimeout  = 0x01;
    static constexpr uint32_t kStatRespTimeout  = 0x02;
    static constexpr uint32_t kStatWriteCrc     = 0x04;
    static constexpr uint32_t kStatReadCrc      = 0x08;
    static constexpr uint32_t kStatRespCrc      = 0x20;
    static constexpr uint32_t kStatXmitEmpty    = 0x40;
    static constexpr uint32_t kStatRecvFull     = 0x80;
    static constexpr uint32_t kStatClockOn      = 0x100;
    static constexpr uint32_t kStatDataDone     = 0x800;
    static constexpr uint32_t kStatPrgDone      = 0x1000;
    static constexpr uint32_t kStatEndCmd       = 0x2000;
    // Interrupt register bits.
    static constexpr uint32_t kIntDataDone = 0x01;
    static constexpr uint32_t kIntPrgDone  = 0x02;
    static constexpr uint32_t kIntEndCmd   = 0x04;
    static constexpr uint32_t kIntClockOff = 0x10;
    static constexpr uint32_t kIntRxReq    = 0x20;
    static constexpr uint32_t kIntTxReq    = 0x40;

    Mmc(Board& board, Gpio& gpio) : board_(board), gpio_(gpio) {}
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    // Host side: the card in the slot. The image must be opened before the
    // application processes are started (see SdCard).
    SdCard& card() { return card_; }
    bool Insert();                 // false without an image
    void Remove();
    bool Inserted() const { return inserted_; }
    // An insertion or removal at a given board time; false when the queue is full.
    bool ScheduleCard(uint64_t at, bool inserted);

private:
    void StartCommand();
    void FinishWrite();
    void DriveDetect();
    uint32_t Status() const;
    uint32_t Interrupts() const;

    Board& board_;
    Gpio& gpio_;
    SdCard card_;
    bool inserted_ = false;

    bool clockOn_ = false;
    uint32_t ireg_ = 0;          // latched done bits
    uint32_t stat_ = 0;          // error bits of the current command
    uint32_t mask_ = 0x7F;
    uint32_t clkrt_ = 0, spi_ = 0, cmdat_ = 0, resto_ = 0, rdto_ = 0, blklen_ = 0, nob_ = 0;
    uint32_t cmd_ = 0, argh_ = 0, argl_ = 0;
    uint8_t resp_[18]{};
    int respWords_ = 0, respNext_ = 0;
    enum Phase : uint8_t { kIdle, kRx, kTx, kStalled };
    Phase phase_ = kIdle;
    bool dataCrc_ = false;
    uint8_t data_[SdCard::kBlock]{};
    uint32_t dataLen_ = 0, dataNext_ = 0;

    struct Pending { uint64_t at; bool inserted; };
    static constexpr int kQueue = 16;
    Pending queue_[kQueue]{};
    int queued_ = 0;
};

}  // namespace platform
