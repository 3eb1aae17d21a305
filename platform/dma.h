// The DMA controller: 16 channels with descriptor chains, and the request
// map that ties a peripheral's request to a channel. Only the AC97 PCM
// transmit request (12) is wired on this board: a channel mapped to it
// moves one 4-byte frame to the AC97 PCM data register each time the codec
// plays a frame, at the codec's rate in board time. A channel that no
// request drives copies memory to memory (both addresses incremented as the
// command asks) at kMemCopyBytesPerTick of board time, descriptor after
// descriptor, then stops; a source or target outside board memory stops it
// with the bus-error bit. A test can hold a channel (HoldChannel): it then
// runs but moves nothing, as a stalled bus would.
//
// DMA-visible memory. Descriptors and sources hold 32-bit bus addresses, so
// buffers a channel reads live in one window of board RAM at a fixed bus
// address, reached by the firmware through HwMemory(). The window is part
// of the board (shared by every process that runs the application), so its
// addresses are the same for every application start and, like RAM, it
// keeps its contents over restarts and resets. The firmware owns its
// layout: the sound buffers and their descriptor chains start at its base.
#pragma once
#include "platform/device.h"

namespace platform {

class Board;
class Ac97;

constexpr uint32_t kDmaRamBase  = 0xA0800000;
constexpr uint32_t kDmaRamBytes = 0x00C00000;   // 12 MB

// Registers (offsets from 0x40000000): DCSR n at 4n, DINT 0xF0, DRCMR r at
// 0x100 + 4r, and per channel n at 0x200 + 16n: DDADR, DSADR, DTADR, DCMD.
constexpr int      kDmaChannels = 16;
constexpr uint32_t kDmaBytes    = 0x300;
constexpr uint32_t kDmaDint     = 0xF0;
constexpr uint32_t kDmaDrcmr    = 0x100;
constexpr uint32_t kDmaDesc     = 0x200;
constexpr int      kDmaReqAc97PcmOut = 12;

constexpr uint32_t kDcsrRun         = 1u << 31;
constexpr uint32_t kDcsrNoDescFetch = 1u << 30;
constexpr uint32_t kDcsrStopIrqEn   = 1u << 29;
constexpr uint32_t kDcsrStopState   = 1u << 3;
constexpr uint32_t kDcsrEndIntr     = 1u << 2;   // write 1 to clear, as the two below
constexpr uint32_t kDcsrStartIntr   = 1u << 1;
constexpr uint32_t kDcsrBusErrIntr  = 1u << 0;
constexpr uint32_t kDrcmrValid      = 1u << 7;
constexpr uint32_t kDdadrStop       = 1u << 0;
constexpr uint32_t kDcmdIncSrc      = 1u << 31;
constexpr uint32_t kDcmdIncTrg      = 1u << 30;
constexpr uint32_t kDcmdFlowTrg     = 1u << 28;
constexpr uint32_t kDcmdStartIrqEn  = 1u << 22;
constexpr uint32_t kDcmdEndIrqEn    = 1u << 21;
constexpr uint32_t kDcmdLength      = 0x1FFF;

constexpr uint32_t kAc97PcdrAddr = 0x40500040;
// Memory-to-memory copy rate: 32 bytes per OS-timer tick, about 118 MB/s.
constexpr uint64_t kMemCopyBytesPerTick = 32;

class Dma final : public Device {
public:
    Dma(Board& board, Ac97& ac97) : board_(board), ac97_(ac97) {}
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;
    void     Advance(uint64_t now) override;
    uint64_t NextEvent(uint64_t now) const override;
    // Moves what is due by the board's time now (before a register read or a
    // codec change, so that both see the transfer where it is).
    void CatchUp();

    uint32_t Dcsr(int ch) const { return ch >= 0 && ch < kDmaChannels ? chan_[ch].dcsr : 0; }
    uint32_t Drcmr(int req) const { return req >= 0 && req < 64 ? drcmr_[req] : 0; }
    uint32_t BytesMoved(int ch) const { return ch >= 0 && ch < kDmaChannels ? chan_[ch].moved : 0; }
    // Fault injection: a held channel moves nothing until released.
    void HoldChannel(int ch, bool hold) {
        if (ch >= 0 && ch < kDmaChannels) held_[ch] = hold;
    }

private:
    struct Channel {
        uint32_t dcsr, ddadr, dsadr, dtadr, dcmd;
        uint64_t last;       // board time of the last pacing step
        uint64_t credit;     // pacing remainder, in ticks x frames per second
        uint32_t moved;      // bytes moved since the channel last started
    };
    bool Paced(int ch) const;
    void Start(int ch, uint64_t now);
    bool Fetch(int ch);
    void Stop(int ch, uint32_t why);
    void Run(int ch, uint64_t now);
    void RunMemory(int ch, uint64_t now);
    bool NextDescriptor(int ch, int* empty);
    Board& board_;
    Ac97& ac97_;
    Channel chan_[kDmaChannels]{};
    uint32_t drcmr_[64]{};
    bool held_[kDmaChannels]{};
};

}  // namespace platform
