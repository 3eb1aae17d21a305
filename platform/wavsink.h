// The codec's output as a WAV file: 16-bit stereo PCM at the rate of the
// first frame played. Frames played at another rate are converted to the
// file's rate by repeating or dropping frames, so the file keeps time.
// Silence between sounds is not written: the file holds what was played.
//
// The sink lives in the board's shared memory: the file is opened by the
// host before any application process starts, every process appends
// through the same descriptor at the position kept here, and the host
// flushes and completes the header when the run ends.
#pragma once
#include <cstdint>

namespace platform {

class WavSink {
public:
    // Creates or truncates the file; false with errno set on failure.
    bool Open(const char* path);
    // Writes what is buffered and the header's sizes and rate.
    bool Close();
    bool IsOpen() const { return fd_ >= 0; }
    void Put(int16_t left, int16_t right, uint32_t rate);
    uint32_t Frames() const { return frames_ + used_; }
    uint32_t Rate() const { return fileRate_; }

private:
    static constexpr int kBufferFrames = 4096;
    bool Flush();
    bool WriteHeader();
    int      fd_ = -1;
    uint32_t fileRate_ = 0;      // 0 until the first frame
    uint32_t frames_ = 0;        // frames in the file
    uint64_t phase_ = 0;         // rate conversion: input frames against file frames
    int      used_ = 0;
    int16_t  buffer_[kBufferFrames * 2];
};

}  // namespace platform
