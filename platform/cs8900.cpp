#include "platform/cs8900.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include "platform/board.h"

namespace platform {

namespace {
// I/O port offsets on the bus (the chip's offset x 2).
constexpr uint32_t kPortData0 = 0x00;
constexpr uint32_t kPortTxCmd = 0x08;
constexpr uint32_t kPortTxLength = 0x0C;
constexpr uint32_t kPortIsq = 0x10;
constexpr uint32_t kPortPpPointer = 0x14;
constexpr uint32_t kPortPpData = 0x18;

// PacketPage registers; the status registers carry their id in the low 6 bits.
constexpr uint16_t kPpProductId = 0x0000;
constexpr uint16_t kPpRxCfg = 0x0102;
constexpr uint16_t kPpRxCtl = 0x0104;
constexpr uint16_t kPpTxCfg = 0x0106;
constexpr uint16_t kPpBufCfg = 0x010A;
constexpr uint16_t kPpLineCtl = 0x0112;
constexpr uint16_t kPpSelfCtl = 0x0114;
constexpr uint16_t kPpRxEvent = 0x0124;
constexpr uint16_t kPpLineSt = 0x0134;
constexpr uint16_t kPpSelfSt = 0x0136;
constexpr uint16_t kPpBusSt = 0x0138;
constexpr uint16_t kPpLogicalFilter = 0x0150;
constexpr uint16_t kPpIndividual = 0x0158;

constexpr uint16_t kRxEventId = 0x0004, kRxOk = 0x0100, kRxCrcError = 0x1000;
constexpr uint16_t kLineStId = 0x0014, kLinkOk = 0x0080;
constexpr uint16_t kSelfStId = 0x0016, kInitD = 0x0080;
constexpr uint16_t kBusStId = 0x0018, kRdy4TxNow = 0x0100;
constexpr uint16_t kSkip1 = 0x0040, kSelfReset = 0x0040;
constexpr uint16_t kRxOkA = 0x0100, kIndividualA = 0x0400, kBroadcastA = 0x0800;
constexpr uint16_t kSerRxOn = 0x0040, kSerTxOn = 0x0080;
constexpr int kMinWire = 60;                         // shortest frame on the wire, without FCS
constexpr uint64_t kHostPollTicks = 3686;            // a host wire is read every board millisecond
}  // namespace

void Cs8900::Reset() {
    ChipReset();
    ppPointer_ = 0;
    rxHead_ = rxCount_ = 0;
    sentHead_ = sentCount_ = 0;
}

// SelfCTL reset: registers to their defaults, the receive and transmit state cleared.
void Cs8900::ChipReset() {
    rxCfg_ = rxCtl_ = txCfg_ = bufCfg_ = lineCtl_ = 0;
    std::memset(logicalFilter_, 0, sizeof logicalFilter_);
    std::memset(individual_, 0, sizeof individual_);
    selfStReads_ = 0;
    rxReadStep_ = rxWordsRead_ = 0;
    txArmed_ = false;
    txWords_ = 0;
}

uint32_t Cs8900::Read(uint32_t offset, int /*width*/) {
    switch (offset) {
    case kPortData0: return ReadData();
    case kPortPpPointer: return ppPointer_;
    case kPortPpData: return ReadPacketPage(ppPointer_);
    case kPortIsq: return 0;
    default: return 0;
    }
}

void Cs8900::Write(uint32_t offset, uint32_t value, int /*width*/) {
    const uint16_t v = static_cast<uint16_t>(value);
    switch (offset) {
    case kPortData0: WriteData(v); break;
    case kPortTxCmd: txCmd_ = v; break;
    case kPortTxLength:
        // A command and a length arm a transmission; Rdy4TxNOW follows.
        txLength_ = v;
        txArmed_ = true;
        txArmedAt_ = board_.Now();
        txWords_ = 0;
        board_.Reschedule();
        break;
    case kPortPpPointer: ppPointer_ = v; break;
    case kPortPpData: WritePacketPage(ppPointer_, v); break;
    default: break;
    }
}

uint16_t Cs8900::PacketPage(uint16_t reg) const {
    if (reg >= kPpLogicalFilter && reg < kPpLogicalFilter + 8) return logicalFilter_[(reg - kPpLogicalFilter) / 2];
    if (reg >= kPpIndividual && reg < kPpIndividual + 6) return individual_[(reg - kPpIndividual) / 2];
    switch (reg) {
    case kPpProductId: return productId_;
    case kPpRxCfg: return rxCfg_;
    case kPpRxCtl: return rxCtl_;
    case kPpTxCfg: return txCfg_;
    case kPpBufCfg: return bufCfg_;
    case kPpLineCtl: return lineCtl_;
    case kPpLineSt: return static_cast<uint16_t>(kLineStId | (LinkUp() ? kLinkOk : 0));
    default: return 0;
    }
}

uint16_t Cs8900::ReadPacketPage(uint16_t reg) {
    switch (reg) {
    case kPpRxEvent:
        return rxCount_ > 0 ? rx_[rxHead_].status : 0;
    case kPpSelfSt: {
        const bool done = initdAfter_ >= 0 && selfStReads_ >= initdAfter_;
        if (selfStReads_ < INT32_MAX) ++selfStReads_;
        return static_cast<uint16_t>(kSelfStId | (done ? kInitD : 0));
    }
    case kPpBusSt: {
        const bool ready = txArmed_ && readyDelay_ >= 0 &&
                           board_.Now() - txArmedAt_ >= static_cast<uint64_t>(readyDelay_);
        return static_cast<uint16_t>(kBusStId | (ready ? kRdy4TxNow : 0));
    }
    default:
        return PacketPage(reg);
    }
}

void Cs8900::WritePacketPage(uint16_t reg, uint16_t value) {
    if (reg >= kPpLogicalFilter && reg < kPpLogicalFilter + 8) {
        logicalFilter_[(reg - kPpLogicalFilter) / 2] = value;
        return;
    }
    if (reg >= kPpIndividual && reg < kPpIndividual + 6) {
        individual_[(reg - kPpIndividual) / 2] = value;
        return;
    }
    switch (reg) {
    case kPpRxCfg:
        if (value & kSkip1) PopRx();   // Skip_1 acts once, it does not latch
        rxCfg_ = static_cast<uint16_t>(value & ~kSkip1);
        break;
    case kPpRxCtl: rxCtl_ = value; break;
    case kPpTxCfg: txCfg_ = value; break;
    case kPpBufCfg: bufCfg_ = value; break;
    case kPpLineCtl: lineCtl_ = value; break;
    case kPpSelfCtl:
        if (value & kSelfReset) ChipReset();
        break;
    default: break;
    }
}

// Status, length, then the frame's words, low byte first; the last word pops it.
uint16_t Cs8900::ReadData() {
    if (rxCount_ == 0) return 0;
    Frame& f = rx_[rxHead_];
    const int step = rxReadStep_++;
    if (step == 0) return f.status;
    if (step == 1) return f.len;
    const int at = 2 * rxWordsRead_++;
    const uint16_t word = static_cast<uint16_t>((at < kFrameMax ? f.bytes[at] : 0) |
                                                (at + 1 < kFrameMax ? f.bytes[at + 1] : 0) << 8);
    if (2 * rxWordsRead_ >= f.len) PopRx();
    return word;
}

void Cs8900::PopRx() {
    if (rxCount_ > 0) {
        rxHead_ = (rxHead_ + 1) % kRxQueue;
        --rxCount_;
    }
    rxReadStep_ = rxWordsRead_ = 0;
}

void Cs8900::WriteData(uint16_t word) {
    if (!txArmed_) return;
    const int at = 2 * txWords_;
    if (at + 1 < kFrameMax) {
        txBuf_[at] = static_cast<uint8_t>(word);
        txBuf_[at + 1] = static_cast<uint8_t>(word >> 8);
    }
    ++txWords_;
    if (2 * txWords_ >= txLength_) {
        txArmed_ = false;
        Emit(txBuf_, txLength_ < kFrameMax ? txLength_ : kFrameMax);
    }
}

void Cs8900::Emit(const uint8_t* frame, int len) {
    if (!LinkUp()) return;
    if (loseNext_ > 0) {
        --loseNext_;
        return;
    }
    uint8_t wire[kFrameMax] = {};
    std::memcpy(wire, frame, static_cast<size_t>(len));
    if (len < kMinWire) len = kMinWire;   // the chip pads short frames
    ++sentTotal_;
    if (hostFd_ >= 0) {
        // A host peer that is gone or full loses the frame, as a wire would.
        const ssize_t n = write(hostFd_, wire, static_cast<size_t>(len));
        (void)n;
        return;
    }
    Frame& f = sent_[(sentHead_ + sentCount_) % kTxKeep];
    if (sentCount_ == kTxKeep) sentHead_ = (sentHead_ + 1) % kTxKeep;
    else ++sentCount_;
    f.len = static_cast<uint16_t>(len);
    f.status = 0;
    std::memcpy(f.bytes, wire, static_cast<size_t>(len));
}

int Cs8900::TakeSent(uint8_t* out, int max) {
    if (sentCount_ == 0) return 0;
    const Frame& f = sent_[sentHead_];
    sentHead_ = (sentHead_ + 1) % kTxKeep;
    --sentCount_;
    const int n = f.len < max ? f.len : max;
    std::memcpy(out, f.bytes, static_cast<size_t>(n));
    return n;
}

// RxCTL decides: the individual address and broadcasts, as the driver sets it.
bool Cs8900::Accepts(const uint8_t* frame) const {
    static const uint8_t kBroadcast[6] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    if ((rxCtl_ & kBroadcastA) && std::memcmp(frame, kBroadcast, 6) == 0) return true;
    if (rxCtl_ & kIndividualA) {
        uint8_t own[6];
        for (int i = 0; i < 3; ++i) {
            own[2 * i] = static_cast<uint8_t>(individual_[i]);
            own[2 * i + 1] = static_cast<uint8_t>(individual_[i] >> 8);
        }
        if (std::memcmp(frame, own, 6) == 0) return true;
    }
    return false;
}

bool Cs8900::Arrive(const uint8_t* frame, int len) {
    if (!LinkUp() || len < 14 || len > kFrameMax || !(lineCtl_ & kSerRxOn)) return false;
    if (loseNext_ > 0) {
        --loseNext_;
        return false;
    }
    if (!Accepts(frame)) return false;
    if (rxCount_ == kRxQueue) {
        ++droppedRx_;
        return false;
    }
    Frame& f = rx_[(rxHead_ + rxCount_) % kRxQueue];
    std::memset(f.bytes, 0, sizeof f.bytes);
    std::memcpy(f.bytes, frame, static_cast<size_t>(len));
    f.len = static_cast<uint16_t>(len < kMinWire ? kMinWire : len);
    if (lengthOverride_) {
        f.len = lengthOverride_;
        lengthOverride_ = 0;
    }
    f.status = kRxEventId | kRxOk;
    if (badNext_ > 0) {
        --badNext_;
        f.status = kRxEventId | kRxCrcError;
    }
    ++rxCount_;
    return true;
}

void Cs8900::MonitorOpen(const uint8_t mac[6]) {
    if (lineCtl_ & kSerRxOn) return;
    for (int i = 0; i < 3; ++i) individual_[i] = static_cast<uint16_t>(mac[2 * i] | mac[2 * i + 1] << 8);
    rxCtl_ = static_cast<uint16_t>(rxCtl_ | kRxOkA | kIndividualA | kBroadcastA);
    lineCtl_ = static_cast<uint16_t>(lineCtl_ | kSerRxOn | kSerTxOn);
}

int Cs8900::MonitorTake(uint8_t* out, int max) {
    if (hostFd_ >= 0) PollHost();
    while (rxCount_ > 0) {
        const Frame& f = rx_[rxHead_];
        const bool good = (f.status & kRxOk) != 0;
        const int n = f.len < max ? f.len : max;
        if (good) std::memcpy(out, f.bytes, static_cast<size_t>(n));
        PopRx();
        if (good) return n;
    }
    return 0;
}

void Cs8900::BindHost(int fd, HostKind kind) {
    hostFd_ = fd;
    hostKind_ = kind;
    nextPoll_ = 0;
}

void Cs8900::PollHost() {
    uint8_t frame[kFrameMax];
    for (int i = 0; i < kRxQueue; ++i) {
        const ssize_t n = read(hostFd_, frame, sizeof frame);
        if (n <= 0) break;
        Arrive(frame, static_cast<int>(n));
    }
}

void Cs8900::Advance(uint64_t now) {
    if (hostFd_ >= 0 && now >= nextPoll_) {
        PollHost();
        nextPoll_ = now + kHostPollTicks;
    }
}

uint64_t Cs8900::NextEvent(uint64_t now) const {
    if (hostFd_ >= 0) return nextPoll_ > now ? nextPoll_ : now + 1;
    return UINT64_MAX;
}

}  // namespace platform
