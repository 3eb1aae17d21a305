#include "platform/mmc.h"

#include "platform/board.h"
#include "platform/gpio.h"

namespace platform {

enum : uint32_t {
    kStrpcl = 0x00, kStat = 0x04, kClkrt = 0x08, kSpi = 0x0C, kCmdat = 0x10, kResto = 0x14,
    kRdto = 0x18, kBlklen = 0x1C, kNob = 0x20, kPrtbuf = 0x24, kIMask = 0x28, kIReg = 0x2C,
    kCmd = 0x30, kArgh = 0x34, kArgl = 0x38, kRes = 0x3C, kRxFifo = 0x40, kTxFifo = 0x44,
};

// Command-and-data control bits.
constexpr uint32_t kCmdatFormat = 0x03;
constexpr uint32_t kCmdatData   = 0x04;
constexpr uint32_t kCmdatWrite  = 0x08;
constexpr uint32_t kFifoBytes   = 32;

void Mmc::Reset() {
    clockOn_ = false;
    ireg_ = stat_ = 0;
    mask_ = 0x7F;
    clkrt_ = spi_ = cmdat_ = resto_ = rdto_ = blklen_ = nob_ = cmd_ = argh_ = argl_ = 0;
    respWords_ = respNext_ = 0;
    phase_ = kIdle;
    dataLen_ = dataNext_ = 0;
    card_.PowerOn();
    DriveDetect();
}

void Mmc::DriveDetect() { gpio_.SetInput(kCardDetectPin, !inserted_); }

bool Mmc::Insert() {
    if (!card_.HasImage()) return false;
    if (!inserted_) card_.PowerOn();   // a card comes in unpowered: idle, no address
    inserted_ = true;
    DriveDetect();
    return true;
}

void Mmc::Remove() {
    inserted_ = false;
    if (phase_ != kIdle) phase_ = kStalled;   // a transfer in flight never ends
    DriveDetect();
}

bool Mmc::ScheduleCard(uint64_t at, bool inserted) {
    if (queued_ >= kQueue) return false;
    int i = queued_++;
    while (i > 0 && queue_[i - 1].at > at) {
        queue_[i] = queue_[i - 1];
        --i;
    }
    queue_[i] = {at, inserted};
    board_.Reschedule();
    return true;
}

void Mmc::Advance(uint64_t now) {
    int done = 0;
    while (done < queued_ && queue_[done].at <= now) {
        if (queue_[done].inserted) Insert();
        else Remove();
        ++done;
    }
    if (done == 0) return;
    for (int i = done; i < queued_; ++i) queue_[i - done] = queue_[i];
    queued_ -= done;
}

uint64_t Mmc::NextEvent(uint64_t) const { return queued_ ? queue_[0].at : UINT64_MAX; }

uint32_t Mmc::Status() const {
    uint32_t s = stat_;
    if (clockOn_) s |= kStatClockOn;
    if (phase_ == kRx && dataLen_ - dataNext_ >= kFifoBytes) s |= kStatRecvFull;
    if (phase_ != kRx) s |= kStatXmitEmpty;   // the transmit FIFO drains at once
    if (ireg_ & kIntEndCmd) s |= kStatEndCmd;
    if (ireg_ & kIntDataDone) s |= kStatDataDone;
    if (ireg_ & kIntPrgDone) s |= kStatPrgDone;
    return s;
}

// What the interrupt register shows: masked bits read as clear.
uint32_t Mmc::Interrupts() const {
    uint32_t r = ireg_;
    if (!clockOn_) r |= kIntClockOff;
    if (phase_ == kRx && dataNext_ < dataLen_) r |= kIntRxReq;
    if (phase_ == kTx && dataNext_ < dataLen_) r |= kIntTxReq;
    return r & ~mask_;
}

uint32_t Mmc::Read(uint32_t offset, int) {
    switch (offset) {
    case kStat:   return Status();
    case kClkrt:  return clkrt_;
    case kSpi:    return spi_;
    case kCmdat:  return cmdat_;
    case kResto:  return resto_;
    case kRdto:   return rdto_;
    case kBlklen: return blklen_;
    case kNob:    return nob_;
    case kIMask:  return mask_;
    case kIReg:   return Interrupts();
    case kCmd:    return cmd_;
    case kArgh:   return argh_;
    case kArgl:   return argl_;
    case kRes: {
        if (respNext_ >= respWords_) return 0;
        int i = respNext_++;
        return static_cast<uint32_t>(resp_[2 * i] << 8 | resp_[2 * i + 1]);
    }
    case kRxFifo: {
        if (phase_ != kRx || dataNext_ >= dataLen_) return 0;
        uint8_t b = data_[dataNext_++];
        if (dataNext_ == dataLen_) {
            phase_ = kIdle;
            ireg_ |= kIntDataDone;
            if (dataCrc_) stat_ |= kStatReadCrc;
        }
        return b;
    }
    default: return 0;
    }
}

void Mmc::Write(uint32_t offset, uint32_t value, int) {
    switch (offset) {
    case kStrpcl:
        if (value == 1) {
            clockOn_ = false;
        } else if (value == 2) {
            clockOn_ = true;
            StartCommand();
        }
        break;
    case kClkrt:  clkrt_ = value & 7; break;
    case kSpi:    spi_ = value & 0xF; break;
    case kCmdat:  cmdat_ = value & 0xFFF; break;
    case kResto:  resto_ = value & 0x7F; break;
    case kRdto:   rdto_ = value & 0xFFFF; break;
    case kBlklen: blklen_ = value & 0x3FF; break;
    case kNob:    nob_ = value & 0xFFFF; break;
    case kPrtbuf: break;   // a short last push: the bytes are already taken
    case kIMask:  mask_ = value & 0x7F; break;
    case kCmd:    cmd_ = value & 0x3F; break;
    case kArgh:   argh_ = value & 0xFFFF; break;
    case kArgl:   argl_ = value & 0xFFFF; break;
    case kTxFifo:
        if (phase_ == kTx && dataNext_ < dataLen_) {
            data_[dataNext_++] = static_cast<uint8_t>(value);
            if (dataNext_ == dataLen_) FinishWrite();
        }
        break;
    default: break;
    }
}

void Mmc::StartCommand() {
    // A new command clears what the last one left, so no wait ends on an old bit.
    ireg_ = 0;
    stat_ = 0;
    respWords_ = respNext_ = 0;
    phase_ = kIdle;
    dataCrc_ = false;
    uint32_t format = cmdat_ & kCmdatFormat;
    bool crc = false;
    bool answered = inserted_ && card_.Command(cmd_, argh_ << 16 | argl_, resp_, &crc);
    ireg_ |= kIntEndCmd;
    if (!answered) {
        if (format != 0) stat_ |= kStatRespTimeout;
        return;
    }
    if (format != 0) respWords_ = format == 2 ? 9 : 3;
    if (crc) stat_ |= kStatRespCrc;
    if (!(cmdat_ & kCmdatData)) return;
    // The card's blocks are 512 bytes; another length reads as a CRC failure.
    dataLen_ = blklen_ >= 1 && blklen_ <= SdCard::kBlock ? blklen_ : SdCard::kBlock;
    dataNext_ = 0;
    bool lengthOk = blklen_ == SdCard::kBlock;
    if (cmdat_ & kCmdatWrite) {
        phase_ = kTx;
        dataCrc_ = !lengthOk;
        return;
    }
    switch (card_.ReadBlock(data_)) {
    case SdData::Ok:       phase_ = kRx; dataCrc_ = !lengthOk; break;
    case SdData::CrcError: phase_ = kRx; dataCrc_ = true; break;
    case SdData::TimeOut:  stat_ |= kStatReadTimeout; ireg_ |= kIntDataDone; break;
    case SdData::Stall:    phase_ = kStalled; break;
    }
}

void Mmc::FinishWrite() {
    if (dataLen_ < SdCard::kBlock) {   // a short block never reaches the card whole
        for (uint32_t i = dataLen_; i < SdCard::kBlock; ++i) data_[i] = 0;
    }
    SdData r = dataCrc_ ? SdData::CrcError : (inserted_ ? card_.WriteBlock(data_) : SdData::Stall);
    if (r == SdData::Stall) {
        phase_ = kStalled;
        return;
    }
    phase_ = kIdle;
    ireg_ |= kIntDataDone | kIntPrgDone;
    if (r != SdData::Ok) stat_ |= kStatWriteCrc;
}

}  // namespace platform
