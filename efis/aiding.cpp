// The aiding message: once a second the external AHRS is given the true
// airspeed and the pressure altitude, in a 32-byte frame of its own format.
#include <cstring>

#include "core/boot.h"
#include "core/byteorder.h"
#include "core/serial.h"
#include "efis/ahrs.h"
#include "efis/airdata.h"
#include "engine/instrument.h"

namespace {

constexpr int32_t kTasAt = 20, kAltAt = 22, kSumAt = 30, kSumFrom = 2;
constexpr uint8_t kDemoMark = 'd';

// Local air data must be fresh and both readings valid; data from the other
// display carry no validity flags, only their freshness.
bool AirDataUsable() {
    if (G_AirData.nFresh == 0) return false;
    if (G_NetStreamCfg[kStreamAir].DSRC != 0) return true;
    return G_InstReading[kInstAirspeed].bValid && G_InstReading[kInstAltitude].bValid;
}

}  // namespace

bool BuildAhrsAiding(uint8_t* out) {
    if (!AirDataUsable()) return false;
    std::memset(out, 0xFF, kAidingBytes);
    out[0] = 0xAA;
    out[1] = 0x55;
    if (G_DemoFlags & kDemoAir) {
        std::memset(out + kTasAt, 0, 5);
        out[kAltAt + 3] = kDemoMark;
    } else {
        // Sixteenths of the airspeed unit and tens of feet, truncated toward zero.
        PutBe16(out + kTasAt, static_cast<uint32_t>(int64_t{G_AirData.nTas} * 16 / 10) & 0xFFFFu);
        PutBe32(out + kAltAt, static_cast<uint32_t>(G_AirData.nPressAlt / 10));
    }
    uint16_t sum = 0;
    for (int32_t i = kSumFrom; i < kSumAt; ++i) sum = static_cast<uint16_t>(sum + out[i]);
    PutBe16(out + kSumAt, sum % 65535u);
    return true;
}

// The main loop calls this once a second for an AHRS port that is not fed by
// the other display; only the binary-frame AHRS (input kind 0) takes aiding.
void SendAhrsAiding() {
    if (G_NetStreamCfg[kStreamAhrs].DSRC != 0 || G_AhrsAidPort >= kSerialPorts) return;
    if (G_Serial[G_AhrsAidPort].nFunction != 1 || G_AhrsState.nAiding == 1) return;
    uint8_t msg[kAidingBytes];
    if (BuildAhrsAiding(msg)) SerialWrite(G_AhrsAidPort, msg, kAidingBytes);
}
