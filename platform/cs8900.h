// The Ethernet controller in 16-bit I/O mode at 0x08000300: the I/O ports
// (each at the chip's offset x 2), the PacketPage registers the driver uses,
// a bounded receive queue standing in for the chip's buffer memory, the
// receive filter (own address and broadcast), transmit assembly with padding
// to 60 bytes, and the wire: an in-process one that tests fill and read in
// board time, or a host descriptor (a UDP socket or a TAP device).
// Faults can be injected for the driver's error paths.
#pragma once
#include <cstdint>
#include "platform/device.h"

namespace platform {

class Board;

class Cs8900 final : public Device {
public:
    static constexpr uint32_t kBase = 0x08000300;
    static constexpr uint32_t kBytes = 0x20;
    static constexpr int kFrameMax = 1600;    // largest frame the queue keeps
    static constexpr int kRxQueue = 32;       // frames the chip buffers
    static constexpr int kTxKeep = 64;        // sent frames kept for tests (in-process wire)
    static constexpr uint16_t kProductId = 0x630E;

    explicit Cs8900(Board& board) : board_(board) {}
    // Offsets: 0x00 data port 0, 0x08 TxCMD, 0x0C TxLength, 0x10 ISQ,
    // 0x14 PacketPage pointer, 0x18 PacketPage data.
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;

    // The wire. An in-process wire is attached with AttachWire; a host
    // descriptor (inherited by each application start) with BindHost.
    void AttachWire(bool on) { wire_ = on; }
    enum class HostKind : uint8_t { Datagram, Tap };
    void BindHost(int fd, HostKind kind);
    bool LinkUp() const { return (wire_ || hostFd_ >= 0) && !linkDown_; }

    // A frame arriving from the wire: filtered as RxCTL says, padded to 60
    // bytes, queued. False when filtered out, lost or the queue is full.
    bool Arrive(const uint8_t* frame, int len);
    // The oldest frame the chip sent on the in-process wire (as on the wire:
    // padded); 0 when none.
    int  TakeSent(uint8_t* out, int max);
    uint32_t SentTotal() const { return sentTotal_; }

    // The boot monitor's own use of the chip, inside a monitor call (the
    // application's poll does not run then). MonitorOpen switches the
    // receiver on for `mac` and broadcasts when the application left it off.
    void MonitorOpen(const uint8_t mac[6]);
    // The oldest frame received (the host wire read first); 0 when none.
    int  MonitorTake(uint8_t* out, int max);
    void MonitorSend(const uint8_t* frame, int len) { Emit(frame, len); }
    bool HostBound() const { return hostFd_ >= 0; }
    uint32_t DroppedRx() const { return droppedRx_; }

    // Faults.
    void SetProductId(uint16_t id) { productId_ = id; }
    void SetInitdAfterReads(int32_t n) { initdAfter_ = n; }   // -1 never
    void SetReadyDelay(int64_t ticks) { readyDelay_ = ticks; }  // -1 never
    void SetLinkDown(bool down) { linkDown_ = down; }
    void MarkNextArrivalsBad(int n) { badNext_ = n; }            // queued without RxOK
    void SetNextLengthOverride(uint16_t len) { lengthOverride_ = len; }   // the next frame reports this length
    void LoseNext(int n) { loseNext_ = n; }                     // the next n frames sent or received vanish
    uint16_t PacketPage(uint16_t reg) const;

private:
    struct Frame {
        uint16_t len;
        uint16_t status;     // RxEvent with RxOK, or a bad frame's event
        uint8_t  bytes[kFrameMax];
    };
    uint16_t ReadPacketPage(uint16_t reg);
    void     WritePacketPage(uint16_t reg, uint16_t value);
    uint16_t ReadData();
    void     WriteData(uint16_t word);
    void     PopRx();
    void     ChipReset();
    bool     Accepts(const uint8_t* frame) const;
    void     Emit(const uint8_t* frame, int len);
    void     PollHost();

    Board& board_;
    bool wire_ = false;
    int hostFd_ = -1;
    HostKind hostKind_ = HostKind::Datagram;
    bool linkDown_ = false;
    uint16_t productId_ = kProductId;
    int32_t initdAfter_ = 0;
    int64_t readyDelay_ = 0;
    int badNext_ = 0;
    uint16_t lengthOverride_ = 0;
    int loseNext_ = 0;

    uint16_t ppPointer_ = 0;
    uint16_t rxCfg_ = 0, rxCtl_ = 0, txCfg_ = 0, bufCfg_ = 0, lineCtl_ = 0;
    uint16_t logicalFilter_[4]{}, individual_[3]{};
    int32_t  selfStReads_ = 0;      // SelfST reads since the last reset

    Frame rx_[kRxQueue]{};
    int rxHead_ = 0, rxCount_ = 0;
    int rxReadStep_ = 0;            // 0 status, 1 length, then data words
    int rxWordsRead_ = 0;
    uint32_t droppedRx_ = 0;

    uint16_t txCmd_ = 0, txLength_ = 0;
    bool txArmed_ = false;
    uint64_t txArmedAt_ = 0;
    uint8_t txBuf_[kFrameMax]{};
    int txWords_ = 0;

    Frame sent_[kTxKeep]{};
    int sentHead_ = 0, sentCount_ = 0;
    uint32_t sentTotal_ = 0;
    uint64_t nextPoll_ = 0;
};

}  // namespace platform
