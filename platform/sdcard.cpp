#include "platform/sdcard.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>

namespace platform {

// Card status bits (R1).
constexpr uint32_t kOutOfRange    = 1u << 31;
constexpr uint32_t kAddressError  = 1u << 30;
constexpr uint32_t kWpViolation   = 1u << 26;
constexpr uint32_t kIllegal       = 1u << 22;
constexpr uint32_t kReadyForData  = 1u << 8;
constexpr uint32_t kAppCmd        = 1u << 5;

constexpr uint16_t kRcaAssigned = 0xB368;

static uint8_t Crc7(const uint8_t* p, int n) {
    uint8_t crc = 0;
    for (int i = 0; i < n; ++i) {
        for (int b = 7; b >= 0; --b) {
            int in = ((p[i] >> b) & 1) ^ ((crc >> 6) & 1);
            crc = static_cast<uint8_t>((crc << 1) & 0x7F);
            if (in) crc ^= 0x09;
        }
    }
    return crc;
}

// Bits hi..lo of a 128-bit register stored most significant byte first.
static void SetBits(uint8_t* reg, int hi, int lo, uint32_t value) {
    for (int b = lo; b <= hi; ++b) {
        uint8_t& byte = reg[15 - b / 8];
        uint8_t bit = static_cast<uint8_t>(1u << (b % 8));
        if ((value >> (b - lo)) & 1) byte |= bit;
        else byte &= static_cast<uint8_t>(~bit);
    }
}

bool SdCard::OpenImage(const char* path) {
    CloseImage();
    int fd = open(path, O_RDWR);
    if (fd < 0) return false;
    struct stat st{};
    if (fstat(fd, &st) != 0) {
        close(fd);
        return false;
    }
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (size < 64 * 1024 || size % kBlock || size > kMaxBytes) {
        close(fd);
        errno = EINVAL;
        return false;
    }
    void* m = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    close(fd);
    if (m == MAP_FAILED) return false;
    image_ = static_cast<uint8_t*>(m);
    mapped_ = size;
    BuildRegisters();
    PowerOn();
    return true;
}

void SdCard::CloseImage() {
    if (!image_) return;
    msync(image_, mapped_, MS_SYNC);
    munmap(image_, mapped_);
    image_ = nullptr;
    mapped_ = capacity_ = 0;
}

// A coherent CID and a version 1.0 CSD whose capacity is the largest the
// image holds.
void SdCard::BuildRegisters() {
    static const uint8_t cid[15] = {0x5A, 'K', 'V', 'C', 'A', 'R', 'D', '1', 0x10,
                                    0x51, 0x00, 0x00, 0x01, 0x01, 0x56};   // made 2021-06
    std::memcpy(cid_, cid, sizeof cid);
    cid_[15] = static_cast<uint8_t>((Crc7(cid_, 15) << 1) | 1);

    uint32_t blLen = mapped_ <= (1ull << 30) ? 9 : mapped_ <= (1ull << 31) ? 10 : 11;
    uint64_t units = mapped_ >> blLen;
    uint32_t mult = 0;
    while (mult < 7 && (units >> (mult + 2)) > 4096) ++mult;
    uint64_t cSize = (units >> (mult + 2)) - 1;
    capacity_ = (cSize + 1) << (mult + 2 + blLen);

    std::memset(csd_, 0, sizeof csd_);
    SetBits(csd_, 127, 126, 0);        // CSD version 1.0
    SetBits(csd_, 119, 112, 0x26);     // TAAC
    SetBits(csd_, 103, 96, 0x32);      // TRAN_SPEED: 25 MHz
    SetBits(csd_, 95, 84, 0x5B5);      // command classes
    SetBits(csd_, 83, 80, blLen);      // READ_BL_LEN
    SetBits(csd_, 79, 79, 1);          // READ_BL_PARTIAL
    SetBits(csd_, 73, 62, static_cast<uint32_t>(cSize));
    SetBits(csd_, 61, 50, 0xFFF);      // supply currents
    SetBits(csd_, 49, 47, mult);       // C_SIZE_MULT
    SetBits(csd_, 46, 46, 1);          // ERASE_BLK_EN
    SetBits(csd_, 45, 39, 0x7F);       // SECTOR_SIZE
    SetBits(csd_, 28, 26, 2);          // R2W_FACTOR
    SetBits(csd_, 25, 22, blLen);      // WRITE_BL_LEN
    csd_[15] = static_cast<uint8_t>((Crc7(csd_, 15) << 1) | 1);
}

void SdCard::PowerOn() {
    state_ = kIdle;
    appCmd_ = false;
    rca_ = 0;
    busyLeft_ = busyRounds_;
    errors_ = 0;
    dataDir_ = 0;
}

void SdCard::InjectFault(SdFault f, int count) { faults_[static_cast<int>(f)] = count; }

void SdCard::ClearFaults() {
    for (int& f : faults_) f = 0;
    failBlock_ = ~0u;
    refuseFrom_ = ~0u;
}

bool SdCard::TakeFault(SdFault f) {
    int& left = faults_[static_cast<int>(f)];
    if (left == 0) return false;
    if (left > 0) --left;
    return true;
}

uint32_t SdCard::CardStatus() const {
    State shown = state_ == kRcv || state_ == kPrg ? kTran : state_;
    uint32_t s = errors_ | (static_cast<uint32_t>(shown) << 9);
    if (shown == kTran) s |= kReadyForData;
    return s;
}

void SdCard::R1(uint8_t cmd, uint32_t status, uint8_t* resp) const {
    resp[0] = cmd & 0x3F;
    resp[1] = static_cast<uint8_t>(status >> 24);
    resp[2] = static_cast<uint8_t>(status >> 16);
    resp[3] = static_cast<uint8_t>(status >> 8);
    resp[4] = static_cast<uint8_t>(status);
    resp[5] = static_cast<uint8_t>((Crc7(resp, 5) << 1) | 1);
}

void SdCard::R2(const uint8_t* reg, uint8_t* resp) const {
    resp[0] = 0x3F;
    std::memcpy(resp + 1, reg, 16);
    resp[17] = 0;
}

void SdCard::Log(uint32_t cmd, uint32_t arg) {
    Logged e{static_cast<uint8_t>(cmd), static_cast<uint8_t>(appCmd_ ? 1 : 0), arg};
    if (logCount_ < kLog) log_[(logStart_ + logCount_++) % kLog] = e;
    else {
        log_[logStart_] = e;
        logStart_ = (logStart_ + 1) % kLog;
    }
}

bool SdCard::Command(uint32_t cmd, uint32_t arg, uint8_t* resp, bool* crcError) {
    *crcError = false;
    if (!image_) return false;
    Log(cmd, arg);
    if (TakeFault(SdFault::NoAnswer)) return false;
    bool app = appCmd_;
    appCmd_ = false;
    uint32_t status = CardStatus();
    errors_ = 0;   // reported once, in this answer
    bool answered = true;
    uint16_t rcaArg = static_cast<uint16_t>(arg >> 16);
    switch (cmd) {
    case 0:
        PowerOn();
        return true;   // no response
    case 55:
        appCmd_ = true;
        R1(55, status | kAppCmd, resp);
        break;
    case 41:
        // Some cards answer again once ready; the driver's loop must cope with both.
        if (!app || (state_ != kIdle && state_ != kReady)) {
            answered = false;
            break;
        }
        if (state_ == kIdle && busyLeft_ > 0) {
            --busyLeft_;
            R1(0x3F, 0x00FF8000, resp);
        } else {
            state_ = kReady;
            R1(0x3F, readyOcr_, resp);
        }
        resp[5] = 0xFF;   // R3 carries no CRC
        break;
    case 2:
        if (state_ != kReady) {
            answered = false;
            break;
        }
        state_ = kIdent;
        R2(cid_, resp);
        break;
    case 3:
        if (state_ != kIdent && state_ != kStby) {
            answered = false;
            break;
        }
        state_ = kStby;
        rca_ = kRcaAssigned;
        R1(3, (static_cast<uint32_t>(rca_) << 16) | (status & 0x1FFF), resp);
        break;
    case 9: {
        if (state_ != kStby || rcaArg != rca_) {
            answered = false;
            break;
        }
        // A write-protected card says so in its CSD (TMP_WRITE_PROTECT), as
        // a card locked by its writer does.
        uint8_t csd[16];
        std::memcpy(csd, csd_, sizeof csd);
        if (faults_[static_cast<int>(SdFault::WriteProtect)] != 0) {
            SetBits(csd, 12, 12, 1);
            csd[15] = static_cast<uint8_t>((Crc7(csd, 15) << 1) | 1);
        }
        R2(csd, resp);
        break;
    }
    case 7:
        if (rcaArg != rca_ || rca_ == 0) {
            // Addressed to another card: this one lets go of the bus, silently.
            if (state_ == kTran) state_ = kStby;
            answered = false;
            break;
        }
        if (state_ == kStby) state_ = kTran;
        R1(7, status, resp);
        break;
    case 13:
        if (rcaArg != rca_) {
            answered = false;
            break;
        }
        R1(13, status, resp);
        break;
    case 16:
        if (state_ != kTran) {
            answered = false;
            break;
        }
        if (arg != kBlock) errors_ |= 1u << 29;   // BLOCK_LEN_ERROR: only 512 is served
        R1(16, status, resp);
        break;
    case 17:
    case 24: {
        // A new transfer also ends one that went quiet.
        if (state_ != kTran && state_ != kData && state_ != kRcv) {
            answered = false;
            break;
        }
        uint32_t err = 0;
        if (arg % kBlock) err |= kAddressError;
        if (static_cast<uint64_t>(arg) + kBlock > capacity_) err |= kOutOfRange;
        if (cmd == 24 && faults_[static_cast<int>(SdFault::WriteProtect)] != 0) err |= kWpViolation;
        dataDir_ = cmd == 17 ? 1 : 2;
        dataAddr_ = arg;
        dataBad_ = err != 0;
        state_ = cmd == 17 ? kData : kRcv;
        R1(static_cast<uint8_t>(cmd), status | err, resp);
        break;
    }
    case 12:
        dataDir_ = 0;
        if (state_ == kData || state_ == kRcv) state_ = kTran;
        R1(12, status, resp);
        break;
    default:
        answered = false;
        break;
    }
    if (!answered) {
        errors_ |= kIllegal;
        return false;
    }
    if (TakeFault(SdFault::ResponseCrc)) *crcError = true;
    return true;
}

SdData SdCard::ReadBlock(uint8_t* dst) {
    if (dataDir_ != 1) return SdData::TimeOut;
    if (TakeFault(SdFault::DataStall)) return SdData::Stall;
    dataDir_ = 0;
    state_ = kTran;
    if (dataBad_ || !image_) return SdData::TimeOut;
    std::memcpy(dst, image_ + dataAddr_, kBlock);
    if (TakeFault(SdFault::DataCrc) || dataAddr_ / kBlock == failBlock_) return SdData::CrcError;
    return SdData::Ok;
}

SdData SdCard::WriteBlock(const uint8_t* src) {
    if (dataDir_ != 2) return SdData::TimeOut;
    if (TakeFault(SdFault::DataStall)) return SdData::Stall;
    dataDir_ = 0;
    state_ = kTran;
    bool refused = TakeFault(SdFault::WriteProtect);
    if (!refused) refused = TakeFault(SdFault::DataCrc);
    if (dataAddr_ / kBlock >= refuseFrom_) refused = true;
    if (dataBad_ || refused || !image_) return SdData::CrcError;   // the card's data response is an error token
    std::memcpy(image_ + dataAddr_, src, kBlock);
    return SdData::Ok;
}

}  // namespace platform
