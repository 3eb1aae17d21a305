// Items 5..13 of the administrator settings: the functions of serial ports
// 1..4 with the baud rate each function runs at, the autopilot's vertical
// mode and the ports that feed the navigation sources and the map position.
// The records change in memory; SAVE writes them and the next start uses them.
#include <cstdio>

#include "core/serial.h"
#include "core/util.h"
#include "nav/navsrc.h"
#include "setup/admin.h"
#include "setup/setupkit.h"
#include "storage/nvram.h"

const char NavPortNames[9][24] = {
    " Serial Port #0 ", " Serial Port #1 ", " Serial Port #2 ", " Serial Port #3 ", " Serial Port #4 ",
    " NONE ",           " Remote ARINC ",   " Remote GPS ",     " Remote NAV ",
};

namespace {

constexpr int32_t kFuncTest = 7, kFuncRemoteNav = 21, kFuncArincDownload = 11, kFuncNrvCal = 12;
constexpr int32_t kFuncNmea4800 = 2, kFuncArinc = 5, kFuncOpTech = 13, kFuncTraffic = 20;
constexpr int32_t kBaud57600 = 1, kBaud19200 = 3, kBaud9600 = 5, kBaud4800 = 6;
constexpr int32_t kNavPorts = 9;

SerialPort& PortOf(int32_t item) { return G_Serial[item - kItemSerial1 + 1]; }

uint8_t& NavPortOf(int32_t item) {
    return item == kItemLatLon ? G_NavSrc.hdr.MAP_LATLON_PORT : G_NavSrc.hdr.nPort[item - kItemNav1];
}

template <int32_t N, int32_t W>
const char* NameOr(const char (&names)[N][W], uint32_t code) {
    return code < static_cast<uint32_t>(N) ? names[code] : "";
}

}  // namespace

int32_t SerialFuncBaudIdx(uint32_t code) {
    switch (code) {
    case kFuncNmea4800: return kBaud4800;
    case kFuncArinc: case kFuncOpTech: return kBaud19200;
    case kFuncTraffic: return kBaud57600;
    default: return kBaud9600;
    }
}

void StepSerialFunction(SerialPort* port, int32_t delta) {
    // The code is a signed word, and wide here: a stored code may be anything.
    int64_t code = (static_cast<int64_t>(static_cast<int32_t>(port->nFunction)) + delta) %
                   static_cast<int64_t>(kFunctionCount);
    if (code < 0) code = kFunctionCount - 1;
    if (code == kFuncTest || code == kFuncRemoteNav) code += delta % 2;
    if (code == kFuncArincDownload || code == kFuncNrvCal) code = delta < 0 ? 10 : kFuncOpTech;
    port->nFunction = static_cast<uint32_t>(code);
    port->nBaudIdx = static_cast<uint32_t>(SerialFuncBaudIdx(port->nFunction));
}

uint8_t StepNavPort(uint8_t port, int32_t delta) {
    const int32_t step = delta % 2;
    int32_t next = WrapIndex(port, kNavPorts, step);
    if (next == 0 && step != 0) next = WrapIndex(next, kNavPorts, step);
    return static_cast<uint8_t>(next);
}

const char* AdminPortValue(int32_t item) {
    if (item >= kItemSerial1 && item <= kItemSerial4) return NameOr(G_SerialFuncName, PortOf(item).nFunction);
    if (item == kItemVertMode) return G_NVRam[kNvLabel122] == 0 ? " VSPEED " : " DISABLE ";
    if (item >= kItemNav1 && item <= kItemLatLon) return NameOr(NavPortNames, NavPortOf(item));
    return "";
}

void AdminPortKnob(int32_t item, int32_t delta) {
    if (item >= kItemSerial1 && item <= kItemSerial4) {
        StepSerialFunction(&PortOf(item), delta);
    } else if (item == kItemVertMode) {
        // The autopilot output reads the byte every frame: it acts at once,
        // and is kept at once like the other switches.
        G_NVRam[kNvLabel122] = static_cast<uint8_t>(StepOffOn(G_NVRam[kNvLabel122], delta));
        AdminWriteImage();
    } else if (item >= kItemNav1 && item <= kItemLatLon) {
        NavPortOf(item) = StepNavPort(NavPortOf(item), delta);
    }
}
