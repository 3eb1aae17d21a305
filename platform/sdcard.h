// A standard-capacity SD card (byte addresses, 512-byte blocks) backed by an
// image file: the commands the MMC/SD controller sends and the data blocks it
// moves. The image is a MAP_SHARED file mapping, so a card opened before the
// host forks the application is the same card in every application start.
#pragma once
#include <cstdint>

namespace platform {

// Faults a test can make the card show.
enum class SdFault : uint8_t {
    NoAnswer,       // the card answers no command (response time-out)
    ResponseCrc,    // responses arrive with a bad CRC
    DataCrc,        // read blocks arrive with a bad CRC; written blocks are refused with a CRC status
    WriteProtect,   // written blocks are refused, the image is left as it was; the CSD
                    // read while it stands carries TMP_WRITE_PROTECT
    DataStall,      // data commands are answered, but no data moves and no error is raised
    kCount
};

// What became of a data block.
enum class SdData : uint8_t {
    Ok,
    CrcError,   // moved, but with a bad CRC (read) or refused with an error token (write)
    TimeOut,    // no data: the address was refused
    Stall,      // no data and no error: the card went quiet
};

class SdCard {
public:
    static constexpr uint32_t kBlock = 512;
    static constexpr uint64_t kMaxBytes = 0x100000000ull;   // byte addresses in 32 bits

    // Response kinds the controller can be asked for.
    enum Format : uint8_t { kNone = 0, kR1 = 1, kR2 = 2, kR3 = 3 };

    ~SdCard() { CloseImage(); }
    // Maps the image read-write; false (errno set) when it cannot be opened,
    // is empty, is not whole blocks or is larger than a standard-capacity card.
    bool OpenImage(const char* path);
    void CloseImage();
    bool HasImage() const { return image_ != nullptr; }
    uint64_t Capacity() const { return capacity_; }   // bytes the CSD declares
    uint8_t* Image() { return image_; }

    // Power-up state: idle, no address.
    void PowerOn();

    // One command. Fills `resp` (18 bytes, as the controller's FIFO delivers
    // them) and returns false when the card does not answer.
    bool Command(uint32_t cmd, uint32_t arg, uint8_t* resp, bool* crcError);
    // Data phase of the last CMD17/CMD24, one 512-byte block.
    SdData ReadBlock(uint8_t* dst);
    SdData WriteBlock(const uint8_t* src);
    bool DataPending() const { return dataDir_ != 0; }
    bool DataIsRead() const { return dataDir_ == 1; }

    // Test controls.
    void InjectFault(SdFault f, int count);      // count < 0: until cleared
    void ClearFaults();
    void SetInitBusyRounds(int rounds) { busyRounds_ = rounds; }   // ACMD41 answers "busy" this often
    void SetReadyOcr(uint32_t ocr) { readyOcr_ = ocr; }
    void FailBlock(uint32_t block) { failBlock_ = block; }       // reads of it give a CRC error; ~0u: none
    void RefuseWritesFrom(uint32_t block) { refuseFrom_ = block; }   // writes at or past it refused; ~0u: none
    uint32_t Rca() const { return rca_; }

    // The commands received, oldest first.
    struct Logged { uint8_t cmd; uint8_t app; uint32_t arg; };
    static constexpr int kLog = 256;
    int CommandsLogged() const { return logCount_; }
    Logged LoggedCommand(int i) const { return log_[(logStart_ + i) % kLog]; }
    void ClearLog() { logStart_ = logCount_ = 0; }

private:
    enum State : uint8_t { kIdle, kReady, kIdent, kStby, kTran, kData, kRcv, kPrg };
    bool TakeFault(SdFault f);
    uint32_t CardStatus() const;
    void R1(uint8_t cmd, uint32_t status, uint8_t* resp) const;
    void R2(const uint8_t* reg, uint8_t* resp) const;
    void BuildRegisters();
    void Log(uint32_t cmd, uint32_t arg);

    uint8_t* image_ = nullptr;
    uint64_t mapped_ = 0;
    uint64_t capacity_ = 0;
    uint8_t cid_[16]{}, csd_[16]{};
    State state_ = kIdle;
    bool appCmd_ = false;
    uint16_t rca_ = 0;
    int busyLeft_ = 0;
    int busyRounds_ = 2;
    uint32_t readyOcr_ = 0x80FF8000;
    uint32_t errors_ = 0;         // sticky error bits for the next status
    uint8_t dataDir_ = 0;         // 1 read, 2 write pending
    uint32_t dataAddr_ = 0;
    bool dataBad_ = false;        // the pending transfer's address was refused
    uint32_t failBlock_ = ~0u;
    uint32_t refuseFrom_ = ~0u;
    int faults_[static_cast<int>(SdFault::kCount)]{};
    Logged log_[kLog]{};
    int logStart_ = 0, logCount_ = 0;
};

}  // namespace platform
