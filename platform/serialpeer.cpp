#include "platform/serialpeer.h"

#include <unistd.h>

#include "platform/serialline.h"

namespace platform {

namespace {
constexpr uint8_t kXon = 0x11, kXoff = 0x13, kProbe = 'x', kStart = '^';
const char kDone[] = "!";

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// An Intel HEX record ":LLAAAATT<data>CC": its type, or -1 when it does
// not check out (length, hex digits, checksum).
int RecordType(const char* text, int n) {
    if (n < 11 || text[0] != ':' || (n - 1) % 2 != 0) return -1;
    uint32_t sum = 0;
    int bytes[300];
    const int count = (n - 1) / 2;
    if (count > 300) return -1;
    for (int i = 0; i < count; ++i) {
        const int hi = HexValue(text[1 + 2 * i]), lo = HexValue(text[2 + 2 * i]);
        if (hi < 0 || lo < 0) return -1;
        bytes[i] = hi * 16 + lo;
        sum += static_cast<uint32_t>(bytes[i]);
    }
    if (bytes[0] + 5 != count || (sum & 0xFF) != 0 || bytes[3] > 5) return -1;
    return bytes[3];
}
}  // namespace

void SerialPeer::SetArincLoader(const LoaderOptions& options, int captureFd) {
    *this = SerialPeer{};
    kind_ = Kind::kArincLoader;
    options_ = options;
    captureFd_ = captureFd;
}

void SerialPeer::Answer(SerialLine& line, const char* text, int n) {
    line.Push(reinterpret_cast<const uint8_t*>(text), n);
}

void SerialPeer::Sent(SerialLine& line, uint8_t byte, uint64_t now) {
    if (kind_ == Kind::kLoop) line.Push(&byte, 1);
    else if (kind_ == Kind::kArincLoader) LoaderByte(line, byte, now);
}

void SerialPeer::Poll(SerialLine& line, uint64_t now) {
    if (kind_ != Kind::kArincLoader || !xoffStands_ || now < xonDue_) return;
    xoffStands_ = false;
    const char xon = static_cast<char>(kXon);
    Answer(line, &xon, 1);
}

void SerialPeer::LoaderByte(SerialLine& line, uint8_t byte, uint64_t now) {
    if (!stats_.started) {
        if (byte == kProbe && !options_.silent) {
            const char answer[4] = {'B', options_.version, '\r', '\n'};
            Answer(line, answer, options_.crlf ? 4 : 2);
        } else if (byte == kStart) {
            stats_.started = 1;
            // Until the first XON nothing may come: counted as under XOFF.
            xoffStands_ = true;
            xonDue_ = now + options_.startTicks;
            Poll(line, now);
        }
        return;
    }
    if (captureFd_ >= 0 && write(captureFd_, &byte, 1) != 1) captureFd_ = -1;
    if (stats_.bytes > 0) {
        const uint64_t gap = now - lastByte_;
        if (stats_.shortestGap == 0 || gap < stats_.shortestGap) stats_.shortestGap = gap;
    }
    lastByte_ = now;
    ++stats_.bytes;
    if (xoffStands_) ++stats_.underXoff;
    if (byte == '\n') EndOfLine(line);
    else if (byte != '\r') AddRecordChar(byte);
    if (options_.xoffAt != 0 && stats_.bytes == options_.xoffAt) {
        xoffStands_ = true;
        xonDue_ = now + options_.pauseTicks;
        const char xoff = static_cast<char>(kXoff);
        Answer(line, &xoff, 1);
    }
    if (options_.endAt != 0 && stats_.bytes == options_.endAt && !endSent_) {
        endSent_ = true;
        Answer(line, kDone, 1);
    }
}

void SerialPeer::AddRecordChar(uint8_t byte) {
    if (recordLen_ < kRecordChars) record_[recordLen_++] = static_cast<char>(byte);
    else recordLen_ = kRecordChars + 1;   // too long: a bad record when its line ends
}

void SerialPeer::EndOfLine(SerialLine& line) {
    if (recordLen_ == 0) return;   // an empty line
    const int type = recordLen_ <= kRecordChars ? RecordType(record_, recordLen_) : -1;
    recordLen_ = 0;
    if (type < 0) {
        ++stats_.badRecords;
        return;
    }
    ++stats_.records;
    if (type == 1) {
        stats_.endRecord = 1;
        if (!endSent_) {
            endSent_ = true;
            Answer(line, kDone, 1);
        }
    }
}

}  // namespace platform
