#include "platform/wavsink.h"

#include <fcntl.h>
#include <unistd.h>
#include <bit>
#include <cerrno>
#include <cstring>

namespace platform {

// Samples go to the file as they are held: little-endian, as WAV wants.
static_assert(std::endian::native == std::endian::little);

constexpr uint32_t kHeaderBytes = 44;
constexpr uint32_t kDefaultRate = 48000;   // the file's rate when nothing played

static void Put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

static void Put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

static bool WriteAll(int fd, const void* data, size_t n, off_t at) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (n > 0) {
        ssize_t w = pwrite(fd, p, n, at);
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
        at += w;
    }
    return true;
}

bool WavSink::Open(const char* path) {
    if (fd_ >= 0) Close();
    fd_ = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) return false;
    fileRate_ = 0;
    frames_ = 0;
    phase_ = 0;
    used_ = 0;
    if (!WriteHeader()) {
        int e = errno;
        close(fd_);
        fd_ = -1;
        errno = e;
        return false;
    }
    return true;
}

bool WavSink::WriteHeader() {
    uint32_t rate = fileRate_ ? fileRate_ : kDefaultRate;
    uint32_t dataBytes = frames_ * 4;
    uint8_t h[kHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);          // PCM
    Put16(h + 22, 2);          // stereo
    Put32(h + 24, rate);
    Put32(h + 28, rate * 4);
    Put16(h + 32, 4);
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
    return WriteAll(fd_, h, sizeof h, 0);
}

bool WavSink::Flush() {
    if (used_ == 0) return true;
    bool ok = WriteAll(fd_, buffer_, static_cast<size_t>(used_) * 4, static_cast<off_t>(kHeaderBytes + frames_ * 4ull));
    frames_ += static_cast<uint32_t>(used_);
    used_ = 0;
    return ok;
}

bool WavSink::Close() {
    if (fd_ < 0) return true;
    bool ok = Flush() && WriteHeader();
    ok = close(fd_) == 0 && ok;
    fd_ = -1;
    return ok;
}

void WavSink::Put(int16_t left, int16_t right, uint32_t rate) {
    if (fd_ < 0 || rate == 0) return;
    if (fileRate_ == 0) fileRate_ = rate;
    // One input frame covers fileRate_/rate file frames.
    phase_ += fileRate_;
    while (phase_ >= rate) {
        phase_ -= rate;
        // A WAV data chunk holds at most 4 GB.
        if (frames_ + static_cast<uint32_t>(used_) >= (0xFFFFFFFFu - kHeaderBytes) / 4) return;
        buffer_[used_ * 2] = left;
        buffer_[used_ * 2 + 1] = right;
        if (++used_ == kBufferFrames) Flush();
    }
}

}  // namespace platform
