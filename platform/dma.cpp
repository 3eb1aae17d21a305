#include "platform/dma.h"

#include <algorithm>
#include <cstring>

#include "platform/ac97.h"
#include "platform/board.h"
#include "platform/ostimer.h"

namespace platform {

// Zero-length descriptors finished in one step at most; a chain that loops
// on empty descriptors goes on at the next step instead of holding the board.
constexpr int kEmptyDescPerStep = 64;

void Dma::Reset() {
    std::memset(chan_, 0, sizeof chan_);
    std::memset(drcmr_, 0, sizeof drcmr_);
    std::memset(held_, 0, sizeof held_);
    for (Channel& c : chan_) c.dcsr = kDcsrStopState;
}

bool Dma::Paced(int ch) const {
    uint32_t map = drcmr_[kDmaReqAc97PcmOut];
    return (map & kDrcmrValid) && (map & 0x1F) == static_cast<uint32_t>(ch);
}

void Dma::CatchUp() { Advance(board_.Now()); }

uint32_t Dma::Read(uint32_t offset, int) {
    CatchUp();
    if (offset < 4 * kDmaChannels) return chan_[offset / 4].dcsr;
    if (offset == kDmaDint) {
        uint32_t bits = 0;
        for (int i = 0; i < kDmaChannels; ++i)
            if (chan_[i].dcsr & (kDcsrEndIntr | kDcsrStartIntr | kDcsrBusErrIntr)) bits |= 1u << i;
        return bits;
    }
    if (offset >= kDmaDrcmr && offset < kDmaDesc) return drcmr_[(offset - kDmaDrcmr) / 4];
    if (offset >= kDmaDesc && offset < kDmaBytes) {
        const Channel& c = chan_[(offset - kDmaDesc) / 16];
        switch (offset & 0xC) {
        case 0x0: return c.ddadr;
        case 0x4: return c.dsadr;
        case 0x8: return c.dtadr;
        default:  return c.dcmd;
        }
    }
    return 0;
}

void Dma::Write(uint32_t offset, uint32_t value, int) {
    CatchUp();
    if (offset < 4 * kDmaChannels) {
        int ch = static_cast<int>(offset / 4);
        Channel& c = chan_[ch];
        c.dcsr &= ~(value & (kDcsrEndIntr | kDcsrStartIntr | kDcsrBusErrIntr));
        c.dcsr = (c.dcsr & ~(kDcsrNoDescFetch | kDcsrStopIrqEn)) | (value & (kDcsrNoDescFetch | kDcsrStopIrqEn));
        // Run restarts the channel at once, even while it runs: a new chain cuts off the old.
        if (value & kDcsrRun) Start(ch, board_.Now());
        else if (c.dcsr & kDcsrRun) Stop(ch, 0);
        board_.Schedule(NextEvent(board_.Now()));
        return;
    }
    if (offset >= kDmaDrcmr && offset < kDmaDesc) {
        drcmr_[(offset - kDmaDrcmr) / 4] = value & (kDrcmrValid | 0x1F);
        board_.Schedule(NextEvent(board_.Now()));   // a channel mapped to the codec starts its pace
        return;
    }
    if (offset >= kDmaDesc && offset < kDmaBytes) {
        Channel& c = chan_[(offset - kDmaDesc) / 16];
        switch (offset & 0xC) {
        case 0x0: c.ddadr = value; break;
        case 0x4: c.dsadr = value; break;
        case 0x8: c.dtadr = value; break;
        default:  c.dcmd = value; break;
        }
    }
}

void Dma::Stop(int ch, uint32_t why) {
    Channel& c = chan_[ch];
    c.dcsr = (c.dcsr & ~kDcsrRun) | kDcsrStopState | why;
}

bool Dma::Fetch(int ch) {
    Channel& c = chan_[ch];
    const uint8_t* d = board_.Memory(c.ddadr & ~0xFu, 16);
    if (!d) {
        Stop(ch, kDcsrBusErrIntr);
        return false;
    }
    uint32_t w[4];
    std::memcpy(w, d, sizeof w);
    c.ddadr = w[0];
    c.dsadr = w[1];
    c.dtadr = w[2];
    c.dcmd = w[3];
    if (c.dcmd & kDcmdStartIrqEn) c.dcsr |= kDcsrStartIntr;
    return true;
}

void Dma::Start(int ch, uint64_t now) {
    Channel& c = chan_[ch];
    c.dcsr = (c.dcsr & ~kDcsrStopState) | kDcsrRun;
    c.last = now;
    c.credit = 0;
    c.moved = 0;
    if (!(c.dcsr & kDcsrNoDescFetch)) Fetch(ch);
}

// The descriptor in hand is done (a remainder below the 4-byte width is
// dropped): the chain stops or the next one is fetched. False when this
// step goes no further.
bool Dma::NextDescriptor(int ch, int* empty) {
    Channel& c = chan_[ch];
    if (c.dcmd & kDcmdEndIrqEn) c.dcsr |= kDcsrEndIntr;
    if ((c.ddadr & kDdadrStop) || (c.dcsr & kDcsrNoDescFetch)) {
        Stop(ch, 0);
        return false;
    }
    return ++*empty <= kEmptyDescPerStep && Fetch(ch);
}

void Dma::Run(int ch, uint64_t now) {
    Channel& c = chan_[ch];
    uint64_t frames = 0;
    if (now > c.last) {
        c.credit += (now - c.last) * ac97_.Rate();
        frames = c.credit / kOsTimerHz;
        c.credit %= kOsTimerHz;
        c.last = now;
    }
    int empty = 0;
    while (c.dcsr & kDcsrRun) {
        uint32_t len = c.dcmd & kDcmdLength;
        if (len < 4) {
            if (!NextDescriptor(ch, &empty)) break;
            continue;
        }
        if (frames == 0) break;
        if (c.dtadr != kAc97PcdrAddr) {
            Stop(ch, kDcsrBusErrIntr);
            break;
        }
        const uint8_t* src = board_.Memory(c.dsadr, 4);
        if (!src) {
            Stop(ch, kDcsrBusErrIntr);
            break;
        }
        uint32_t word;
        std::memcpy(&word, src, 4);
        ac97_.PcmOut(word);
        if (c.dcmd & kDcmdIncSrc) c.dsadr += 4;
        c.dcmd = (c.dcmd & ~kDcmdLength) | (len - 4);
        c.moved += 4;
        --frames;
        empty = 0;
    }
    if (!(c.dcsr & kDcsrRun)) c.credit = 0;
}

// Memory to memory: the bytes the time since the last step pays for, in
// 4-byte units, across as many descriptors as they reach.
void Dma::RunMemory(int ch, uint64_t now) {
    Channel& c = chan_[ch];
    uint64_t budget = 0;
    if (now > c.last) {
        budget = (now - c.last) * kMemCopyBytesPerTick;
        c.last = now;
    }
    if (held_[ch]) return;
    int empty = 0;
    while (c.dcsr & kDcsrRun) {
        const uint32_t len = c.dcmd & kDcmdLength;
        if (len < 4) {
            if (!NextDescriptor(ch, &empty)) break;
            continue;
        }
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(len & ~3u, budget & ~uint64_t{3}));
        if (n == 0) break;
        const uint8_t* src = board_.Memory(c.dsadr, n);
        uint8_t* dst = board_.Memory(c.dtadr, n);
        if (!src || !dst) {
            Stop(ch, kDcsrBusErrIntr);
            break;
        }
        std::memmove(dst, src, n);
        if (c.dcmd & kDcmdIncSrc) c.dsadr += n;
        if (c.dcmd & kDcmdIncTrg) c.dtadr += n;
        c.dcmd = (c.dcmd & ~kDcmdLength) | (len - n);
        c.moved += n;
        budget -= n;
        empty = 0;
    }
}

