#include "platform/serialline.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

bool SerialLine::Push(const uint8_t* data, int n, uint8_t errors) {
    if (n < 0 || n > kQueue - count_) return false;
    for (int i = 0; i < n; ++i) queue_[(head_ + count_ + i) % kQueue] = static_cast<uint16_t>(data[i] | errors << 8);
    count_ += n;
    return true;
}

void SerialLine::Fill() {
    if (inFd_ < 0 || count_ > 0) return;
    uint8_t buf[256];
    ssize_t n = read(inFd_, buf, sizeof buf);   // non-blocking: nothing waiting is not an error
    if (n > 0) Push(buf, static_cast<int>(n));
}

int SerialLine::Next(uint64_t now) {
    peer_.Poll(*this, now);
    Fill();
    if (count_ == 0) return -1;
    int v = queue_[head_];
    head_ = (head_ + 1) % kQueue;
    --count_;
    return v;
}

void SerialLine::BindOutput(int fd) {
    outFd_ = fd;
    struct stat st{};
    outPolled_ = fd >= 0 && !(fstat(fd, &st) == 0 && S_ISREG(st.st_mode));
}

bool SerialLine::Deliver(uint8_t byte) {
    if (outPolled_) {
        pollfd p{outFd_, POLLOUT, 0};
        if (poll(&p, 1, 0) != 1 || !(p.revents & POLLOUT)) return false;
    }
    return write(outFd_, &byte, 1) == 1;   // a reader gone: EPIPE, with SIGPIPE ignored by the host
}

void SerialLine::Sent(uint8_t byte, uint64_t now) {
    sentTail_[sent_ % kKeep] = static_cast<char>(byte);
    ++sent_;
    peer_.Sent(*this, byte, now);
    if (outFd_ >= 0 && !Deliver(byte)) ++lost_;
}

int SerialLine::CopySent(char* dst, int max) const {
    uint32_t kept = sent_ < static_cast<uint32_t>(kKeep) ? sent_ : kKeep;
    if (kept > static_cast<uint32_t>(max)) kept = static_cast<uint32_t>(max);
    for (uint32_t i = 0; i < kept; ++i) dst[i] = sentTail_[(sent_ - kept + i) % kKeep];
    return static_cast<int>(kept);
}

}  // namespace platform
