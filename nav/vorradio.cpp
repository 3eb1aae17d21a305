#include "nav/vorradio.h"

#include "core/serial.h"
#include "nav/navsrc.h"

namespace {
int32_t HexValue(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}
}

int32_t CalcNmeaVorCrc(const uint8_t* msg, int32_t length) {
    if (msg == nullptr) return 0;
    int32_t end = length;   // past the checksum: CR LF off
    while (end > 0 && (msg[end - 1] == '\r' || msg[end - 1] == '\n')) --end;
    if (end < kVorHeaderChars + 2 + 2) return 0;   // header, id and checksum at least
    uint32_t sum = 0;
    for (int32_t i = kVorHeaderChars; i < end - 2; ++i) sum += msg[i];
    const int32_t hi = HexValue(msg[end - 2]), lo = HexValue(msg[end - 1]);
    if (hi < 0 || lo < 0) return 0;
    return static_cast<uint32_t>(hi << 4 | lo) == (sum & 0xFFu) ? 1 : 0;
}

// "$PMRRV34" + three course digits + checksum: the radio's OBS set message.
void SendNavObs(int32_t slot, int32_t course) {
    if (slot < 0 || slot > 2) return;
    const uint32_t port = G_NavSrc.hdr.nPort[slot];
    if (port >= static_cast<uint32_t>(kSerialPorts)) return;
    const int32_t c = ((course % 360) + 360) % 360;
    uint8_t msg[16] = {'$', 'P', 'M', 'R', 'R', 'V', '3', '4',
                       static_cast<uint8_t>('0' + c / 100), static_cast<uint8_t>('0' + c / 10 % 10),
                       static_cast<uint8_t>('0' + c % 10)};
    uint32_t sum = 0;
    for (int32_t i = kVorHeaderChars; i < 11; ++i) sum += msg[i];
    msg[11] = static_cast<uint8_t>(NibbleToHexChar((sum >> 4) & 0xF));
    msg[12] = static_cast<uint8_t>(NibbleToHexChar(sum & 0xF));
    msg[13] = '\r';
    msg[14] = '\n';
    SerialWrite(port, msg, 15);
}
