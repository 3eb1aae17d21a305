// The AC97 controller and its primary codec. The controller passes codec
// register accesses and PCM frames over the link; the codec keeps 16-bit
// registers, plays the frames at its DAC rate and master volume, and sends
// them to the WAV sink.
#pragma once
#include "platform/device.h"
#include "platform/wavsink.h"

namespace platform {

class Board;

// Controller registers (offsets from 0x40500000).
constexpr uint32_t kAc97Gcr  = 0x0C;    // global control: bit 1 releases the cold reset
constexpr uint32_t kAc97Gsr  = 0x1C;    // global status
constexpr uint32_t kAc97Car  = 0x20;    // bit 0: codec access in progress
constexpr uint32_t kAc97Pcdr = 0x40;    // PCM out: one frame a word, left in the low half
constexpr uint32_t kAc97CodecWindow = 0x200;   // codec register n (0x00..0x7E) at 0x200 + 2n
constexpr uint32_t kAc97Bytes = 0x300;

constexpr uint32_t kGcrColdRelease = 1u << 1;
constexpr uint32_t kGsrCommandDone = 1u << 19;   // write 1 to clear
constexpr uint32_t kGsrStatusDone  = 1u << 18;   // write 1 to clear
constexpr uint32_t kGsrReadError   = 1u << 15;   // write 1 to clear
constexpr uint32_t kGsrCodecReady  = 1u << 8;

// Codec registers (byte index into the register window).
constexpr uint32_t kCodecReset        = 0x00;
constexpr uint32_t kCodecMasterVolume = 0x02;   // bit 15 mute; 13..8 left, 5..0 right, 1.5 dB steps
constexpr uint32_t kCodecExtAudioCtrl = 0x2A;   // bit 0: variable rate
constexpr uint32_t kCodecDacRate      = 0x2C;
constexpr uint32_t kCodecVendorId1    = 0x7C;
constexpr uint32_t kCodecVendorId2    = 0x7E;
constexpr uint16_t kCodecVendor1 = 0x4B56;
constexpr uint16_t kCodecVendor2 = 0x3531;
constexpr uint32_t kCodecMinRate = 8000;
constexpr uint32_t kCodecMaxRate = 48000;

class Ac97 final : public Device {
public:
    explicit Ac97(Board& board) : board_(board) {}
    uint32_t Read(uint32_t offset, int width) override;
    void     Write(uint32_t offset, uint32_t value, int width) override;
    void     Reset() override;

    // A frame from the PCM out path (DMA or a store to PCDR), played now.
    void PcmOut(uint32_t frame);
    bool LinkUp() const { return (gcr_ & kGcrColdRelease) != 0; }
    uint32_t Rate() const { return codec_[kCodecDacRate / 2]; }
    uint16_t CodecRegister(uint32_t reg) const { return codec_[(reg / 2) & 63]; }
    uint32_t Gcr() const { return gcr_; }
    // Frames played by the board's time now (the DMA moves them lazily).
    uint32_t FramesPlayed();
    WavSink& sink() { return sink_; }

private:
    void CodecReset();
    void CodecWrite(uint32_t reg, uint16_t value);
    Board& board_;
    uint32_t gcr_ = 0, gsr_ = 0, car_ = 0;
    uint32_t framesPlayed_ = 0;
    uint16_t codec_[64]{};
    WavSink sink_;   // kept over resets: the file is the host's
};

// Sample scaled by the master volume's attenuation (0..63, 1.5 dB steps).
int16_t Attenuate(int16_t sample, uint32_t steps);

}  // namespace platform
