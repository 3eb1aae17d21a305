#include "platform/flash.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace platform {

bool Flash::Open(const char* path) {
    Close();
    int fd = open(path, O_RDWR | O_CREAT, 0644);
    if (fd < 0) return false;
    struct stat st{};
    bool fresh = fstat(fd, &st) == 0 && st.st_size == 0;
    if ((st.st_size != 0 && st.st_size != static_cast<off_t>(kFlashBytes)) ||
        (fresh && ftruncate(fd, kFlashBytes) != 0)) {
        close(fd);
        errno = st.st_size != 0 ? EINVAL : errno;
        return false;
    }
    void* m = mmap(nullptr, kFlashBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (m == MAP_FAILED) return false;
    data_ = static_cast<uint8_t*>(m);
    if (fresh) std::memset(data_, 0xFF, kFlashBytes);   // a new part comes erased
    return true;
}

void Flash::Close() {
    if (!data_) return;
    msync(data_, kFlashBytes, MS_SYNC);
    munmap(data_, kFlashBytes);
    data_ = nullptr;
}

int Flash::Fault() {
    if (failOps_ > 0) {
        --failOps_;
        return -1;
    }
    if (cutAfter_ < 0) return 0;
    if (cutAfter_-- > 0) return 0;
    return kPowerCut;
}

int Flash::Erase(uint32_t sector) {
    if (!data_ || sector >= kFlashSectorCount) return -1;
    int fault = Fault();
    if (fault == -1) return -1;
    uint32_t n = fault == kPowerCut ? kFlashSectorBytes / 2 : kFlashSectorBytes;
    std::memset(data_ + sector * kFlashSectorBytes, 0xFF, n);
    return fault;
}

int Flash::Program(uint32_t offset, const uint8_t* src, uint32_t n) {
    if (!data_ || offset > kFlashBytes || n > kFlashBytes - offset) return -1;
    int fault = Fault();
    if (fault == -1) return -1;
    if (fault == kPowerCut) n /= 2;
    int result = fault;
    for (uint32_t i = 0; i < n; ++i) {
        data_[offset + i] &= src[i];
        if (data_[offset + i] != src[i] && result == 0) result = -1;   // verify: a 0 cannot be programmed back to 1
    }
    return result;
}

}  // namespace platform
