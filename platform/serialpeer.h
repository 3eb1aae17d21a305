// Small devices that can sit at the far end of a serial line instead of a
// host descriptor: a loop-back plug (what the port sends comes back to it),
// and the ARINC adapter's boot loader as its wire protocol describes it
// ('x' probe answered with "B" and a version digit, '^' starts a transfer
// paced by XON/XOFF, '!' ends it). The state is plain data, so it lives in
// the board's shared memory with its line and survives application starts.
#pragma once
#include <cstdint>

namespace platform {

class SerialLine;

struct LoaderOptions {
    char     version = '7';         // the digit after "B"
    bool     crlf = true;           // "B7" CR LF; false: a bare "B7" to each probe
    bool     silent = false;        // no answer to the probe
    uint32_t xoffAt = 0;            // XOFF after this many file bytes (0: never)
    uint32_t pauseTicks = 368640;   // board time until the XON that follows it
    uint32_t startTicks = 0;        // board time from "^" to the first XON
    uint32_t endAt = 0;             // "!" after this many file bytes (0: after the end record)
};

// What the boot loader saw of a transfer.
struct LoaderStats {
    uint32_t started = 0;        // "^" received
    uint32_t bytes = 0;          // bytes received after "^"
    uint32_t records = 0;        // Intel HEX records that checked out
    uint32_t badRecords = 0;
    uint32_t endRecord = 0;      // the end-of-file record arrived
    uint32_t underXoff = 0;      // bytes received while its XOFF stood
    uint64_t shortestGap = 0;    // board ticks between two file bytes (0: fewer than two)
};

class SerialPeer {
public:
    enum class Kind : uint8_t { kNone, kLoop, kArincLoader };
    void SetLoop() { *this = SerialPeer{}; kind_ = Kind::kLoop; }
    // captureFd: every byte after "^" is written there (-1: not kept).
    void SetArincLoader(const LoaderOptions& options, int captureFd);
    void Clear() { *this = SerialPeer{}; }
    bool Active() const { return kind_ != Kind::kNone; }
    Kind kind() const { return kind_; }
    const LoaderStats& stats() const { return stats_; }

    // A byte the port sent, at board time `now`; answers go into `line`.
    void Sent(SerialLine& line, uint8_t byte, uint64_t now);
    // Answers that fall due by `now` (the XON that ends a pause).
    void Poll(SerialLine& line, uint64_t now);

private:
    void LoaderByte(SerialLine& line, uint8_t byte, uint64_t now);
    // CR is dropped: a record ends at its LF, so the "!" never overtakes
    // the file's last byte.
    void AddRecordChar(uint8_t byte);
    void EndOfLine(SerialLine& line);
    static void Answer(SerialLine& line, const char* text, int n);
    Kind kind_ = Kind::kNone;
    LoaderOptions options_{};
    LoaderStats stats_{};
    int captureFd_ = -1;
    bool xoffStands_ = false, endSent_ = false;
    uint64_t xonDue_ = 0, lastByte_ = 0;
    static constexpr int kRecordChars = 600;   // longer lines are bad records
    char record_[kRecordChars]{};
    int recordLen_ = 0;
};

}  // namespace platform