void Dma::Advance(uint64_t now) {
    for (int ch = 0; ch < kDmaChannels; ++ch) {
        if (!(chan_[ch].dcsr & kDcsrRun)) continue;
        if (Paced(ch)) Run(ch, now);
        else RunMemory(ch, now);
    }
}

uint64_t Dma::NextEvent(uint64_t now) const {
    uint64_t next = UINT64_MAX;
    for (int ch = 0; ch < kDmaChannels; ++ch) {
        const Channel& c = chan_[ch];
        if (!(c.dcsr & kDcsrRun) || held_[ch]) continue;
        if (!Paced(ch)) {
            // The end of the descriptor in hand, or a step for an empty one.
            const uint64_t len = c.dcmd & kDcmdLength;
            const uint64_t at = len < 4 ? now + 1 : c.last + (len + kMemCopyBytesPerTick - 1) / kMemCopyBytesPerTick;
            if (at < next) next = std::max(at, now + 1);
            continue;
        }
        uint64_t words = (c.dcmd & kDcmdLength) / 4;
        uint64_t at = now + 1;
        if (words > 0) {
            // When the descriptor's last frame is due: then the next one is fetched.
            uint64_t need = words * kOsTimerHz - c.credit;
            uint64_t rate = ac97_.Rate();
            at = c.last + (need + rate - 1) / rate;
        }
        if (at < next) next = at;
    }
    return next;
}

}  // namespace platform
