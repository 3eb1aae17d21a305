#include "platform/ac97.h"

#include <cmath>

#include "platform/board.h"

namespace platform {

struct GainTable {
    double gain[64];
    GainTable() {
        for (int i = 0; i < 64; ++i) gain[i] = std::pow(10.0, -1.5 * i / 20.0);
    }
};

int16_t Attenuate(int16_t sample, uint32_t steps) {
    static const GainTable table;
    return static_cast<int16_t>(std::lround(sample * table.gain[steps & 63]));
}

void Ac97::Reset() {
    gcr_ = gsr_ = car_ = 0;
    framesPlayed_ = 0;
    CodecReset();
}

void Ac97::CodecReset() {
    for (uint16_t& r : codec_) r = 0;
    codec_[kCodecMasterVolume / 2] = 0x8000;   // muted
    codec_[kCodecDacRate / 2] = kCodecMaxRate;
    codec_[kCodecVendorId1 / 2] = kCodecVendor1;
    codec_[kCodecVendorId2 / 2] = kCodecVendor2;
}

uint32_t Ac97::Read(uint32_t offset, int) {
    switch (offset) {
    case kAc97Gcr: return gcr_;
    case kAc97Gsr: return gsr_;
    case kAc97Car: return car_;
    default: break;
    }
    if (offset < kAc97CodecWindow) return 0;
    uint32_t reg = (offset - kAc97CodecWindow) >> 1;
    // Without the link a read never completes: the caller times out.
    if (!LinkUp() || (reg & 1)) return 0;
    car_ = 1;
    gsr_ |= kGsrStatusDone;
    return codec_[reg / 2];
}

void Ac97::Write(uint32_t offset, uint32_t value, int) {
    switch (offset) {
    case kAc97Gcr:
        gcr_ = value;
        if (LinkUp()) gsr_ |= kGsrCodecReady;
        else gsr_ &= ~kGsrCodecReady;
        return;
    case kAc97Gsr:
        gsr_ &= ~(value & (kGsrCommandDone | kGsrStatusDone | kGsrReadError));
        return;
    case kAc97Car:
        car_ = value & 1;
        return;
    case kAc97Pcdr:
        PcmOut(value);
        return;
    default: break;
    }
    if (offset < kAc97CodecWindow) return;
    uint32_t reg = (offset - kAc97CodecWindow) >> 1;
    if (!LinkUp() || (reg & 1)) return;
    car_ = 1;
    CodecWrite(reg, static_cast<uint16_t>(value));
    // A new rate moves the DMA's next frame.
    board_.Schedule(board_.dma().NextEvent(board_.Now()));
    gsr_ |= kGsrCommandDone;
}

void Ac97::CodecWrite(uint32_t reg, uint16_t value) {
    // Frames due before the change play with the old rate and volume.
    board_.dma().CatchUp();
    switch (reg) {
    case kCodecReset:
        CodecReset();
        return;
    case kCodecVendorId1:
    case kCodecVendorId2:
        return;
    case kCodecDacRate:
        // Without variable rate the DAC stays at its fixed rate.
        if (!(codec_[kCodecExtAudioCtrl / 2] & 1)) return;
        if (value < kCodecMinRate) value = kCodecMinRate;
        if (value > kCodecMaxRate) value = kCodecMaxRate;
        break;
    case kCodecExtAudioCtrl:
        if (!(value & 1)) codec_[kCodecDacRate / 2] = kCodecMaxRate;
        break;
    default: break;
    }
    codec_[reg / 2] = value;
}

uint32_t Ac97::FramesPlayed() {
    board_.dma().CatchUp();
    return framesPlayed_;
}

void Ac97::PcmOut(uint32_t frame) {
    if (!LinkUp()) return;
    ++framesPlayed_;
    uint16_t vol = codec_[kCodecMasterVolume / 2];
    int16_t left = 0, right = 0;
    if (!(vol & 0x8000)) {
        left = Attenuate(static_cast<int16_t>(frame & 0xFFFF), (vol >> 8) & 63);
        right = Attenuate(static_cast<int16_t>(frame >> 16), vol & 63);
    }
    sink_.Put(left, right, Rate());
}

}  // namespace platform
