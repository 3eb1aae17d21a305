// The host side of one serial port: where received bytes come from (a queue
// the host or a test fills, then a host descriptor read at board-time
// points) and where sent bytes go. It lives inside the board's shared memory,
// so it outlives each application start and every board reset.
#pragma once
#include <cstdint>

#include "platform/serialpeer.h"

namespace platform {

class SerialLine {
public:
    // Descriptors inherited by the processes that run the application; the
    // input one must be non-blocking. -1 unbinds.
    void BindInput(int fd) { inFd_ = fd; }
    // Output that is not a plain file (a pipe, a terminal, a socket) is
    // written only when it has room: a host side that is closed or stops
    // reading loses bytes, as an unplugged cable would, and never stops the
    // unit.
    void BindOutput(int fd);
    // A peer on the line is polled like a bound input.
    bool InputBound() const { return inFd_ >= 0 || peer_.Active(); }
    // The device at the far end instead of a host descriptor (none by default).
    SerialPeer& peer() { return peer_; }
    const SerialPeer& peer() const { return peer_; }

    // Queues bytes for the receiver; `errors` are line-status bits (parity,
    // framing, break) carried by each byte. False when the queue is full.
    bool Push(const uint8_t* data, int n, uint8_t errors = 0);
    bool Pending() const { return count_ > 0; }
    // The next received character at board time `now`: byte | errors << 8,
    // or -1 when none.
    int  Next(uint64_t now = 0);

    void Sent(uint8_t byte, uint64_t now = 0);
    uint32_t SentTotal() const { return sent_; }
    uint32_t Lost() const { return lost_; }      // sent bytes the host side did not take
    int  CopySent(char* dst, int max) const;   // the retained tail, oldest first
private:
    void Fill();
    static constexpr int kQueue = 16384;
    uint16_t queue_[kQueue]{};
    int head_ = 0, count_ = 0;
    bool Deliver(uint8_t byte);
    int inFd_ = -1, outFd_ = -1;
    bool outPolled_ = false;
    uint32_t lost_ = 0;
    static constexpr int kKeep = 65536;
    char sentTail_[kKeep]{};
    uint32_t sent_ = 0;
    SerialPeer peer_;
};

}  // namespace platform
